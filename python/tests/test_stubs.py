"""The package is typed for type checkers (its Python modules by their own annotations, its
compiled half by a stub that describes what it has), and every public call has a docstring."""

from __future__ import annotations

import ast
import inspect
import os

import feed
from feed import _feed

PACKAGE = os.path.dirname(feed.__file__)
STUB = os.path.join(PACKAGE, "_feed.pyi")


def stub_tree():
    with open(STUB) as stub:
        return ast.parse(stub.read())


def public(names):
    return {name for name in names if not name.startswith("_")}


def test_compiled_half_is_stubbed_as_it_is():
    stubbed = {}
    for node in stub_tree().body:
        if isinstance(node, ast.ClassDef):
            stubbed[node.name] = {
                item.name for item in node.body if isinstance(item, ast.FunctionDef)
            }
        elif isinstance(node, ast.AnnAssign):
            stubbed[node.target.id] = set()
    # What the package re-exports from its compiled half is stubbed, member for member.
    compiled = {name for name in feed.__all__ if getattr(_feed, name, None) is getattr(feed, name)}
    assert compiled == {"AudioBuffer", "FeedError", "VideoFrame"}
    assert compiled | {"__version__"} <= set(stubbed)
    for name, members in stubbed.items():
        runtime = getattr(_feed, name)
        if name == "__version__" or issubclass(runtime, BaseException):
            continue
        assert members == public(vars(runtime)), name


def test_python_calls_are_annotated():
    checked = 0
    for name in feed.__all__:
        item = getattr(feed, name)
        if getattr(_feed, name, None) is item:
            continue  # the compiled half: stubbed
        calls = [item] if inspect.isfunction(item) else []
        # A class's calls written in the package, those of its own bases among them; of the
        # special methods, all but pickling's.
        for owner in item.__mro__ if isinstance(item, type) else ():
            for member, value in vars(owner).items():
                if isinstance(value, property):
                    value = value.fget
                written_here = inspect.isfunction(value) and value.__code__.co_filename.startswith(
                    PACKAGE
                )
                if not written_here:
                    continue
                special = member.startswith("__") and member != "__reduce__"
                if special or not member.startswith("_"):
                    calls.append(value)
        for call in calls:
            signature = inspect.signature(call)
            unannotated = [
                parameter
                for parameter in list(signature.parameters.values())[1 if call is not item else 0 :]
                if parameter.annotation is inspect.Parameter.empty
            ]
            assert not unannotated, (name, call.__name__, unannotated)
            assert signature.return_annotation is not inspect.Signature.empty, (name, call.__name__)
            checked += 1
    assert checked > 40


def test_public_calls_have_docstrings():
    for name in feed.__all__:
        item = getattr(feed, name)
        assert item.__doc__, name
        if isinstance(item, type) and name in ("Feed", "Playback", "VideoReader", "AudioReader"):
            for member, value in vars(item).items():
                if not member.startswith("_"):
                    assert getattr(value, "__doc__", None), f"{name}.{member}"
    assert feed.frames.__doc__
