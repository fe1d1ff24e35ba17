"""NumPy views of unusual strides give what their contiguous copies give, in every function that
takes pixels: zero strides (a row, a pixel or a sample broadcast; a new axis), negative strides
(flips either way, reversed channels), steps of more than one, and a picture of one row or one
column, where the stride between rows says nothing."""

from __future__ import annotations

import math

import numpy as np
import pytest
from conftest import random_picture

import kvrn

HEIGHT, WIDTH = 23, 37  # partial blocks on the right and at the top


def _views():
    rng = np.random.default_rng(30)
    picture = random_picture(rng, HEIGHT, WIDTH)
    rgba = random_picture(rng, HEIGHT, WIDTH, 4)
    grey = picture[..., 1]
    wider = random_picture(rng, 2 * HEIGHT, 2 * WIDTH)
    shape = picture.shape
    return {
        "a row broadcast down the picture": np.broadcast_to(picture[:1], shape),
        "a column broadcast across it": np.broadcast_to(picture[:, :1], shape),
        "a pixel broadcast everywhere": np.broadcast_to(picture[:1, :1], shape),
        "a sample broadcast to every channel": np.broadcast_to(grey[..., np.newaxis], shape),
        "grey through a new axis": grey[:, :, np.newaxis],
        "a broadcast grey picture": np.broadcast_to(grey[:1], grey.shape),
        "one row through a new axis": picture[np.newaxis, 5],
        "one row broadcast along a new axis": np.broadcast_to(picture[5], (1, WIDTH, 3)),
        "one column through a new axis": picture[:, 7][:, np.newaxis],
        "upside down": picture[::-1],
        "left to right": picture[:, ::-1],
        "turned half round": picture[::-1, ::-1],
        "channels reversed": picture[..., ::-1],
        "every other row and column, upside down": wider[::-2, ::2],
        "RGBA upside down": rgba[::-1],
        "RGBA left to right": rgba[:, ::-1],
        "grey and alpha, upside down": rgba[::-1, :, 2:],
    }


VIEWS = _views()
OTHER = random_picture(np.random.default_rng(31), HEIGHT, WIDTH)


def _inspected(pixels):
    height, width = np.asarray(pixels).shape[:2]
    # The last block position, cut at the top and right but for a picture of whole blocks.
    return kvrn.inspect(pixels, (width - 1) // 8, 0, step=3)


CALLS = {
    "encode": lambda p: kvrn.encode(p, step=3),
    "encode, auto": lambda p: kvrn.encode(p, step="auto"),
    "preview": lambda p: kvrn.preview(p, 5, threads=2),
    "inspect": _inspected,
    "measure, first": lambda p: kvrn.measure(p, _matching(p)),
    "measure, second": lambda p: kvrn.measure(_matching(p), p),
    "error_map": lambda p: kvrn.error_map(p, _matching(p), gain=3),
}


def _matching(pixels):
    """A picture of the same size to compare with."""
    height, width = np.asarray(pixels).shape[:2]
    return np.resize(OTHER, (height, width, 3))


def _same(got, expected, what):
    if isinstance(expected, dict):
        assert got.keys() == expected.keys(), what
        for key in expected:
            _same(got[key], expected[key], f"{what}: {key}")
    elif isinstance(expected, np.ndarray):
        np.testing.assert_array_equal(got, expected, what)
    elif isinstance(expected, float) and math.isnan(expected):
        assert math.isnan(got), what  # SSIM of a picture under 8 pixels high or wide
    else:
        assert got == expected, what


@pytest.mark.filterwarnings("ignore::kvrn.ClippingWarning")
@pytest.mark.parametrize("view", VIEWS, ids=list(VIEWS))
@pytest.mark.parametrize("call", CALLS, ids=list(CALLS))
def test_a_view_gives_what_its_contiguous_copy_gives(view, call):
    pixels = VIEWS[view]
    copy = np.ascontiguousarray(pixels)
    expected = CALLS[call](copy)
    before = copy.copy()
    _same(CALLS[call](pixels), expected, f"{call} of {view}")
    # The view's memory is read, never written.
    np.testing.assert_array_equal(np.ascontiguousarray(pixels), before)
