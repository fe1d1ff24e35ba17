"""A study's figures: the mean curves per codec and the Bjøntegaard delta rate (BD-rate) of every
codec against an anchor, per picture then averaged, and on the mean curves.

BD-rate is the mean difference of log-rate between two rate-distortion curves over the range of
quality both reach, as a percentage of rate: each curve is log(bits per pixel) as a function of
quality, interpolated by piecewise cubic Hermite polynomials (SciPy's PCHIP, which keeps a
monotone curve monotone, where the original cubic fit can swing), and integrated exactly over the
overlap. Quality is in dB for every metric so that equal steps mean alike: PSNR as it is, SSIM and
MS-SSIM as -10 log10(1 - value), and Butteraugli's distance negated, lower being better.

A point is left out of a curve when a point with fewer bytes reaches at least its quality: such
points (KVRN's smallest steps, whose coefficients are clipped) would make the curve turn back, and
log-rate would not be a function of quality. Points without bytes (a codec that failed) or with
an infinite or undefined figure (no difference at all; SSIM under 11 pixels) are left out too.
"""

from __future__ import annotations

import math
from typing import Any, List, Optional, Sequence, Tuple

import numpy as np
from scipy.interpolate import PchipInterpolator

# The quality scale of each metric, as dB and higher better.
_AS_DB = {
    "psnr_rgb": lambda v: v,
    "psnr_y": lambda v: v,
    "ssim_y": lambda v: -10 * np.log10(1 - v),
    "ms_ssim_y": lambda v: -10 * np.log10(1 - v),
    "butteraugli": lambda v: -v,
    "butteraugli_3norm": lambda v: -v,
}


def curve(rates: Sequence[float], qualities: Sequence[float]) -> Tuple[np.ndarray, np.ndarray]:
    """The points of a rate-distortion curve that a fit takes, by rising quality: finite, and
    each of higher quality than every point of fewer bytes."""
    points = sorted(
        (float(r), float(q)) for r, q in zip(rates, qualities)
        if r is not None and math.isfinite(float(r)) and float(r) > 0
        and q is not None and math.isfinite(float(q)))
    kept: List[Tuple[float, float]] = []
    for rate, quality in points:
        if kept and quality <= kept[-1][1]:
            continue
        if kept and rate == kept[-1][0]:
            kept[-1] = (rate, quality)
            continue
        kept.append((rate, quality))
    return np.array([r for r, _ in kept]), np.array([q for _, q in kept])


def bd_rate(anchor_rates, anchor_qualities, test_rates, test_qualities) -> Optional[float]:
    """The BD-rate of the test curve against the anchor, in percent (negative: fewer bits for the
    same quality); None when the curves share no range of quality or a curve has under 2 points."""
    rate_a, quality_a = curve(anchor_rates, anchor_qualities)
    rate_t, quality_t = curve(test_rates, test_qualities)
    if len(rate_a) < 2 or len(rate_t) < 2:
        return None
    low = max(quality_a[0], quality_t[0])
    high = min(quality_a[-1], quality_t[-1])
    if not high > low:
        return None
    fit_a = PchipInterpolator(quality_a, np.log(rate_a))
    fit_t = PchipInterpolator(quality_t, np.log(rate_t))
    mean_difference = (fit_t.integrate(low, high) - fit_a.integrate(low, high)) / (high - low)
    return float((math.exp(mean_difference) - 1) * 100)


def _quality(metric: str, values: Any) -> np.ndarray:
    with np.errstate(divide="ignore", invalid="ignore"):
        return _AS_DB[metric](np.asarray(values, dtype=float))


def mean_curves(frame: Any, metrics: Sequence[str]) -> Any:
    """Per codec and setting: the pictures, the mean and spread (standard deviation) over pictures
    of bits per pixel and of each metric, from the rows with bytes."""
    measured = frame[frame["bytes"].notna()].copy()
    for metric in metrics:
        measured[metric] = measured[metric].astype(float)
    grouped = measured.groupby(["codec", "setting"], sort=False)
    table = grouped.agg(
        pictures=("sha256", "nunique"), bits_per_pixel=("bits_per_pixel", "mean"),
        **{metric: (metric, "mean") for metric in metrics},
        **{f"{metric}_sd": (metric, "std") for metric in metrics},
        bits_per_pixel_sd=("bits_per_pixel", "std"))
    return table.reset_index()


def summarise(frame: Any, metrics: Sequence[str], anchor: str) -> Any:
    """One row per codec and metric: codec, metric, pictures (those with a BD-rate), bd_rate (the
    mean over them, percent) and bd_rate_of_mean_curve; None where the curves do not overlap."""
    import pandas  # noqa: PLC0415

    rows = []
    codecs = list(dict.fromkeys(frame["codec"]))
    means = mean_curves(frame, metrics)
    anchor_mean = means[means["codec"] == anchor]
    for codec in codecs:
        test_mean = means[means["codec"] == codec]
        for metric in metrics:
            per_picture = []
            for _, rows_of in frame.groupby("sha256"):
                a = rows_of[rows_of["codec"] == anchor]
                t = rows_of[rows_of["codec"] == codec]
                if a.empty or t.empty:
                    continue
                value = bd_rate(a["bits_per_pixel"], _quality(metric, a[metric]),
                                t["bits_per_pixel"], _quality(metric, t[metric]))
                if value is not None:
                    per_picture.append(value)
            of_mean = None
            if not anchor_mean.empty and not test_mean.empty:
                of_mean = bd_rate(anchor_mean["bits_per_pixel"],
                                  _quality(metric, anchor_mean[metric]),
                                  test_mean["bits_per_pixel"],
                                  _quality(metric, test_mean[metric]))
            rows.append({"codec": codec, "metric": metric, "pictures": len(per_picture),
                         "bd_rate": float(np.mean(per_picture)) if per_picture else None,
                         "bd_rate_of_mean_curve": of_mean})
    return pandas.DataFrame(
        rows, columns=["codec", "metric", "pictures", "bd_rate", "bd_rate_of_mean_curve"])


def printed(table: Any, anchor: str) -> str:
    """The BD-rates as a table to read: a line per codec, a column per metric, each cell the mean
    over pictures and, in brackets, that of the mean curve; "no overlap" where there is none."""
    metrics = list(dict.fromkeys(table["metric"]))
    codecs = list(dict.fromkeys(table["codec"]))
    cells = {}
    for row in table.itertuples(index=False):
        def text(value):
            return "no overlap" if value is None or value != value else f"{value:+.1f}%"
        cells[row.codec, row.metric] = f"{text(row.bd_rate)} ({text(row.bd_rate_of_mean_curve)})"
    width = max([len(c) for c in cells.values()] + [len(m) for m in metrics]) + 2
    lines = [f"BD-rate against {anchor}, mean over pictures (of the mean curve):",
             "codec".ljust(12) + "".join(m.rjust(width) for m in metrics)]
    for codec in codecs:
        lines.append(codec.ljust(12) + "".join(cells[codec, m].rjust(width) for m in metrics))
    return "\n".join(lines)
