"""The package as installed: its version, its help, its type information."""

from __future__ import annotations

import doctest
import importlib.metadata
import pydoc
import re
from pathlib import Path

from conftest import ROOT

import kvrn
from kvrn import _kvrn


def test_version_is_the_projects():
    cmake = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    project = re.search(r"project\(kvrn VERSION (\S+)", cmake).group(1)
    assert kvrn.__version__ == _kvrn.version() == importlib.metadata.version("kvrn") == project


def test_help_shows_each_functions_words():
    for function, words in [
        (kvrn.encode, "kvrn encode --step/--scales"),
        (kvrn.decode, "TruncatedWarning"),
        (kvrn.info, 'The command line\'s "file" field is left out'),
        (kvrn.preview, "kvrn preview --step STEP --channels CHANNELS"),
        (kvrn.inspect, "zig-zag"),
    ]:
        assert words in " ".join(pydoc.render_doc(function, renderer=pydoc.plaintext).split())
    assert "ValueError" in pydoc.render_doc(kvrn.Error, renderer=pydoc.plaintext)


def test_type_information_is_installed():
    package = Path(kvrn.__file__).parent
    assert (package / "py.typed").is_file()
    stub = (package / "_kvrn.pyi").read_text(encoding="utf-8")
    compiled = {name for name in dir(_kvrn) if callable(getattr(_kvrn, name))} - {"Error"}
    for name in compiled:
        assert f"def {name}(" in stub, name


def test_warnings_are_user_warnings():
    assert issubclass(kvrn.ClippingWarning, UserWarning)
    assert issubclass(kvrn.TruncatedWarning, UserWarning)
    assert issubclass(kvrn.Error, ValueError)


def test_docstring_examples_run():
    result = doctest.testmod(kvrn)
    assert result.attempted > 0 and result.failed == 0
