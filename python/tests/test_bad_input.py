"""What the package refuses, and streams no bytes of which can crash the interpreter."""

from __future__ import annotations

import warnings
from pathlib import Path

import numpy as np
import pytest
from conftest import ROOT, SAMPLES, random_picture

import kvrn

PICTURE = np.zeros((16, 16, 3), np.uint8)

REFUSED = [
    ("float pixels", lambda: kvrn.encode(PICTURE.astype(np.float64)), "uint8 samples"),
    ("bool pixels", lambda: kvrn.encode(PICTURE.astype(bool)), "not bool"),
    ("16-bit pixels", lambda: kvrn.preview(PICTURE.astype(np.uint16), 4), "not uint16"),
    ("a list of floats", lambda: kvrn.encode([[0.5]]), "uint8 samples"),
    ("a list of ints", lambda: kvrn.encode([[[1, 2, 3]]]), "not int64"),
    ("one dimension", lambda: kvrn.encode(np.zeros(16, np.uint8)), "shape (16,)"),
    ("five components", lambda: kvrn.encode(np.zeros((4, 4, 5), np.uint8)), "shape (4, 4, 5)"),
    ("four dimensions", lambda: kvrn.encode(np.zeros((2, 4, 4, 3), np.uint8)), "(2, 4, 4, 3)"),
    ("no rows", lambda: kvrn.encode(np.zeros((0, 4, 3), np.uint8)), "no pixels: 4 x 0"),
    ("no columns", lambda: kvrn.inspect(np.zeros((4, 0)), 0, 0), "uint8"),
    ("no columns of uint8", lambda: kvrn.inspect(np.zeros((4, 0), np.uint8), 0, 0), "4"),
    ("too wide", lambda: kvrn.encode(np.zeros((1, 65536), np.uint8)), "more than 65535 a side"),
    ("too high", lambda: kvrn.preview(np.zeros((65536, 1), np.uint8), 1), "65536 pixels"),
    ("step 0", lambda: kvrn.encode(PICTURE, step=0), "from 1 to 65535"),
    ("step too large", lambda: kvrn.encode(PICTURE, step=65536), "not 65536"),
    ("step a float", lambda: kvrn.encode(PICTURE, step=8.0), "not 8.0"),
    ("step True", lambda: kvrn.encode(PICTURE, step=True), "not True"),
    ("step a word", lambda: kvrn.encode(PICTURE, step="fine"), "'auto'"),
    ("two scales", lambda: kvrn.encode(PICTURE, scales=(1, 2)), "three scales"),
    ("scales a word", lambda: kvrn.encode(PICTURE, scales="auto"), "three scales"),
    ("a Cb scale of 0", lambda: kvrn.encode(PICTURE, scales=(1, 2, 0)), "the Cb scale"),
    ("threads -1", lambda: kvrn.encode(PICTURE, threads=-1), "threads"),
    ("threads 1025", lambda: kvrn.decode(SAMPLES[0].read_bytes(), threads=1025), "1025"),
    ("preview step 0", lambda: kvrn.preview(PICTURE, 0), "step must be"),
    ("preview step 2**31", lambda: kvrn.preview(PICTURE, 2**31), "2147483647"),
    ("channels x", lambda: kvrn.preview(PICTURE, 1, "x"), "y, r and b"),
    ("channels none", lambda: kvrn.decode(SAMPLES[0].read_bytes(), ""), "y, r and b"),
    ("channels a mask", lambda: kvrn.decode(SAMPLES[0].read_bytes(), 7), "not 7"),
    ("column outside", lambda: kvrn.inspect(PICTURE, 2, 0), "column must be"),
    ("row outside", lambda: kvrn.inspect(PICTURE, 0, -1), "(the picture has 2)"),
    ("max_pixels 0", lambda: kvrn.decode(SAMPLES[0].read_bytes(), max_pixels=0), "max_pixels"),
]


@pytest.mark.parametrize("call, words", [case[1:] for case in REFUSED], ids=[c[0] for c in REFUSED])
def test_refused_with_clear_words(call, words):
    with pytest.raises(kvrn.Error) as raised:
        call()
    assert words in str(raised.value)
    assert isinstance(raised.value, ValueError)


def test_objects_without_bytes_are_type_errors():
    for call in (kvrn.decode, kvrn.info):
        with pytest.raises(TypeError):
            call("NRVK")


def survive(data: bytes) -> None:
    """decode and info of `data` return or raise kvrn.Error; anything else fails the test."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", kvrn.TruncatedWarning)
        for call in (kvrn.info, lambda d: kvrn.decode(d, threads=2), lambda d: kvrn.decode(d, "r")):
            try:
                call(data)
            except kvrn.Error:
                pass


CORPUS = sorted((ROOT / "tests" / "fuzz" / "corpus" / "decode_fuzz").iterdir())


@pytest.mark.parametrize("path", CORPUS, ids=[path.name for path in CORPUS])
def test_fuzz_corpus_every_cut_and_flip(path: Path):
    data = path.read_bytes()
    for cut in range(len(data) + 1):
        survive(data[:cut])
    for offset in range(len(data)):
        for flip in (0x01, 0x80, 0xFF):
            changed = bytearray(data)
            changed[offset] ^= flip
            survive(bytes(changed))


def test_encoded_stream_every_cut_and_flip():
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", kvrn.ClippingWarning)
        data = kvrn.encode(random_picture(np.random.default_rng(5), 19, 29), step=2)
    assert len(data) > 1000
    for cut in range(len(data) + 1):
        survive(data[:cut])
    rng = np.random.default_rng(6)
    for offset in range(len(data)):
        changed = bytearray(data)
        changed[offset] ^= int(rng.integers(1, 256))
        survive(bytes(changed))


def test_random_bytes_and_sample_cuts():
    rng = np.random.default_rng(7)
    for size in range(0, 200):
        survive(bytes(rng.integers(0, 256, size, np.uint8)))
        # A KVRN header of a small random size before random blocks.
        sides = rng.integers(0, 40, 2)
        header = b"NRVK" + bytes([sides[0], 0, sides[1], 0, 1, 0, 1, 0, 1, 0])
        survive(header + bytes(rng.integers(0, 256, size, np.uint8)))
    data = SAMPLES[-1].read_bytes()
    for cut in range(0, len(data), 997):
        survive(data[:cut])


def test_buffers_of_every_kind_read_alike():
    data = SAMPLES[0].read_bytes()
    expected = kvrn.decode(data)
    for given in (bytearray(data), memoryview(data), np.frombuffer(data, np.uint8)):
        np.testing.assert_array_equal(kvrn.decode(given), expected)
        assert kvrn.info(given) == kvrn.info(data)


@pytest.mark.parametrize("function", [kvrn.decode, kvrn.block_map], ids=["decode", "block_map"])
def test_max_pixels_takes_a_picture_of_exactly_that_many(function):
    data = kvrn.encode(random_picture(np.random.default_rng(5), 13, 21), step=4)
    function(data, max_pixels=13 * 21)
    function(data, max_pixels=None)
    with pytest.raises(kvrn.Error, match="max_pixels"):
        function(data, max_pixels=13 * 21 - 1)
