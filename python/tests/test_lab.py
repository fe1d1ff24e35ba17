"""The lab's figures, rows and maps held to kvrn diff, sweep and blocks on the same pictures."""

from __future__ import annotations

import math
import re
import sys
import warnings

import numpy as np
import pytest
from conftest import ROOT, random_picture, write_ppm
from PIL import Image

import kvrn

DUNE = ROOT / "samples" / "dune-403x251.kvrn"
CHART = ROOT / "samples" / "test-chart.kvrn"


def decimals(value: float, places: int) -> str:
    """A figure as the tool prints it: fixed decimals, 'inf' or 'nan' when not finite."""
    if math.isnan(value):
        return "nan"
    if math.isinf(value):
        return "inf"
    return f"{value:.{places}f}"


def diff_line(figures) -> str:
    return (
        f"psnr_rgb {decimals(figures['psnr_rgb'], 3)}  psnr_y {decimals(figures['psnr_y'], 3)}  "
        f"ssim_y {decimals(figures['ssim_y'], 5)}  max_error {figures['max_error']}\n"
    )


def read_png(path) -> np.ndarray:
    with Image.open(path) as picture:
        assert picture.mode == "RGB"
        return np.asarray(picture)


def dune() -> np.ndarray:
    return kvrn.decode(DUNE.read_bytes())


def chart_crop() -> np.ndarray:
    """A piece of the chart the samples do not hold, with partial blocks on every edge."""
    return np.ascontiguousarray(kvrn.decode(CHART.read_bytes())[5:42, 3:60])


def requantised(picture: np.ndarray, step: int) -> np.ndarray:
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", kvrn.ClippingWarning)
        return kvrn.decode(kvrn.encode(picture, step=step))


def noisy(picture: np.ndarray) -> np.ndarray:
    rng = np.random.default_rng(7)
    noise = rng.integers(-40, 41, size=picture.shape)
    return np.clip(picture.astype(np.int32) + noise, 0, 255).astype(np.uint8)


# Pairs of pictures of one size: a sample and the held-out crop against themselves requantised,
# with noise and unchanged ('inf'), and pictures under the SSIM window ('nan').
PAIRS = {
    "dune step 20": lambda: (dune(), requantised(dune(), 20)),
    "dune noise": lambda: (dune(), noisy(dune())),
    "dune unchanged": lambda: (dune(), dune()),
    "crop step 3": lambda: (chart_crop(), requantised(chart_crop(), 3)),
    "crop noise": lambda: (chart_crop(), noisy(chart_crop())),
    "tiny": lambda: (
        random_picture(np.random.default_rng(1), 9, 7),
        random_picture(np.random.default_rng(2), 9, 7),
    ),
}


@pytest.fixture(scope="module", params=PAIRS, ids=list(PAIRS))
def pair(request, tmp_path_factory):
    a, b = PAIRS[request.param]()
    folder = tmp_path_factory.mktemp("pair")
    write_ppm(folder / "a.ppm", a)
    write_ppm(folder / "b.ppm", b)
    return a, b, folder


def test_measure_gives_the_figures_diff_prints(tool, pair):
    a, b, folder = pair
    printed = tool.run("diff", folder / "a.ppm", folder / "b.ppm").stdout.decode()
    figures = kvrn.measure(a, b)
    assert diff_line(figures) == printed
    assert list(figures) == ["psnr_rgb", "psnr_y", "ssim_y", "max_error"]
    assert diff_line(kvrn.measure(a, b, threads=1)) == printed


@pytest.mark.parametrize("gain, legend", [(8, True), (8, False), (1, True), (255, False), (3, True)])
def test_error_map_is_the_png_diff_writes(tool, pair, gain, legend):
    a, b, folder = pair
    png = folder / f"map-{gain}-{legend}.png"
    options = ["--gain", gain] + ([] if legend else ["--no-legend"])
    tool.run("diff", *options, folder / "a.ppm", folder / "b.ppm", png)
    shown = kvrn.error_map(a, b, gain=gain, legend=legend)
    assert shown.dtype == np.uint8 and shown.flags.c_contiguous
    np.testing.assert_array_equal(shown, read_png(png))


def test_rgba_is_composed_onto_white_as_the_tool_reads_a_png(tool, tmp_path):
    rng = np.random.default_rng(5)
    rgba = random_picture(rng, 21, 30, 4)
    rgba[..., 3] = rng.choice([0, 1, 128, 255], size=(21, 30))
    Image.fromarray(rgba, "RGBA").save(tmp_path / "a.png")
    other = random_picture(rng, 21, 30)
    write_ppm(tmp_path / "b.ppm", other)
    printed = tool.run("diff", tmp_path / "a.png", tmp_path / "b.ppm", tmp_path / "map.png")
    assert diff_line(kvrn.measure(rgba, other)) == printed.stdout.decode()
    np.testing.assert_array_equal(
        kvrn.error_map(rgba, other, legend=True), read_png(tmp_path / "map.png")
    )


SWEEPS = [
    ("dune", dune, ["--steps", "1,5,8,40", "--qualities", "10,75,100", "--tables"]),
    ("crop", chart_crop, ["--steps", "2,16,300", "--qualities", "1,50,95"]),
    ("crop defaults", chart_crop, []),
    ("crop only JPEG tables", chart_crop, ["--steps", "7", "--qualities", "30", "--tables"]),
    (
        "dune yardsticks",
        dune,
        ["--codecs", "jpeg444,webp,avif420,jxl", "--qualities", "60", "--webp-qualities", "0,77",
         "--avif-quantizers", "33", "--jxl-distances", "0.5,2.25"],
    ),
    (
        "crop every codec and metric",
        chart_crop,
        ["--codecs", "all", "--metrics", "all", "--steps", "8", "--qualities", "50",
         "--webp-qualities", "80", "--avif-quantizers", "20", "--jxl-distances", "1"],
    ),
    ("crop psnr_y of KVRN alone", chart_crop, ["--codecs", "kvrn", "--metrics", "psnr_y"]),
]


def sweep_keywords(options):
    """kvrn.sweep's keywords for the tool's options."""
    keywords = {}
    for name, value in zip(options, options[1:] + [""]):
        if name == "--steps":
            keywords["steps"] = [int(v) for v in value.split(",")]
        elif name == "--qualities":
            keywords["qualities"] = [int(v) for v in value.split(",")]
        elif name == "--tables":
            keywords["tables"] = True
        elif name in ("--codecs", "--metrics"):
            keywords[name[2:]] = value if value == "all" else value.split(",")
        elif name in ("--webp-qualities", "--avif-quantizers"):
            keywords[name[2:].replace("-", "_")] = [int(v) for v in value.split(",")]
        elif name == "--jxl-distances":
            keywords["jxl_distances"] = [float(v) for v in value.split(",")]
    return keywords


# Each metric's decimals in the tool's table.
PLACES = {"psnr_rgb": 3, "psnr_y": 3, "ssim_y": 5, "ms_ssim_y": 5, "butteraugli": 4,
          "butteraugli_3norm": 4}


def csv_line(row) -> str:
    metrics = [name for name in kvrn.METRICS if name in row]
    return ",".join(
        [row["codec"], str(row["setting"]), str(row["bytes"]), decimals(row["bits_per_pixel"], 4)]
        + [decimals(row[name], PLACES[name]) for name in metrics]
    )


@pytest.mark.filterwarnings("ignore::kvrn.ClippingWarning")
@pytest.mark.parametrize("make, options", [s[1:] for s in SWEEPS], ids=[s[0] for s in SWEEPS])
def test_sweep_rows_are_the_table_sweep_prints(tool, tmp_path, make, options):
    picture = make()
    write_ppm(tmp_path / "in.ppm", picture)
    tool.run("sweep", *options, "--csv", tmp_path / "table.csv", tmp_path / "in.ppm")
    every = (tmp_path / "table.csv").read_text().splitlines()
    comments = [line for line in every if line.startswith("#")]
    lines = [line for line in every if not line.startswith("#")]
    rows = kvrn.sweep(picture, **sweep_keywords(options))
    assert [csv_line(row) for row in rows] == lines[1:]
    columns = lines[0].split(",")
    for row in rows:
        assert list(row) == columns + ["max_error", "clipped"]
    if "--codecs" not in options and "--metrics" not in options:
        assert tuple(columns) + ("max_error", "clipped") == kvrn.SWEEP_COLUMNS
    # The '#' lines name the libraries kvrn.codecs() names, for the codecs swept.
    libraries = {c["name"]: f"# {c['name']}: {c['library']}, as {c['made_as']}" for c in kvrn.codecs()}
    swept = list(dict.fromkeys(row["codec"] for row in rows))
    if {"webp", "avif444", "avif420", "jxl"} & set(swept):
        assert comments == [libraries[name] for name in swept]
    else:
        assert comments == []
    for row in rows:
        if "psnr_rgb" in row:
            assert (row["psnr_rgb"] == math.inf) == (row["max_error"] == 0)
        if row["codec"] in ("kvrn", "kvrn+zstd"):
            # Clipped as encode warns for the same step.
            with warnings.catch_warnings(record=True) as caught:
                warnings.simplefilter("always")
                kvrn.encode(picture, step=row["setting"])
            assert row["clipped"] == any(w.category is kvrn.ClippingWarning for w in caught)
            decoded = kvrn.decode(kvrn.encode(picture, step=row["setting"]))
            assert row["max_error"] == kvrn.measure(picture, decoded)["max_error"]
        else:
            assert row["clipped"] is False


@pytest.mark.filterwarnings("ignore::kvrn.ClippingWarning")
def test_sweep_as_frame_holds_the_same_rows():
    pandas = pytest.importorskip("pandas")
    picture = chart_crop()
    rows = kvrn.sweep(picture, steps=[1, 9], qualities=[40], tables=True, threads=1)
    frame = kvrn.sweep(picture, steps=[1, 9], qualities=[40], tables=True, as_frame=True)
    assert isinstance(frame, pandas.DataFrame)
    assert list(frame.columns) == list(kvrn.SWEEP_COLUMNS)
    assert frame.to_dict("records") == rows
    empty = kvrn.sweep(picture, steps=[], qualities=[], as_frame=True)
    assert list(empty.columns) == list(kvrn.SWEEP_COLUMNS) and len(empty) == 0


def test_sweep_as_frame_without_pandas_says_what_to_install(monkeypatch):
    monkeypatch.setitem(sys.modules, "pandas", None)
    with pytest.raises(ImportError, match="needs pandas.*as_frame False"):
        kvrn.sweep(chart_crop(), steps=[8], qualities=[], as_frame=True)


def held_out_file() -> bytes:
    return kvrn.encode(chart_crop(), step=4)


def cut_file() -> bytes:
    return DUNE.read_bytes()[:3000]


BLOCK_FILES = {
    "dune": lambda: DUNE.read_bytes(),
    "chart": lambda: CHART.read_bytes(),
    "default": lambda: (ROOT / "samples" / "default.kvrn").read_bytes(),
    "crop": held_out_file,
    "cut": cut_file,
}

BLOCK_OPTIONS = [
    {},
    {"legend": True},
    {"channel": "y", "legend": True},
    {"channel": "cr", "scale": "auto"},
    {"channel": "cb", "scale": "fixed", "legend": True},
    {"scale": "auto", "legend": True},
]


def blocks_options(keywords) -> list:
    """kvrn blocks' options for block_map's keywords."""
    options = []
    if keywords.get("channel"):
        options += ["--channel", keywords["channel"]]
    if keywords.get("scale"):
        options += ["--scale", keywords["scale"]]
    return options + ([] if keywords.get("legend") else ["--no-legend"])


@pytest.mark.parametrize("name", BLOCK_FILES)
@pytest.mark.parametrize("keywords", BLOCK_OPTIONS, ids=str)
def test_block_map_is_the_png_blocks_writes(tool, tmp_path, name, keywords):
    data = BLOCK_FILES[name]()
    (tmp_path / "in.kvrn").write_bytes(data)
    cut = name == "cut"
    done = tool.run(
        "blocks",
        *blocks_options(keywords),
        tmp_path / "in.kvrn",
        tmp_path / "map.png",
        expect=(2,) if cut else (0,),
    )
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        shown = kvrn.block_map(data, **keywords)
    np.testing.assert_array_equal(shown, read_png(tmp_path / "map.png"))
    assert [w.category for w in caught] == ([kvrn.TruncatedWarning] if cut else [])
    if cut:
        # Where the stream ends, in the tool's words.
        said = re.search(r"ends early, in (.*\)); (\d+)", done.stderr.decode())
        assert said.group(1) in str(caught[0].message)
        assert caught[0].message.missing_blocks == int(said.group(2))


PICTURE = np.zeros((16, 16, 3), np.uint8)
HEADER = kvrn.encode(PICTURE, step=8)[:14]

REFUSED = [
    ("sizes differ", lambda: kvrn.measure(PICTURE, PICTURE[:8]), "a is 16 x 16 pixels and b 16 x 8"),
    ("float pixels", lambda: kvrn.measure(PICTURE, PICTURE * 1.0), "uint8 samples"),
    ("no pixels", lambda: kvrn.error_map(PICTURE[:0], PICTURE[:0]), "no pixels"),
    ("map sizes differ", lambda: kvrn.error_map(PICTURE[:, :3], PICTURE), "one size compare"),
    ("gain 0", lambda: kvrn.error_map(PICTURE, PICTURE, gain=0), "gain must be"),
    ("gain 256", lambda: kvrn.error_map(PICTURE, PICTURE, gain=256), "not 256"),
    ("legend a word", lambda: kvrn.error_map(PICTURE, PICTURE, legend="yes"), "True or False"),
    ("step 0", lambda: kvrn.sweep(PICTURE, steps=[0]), "each of steps"),
    ("step 65536", lambda: kvrn.sweep(PICTURE, steps=[8, 65536]), "not 65536"),
    ("quality 101", lambda: kvrn.sweep(PICTURE, qualities=[101]), "from 1 to 100"),
    ("steps a word", lambda: kvrn.sweep(PICTURE, steps="8"), "a list of whole numbers"),
    ("steps a number", lambda: kvrn.sweep(PICTURE, steps=8), "a list of whole numbers"),
    ("quality a float", lambda: kvrn.sweep(PICTURE, qualities=[7.5]), "not 7.5"),
    ("tables 1", lambda: kvrn.sweep(PICTURE, tables=1), "True or False"),
    ("codec png", lambda: kvrn.sweep(PICTURE, codecs=["kvrn", "png"]),
     "unknown codec png: the codecs are kvrn, kvrn+zstd, jpeg444"),
    ("codecs a word", lambda: kvrn.sweep(PICTURE, codecs="webp"), "a list of names"),
    ("metric vmaf", lambda: kvrn.sweep(PICTURE, metrics=["vmaf"]), "the metrics are psnr_rgb"),
    ("webp quality 101", lambda: kvrn.sweep(PICTURE, webp_qualities=[101]), "from 0 to 100"),
    ("avif quantizer 64", lambda: kvrn.sweep(PICTURE, avif_quantizers=[64]), "from 0 to 63"),
    ("jxl distance 0.05", lambda: kvrn.sweep(PICTURE, jxl_distances=[0.05]), "0.1 to 25"),
    ("jxl distance a word", lambda: kvrn.sweep(PICTURE, jxl_distances=["1"]), "0.1 to 25"),
    ("sweep threads", lambda: kvrn.sweep(PICTURE, threads=-2), "threads"),
    ("channel u", lambda: kvrn.block_map(HEADER, channel="u"), "'y', 'cr' or 'cb'"),
    ("channel Y", lambda: kvrn.block_map(HEADER, channel=0), "not 0"),
    ("scale log", lambda: kvrn.block_map(HEADER, scale="log"), "'fixed' or 'auto'"),
    ("not KVRN", lambda: kvrn.block_map(b"P6 16 16 255 " + bytes(30)), "not a KVRN file"),
    ("too short", lambda: kvrn.block_map(HEADER[:9]), "9 of 14 bytes"),
    ("no pixels in file", lambda: kvrn.block_map(HEADER[:4] + bytes(10)), "no blocks to map"),
    (
        "over max_pixels",
        lambda: kvrn.block_map(HEADER[:4] + b"\xff\xff\xff\xff" + HEADER[8:]),
        "more than the limit",
    ),
]


@pytest.mark.parametrize("call, words", [case[1:] for case in REFUSED], ids=[c[0] for c in REFUSED])
def test_refused_with_clear_words(call, words):
    with pytest.raises(kvrn.Error) as raised:
        call()
    assert words in str(raised.value)


def test_any_bytes_after_a_header_map_without_crashing():
    rng = np.random.default_rng(3)
    for size in (0, 1, 5, 64, 700):
        data = HEADER + rng.integers(0, 256, size=size, dtype=np.uint8).tobytes()
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", kvrn.TruncatedWarning)
            for channel in (None, "y", "cr", "cb"):
                shown = kvrn.block_map(data, channel=channel, scale="auto", legend=True)
                assert shown.shape == (16 + 64, 360, 3)


def test_measure_and_maps_run_side_by_side_from_threads():
    """The GIL is let go, and maps with legends drawn from several threads at once agree."""
    from concurrent.futures import ThreadPoolExecutor

    a, b = chart_crop(), noisy(chart_crop())
    data = held_out_file()
    expected = (kvrn.error_map(a, b, legend=True), kvrn.block_map(data, legend=True))
    with ThreadPoolExecutor(4) as pool:
        results = list(
            pool.map(
                lambda _: (kvrn.error_map(a, b, legend=True), kvrn.block_map(data, legend=True)),
                range(8),
            )
        )
    for error, blocks in results:
        np.testing.assert_array_equal(error, expected[0])
        np.testing.assert_array_equal(blocks, expected[1])
