"""BD-rate held to cases worked by hand, and the summary of a study's rows."""

from __future__ import annotations

import math

import numpy as np
import pytest

pandas = pytest.importorskip("pandas")
pytest.importorskip("scipy")

from kvrn.study_summary import bd_rate, curve, printed, summarise  # noqa: E402

QUALITY = np.array([30.0, 33.0, 36.0, 39.0, 42.0])
# log-rate linear in quality, 0.1 per dB: a straight line that PCHIP reproduces exactly.
RATE = np.exp(-4 + 0.1 * QUALITY)


@pytest.mark.parametrize(
    "test_rate, test_quality, expected",
    [
        (RATE, QUALITY, 0.0),  # the same curve
        (RATE / 2, QUALITY, -50.0),  # half the rate at every quality
        (RATE * 1.25, QUALITY, 25.0),
        # 2 dB better at every rate: on the overlap 32..42 dB, log-rate is 0.2 lower.
        (RATE, QUALITY + 2, (math.exp(-0.1 * 2) - 1) * 100),
        # The same, with points that turn back (more bytes, less quality) which the fit leaves
        # out, as KVRN's smallest clipped steps do.
        (np.append(RATE, [RATE[1] * 1.01, RATE[3] * 1.5]),
         np.append(QUALITY + 2, [QUALITY[0], QUALITY[2]]), (math.exp(-0.2) - 1) * 100),
    ],
)
def test_bd_rate_of_curves_worked_by_hand(test_rate, test_quality, expected):
    assert bd_rate(RATE, QUALITY, test_rate, test_quality) == pytest.approx(expected, abs=1e-9)


def test_bd_rate_of_a_bent_curve_is_the_mean_log_difference_over_the_overlap():
    # Test curve: log-rate quadratic in quality; PCHIP through 41 points of it is within 1e-5 of
    # the curve, whose mean difference from the anchor's line over 32..40 is integrated here.
    quality = np.linspace(30, 40, 41)
    bent = np.exp(-4 + 0.1 * quality - 0.002 * (quality - 35) ** 2)
    low, high = 32.0, 40.0
    grid = np.linspace(low, high, 100001)
    difference = np.trapz(-0.002 * (grid - 35) ** 2, grid) / (high - low)
    expected = (math.exp(difference) - 1) * 100
    assert bd_rate(RATE, QUALITY, bent[8:], quality[8:]) == pytest.approx(expected, abs=1e-3)


@pytest.mark.parametrize(
    "rate, quality",
    [
        (RATE, QUALITY + 20),  # all of it above the anchor's best
        (RATE[:1], QUALITY[:1]),  # one point is no curve
        ([None, float("nan"), 1.0], [31.0, 32.0, float("inf")]),  # nothing finite
    ],
)
def test_curves_that_do_not_overlap_have_no_bd_rate(rate, quality):
    assert bd_rate(RATE, QUALITY, rate, quality) is None


def test_points_with_fewer_bytes_and_more_quality_leave_others_out():
    rates, qualities = curve([1, 2, 3, 4, 4], [10, 9, 12, 11, 13])
    assert rates.tolist() == [1, 3, 4] and qualities.tolist() == [10, 12, 13]


def frame_of(curves):
    """Rows as a study's: {picture: {codec: (bits per pixel, psnr_y)}}."""
    rows = []
    for picture, codecs in curves.items():
        for codec, (rates, qualities) in codecs.items():
            for setting, (rate, quality) in enumerate(zip(rates, qualities)):
                rows.append({"path": picture, "sha256": picture, "width": 8, "height": 8,
                             "codec": codec, "setting": setting, "bytes": 100,
                             "bits_per_pixel": rate, "psnr_y": quality})
    return pandas.DataFrame(rows)


def test_summary_averages_per_picture_and_fits_the_mean_curve():
    frame = frame_of({
        "a": {"jpeg420": (RATE, QUALITY), "kvrn": (RATE / 2, QUALITY), "far": (RATE, QUALITY + 50)},
        "b": {"jpeg420": (RATE, QUALITY), "kvrn": (RATE, QUALITY), "far": (RATE, QUALITY + 50)},
    })
    table = summarise(frame, ["psnr_y"], "jpeg420").set_index("codec")
    assert table.loc["jpeg420", "bd_rate"] == pytest.approx(0)
    # Per picture -50 % and 0 %, averaged; the mean curve is at 3/4 of the rate.
    assert table.loc["kvrn", "bd_rate"] == pytest.approx(-25)
    assert table.loc["kvrn", "bd_rate_of_mean_curve"] == pytest.approx(-25)
    assert table.loc["kvrn", "pictures"] == 2
    assert table.loc["far", "pictures"] == 0
    assert table.loc["far", ["bd_rate", "bd_rate_of_mean_curve"]].isna().all()
    shown = printed(summarise(frame, ["psnr_y"], "jpeg420"), "jpeg420")
    assert "-25.0% (-25.0%)" in shown and "no overlap (no overlap)" in shown
