"""What the tests share: the checkout, the kvrn command line to hold the package to, pictures."""

from __future__ import annotations

import os
import re
import subprocess
from pathlib import Path
from typing import List, Sequence

import numpy as np
import pytest

ROOT = Path(__file__).resolve().parents[2]
SAMPLES = sorted((ROOT / "samples").glob("*.kvrn"))


def tool_path() -> Path | None:
    """The kvrn program: $KVRN_TOOL, else the g++ build's in the checkout, if there is one."""
    named = os.environ.get("KVRN_TOOL")
    path = Path(named) if named else ROOT / "out" / "build" / "cli" / "kvrn"
    return path if path.is_file() and os.access(path, os.X_OK) else None


class Tool:
    """The kvrn command line."""

    def __init__(self, path: Path) -> None:
        self.path = path

    def run(self, *arguments: object, expect: Sequence[int] = (0,)) -> subprocess.CompletedProcess:
        done = subprocess.run(
            [str(self.path), *map(str, arguments)], capture_output=True, check=False
        )
        assert done.returncode in expect, (arguments, done.returncode, done.stderr.decode())
        return done


@pytest.fixture(scope="session")
def tool() -> Tool:
    path = tool_path()
    if path is None:
        pytest.skip("no kvrn program to compare with: set KVRN_TOOL to the path of a built kvrn")
    return Tool(path)


def write_ppm(path: Path, pixels: np.ndarray) -> None:
    height, width, _ = pixels.shape
    path.write_bytes(b"P6\n%d %d\n255\n" % (width, height) + np.ascontiguousarray(pixels).tobytes())


def read_ppm(path: Path) -> np.ndarray:
    data = path.read_bytes()
    found = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
    assert found, data[:20]
    width, height = int(found.group(1)), int(found.group(2))
    pixels = np.frombuffer(data, np.uint8, offset=found.end())
    assert pixels.size == width * height * 3
    return pixels.reshape(height, width, 3)


def random_picture(rng: np.random.Generator, height: int, width: int, channels: int = 3):
    """A picture with smooth parts and noise, so that blocks code to a mix of values."""
    rows = np.linspace(0, 255, height)[:, None, None]
    columns = np.linspace(0, 255, width)[None, :, None]
    colour = rng.integers(0, 256, size=(1, 1, channels))
    smooth = (rows * 0.5 + columns * 0.3 + colour * 0.4) % 256
    noise = rng.normal(0, 12, size=(height, width, channels))
    return np.clip(smooth + noise, 0, 255).astype(np.uint8)


# Sizes with partial blocks on the right and top edges, and some without.
PICTURE_SIZES: List[tuple] = [(1, 1), (8, 8), (5, 13), (9, 8), (17, 31), (40, 24), (37, 50)]
