"""A study's mean curves drawn with matplotlib: one PNG per metric, each codec's mean over the
pictures at each setting, with a band one standard deviation of the metric either side."""

from __future__ import annotations

import os
from typing import Any, List, Sequence

from .study_summary import mean_curves

_LABELS = {
    "psnr_rgb": "PSNR (RGB), dB",
    "psnr_y": "PSNR (luma), dB",
    "ssim_y": "SSIM (luma)",
    "ms_ssim_y": "MS-SSIM (luma)",
    "butteraugli": "Butteraugli distance (lower is better)",
    "butteraugli_3norm": "Butteraugli 3-norm (lower is better)",
}


def draw(frame: Any, metrics: Sequence[str], folder: str) -> List[str]:
    """Writes FOLDER/METRIC.png for each metric; returns the files written."""
    import matplotlib  # noqa: PLC0415 - only a plot needs it

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt  # noqa: PLC0415

    os.makedirs(folder, exist_ok=True)
    means = mean_curves(frame, metrics)
    pictures = frame["sha256"].nunique()
    written = []
    for metric in metrics:
        figure, axes = plt.subplots(figsize=(8, 5.5), dpi=100)
        for codec, rows in means.groupby("codec", sort=False):
            rows = rows.sort_values("bits_per_pixel")
            line, = axes.plot(rows["bits_per_pixel"], rows[metric], marker="o", markersize=3,
                              label=codec)
            spread = rows[f"{metric}_sd"].fillna(0)
            axes.fill_between(rows["bits_per_pixel"], rows[metric] - spread,
                              rows[metric] + spread, color=line.get_color(), alpha=0.15,
                              linewidth=0)
        axes.set_xscale("log")
        axes.set_xlabel("bits per pixel (mean over pictures)")
        axes.set_ylabel(_LABELS.get(metric, metric) + ", mean ± 1 sd")
        if metric.startswith("butteraugli"):
            axes.invert_yaxis()
        axes.set_title(f"{pictures} pictures")
        axes.grid(True, which="both", alpha=0.3)
        axes.legend(fontsize="small")
        path = os.path.join(folder, f"{metric}.png")
        figure.tight_layout()
        figure.savefig(path)
        plt.close(figure)
        written.append(path)
    return written
