"""How much the Python package adds to the codec: kvrn.decode and kvrn.encode of a 4000 x 3000
picture against the C interface doing the same in memory, called through ctypes on the libkvrn.so
of a CMake build (out/build by default, or KVRN_LIBRARY). Prints medians of alternating runs.

The picture: samples/default.kvrn (a 1024 x 768 photograph) decoded and scaled to 4000 x 3000 by
Pillow (bicubic), encoded at step 8 for the decoding. Both sides get the same buffers' work: a
new output each call (the package returns new objects), and the C interface once more into one
buffer reused, the least it can cost.

Run from the checkout's root, with the package installed:
    .venv/bin/python python/bench.py [--runs N] [--threads N]
"""

from __future__ import annotations

import argparse
import ctypes
import os
import statistics
import sys
import time
from pathlib import Path

import numpy as np
from PIL import Image

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
# The installed package, not its sources beside this file (which lack the compiled part).
sys.path = [entry for entry in sys.path if Path(entry or ".").resolve() != HERE]
import kvrn  # noqa: E402


class CImage(ctypes.Structure):
    _fields_ = [
        ("pixels", ctypes.c_void_p),
        ("width", ctypes.c_uint32),
        ("height", ctypes.c_uint32),
        ("stride", ctypes.c_ssize_t),
        ("components", ctypes.c_uint),
    ]


class Scales(ctypes.Structure):
    _fields_ = [("y", ctypes.c_uint16), ("cr", ctypes.c_uint16), ("cb", ctypes.c_uint16)]


def load_library() -> ctypes.CDLL:
    path = Path(os.environ.get("KVRN_LIBRARY", ROOT / "out" / "build" / "libkvrn.so"))
    if not path.is_file():
        raise SystemExit(f"{path}: no libkvrn.so; build it (cmake --build out/build --target "
                         "kvrn_shared) or name it in KVRN_LIBRARY")
    library = ctypes.CDLL(str(path))
    size = ctypes.c_size_t
    library.kvrn_encoded_bytes_max.argtypes = [ctypes.c_uint32, ctypes.c_uint32,
                                               ctypes.POINTER(size)]
    library.kvrn_encode_to_memory.argtypes = [
        ctypes.POINTER(CImage), Scales, ctypes.c_uint, ctypes.c_void_p, size,
        ctypes.POINTER(size), ctypes.POINTER(ctypes.c_uint64)]
    library.kvrn_decode.argtypes = [
        ctypes.c_char_p, size, ctypes.c_uint, ctypes.c_uint64, ctypes.c_uint, ctypes.c_void_p,
        ctypes.c_ssize_t, ctypes.POINTER(ctypes.c_uint64)]
    library.kvrn_version.restype = ctypes.c_char_p
    return library


def seconds(call) -> tuple:
    """The wall-clock time of `call` and the processor time of all the process's threads: on a
    machine others share, the second hardly counts the time spent waiting for a processor."""
    wall, cpu = time.perf_counter(), time.process_time()
    call()
    return time.perf_counter() - wall, time.process_time() - cpu


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--threads", type=int, default=0, help="0: every online core")
    arguments = parser.parse_args()
    library = load_library()
    assert library.kvrn_version().decode() == kvrn.__version__

    sample = kvrn.decode((ROOT / "samples" / "default.kvrn").read_bytes())
    pixels = np.asarray(Image.fromarray(sample).resize((4000, 3000), Image.BICUBIC))
    height, width, _ = pixels.shape
    threads = arguments.threads
    data = kvrn.encode(pixels, step=8, threads=threads)

    image = CImage(pixels.ctypes.data, width, height, 3 * width, 3)
    capacity = ctypes.c_size_t()
    library.kvrn_encoded_bytes_max(width, height, ctypes.byref(capacity))
    kept_file = np.empty(capacity.value, np.uint8)
    kept_picture = np.empty((height, width, 3), np.uint8)

    def c_encode(out: np.ndarray) -> bytes:
        size, clipped = ctypes.c_size_t(), ctypes.c_uint64()
        status = library.kvrn_encode_to_memory(
            ctypes.byref(image), Scales(8, 8, 8), threads, out.ctypes.data, capacity.value,
            ctypes.byref(size), ctypes.byref(clipped))
        assert status == 0
        return out[: size.value]

    def c_decode(out: np.ndarray) -> np.ndarray:
        missing = ctypes.c_uint64()
        status = library.kvrn_decode(data, len(data), 7, 0, threads, out.ctypes.data, 3 * width,
                                     ctypes.byref(missing))
        assert status == 0
        return out

    # The same results first: the comparison is of the same work.
    assert c_encode(kept_file).tobytes() == data
    assert np.array_equal(c_decode(kept_picture), kvrn.decode(data, threads=threads))

    cases = {
        "encode": {
            "kvrn.encode": lambda: kvrn.encode(pixels, step=8, threads=threads),
            "C, new buffer": lambda: c_encode(np.empty(capacity.value, np.uint8)),
            "C, one buffer": lambda: c_encode(kept_file),
        },
        "decode": {
            "kvrn.decode": lambda: kvrn.decode(data, threads=threads),
            "C, new buffer": lambda: c_decode(np.empty((height, width, 3), np.uint8)),
            "C, one buffer": lambda: c_decode(kept_picture),
        },
    }
    print(f"kvrn {kvrn.__version__}: {width} x {height} pixels (samples/default.kvrn scaled by "
          f"Pillow, bicubic), step 8, {len(data)} bytes encoded; threads {threads or 'all'}; "
          f"medians of {arguments.runs} alternating runs")
    for what, calls in cases.items():
        times = {name: [] for name in calls}
        for name, call in calls.items():
            call()  # once untimed: pages and caches
        for _ in range(arguments.runs):
            for name, call in calls.items():
                times[name].append(seconds(call))
        print(f"{what}:              wall ms     processor ms")
        medians = {}
        for name, values in times.items():
            wall = 1000 * statistics.median(value[0] for value in values)
            cpu = 1000 * statistics.median(value[1] for value in values)
            medians[name] = (wall, cpu)
            print(f"  {name:14} {wall:10.2f} {cpu:14.2f}")
        python, c_new = list(medians.values())[:2]
        print(f"  Python over C with a new buffer: wall {python[0] - c_new[0]:+.2f} ms "
              f"({100 * (python[0] / c_new[0] - 1):+.1f} %), processor "
              f"{python[1] - c_new[1]:+.2f} ms ({100 * (python[1] / c_new[1] - 1):+.1f} %)")


if __name__ == "__main__":
    main()
