"""MS-SSIM and Butteraugli through kvrn.measure: MS-SSIM held to numpy, computed here from its
published definition (Wang, Simoncelli and Bovik, 2003), and the figures held to what
``kvrn diff --metrics`` prints."""

from __future__ import annotations

import math

import numpy as np
import pytest
from conftest import ROOT, random_picture, write_ppm
from test_lab import decimals, dune, noisy, requantised

import kvrn

DEFAULT = ROOT / "samples" / "default.kvrn"

# The 11 x 11 Gaussian window of sigma 1.5, weights adding up to 1, and the stabilising constants
# (K1 L)^2, (K2 L)^2 with K1 = 0.01, K2 = 0.03, L = 255.
_TAPS = np.exp(-0.5 * (np.arange(11) - 5.0) ** 2 / 1.5**2)
_TAPS /= _TAPS.sum()
_C1 = (0.01 * 255) ** 2
_C2 = (0.03 * 255) ** 2
_WEIGHTS = [0.0448, 0.2856, 0.3001, 0.2363, 0.1333]


def _luma(picture: np.ndarray) -> np.ndarray:
    rgb = picture.astype(np.float64)
    return 0.299 * rgb[..., 0] + 0.587 * rgb[..., 1] + 0.114 * rgb[..., 2]


def _local_mean(plane: np.ndarray) -> np.ndarray:
    """The Gaussian-weighted mean at every position where the whole window fits ("valid")."""
    window = np.outer(_TAPS, _TAPS)
    patches = np.lib.stride_tricks.sliding_window_view(plane, (11, 11))
    return np.einsum("ijkl,kl->ij", patches, window)


def _terms(x: np.ndarray, y: np.ndarray):
    """The maps of luminance l and contrast-structure cs at one scale."""
    mx, my = _local_mean(x), _local_mean(y)
    vx = _local_mean(x * x) - mx * mx
    vy = _local_mean(y * y) - my * my
    cxy = _local_mean(x * y) - mx * my
    luminance = (2 * mx * my + _C1) / (mx * mx + my * my + _C1)
    contrast_structure = (2 * cxy + _C2) / (vx + vy + _C2)
    return luminance, contrast_structure


def _halve(plane: np.ndarray) -> np.ndarray:
    """Each 2 x 2 square averaged; an odd last row or column (bottom, right) is repeated, so that
    it is averaged with itself rather than dropped."""
    height, width = plane.shape
    padded = np.pad(plane, ((0, height % 2), (0, width % 2)), mode="edge")
    return padded.reshape(padded.shape[0] // 2, 2, padded.shape[1] // 2, 2).mean(axis=(1, 3))


def reference_ms_ssim(a: np.ndarray, b: np.ndarray, halve=_halve, weights=_WEIGHTS) -> float:
    """MS-SSIM = l_5^w5 * prod_j cs_j^wj over five scales, finest first, each term the mean of its
    map; a negative mean counts as 0 (no real fractional power)."""
    if min(a.shape[:2]) < 161:
        return math.nan
    x, y = _luma(a), _luma(b)
    result = 1.0
    for scale, weight in enumerate(weights):
        luminance, contrast_structure = _terms(x, y)
        if scale == len(weights) - 1:
            mean = float(np.mean(luminance * contrast_structure))
        else:
            mean = float(np.mean(contrast_structure))
            x, y = halve(x), halve(y)
        result *= max(mean, 0.0) ** weight
    return result


def ladybird() -> np.ndarray:
    return kvrn.decode(DEFAULT.read_bytes())


def blurred(picture: np.ndarray) -> np.ndarray:
    """A 3 x 3 box blur: detail lost at the finest scales, the coarse ones nearly untouched."""
    padded = np.pad(picture.astype(np.float64), ((1, 1), (1, 1), (0, 0)), mode="edge")
    height, width = picture.shape[:2]
    total = sum(padded[i : i + height, j : j + width] for i in range(3) for j in range(3))
    return np.round(total / 9).astype(np.uint8)


def last_row_changed(picture: np.ndarray) -> np.ndarray:
    """The picture with its bottom row alone darkened: what a halving that drops an odd last row
    never sees at the coarser scales."""
    changed = picture.copy()
    changed[-1] = changed[-1] // 3
    return changed


def swapped_channels(picture: np.ndarray) -> np.ndarray:
    """Red and blue exchanged: RGB's samples the same, luma not."""
    return np.ascontiguousarray(picture[..., ::-1])


# Odd-sized crops of the photographs (both sides odd, one odd) against themselves changed in
# several ways; the smallest defined picture, 161 on a side, and below it.
MS_SSIM_PAIRS = {
    "dune 403x251 step 24": lambda: (dune(), requantised(dune(), 24)),
    "dune crop 229x171 noise": lambda: (dune()[11:182, 77:306], noisy(dune()[11:182, 77:306])),
    "ladybird crop 333x205 blurred": lambda: (
        ladybird()[301:506, 400:733],
        blurred(ladybird()[301:506, 400:733]),
    ),
    "ladybird crop 177x263 last row": lambda: (
        ladybird()[100:363, 51:228],
        last_row_changed(ladybird()[100:363, 51:228]),
    ),
    "ladybird crop 245x167 red and blue": lambda: (
        ladybird()[400:567, 600:845],
        swapped_channels(ladybird()[400:567, 600:845]),
    ),
    "ladybird 161x161 step 40": lambda: (
        ladybird()[200:361, 300:461],
        requantised(ladybird()[200:361, 300:461], 40),
    ),
    "ladybird 160x200": lambda: (ladybird()[:160, :200], noisy(ladybird()[:160, :200])),
    "ladybird 300x160": lambda: (ladybird()[:300, :160], noisy(ladybird()[:300, :160])),
    "unchanged 161x170": lambda: (ladybird()[:161, :170], ladybird()[:161, :170]),
    "noise against noise": lambda: (
        random_picture(np.random.default_rng(11), 193, 171),
        random_picture(np.random.default_rng(12), 193, 171),
    ),
}


@pytest.mark.parametrize("name", MS_SSIM_PAIRS)
def test_ms_ssim_is_the_published_definitions(name):
    a, b = (np.ascontiguousarray(p) for p in MS_SSIM_PAIRS[name]())
    want = reference_ms_ssim(a, b)
    for threads in (1, 2, 5):
        got = kvrn.measure(a, b, metrics=["ms_ssim_y"], threads=threads)
        assert list(got) == ["ms_ssim_y", "max_error"]
        if math.isnan(want):
            assert math.isnan(got["ms_ssim_y"])
        else:
            assert got["ms_ssim_y"] == pytest.approx(want, abs=1e-6)
    if not math.isnan(want):
        # The same to the last bit for any number of threads.
        figures = {kvrn.measure(a, b, metrics="ms_ssim_y", threads=t)["ms_ssim_y"] for t in (1, 3, 8)}
        assert len(figures) == 1


def _dropping_halve(plane: np.ndarray) -> np.ndarray:
    height, width = plane.shape[0] // 2 * 2, plane.shape[1] // 2 * 2
    return plane[:height, :width].reshape(height // 2, 2, width // 2, 2).mean(axis=(1, 3))


def test_the_pairs_tell_the_faults_apart_by_far_more_than_the_tolerance():
    """A halving that drops an odd last row, and the exponents in the wrong order, move the
    reference itself by much more than 1e-6 on the pairs above; swapping red and blue, which
    leaves the mean of R, G and B (a grey that is not luma) as it was, moves MS-SSIM of luma far
    from 1."""
    a, b = MS_SSIM_PAIRS["ladybird crop 177x263 last row"]()
    assert abs(reference_ms_ssim(a, b, halve=_dropping_halve) - reference_ms_ssim(a, b)) > 1e-5
    c, d = MS_SSIM_PAIRS["ladybird crop 333x205 blurred"]()
    reversed_weights = _WEIGHTS[::-1]
    assert abs(reference_ms_ssim(c, d, weights=reversed_weights) - reference_ms_ssim(c, d)) > 1e-4
    e, f = MS_SSIM_PAIRS["ladybird crop 245x167 red and blue"]()
    assert reference_ms_ssim(e, f) < 0.99 and reference_ms_ssim(e, e) == 1.0


def tool_line(figures, names) -> str:
    places = {"psnr_rgb": 3, "psnr_y": 3, "ssim_y": 5, "ms_ssim_y": 5}
    words = [f"{name} {decimals(figures[name], places.get(name, 4))}" for name in names]
    return "  ".join(words + [f"max_error {figures['max_error']}"]) + "\n"


ALL = ["psnr_rgb", "psnr_y", "ssim_y", "ms_ssim_y", "butteraugli", "butteraugli_3norm"]

DIFF_PAIRS = {
    "dune step 24": lambda: (dune(), requantised(dune(), 24)),
    "ladybird crop 177x263 blurred": lambda: (
        ladybird()[100:363, 51:228],
        blurred(ladybird()[100:363, 51:228]),
    ),
    "too small for MS-SSIM, 37x23": lambda: (dune()[:23, :37], noisy(dune()[:23, :37])),
    "too small for any window, 7x9": lambda: (dune()[:9, :7], noisy(dune()[:9, :7])),
}


@pytest.mark.parametrize("name", DIFF_PAIRS)
@pytest.mark.parametrize(
    "option, keyword, names",
    [
        ("all", "all", ALL),
        ("butteraugli_3norm,ms_ssim_y", ["butteraugli_3norm", "ms_ssim_y"], ["ms_ssim_y", "butteraugli_3norm"]),
        ("butteraugli,psnr_y,butteraugli", "butteraugli,psnr_y,butteraugli", ["psnr_y", "butteraugli"]),
        ("psnr_rgb,psnr_y,ssim_y", None, ALL[:3]),
    ],
)
def test_measure_gives_the_figures_diff_prints_with_metrics(tool, tmp_path, name, option, keyword, names):
    a, b = (np.ascontiguousarray(p) for p in DIFF_PAIRS[name]())
    write_ppm(tmp_path / "a.ppm", a)
    write_ppm(tmp_path / "b.ppm", b)
    printed = tool.run("diff", "--metrics", option, tmp_path / "a.ppm", tmp_path / "b.ppm")
    figures = kvrn.measure(a, b, metrics=keyword)
    assert list(figures) == names + ["max_error"]
    assert tool_line(figures, names) == printed.stdout.decode()
    if min(a.shape[:2]) < 161 and "ms_ssim_y" in figures:
        assert math.isnan(figures["ms_ssim_y"])
    if min(a.shape[:2]) < 8 and "butteraugli" in figures:
        assert math.isnan(figures["butteraugli"])


def test_butteraugli_takes_a_as_the_reference():
    """Butteraugli is not symmetric: a blur of the reference is a different distance than the
    reference is from the blur."""
    a = ladybird()[100:363, 51:228]
    b = blurred(a)
    forward = kvrn.measure(a, b, metrics="butteraugli")["butteraugli"]
    backward = kvrn.measure(b, a, metrics="butteraugli")["butteraugli"]
    assert forward > 0 and backward > 0 and abs(forward - backward) > 0.01


@pytest.mark.parametrize(
    "metrics, words",
    [
        ("ms-ssim", "'ms-ssim'"),
        (["psnr_y", "vmaf"], "'vmaf'"),
        ("", "''"),
        ("psnr_y,", "''"),
        (["all", "psnr_y"], "'all'"),
        (7, "a name or a list of names"),
    ],
)
def test_unknown_metric_names_are_refused_with_the_names(metrics, words):
    picture = np.zeros((16, 16, 3), np.uint8)
    with pytest.raises(ValueError) as raised:
        kvrn.measure(picture, picture, metrics=metrics)
    said = str(raised.value)
    assert words in said
    if words.startswith("'"):
        for name in ALL + ["all"]:
            assert name in said
