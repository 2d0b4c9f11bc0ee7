"""How sessions end: early exit, exceptions, collection, Ctrl-C; and the queue's bound."""

from __future__ import annotations

import gc
import os
import signal
import subprocess
import sys
import textwrap
import time

import pytest

import feed
from conftest import thread_count

LONG = "lavfi:testsrc2=size=320x240:rate=25:duration=600"


def wait_for(condition, seconds=5.0):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.01)
    return True


@pytest.mark.usefixtures("no_threads_left_behind")
class TestEndingEarly:
    def test_break_stops_the_session(self):
        with feed.Feed(fps=25) as f:
            f.add_video(LONG, 0, 600)
            for count, _ in enumerate(f.play()):
                if count == 3:
                    break
            assert f.state is feed.State.IDLE
            # The feed stays usable.
            f.set_source_times(1, 0, 0.2)
            assert len(list(f.play())) == 5

    def test_break_out_of_frames(self):
        before = thread_count()
        for count, _ in enumerate(feed.frames(LONG, 0, 600)):
            if count == 3:
                break
        gc.collect()
        assert wait_for(lambda: thread_count() <= before)

    def test_exception_in_the_loop_body_stops_the_session(self):
        f = feed.Feed(fps=25)
        f.add_video(LONG, 0, 600)
        with pytest.raises(ZeroDivisionError):
            for _ in f.play():
                1 / 0
        # The feed is still referenced (by this frame and the traceback), the session is not.
        assert f.state is feed.State.IDLE
        f.close()

    def test_exception_inside_a_with_block_closes_the_feed(self):
        with pytest.raises(KeyError):
            with feed.Feed(fps=25) as f:
                f.add_video(LONG, 0, 600)
                for _ in f.play():
                    raise KeyError("stop here")
        assert f.closed

    def test_collected_iterator_stops_the_session(self):
        with feed.Feed(fps=25) as f:
            f.add_video(LONG, 0, 600)
            playback = f.play()
            next(playback)
            del playback
            assert f.state is feed.State.IDLE

    def test_collected_feed_stops_and_frees_everything(self):
        f = feed.Feed(fps=25)
        f.add_video(LONG, 0, 600)
        f.add_audio("lavfi:sine=frequency=440:duration=600", 0, 600)
        playback = f.play()
        next(playback)
        del f, playback
        gc.collect()

    def test_collected_feed_while_the_library_waits_for_room(self):
        f = feed.Feed(fps=25, max_queued_frames=1, max_queued_buffers=1)
        f.add_video(LONG, 0, 600)
        f.add_audio("lavfi:sine=frequency=440:duration=600", 0, 600)
        playback = f.play()
        next(playback)
        time.sleep(0.3)  # both callbacks now wait for room in the full queue
        del f, playback
        gc.collect()

    def test_close_from_another_thread_ends_a_waiting_loop(self):
        import threading

        f = feed.Feed(fps=25)
        f.add_video(LONG, 0, 600)
        playback = f.play()
        next(playback)
        f.pause()  # the loop below waits for an item that will not come
        threading.Timer(0.3, f.close).start()
        rest = list(playback)
        assert len(rest) <= 5
        assert f.closed


class TestQueueBound:
    def test_the_library_waits_for_a_slow_loop(self):
        with feed.Feed(size=(320, 240), fps=25, max_queued_frames=3) as f:
            f.add_video(LONG, 0, 600)
            playback = f.play()
            first = next(playback)
            time.sleep(1.0)  # 25 frames' worth
            video_ms, _ = f.position_ms
            # Delivered: the one taken, three queued, one waiting for room (and its
            # position already stored by the library).
            assert video_ms <= first.position_ms + 4 * 40
            rest = [next(playback).position_ms for _ in range(30)]
            assert rest == [first.position_ms + 40 * (k + 1) for k in range(30)]
            playback.close()


SIGINT_WHILE_WAITING = """
import feed, sys
f = feed.Feed(fps=25)
f.add_video("{long}", 0, 600)
playback = f.play()
next(playback)
f.pause()  # the loop now waits inside the module for an item that does not come
print("waiting", flush=True)
try:
    for _ in playback:
        pass
except KeyboardInterrupt:
    print("interrupted", f.state.name, flush=True)
    sys.exit(0)
print("loop ended without an interrupt", flush=True)
sys.exit(3)
"""

SIGINT_IN_THE_BODY = """
import feed, sys, time
f = feed.Feed(fps=25)
f.add_video("{long}", 0, 600)
try:
    for count, _ in enumerate(f.play()):
        if count == 2:
            print("waiting", flush=True)
        time.sleep(0.01)
except KeyboardInterrupt:
    print("interrupted", f.state.name, flush=True)
    sys.exit(0)
sys.exit(3)
"""

SIGINT_UNHANDLED = """
import feed
f = feed.Feed(fps=25)
f.add_video("{long}", 0, 600)
f.add_audio("lavfi:sine=frequency=440:duration=600", 0, 600)
for count, _ in enumerate(f.play()):
    if count == 2:
        print("waiting", flush=True)
"""

EXIT_WHILE_PLAYING = """
import feed, sys
f = feed.Feed(fps=25, max_queued_frames=1)
f.add_video("{long}", 0, 600)
playback = f.play()
next(playback)
print("waiting", flush=True)
sys.exit(0)  # the feed and its running session are left to the interpreter's exit
"""


FIRST_ARRAYS_ON_TWO_THREADS = """
import sys, threading
import feed
def play():
    for _ in feed.frames("{long}", 0, 0.4):
        pass
threads = [threading.Thread(target=play) for _ in range(2)]
print("waiting", flush=True)
for thread in threads:
    thread.start()
for thread in threads:
    thread.join()
"""

FORKED_CHILD_EXITS = """
import os, sys
import feed
frames = feed.frames("{long}", 0, 600)
next(frames)  # a session runs: the engine's threads are busy in the parent
reader = feed.VideoReader("{index}")
reader[0]  # and so are a reader's decoder threads
print("waiting", flush=True)
pid = os.fork()
if pid == 0:
    # The reader opens its file again here; exiting runs the package's exit handler.
    sys.exit(0 if reader[1].shape == reader.frame_shape else 4)
_, status = os.waitpid(pid, 0)
frames.close()
sys.exit(os.waitstatus_to_exitcode(status))
"""


def run_script(script: str, interrupt: bool, **names):
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(sys.path)
    process = subprocess.Popen(
        [sys.executable, "-c", textwrap.dedent(script.format(long=LONG, **names))],
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        text=True,
        env=env,
    )
    try:
        assert process.stdout.readline().strip() == "waiting"
        started = time.monotonic()
        if interrupt:
            time.sleep(0.2)
            process.send_signal(signal.SIGINT)
        out, err = process.communicate(timeout=10)
        return process.returncode, out, err, time.monotonic() - started
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()


class TestCtrlC:
    def test_ctrl_c_while_the_loop_waits_for_the_library(self):
        code, out, err, _ = run_script(SIGINT_WHILE_WAITING, interrupt=True)
        assert (code, out.strip()) == (0, "interrupted IDLE"), err

    def test_ctrl_c_in_the_loop_body(self):
        code, out, err, _ = run_script(SIGINT_IN_THE_BODY, interrupt=True)
        assert (code, out.strip()) == (0, "interrupted IDLE"), err

    def test_unhandled_ctrl_c_ends_the_process_at_once(self):
        code, _, err, seconds = run_script(SIGINT_UNHANDLED, interrupt=True)
        assert code == -signal.SIGINT, err
        assert "KeyboardInterrupt" in err
        assert seconds < 5

    def test_exit_with_a_session_running(self):
        code, _, err, seconds = run_script(EXIT_WHILE_PLAYING, interrupt=False)
        assert code == 0, err
        assert seconds < 5


class TestThreadsAndProcesses:
    def test_two_threads_make_their_first_arrays_at_once(self):
        code, _, err, seconds = run_script(FIRST_ARRAYS_ON_TWO_THREADS, interrupt=False)
        assert code == 0, err
        assert seconds < 5

    def test_a_forked_child_forgets_the_parents_feeds_and_exits(self, clips):
        code, _, err, seconds = run_script(FORKED_CHILD_EXITS, interrupt=False,
                                           index=clips["index"])
        assert code == 0, err
        assert seconds < 5
