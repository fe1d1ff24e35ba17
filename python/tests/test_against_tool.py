"""Each function held to the kvrn command line: the same bytes, pixels and JSON."""

from __future__ import annotations

import json
import re
import warnings

import numpy as np
import pytest
from conftest import PICTURE_SIZES, SAMPLES, random_picture, read_ppm, write_ppm

import kvrn

SAMPLE_IDS = [path.name for path in SAMPLES]


def tool_info(tool, path):
    done = tool.run("info", "--json", path, expect=(0, 2))
    fields = json.loads(done.stdout)
    del fields["file"]
    return fields


@pytest.fixture(scope="module", params=SAMPLES, ids=SAMPLE_IDS)
def sample(request):
    return request.param


def test_samples_decode_as_the_tool_decodes(tool, sample, tmp_path):
    tool.run("decode", sample, tmp_path / "out.ppm")
    np.testing.assert_array_equal(kvrn.decode(sample.read_bytes()), read_ppm(tmp_path / "out.ppm"))


def test_samples_info_is_the_tools_json(tool, sample):
    fields = kvrn.info(sample.read_bytes())
    expected = tool_info(tool, sample)
    assert fields == expected
    assert list(fields) == list(expected)


@pytest.mark.parametrize(
    "step, channels", [(1, "yrb"), (8, "yrb"), (41, "yb"), (16, "r"), (3, "rb"), (65536, "y")]
)
def test_samples_preview_as_the_tool_previews(tool, sample, tmp_path, step, channels):
    out = tmp_path / "preview.ppm"
    tool.run("preview", "--step", step, "--channels", channels, sample, out)
    shown = kvrn.preview(kvrn.decode(sample.read_bytes()), step, channels)
    np.testing.assert_array_equal(shown, read_ppm(out))


@pytest.mark.filterwarnings("ignore::kvrn.ClippingWarning")
@pytest.mark.parametrize("options", [["--step", "8"], ["--scales", "3,20,60"], ["--step", "auto"]])
def test_decoded_samples_encode_as_the_tool_encodes(tool, sample, tmp_path, options):
    picture = kvrn.decode(sample.read_bytes())
    write_ppm(tmp_path / "in.ppm", picture)
    tool.run("encode", "-q", *options, tmp_path / "in.ppm", tmp_path / "out.kvrn")
    if options[0] == "--step":
        data = kvrn.encode(picture, step=options[1] if options[1] == "auto" else int(options[1]))
    else:
        data = kvrn.encode(picture, scales=[int(s) for s in options[1].split(",")])
    assert data == (tmp_path / "out.kvrn").read_bytes()


ENCODINGS = [
    ({"step": 8}, ["--step", "8"]),
    ({"step": 1}, ["--step", "1"]),
    ({"step": 300}, ["--step", "300"]),
    ({"scales": (2, 9, 65535)}, ["--scales", "2,9,65535"]),
    ({"step": "auto"}, ["--step", "auto"]),
    ({"scales": ("auto", 12, "auto")}, ["--scales", "auto,12,auto"]),
]


@pytest.mark.parametrize("height, width", PICTURE_SIZES)
@pytest.mark.parametrize("keywords, options", ENCODINGS, ids=lambda value: str(value))
def test_random_pictures_encode_as_the_tool_encodes(tool, tmp_path, height, width, keywords, options):
    rng = np.random.default_rng(height * 1000 + width)
    picture = random_picture(rng, height, width)
    write_ppm(tmp_path / "in.ppm", picture)
    done = tool.run("encode", *options, tmp_path / "in.ppm", tmp_path / "out.kvrn")
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        data = kvrn.encode(picture, **keywords)
    assert data == (tmp_path / "out.kvrn").read_bytes()
    # The warning counts the clipped coefficients as the tool's does.
    said = re.search(rb"(\d+) AC coefficients did not fit", done.stderr)
    clipped = [w.message.clipped for w in caught if issubclass(w.category, kvrn.ClippingWarning)]
    assert clipped == ([int(said.group(1))] if said else [])


@pytest.mark.parametrize("height, width", PICTURE_SIZES)
def test_random_pictures_decode_and_preview_as_the_tool_does(tool, tmp_path, height, width):
    rng = np.random.default_rng(height * 7 + width)
    data = kvrn.encode(random_picture(rng, height, width), step=5)
    (tmp_path / "in.kvrn").write_bytes(data)
    tool.run("decode", tmp_path / "in.kvrn", tmp_path / "decoded.ppm")
    decoded = kvrn.decode(data)
    np.testing.assert_array_equal(decoded, read_ppm(tmp_path / "decoded.ppm"))
    for step, channels in [(1, "yrb"), (7, "ry"), (30, "b")]:
        tool.run("preview", "--step", step, "--channels", channels, tmp_path / "in.kvrn",
                 tmp_path / "shown.ppm")
        np.testing.assert_array_equal(
            kvrn.preview(decoded, step, channels), read_ppm(tmp_path / "shown.ppm")
        )
    assert kvrn.info(data) == tool_info(tool, tmp_path / "in.kvrn")


def cut_points(data):
    """Cuts at the header's end, inside and at the ends of the first blocks, and further on."""
    points = {14, 15, 16, 17, 18, 19, 20, 30, 31, 32, 33, len(data) - 1, len(data) // 2}
    return sorted(point for point in points if point < len(data))


@pytest.mark.parametrize("height, width, step", [(17, 31, 2), (37, 50, 4)])
def test_cut_streams_as_the_tool_reads_them(tool, tmp_path, height, width, step):
    rng = np.random.default_rng(width)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", kvrn.ClippingWarning)
        data = kvrn.encode(random_picture(rng, height, width), step=step)
    path = tmp_path / "cut.kvrn"
    for cut in cut_points(data):
        path.write_bytes(data[:cut])
        fields = kvrn.info(data[:cut])
        assert fields == tool_info(tool, path), cut
        assert fields["complete"] is False
        done = tool.run("decode", path, tmp_path / "out.ppm", expect=(2,))
        with pytest.warns(kvrn.TruncatedWarning) as caught:
            picture = kvrn.decode(data[:cut])
        np.testing.assert_array_equal(picture, read_ppm(tmp_path / "out.ppm"))
        # The tool's warning, after its "kvrn: FILE: warning: ".
        assert done.stderr.decode().rstrip("\n").endswith(str(caught[0].message)), cut
        missing = int(re.search(r"; (\d+) coded block", str(caught[0].message)).group(1))
        assert caught[0].message.missing_blocks == missing


def test_trailing_bytes_as_the_tool_counts_them(tool, tmp_path):
    data = SAMPLES[0].read_bytes() + b"\x00\x7f\xff"
    (tmp_path / "long.kvrn").write_bytes(data)
    fields = kvrn.info(data)
    assert fields["trailing"] == 3
    assert fields == tool_info(tool, tmp_path / "long.kvrn")


@pytest.mark.parametrize(
    "data",
    [b"", b"NRV", b"NRVK\x01\x00", b"JFIF" + bytes(20), b"NRVK" + bytes(10)],
    ids=["empty", "three-bytes", "short-header", "other-magic", "no-pixels"],
)
def test_unreadable_streams_in_the_tools_words(tool, tmp_path, data):
    path = tmp_path / "bad.kvrn"
    path.write_bytes(data)
    done = tool.run("decode", path, tmp_path / "out.ppm", expect=(1,))
    with pytest.raises(kvrn.Error) as raised:
        kvrn.decode(data)
    assert done.stderr.decode() == f"kvrn: {path}: {raised.value}\n"
    if data[:4] == b"NRVK" and len(data) >= 14:
        # info reads a header without pixels; it has nothing to decode.
        assert kvrn.info(data) == tool_info(tool, path)
        return
    with pytest.raises(kvrn.Error) as raised:
        kvrn.info(data)
    assert str(raised.value) in tool.run("info", path, expect=(1,)).stderr.decode()


def test_over_the_pixel_limit_in_the_tools_words(tool, tmp_path):
    data = SAMPLES[0].read_bytes()
    path = tmp_path / "big.kvrn"
    path.write_bytes(data)
    done = tool.run("decode", "--max-pixels", 1000, path, tmp_path / "out.ppm", expect=(1,))
    with pytest.raises(kvrn.Error) as raised:
        kvrn.decode(data, max_pixels=1000)
    said = done.stderr.decode().replace("(--max-pixels)", "(max_pixels)")
    assert said == f"kvrn: {path}: {raised.value}\n"


def test_version_is_the_tools(tool):
    assert tool.run("--version").stdout.decode().split() == ["kvrn", kvrn.__version__]
