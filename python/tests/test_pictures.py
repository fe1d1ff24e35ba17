"""The forms of pictures taken, threads, inspect's tables, memory over many calls."""

from __future__ import annotations

import concurrent.futures
import warnings

import numpy as np
import pytest
from conftest import SAMPLES, random_picture

import kvrn


@pytest.fixture(scope="module")
def picture():
    return random_picture(np.random.default_rng(11), 203, 397)


def over_white(rgba: np.ndarray) -> np.ndarray:
    value = rgba[..., :3].astype(np.uint32)
    alpha = rgba[..., 3:].astype(np.uint32)
    return ((value * alpha + 255 * (255 - alpha) + 127) // 255).astype(np.uint8)


def test_forms_of_the_same_picture_encode_alike(picture):
    expected = kvrn.encode(picture)
    views = {
        "fortran order": np.asfortranarray(picture),
        "every other column of a wider one": np.repeat(picture, 2, axis=1)[:, ::2],
        "bottom row first, flipped back": np.flipud(np.ascontiguousarray(picture[::-1])),
        "a crop of a larger one": np.pad(picture, ((3, 5), (7, 2), (0, 0)))[3:-5, 7:-2],
        "BGR reversed": np.ascontiguousarray(picture[..., ::-1])[..., ::-1],
    }
    for name, view in views.items():
        assert kvrn.encode(view) == expected, name
        shown = kvrn.preview(view, 5)
        np.testing.assert_array_equal(shown, kvrn.preview(np.array(view, np.uint8), 5), name)


def test_grey_and_alpha_are_the_colour_pictures_they_stand_for(picture):
    grey = picture[..., 1]
    assert kvrn.encode(grey) == kvrn.encode(np.stack([grey] * 3, axis=2))
    assert kvrn.encode(grey[..., None]) == kvrn.encode(grey)
    rgba = np.concatenate([picture, picture[..., :1]], axis=2)
    assert kvrn.encode(rgba) == kvrn.encode(over_white(rgba))
    np.testing.assert_array_equal(kvrn.preview(rgba, 9), kvrn.preview(over_white(rgba), 9))
    grey_alpha = picture[..., :2]
    spread = grey_alpha[..., [0, 0, 0, 1]]
    assert kvrn.encode(grey_alpha) == kvrn.encode(over_white(spread))


@pytest.mark.filterwarnings("ignore::kvrn.ClippingWarning")
def test_any_number_of_threads_gives_the_same_results(picture):
    data = {threads: kvrn.encode(picture, step=3, threads=threads) for threads in (1, 4, 0)}
    assert data[1] == data[4] == data[0]
    decoded = [kvrn.decode(data[1], threads=threads) for threads in (1, 4, 0)]
    shown = [kvrn.preview(decoded[0], 13, "rb", threads=threads) for threads in (1, 4, 0)]
    for results in (decoded, shown):
        np.testing.assert_array_equal(results[0], results[1])
        np.testing.assert_array_equal(results[0], results[2])


def test_calls_from_python_threads_at_once_give_their_own_results(picture):
    steps = list(range(1, 17))
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", kvrn.ClippingWarning)
        alone = [kvrn.encode(picture, step=step, threads=1) for step in steps]
        with concurrent.futures.ThreadPoolExecutor(4) as pool:
            together = list(pool.map(lambda step: kvrn.encode(picture, step=step), steps))
            decoded = list(pool.map(kvrn.decode, together))
    assert together == alone
    for data, picture_decoded in zip(alone, decoded):
        np.testing.assert_array_equal(picture_decoded, kvrn.decode(data))


def test_channels_left_out_of_decode():
    data = SAMPLES[0].read_bytes()
    luma = kvrn.decode(data, "y")
    # Y alone is grey: the chroma neutral.
    np.testing.assert_array_equal(luma[..., 0], luma[..., 1])
    np.testing.assert_array_equal(luma[..., 0], luma[..., 2])
    assert not np.array_equal(kvrn.decode(data, "yr"), kvrn.decode(data))
    np.testing.assert_array_equal(kvrn.decode(data, "bry"), kvrn.decode(data))


@pytest.mark.parametrize("height, width", [(203, 397), (8, 8), (1, 1), (17, 9)])
def test_inspect_tells_what_encode_and_decode_make(height, width):
    rng = np.random.default_rng(height + width)
    pixels = random_picture(rng, height, width)
    scales = (2, 7, 30)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", kvrn.ClippingWarning)
        data = kvrn.encode(pixels, scales=scales)
    decoded = kvrn.decode(data)
    columns, rows = (width + 7) // 8, (height + 7) // 8
    coded = 0
    stream = memoryview(data)[14:]
    for row in range(rows):
        for column in range(columns):
            report = kvrn.inspect(pixels, column, row, scales=scales)
            assert report["scales"] == {"y": 2, "cr": 7, "cb": 30}
            top, left = report["first_pixel_row"], report["first_pixel_column"]
            high, wide = report["pixel_rows"], report["pixel_columns"]
            assert (left, wide) == (8 * column, min(8, width - 8 * column))
            assert top + high == height - 8 * (rows - 1 - row)
            # The tables run from the block's lowest row; the picture from its top.
            shown = np.flipud(report["decoded_rgb"][:high, :wide])
            np.testing.assert_array_equal(shown, decoded[top : top + high, left : left + wide])
            np.testing.assert_array_equal(
                np.flipud(report["rgb"][:high, :wide]), pixels[top : top + high, left : left + wide]
            )
            for channel in ("y", "cr", "cb"):
                table = report[channel]
                assert table["samples"].shape == (8, 8) and table["stored"].shape == (64,)
                np.testing.assert_array_equal(
                    table["error"], table["reconstruction"] - table["samples"]
                )
                assert table["stored"][0] == table["quantised"][0, 0]
                assert table["stored_count"] <= 64
                assert not table["stored"][table["stored_count"] :].any()
                coded += table["coded_bytes"]
    # Stream order is bottom block row first; the sizes add up either way.
    assert coded == len(stream)


def test_inspect_takes_auto_scales(picture):
    report = kvrn.inspect(picture, 3, 4, step="auto")
    assert all(report[channel]["clipped"] == 0 for channel in ("y", "cr", "cb"))
    assert report["scales"]["y"] == kvrn.info(kvrn.encode(picture, step="auto"))["scales"]["y"]


def resident_bytes() -> int:
    with open("/proc/self/statm", encoding="ascii") as statm:
        return int(statm.read().split()[1]) * 4096


def test_ten_thousand_calls_keep_memory_level():
    pixels = random_picture(np.random.default_rng(3), 40, 56)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        data = kvrn.encode(pixels, step=1)
    calls = [
        lambda: kvrn.encode(pixels, step=1),
        lambda: kvrn.decode(data),
        lambda: kvrn.decode(data[:300]),
        lambda: kvrn.info(data[:300]),
        lambda: kvrn.preview(pixels, 4, "yb"),
        lambda: kvrn.inspect(pixels, 2, 1),
        lambda: kvrn.decode(b"NRVK"),
        lambda: kvrn.encode(pixels.astype(np.int16)),
    ]

    def run(times):
        for i in range(times):
            try:
                calls[i % len(calls)]()
            except kvrn.Error:
                pass

    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        run(2000)
        before = resident_bytes()
        run(10000)
        after = resident_bytes()
    # Every result is kilobytes: leaking one per call would be tens of megabytes.
    assert after - before < 4 << 20, (before, after)
