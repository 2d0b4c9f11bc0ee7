"""The package's stubs describe what it has, and every public call has a docstring."""

from __future__ import annotations

import ast
import dataclasses
import inspect
import os

import feed

STUB = os.path.join(os.path.dirname(feed.__file__), "__init__.pyi")


def stub_tree():
    with open(STUB) as stub:
        return ast.parse(stub.read())


def public(names):
    return {name for name in names if not name.startswith("_")}


def test_every_exported_name_has_a_stub():
    stubbed = {node.name for node in stub_tree().body if hasattr(node, "name")}
    assert public(feed.__all__) <= stubbed
    assert (public(stubbed) - {"PathName"}) <= set(feed.__all__) | {"frames"}


def test_stubbed_classes_have_the_runtime_members():
    for node in stub_tree().body:
        if not isinstance(node, ast.ClassDef) or node.name.startswith("_"):
            continue
        runtime = getattr(feed, node.name)
        stubbed = {
            item.name if hasattr(item, "name") else item.target.id
            for item in node.body
            if isinstance(item, (ast.FunctionDef, ast.AnnAssign))
        }
        missing = {name for name in public(stubbed) if not hasattr(runtime, name)}
        # Instance attributes, set by __init__.
        missing -= {"SourceError": {"message", "name", "kind"}, "Feed": {"allow_missing"}}.get(
            node.name, set()
        )
        if dataclasses.is_dataclass(runtime):
            missing -= {field.name for field in dataclasses.fields(runtime)}
        assert not missing, (node.name, missing)
        if issubclass(runtime, BaseException) or isinstance(runtime, type) and issubclass(
            runtime, int
        ):
            continue
        undocumented = public(vars(runtime)) - public(stubbed) - {"allow_missing"}
        assert not undocumented, (node.name, undocumented)


def argument_names(function: ast.FunctionDef):
    arguments = function.args
    rest = [arguments.vararg] if arguments.vararg else []
    return [a.arg for a in arguments.args + rest + arguments.kwonlyargs]


def test_stub_signatures_match():
    classes = {"Feed", "VideoReader", "AudioReader"}
    stubbed = {}
    for node in stub_tree().body:
        if isinstance(node, ast.ClassDef) and node.name in classes:
            for item in node.body:
                if isinstance(item, ast.FunctionDef):
                    stubbed[getattr(feed, node.name), item.name] = argument_names(item)
        if isinstance(node, ast.FunctionDef):
            stubbed[feed, node.name] = argument_names(node)
    assert len(stubbed) > 40
    for (owner, name), arguments in stubbed.items():
        target = inspect.getattr_static(owner, name) if owner is not feed else getattr(feed, name)
        if isinstance(target, property):
            continue
        assert list(inspect.signature(target).parameters) == arguments, name


def test_public_calls_have_docstrings():
    for name in feed.__all__:
        item = getattr(feed, name)
        assert item.__doc__, name
        if isinstance(item, type) and name in ("Feed", "Playback", "VideoReader", "AudioReader"):
            for member, value in vars(item).items():
                if not member.startswith("_"):
                    assert getattr(value, "__doc__", None), f"{name}.{member}"
    assert feed.frames.__doc__
