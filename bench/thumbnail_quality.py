#!/usr/bin/python3
"""Helpers of bench/thumbnail_vs_vips.sh (Python 3 with NumPy and Pillow).

  thumbnail_quality.py enlarge SOURCE TARGET WIDTH HEIGHT
      writes SOURCE enlarged to WIDTH x HEIGHT (Lanczos) as a JPEG of quality 92, 4:2:0: a large
      test photo when no real one is at hand.
  thumbnail_quality.py psnr ORIGINAL THUMBNAIL...
      prints, per THUMBNAIL, its PSNR in dB against ORIGINAL reduced to the thumbnail's size by
      an exact area filter in floating point (every source pixel weighed by the part of it that
      each target pixel covers).
"""
import sys

import numpy as np
from PIL import Image

Image.MAX_IMAGE_PIXELS = None


def area_matrix(source, target):
    """target x source weights: row i holds the coverage of target pixel i, divided by its area."""
    scale = source / target
    lo = np.arange(target)[:, None] * scale
    hi = lo + scale
    x = np.arange(source)[None, :]
    cover = np.clip(np.minimum(hi, x + 1) - np.maximum(lo, x), 0, None)
    return cover / scale


def reference(original, width, height):
    pixels = np.asarray(original, dtype=np.float64)
    rows = area_matrix(pixels.shape[0], height)
    columns = area_matrix(pixels.shape[1], width)
    return np.einsum("yr,rcn,xc->yxn", rows, pixels, columns, optimize=True)


def psnr(original_path, thumbnail_paths):
    original = Image.open(original_path).convert("RGB")
    for path in thumbnail_paths:
        thumbnail = np.asarray(Image.open(path).convert("RGB"), dtype=np.float64)
        expected = reference(original, thumbnail.shape[1], thumbnail.shape[0])
        error = np.mean((thumbnail - expected) ** 2)
        print(f"{path}: {thumbnail.shape[1]}x{thumbnail.shape[0]} "
              f"PSNR {10 * np.log10(255 ** 2 / error):.2f} dB")


def main():
    if len(sys.argv) == 6 and sys.argv[1] == "enlarge":
        source = Image.open(sys.argv[2]).convert("RGB")
        big = source.resize((int(sys.argv[4]), int(sys.argv[5])), Image.LANCZOS)
        big.save(sys.argv[3], quality=92, subsampling=2)
    elif len(sys.argv) >= 4 and sys.argv[1] == "psnr":
        psnr(sys.argv[2], sys.argv[3:])
    else:
        sys.exit(__doc__)


main()
