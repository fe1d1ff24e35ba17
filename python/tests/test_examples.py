"""The README's examples, kept as python/examples/*.py, run as written from a checkout's root."""

from __future__ import annotations

import re
import subprocess
import sys

import pytest
from conftest import ROOT

EXAMPLES = ROOT / "python" / "examples"

# Each example, the files it writes and what it prints.
RUNS = {
    "side_by_side.py": (["photo.png", "side_by_side.png"], r"step 16: \d+ bytes, [\d.]+ bits per pixel\n"),
    "rate_distortion.py": (["rate_distortion.png"], r"(step +\d+: [\d.]+ bits per pixel, PSNR .*\n){9}"),
}


@pytest.mark.parametrize("name", RUNS)
def test_example_runs_as_written(tmp_path, name):
    # A root of its own, with the checkout's samples, so that what it writes goes there.
    (tmp_path / "samples").symlink_to(ROOT / "samples")
    done = subprocess.run(
        [sys.executable, str(EXAMPLES / name)], cwd=tmp_path, capture_output=True, text=True
    )
    assert done.returncode == 0, done.stderr
    assert done.stderr == ""
    files, printed = RUNS[name]
    for written in files:
        assert (tmp_path / written).stat().st_size > 10000, written
    assert re.fullmatch(printed, done.stdout), done.stdout


def test_readme_shows_the_examples_as_they_are():
    shown = []
    for readme in (ROOT / "README.md", ROOT / "python" / "README.md"):
        if readme.is_file():
            text = readme.read_text(encoding="utf-8")
            shown += re.findall(r"```python\n(.*?)```", text, re.DOTALL)
    for name in RUNS:
        assert (EXAMPLES / name).read_text(encoding="utf-8") in shown, name
