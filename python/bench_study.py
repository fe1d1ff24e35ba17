"""Times kvrn-study on 24 photographs: the sweeps in a plain loop in one process (one thread each),
then the same study on a local Dask cluster of one worker and of two, each into a new database,
the three alternating, --rounds times. Prints each run's wall-clock time, then the medians, the
speed-up of two workers over one and the engine's own cost (one worker against the loop: the
cluster's start, scheduling, transfer, hashing and the database). The pictures are crops
(--size, 1024 x 768 by default) of Debian's mate-backgrounds photographs, four from each of six,
made with ImageMagick into a temporary folder.

    out/python-venv/bin/python python/bench_study.py [--codecs LIST] [--pictures N]
        [--size WxH] [--rounds N]
"""

from __future__ import annotations

import argparse
import statistics
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
# Where the crops start: inside the smallest of the photographs (1280 x 1024) for crops of up to
# 1024 x 768.
OFFSETS = ["+0+0", "+256+256", "+128+0", "+0+256"]


def make_pictures(folder: Path, count: int, size: str) -> list:
    made = []
    for index in range(count):
        photo = PHOTOS[index % len(PHOTOS)]
        crop = size + OFFSETS[index // len(PHOTOS) % len(OFFSETS)]
        path = folder / f"{index:02d}-{Path(photo).stem}.png"
        subprocess.run(["convert", f"/usr/share/backgrounds/mate/{photo}", "-crop", crop,
                        "+repage", str(path)], check=True)
        made.append(path)
    return made


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--codecs", default="kvrn,kvrn+zstd,jpeg444,jpeg420")
    parser.add_argument("--pictures", type=int, default=24)
    parser.add_argument("--size", default="1024x768")
    parser.add_argument("--rounds", type=int, default=2)
    options = parser.parse_args()
    settings = study.settings_of(codecs=options.codecs.split(","))
    times = {"loop": [], 1: [], 2: []}
    with tempfile.TemporaryDirectory() as work:
        folder = Path(work) / "pictures"
        folder.mkdir()
        pictures = make_pictures(folder, options.pictures, options.size)
        print(f"{options.pictures} crops of {options.size} from mate-backgrounds, codecs "
              f"{options.codecs}", flush=True)
        for round_ in range(options.rounds):
            began = time.perf_counter()
            for path in pictures:
                pixels, _, _ = _kvrn.read_picture(str(path), 1 << 28)
                study.sweep_rows(pixels, settings, 1)
            times["loop"].append(time.perf_counter() - began)
            for workers in (1, 2):
                began = time.perf_counter()
                study.run([str(folder)], str(Path(work) / f"r{round_}w{workers}.db"),
                          workers=workers, codecs=settings["codecs"])
                times[workers].append(time.perf_counter() - began)
            print(f"round {round_ + 1}: loop {times['loop'][-1]:.1f} s, 1 worker "
                  f"{times[1][-1]:.1f} s, 2 workers {times[2][-1]:.1f} s", flush=True)
    loop, one, two = (statistics.median(times[k]) for k in ("loop", 1, 2))
    print(f"medians: sweeps in a loop, one process, one thread: {loop:.1f} s")
    print(f"kvrn-study, 1 worker: {one:.1f} s ({(one / loop - 1) * 100:+.1f} % on the loop)")
    print(f"kvrn-study, 2 workers: {two:.1f} s ({one / two:.2f} x faster than 1)")


if __name__ == "__main__":
    main()
