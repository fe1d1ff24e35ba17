// MS-SSIM of the luma planes: SSIM's window at five scales, each half the size of the one before.
#pragma once

#include <array>
#include <cstdint>

#include "codec/picture.h"

namespace kvrn::lab {

// The weights of the five scales, finest first: Wang, Simoncelli and Bovik's exponents, fitted to
// the judgements of their viewers ("Multi-scale structural similarity for image quality
// assessment", 2003). Contrast-structure at scales 1 to 4, luminance times contrast-structure at
// scale 5.
inline constexpr std::array<double, 5> ms_ssim_weights = {0.0448, 0.2856, 0.3001, 0.2363, 0.1333};

// The smallest side MS-SSIM is defined for: the fifth scale, ceil(n / 16) pixels of a side of n,
// must hold the 11-pixel window, so n > 160.
inline constexpr std::int32_t ms_ssim_smallest_side = 161;

// MS-SSIM of the luma planes (Y = 0.299 R + 0.587 G + 0.114 B, unrounded) of `a` and `b`, which
// have the same size. At each scale, the mean over the positions where the whole 11 x 11 window
// fits, as ssim_y takes it; between scales, each 2 x 2 square of the picture seen top row first
// is averaged into one pixel, and an odd side's last row or column, alone, is averaged with itself
// (so a side of n becomes ceil(n / 2) and no pixel is dropped). A negative mean contrast-structure
// (the pictures' detail anti-correlated at that scale) has no real fractional power: it counts as
// 0, and so does MS-SSIM. NaN when a side is under ms_ssim_smallest_side. The rows are shared among
// `threads` threads (0: one per core); the figure does not depend on the number.
double ms_ssim_y(const picture_view& a, const picture_view& b, unsigned threads = 0);

}  // namespace kvrn::lab
