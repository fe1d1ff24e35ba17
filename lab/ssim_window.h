// The local statistics SSIM and MS-SSIM share: luma from RGB, the 11 x 11 Gaussian window and its
// weighted moments, kept row by row in a ring so that a band of output rows needs only its own
// rows and the window's reach around them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "lab/metrics.h"

namespace kvrn::lab {

inline constexpr std::int32_t ssim_radius = ssim_window / 2;

// Y = 0.299 R + 0.587 G + 0.114 B, unrounded, of one RGB pixel.
inline double luma(const std::uint8_t* p) {
    return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
}

// One picture pair's luma rows through the window. Rows are handed in order with add_row; once
// the rows from row - radius to row + radius are in, ssim_sum(row) or cs_sum(row) gives that
// output row's sum over the columns where the whole window fits (radius .. width - radius - 1).
// The ring holds the last 11 rows, indexed by row modulo 11.
class ssim_rows {
  public:
    // `width` at least ssim_window.
    explicit ssim_rows(std::size_t width);

    // Picture row `row`'s luma, `x` of the one picture and `y` of the other, `width` values each.
    void add_row(std::int32_t row, const double* x, const double* y);

    // The sum along output row `row` of SSIM = l c s, luminance times contrast-structure.
    double ssim_sum(std::int32_t row);
    // The same of the contrast-structure term alone, (2 sigma_xy + C2) / (sigma_x^2 + sigma_y^2
    // + C2).
    double cs_sum(std::int32_t row);

  private:
    double* ring_row(std::int32_t row, int moment);
    void filter(const std::array<const double*, ssim_window>& taps, double* out) const;
    void filter_down(std::int32_t row);

    std::size_t width_;
    std::size_t inner_;
    std::array<double, ssim_window> weights_;
    std::vector<double> ring_;      // 11 rows x 5 moments x inner columns, by row modulo 11
    std::vector<double> products_;  // one row of x, y, x^2, y^2, x y
    std::vector<double> sums_;      // one output row of the five local means
};

}  // namespace kvrn::lab
