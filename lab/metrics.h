// How far one RGB picture is from another: squared error and PSNR over the samples and over luma,
// the structural similarity of the luma planes, and the largest sample difference.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "codec/picture.h"

namespace kvrn::lab {

// The SSIM window is 11 x 11 (a Gaussian of sigma 1.5 cut at 3.5 sigma, radius 5): a picture
// narrower or lower than that has no position where the whole window fits.
inline constexpr std::int32_t ssim_window = 11;

struct distortion {
    std::uint64_t sse_rgb = 0;  // sum of squared differences over every R, G and B sample
    double sse_y = 0;           // the same over luma Y = 0.299 R + 0.587 G + 0.114 B, unrounded
    // 10 log10(255^2 / MSE); +infinity when the pictures are identical (in RGB or in luma).
    double psnr_rgb = 0;
    double psnr_y = 0;
    // Mean SSIM of the luma planes over the positions where the whole window lies inside the
    // picture; NaN when either side is shorter than `ssim_window`.
    double ssim_y = 0;
    int max_error = 0;  // the largest absolute difference of any sample
    // Given only when asked for (lab.h's add_metrics); NaN until then, or where a picture is too
    // small for them. MS-SSIM of the luma planes over five scales; Butteraugli's distance of the
    // second picture from the first, its max norm and its 3-norm.
    double ms_ssim_y = std::numeric_limits<double>::quiet_NaN();
    double butteraugli = std::numeric_limits<double>::quiet_NaN();
    double butteraugli_3norm = std::numeric_limits<double>::quiet_NaN();
};

// A figure as the tables print it: "%.*f" with `places` decimals, "inf" or "nan" when it is not
// finite.
std::string decimals(double value, int places);

// Compares `a` with `b`, which must have the same size; nothing when the sizes differ or a
// picture is empty. The rows are shared among `threads` threads (0: one per core, fewer for a
// small picture); the figures do not depend on the number.
std::optional<distortion> compare(const picture_view& a, const picture_view& b,
                                  unsigned threads = 0);

// compare() in pieces, for callers that share the rows out themselves (the page's workers, each
// holding a band of the picture): the sums of each row, then the figures from all of them.

// What rows [first, last) of `a` against `b` (the same size) add: the squared errors, the
// largest difference, and per row the luma's squared error and the SSIM sum of the output row
// (0 where the window does not fit: within `ssim_radius` of the top or bottom, or a picture
// smaller than the window). `a` and `b` may be a band of a larger picture cut at its rows: the
// sums are the larger picture's as long as the band holds the window's reach (5 rows) around the
// rows asked for, or ends where the picture ends.
struct row_sums {
    std::uint64_t sse_rgb = 0;
    int max_error = 0;
    std::vector<double> sse_y;  // last - first rows
    std::vector<double> ssim;   // last - first rows
};
row_sums sum_rows(const picture_view& a, const picture_view& b, std::int32_t first,
                  std::int32_t last);

// The figures of a `width` x `height` picture from its rows' sums, added in row order (so that
// they are the same however the rows were shared out): `sse_y` and `ssim` hold `height` values.
distortion figures_of_sums(std::int32_t width, std::int32_t height, std::uint64_t sse_rgb,
                           int max_error, const double* sse_y, const double* ssim);

}  // namespace kvrn::lab
