"""Pictures as Pillow reads them encode to the bytes kvrn encode writes for the same files."""

from __future__ import annotations

import numpy as np
import pytest
from conftest import random_picture
from PIL import Image

import kvrn


def rgba(rng, height, width):
    picture = random_picture(rng, height, width, 4)
    picture[..., 3] = rng.choice([0, 1, 128, 254, 255], size=(height, width))
    return picture


# Pillow's modes: what np.asarray(Image.open(...)) gives for each, and the conversion a palette
# picture needs first (its array holds indices).
PICTURES = {
    "RGB": lambda rng: Image.fromarray(random_picture(rng, 29, 43)),
    "RGBA": lambda rng: Image.fromarray(rgba(rng, 29, 43), "RGBA"),
    "L": lambda rng: Image.fromarray(random_picture(rng, 29, 43, 1)[..., 0]),
    "LA": lambda rng: Image.fromarray(rgba(rng, 29, 43)[..., 2:], "LA"),
    "P": lambda rng: Image.fromarray(random_picture(rng, 29, 43)).quantize(37),
}


@pytest.mark.parametrize("mode", PICTURES)
def test_png_read_by_pillow_encodes_as_the_tool_encodes_it(tool, tmp_path, mode):
    png = tmp_path / f"{mode}.png"
    PICTURES[mode](np.random.default_rng(len(mode))).save(png)
    tool.run("encode", "--step", 6, png, tmp_path / "out.kvrn")
    with Image.open(png) as opened:
        assert opened.mode == mode
        pixels = np.asarray(opened.convert("RGB") if mode == "P" else opened)
    assert kvrn.encode(pixels, step=6) == (tmp_path / "out.kvrn").read_bytes()
