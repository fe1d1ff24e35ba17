#!/usr/bin/python3
"""Distortion figures of one RGB picture against another, computed with numpy and scikit-image,
as a reference independent of the kvrn tool's own code.

  scripts/lab-reference.py A.ppm B.ppm   prints psnr_rgb, psnr_y, ssim_y and max_error
  scripts/lab-reference.py --test-pictures
                                         prints the figures of the pictures the lab unit test
                                         builds (tests/lab/lab_test.cpp) from the same formula

Needs Debian's python3-numpy and python3-skimage: run it with /usr/bin/python3.
"""
import sys

import numpy as np
from skimage.metrics import structural_similarity


def read_ppm(path):
    """A binary PPM file (P6, maxval 255) as a height x width x 3 array of uint8."""
    with open(path, 'rb') as f:
        data = f.read()
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b'#':
            while data[pos:pos + 1] not in (b'\n', b''):
                pos += 1
            continue
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    if fields[0] != b'P6' or int(fields[3]) != 255:
        raise SystemExit(f'{path}: not an 8-bit binary PPM file')
    width, height = int(fields[1]), int(fields[2])
    raster = np.frombuffer(data, np.uint8, 3 * width * height, pos + 1)
    return raster.reshape(height, width, 3)


def luma(rgb):
    rgb = rgb.astype(np.float64)
    return 0.299 * rgb[:, :, 0] + 0.587 * rgb[:, :, 1] + 0.114 * rgb[:, :, 2]


def psnr(sse, samples):
    return float('inf') if sse == 0 else 10 * np.log10(255.0 ** 2 * samples / sse)


def figures(a, b):
    """psnr_rgb, psnr_y, ssim_y (NaN below 11 x 11) and max_error of b against a."""
    d = a.astype(np.int64) - b.astype(np.int64)
    ya, yb = luma(a), luma(b)
    if min(a.shape[:2]) >= 11:
        ssim = structural_similarity(ya, yb, gaussian_weights=True, sigma=1.5,
                                     use_sample_covariance=False, data_range=255)
    else:
        ssim = float('nan')
    return (psnr(float((d * d).sum()), d.size), psnr(float(((ya - yb) ** 2).sum()), ya.size),
            ssim, int(np.abs(d).max()))


# The test pictures: a pattern smooth in places and busy in others, and two distorted copies of
# it, one with a periodic error of up to 11 levels and one quantised in steps of 40. x is the
# column, y the row (row 0 first in the buffer) and c the channel (0 red, 1 green, 2 blue). The
# same formulas are in tests/lab/lab_test.cpp.
def pattern(width, height):
    y, x, c = np.meshgrid(np.arange(height), np.arange(width), np.arange(3), indexing='ij')
    return ((x * x + 2 * y * y + x * y) // 8 + 40 * c) % 256, x, y, c


def test_pair(width, height, kind):
    a, x, y, c = pattern(width, height)
    if kind == 'noise':
        b = np.clip(a + (7 * x + 11 * y + 3 * c) % 23 - 11, 0, 255)
    elif kind == 'coarse':
        b = np.minimum(255, a // 40 * 40 + 20)
    else:
        b = a
    return a.astype(np.uint8), b.astype(np.uint8)


def main():
    if sys.argv[1:] == ['--test-pictures']:
        for width, height, kind in ((37, 23, 'noise'), (61, 45, 'coarse'), (11, 11, 'noise'),
                                    (16, 11, 'same'), (10, 30, 'noise'), (700, 400, 'coarse')):
            p_rgb, p_y, ssim, max_error = figures(*test_pair(width, height, kind))
            print(f'{{{width}, {height}, "{kind}", {p_rgb:.6f}, {p_y:.6f}, {ssim:.8f}, '
                  f'{max_error}}},')
    elif len(sys.argv) == 3:
        a, b = read_ppm(sys.argv[1]), read_ppm(sys.argv[2])
        if a.shape != b.shape:
            raise SystemExit('the pictures differ in size')
        p_rgb, p_y, ssim, max_error = figures(a, b)
        print(f'psnr_rgb {p_rgb:.3f}  psnr_y {p_y:.3f}  ssim_y {ssim:.5f}  max_error {max_error}')
    else:
        raise SystemExit(__doc__)


if __name__ == '__main__':
    main()
