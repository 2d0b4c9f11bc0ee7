"""Shared fixtures: the generated media, and a check that no session outlives its test."""

from __future__ import annotations

import os
import sys

import pytest

sys.path.insert(0, os.path.dirname(__file__))

import media  # noqa: E402


@pytest.fixture(scope="session")
def clips(tmp_path_factory):
    """Paths of the generated test media by name (see media.make_all)."""
    return media.make_all(str(tmp_path_factory.mktemp("media")))


def thread_count() -> int:
    """Threads of this process, the library's engine threads included."""
    return len(os.listdir("/proc/self/task"))


@pytest.fixture
def no_threads_left_behind():
    """Fails the test if it leaves more threads running than it found."""
    before = thread_count()
    yield
    import gc
    import time

    gc.collect()
    deadline = time.monotonic() + 2.0
    while thread_count() > before and time.monotonic() < deadline:
        time.sleep(0.01)
    assert thread_count() <= before
