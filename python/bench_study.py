"""Times kvrn-study on 24 photographs: the sweeps in a plain loop in one process (one thread each),
then the same study on a local Dask cluster of one worker and of two, each into a new database.
Prints the wall-clock times, the speed-up of two workers over one and the engine's own cost (one
worker against the loop). The pictures are 512 x 384 crops of Debian's mate-backgrounds
photographs, four from each of six, made with ImageMagick into a temporary folder.

    out/python-venv/bin/python python/bench_study.py [--codecs LIST] [--pictures N]
"""

from __future__ import annotations

import argparse
import subprocess
import sys
import tempfile
import time
from pathlib import Path

# The installed package, not the sources beside this file, which hold no compiled extension.
HERE = Path(__file__).resolve().parent
sys.path = [entry for entry in sys.path if Path(entry or ".").resolve() != HERE]

from kvrn import _kvrn, study  # noqa: E402

PHOTOS = ["nature/LadyBird.jpg", "nature/Dune.jpg", "nature/Aqua.jpg", "nature/Garden.jpg",
          "nature/GreenMeadow.jpg", "nature/FreshFlower.jpg"]
OFFSETS = ["+0+0", "+600+300", "+1200+600", "+300+900"]


def make_pictures(folder: Path, count: int) -> list:
    made = []
    for index in range(count):
        photo = PHOTOS[index % len(PHOTOS)]
        crop = "512x384" + OFFSETS[index // len(PHOTOS) % len(OFFSETS)]
        path = folder / f"{index:02d}-{Path(photo).stem}.png"
        subprocess.run(["convert", f"/usr/share/backgrounds/mate/{photo}", "-crop", crop,
                        "+repage", str(path)], check=True)
        made.append(path)
    return made


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--codecs", default="kvrn,kvrn+zstd,jpeg444,jpeg420")
    parser.add_argument("--pictures", type=int, default=24)
    options = parser.parse_args()
    settings = study.settings_of(codecs=options.codecs.split(","))
    with tempfile.TemporaryDirectory() as work:
        folder = Path(work) / "pictures"
        folder.mkdir()
        pictures = make_pictures(folder, options.pictures)
        began = time.perf_counter()
        for path in pictures:
            pixels, _, _ = _kvrn.read_picture(str(path), 1 << 28)
            study.sweep_rows(pixels, settings, 1)
        loop = time.perf_counter() - began
        times = {}
        for workers in (1, 2):
            began = time.perf_counter()
            study.run([str(folder)], str(Path(work) / f"w{workers}.db"), workers=workers,
                      codecs=settings["codecs"])
            times[workers] = time.perf_counter() - began
    print(f"{options.pictures} crops of 512 x 384 from mate-backgrounds, codecs {options.codecs}")
    print(f"sweeps in a loop, one process, one thread: {loop:.1f} s")
    print(f"kvrn-study, 1 worker: {times[1]:.1f} s ({(times[1] / loop - 1) * 100:+.1f} % on the loop)")
    print(f"kvrn-study, 2 workers: {times[2]:.1f} s ({times[1] / times[2]:.2f} x faster than 1)")


if __name__ == "__main__":
    main()
