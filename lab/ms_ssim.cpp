#include "lab/ms_ssim.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

#include "codec/parallel.h"
#include "lab/ssim_window.h"

namespace kvrn::lab {
namespace {

// Below this many pixels per thread, starting threads costs more than it saves.
constexpr std::size_t pixels_per_thread = 1 << 15;

// The luma planes of both pictures at one scale, row 0 the top row.
struct luma_pair {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<double> x;
    std::vector<double> y;
    std::size_t at(std::int32_t row) const {
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
    }
};

// Calls work(first, last) for bands of the rows [0, rows) on up to `threads` threads, for rows of
// `width` pixels.
template <class Work>
void in_bands(unsigned threads, std::int32_t rows, std::int32_t width, const Work& work) {
    const std::size_t pixels = static_cast<std::size_t>(rows) * static_cast<std::size_t>(width);
    const std::size_t useful = std::max<std::size_t>(1, pixels / pixels_per_thread);
    const auto bands = static_cast<unsigned>(
        std::min({std::size_t{threads}, useful, static_cast<std::size_t>(rows)}));
    run_on_threads(bands, [&](unsigned band) {
        work(static_cast<std::int32_t>(std::int64_t{rows} * band / bands),
             static_cast<std::int32_t>(std::int64_t{rows} * (band + 1) / bands));
    });
}

// out[i], for i < ceil(width / 2): the mean of columns 2i and 2i + 1 of two rows, the last column
// of an odd width paired with itself.
void average_pairs(const double* r0, const double* r1, std::int32_t width, double* out) {
    const std::int32_t pairs = width / 2;
    for (std::int32_t i = 0; i < pairs; ++i) {
        const std::size_t left = 2 * static_cast<std::size_t>(i);
        out[i] = 0.25 * (r0[left] + r0[left + 1] + r1[left] + r1[left + 1]);
    }
    if (width % 2 != 0) {
        const auto last = static_cast<std::size_t>(width - 1);
        out[pairs] = 0.25 * (r0[last] + r0[last] + r1[last] + r1[last]);
    }
}

// The picture's display row `row` (0 the top row; stored bottom row first) of `p`.
const std::uint8_t* display_row(const picture_view& p, std::int32_t row) {
    return p.pixels + pixel_offset(p.width, p.height - 1 - row, 0);
}

// The luma of `width` RGB pixels.
void luma_row(const std::uint8_t* rgb, std::int32_t width, double* out) {
    for (std::int32_t i = 0; i < width; ++i) out[i] = luma(rgb + 3 * static_cast<std::size_t>(i));
}

// The second scale straight from the pictures' pixels: each 2 x 2 square of luma averaged into
// one pixel; an odd side's last row or column pairs with itself. Going from the pixels spares the
// first scale's planes, whose memory, touched once, cost more than the arithmetic.
luma_pair halved(const picture_view& a, const picture_view& b, unsigned threads) {
    luma_pair half{(a.width + 1) / 2, (a.height + 1) / 2, {}, {}};
    half.x.resize(half.at(half.height));
    half.y.resize(half.at(half.height));
    in_bands(threads, half.height, half.width, [&](std::int32_t first, std::int32_t last) {
        std::vector<double> rows(4 * static_cast<std::size_t>(a.width));
        double* upper = rows.data();
        double* lower = upper + a.width;
        for (const auto& [from, to] : {std::pair{&a, &half.x}, {&b, &half.y}}) {
            for (std::int32_t row = first; row < last; ++row) {
                luma_row(display_row(*from, 2 * row), a.width, upper);
                luma_row(display_row(*from, std::min(2 * row + 1, a.height - 1)), a.width, lower);
                average_pairs(upper, lower, a.width, to->data() + half.at(row));
            }
        }
    });
    return half;
}

// The same from one scale's planes to the next.
luma_pair halved(const luma_pair& planes, unsigned threads) {
    luma_pair half{(planes.width + 1) / 2, (planes.height + 1) / 2, {}, {}};
    half.x.resize(half.at(half.height));
    half.y.resize(half.at(half.height));
    in_bands(threads, half.height, half.width, [&](std::int32_t first, std::int32_t last) {
        for (const auto& [from, to] : {std::pair{&planes.x, &half.x}, {&planes.y, &half.y}}) {
            for (std::int32_t row = first; row < last; ++row) {
                const std::int32_t lower = std::min(2 * row + 1, planes.height - 1);
                average_pairs(from->data() + planes.at(2 * row), from->data() + planes.at(lower),
                              planes.width, to->data() + half.at(row));
            }
        }
    });
    return half;
}

// The mean over the window's positions of SSIM (`whole`) or of its contrast-structure term, for
// pictures `width` x `height` whose luma rows add_rows(window, row) hands to the window.
template <class RowGiver>
double window_mean(std::int32_t width, std::int32_t height, bool whole, unsigned threads,
                   const RowGiver& add_row) {
    const std::int32_t outputs = height - 2 * ssim_radius;
    // Sums per output row, added up in row order afterwards, so that the mean is the same however
    // the rows were shared out.
    std::vector<double> sums(static_cast<std::size_t>(outputs));
    in_bands(threads, outputs, width, [&](std::int32_t first, std::int32_t last) {
        ssim_rows window(static_cast<std::size_t>(width));
        std::vector<double> scratch(2 * static_cast<std::size_t>(width));
        // Output row k is picture row k + radius, whose window reaches rows k .. k + 2 radius.
        for (std::int32_t row = first; row < first + 2 * ssim_radius; ++row)
            add_row(window, row, scratch.data());
        for (std::int32_t k = first; k < last; ++k) {
            add_row(window, k + 2 * ssim_radius, scratch.data());
            const std::int32_t centre = k + ssim_radius;
            sums[static_cast<std::size_t>(k)] =
                whole ? window.ssim_sum(centre) : window.cs_sum(centre);
        }
    });
    double sum = 0;
    for (const double s : sums) sum += s;
    return sum / (static_cast<double>(outputs) * (width - 2 * ssim_radius));
}

// The first scale's contrast-structure, from the pictures' pixels.
double first_scale(const picture_view& a, const picture_view& b, unsigned threads) {
    return window_mean(a.width, a.height, false, threads,
                       [&](ssim_rows& window, std::int32_t row, double* scratch) {
                           double* x = scratch;
                           double* y = scratch + a.width;
                           luma_row(display_row(a, row), a.width, x);
                           luma_row(display_row(b, row), b.width, y);
                           window.add_row(row, x, y);
                       });
}

double scale_mean(const luma_pair& planes, bool whole, unsigned threads) {
    return window_mean(planes.width, planes.height, whole, threads,
                       [&](ssim_rows& window, std::int32_t row, double* /*scratch*/) {
                           window.add_row(row, planes.x.data() + planes.at(row),
                                          planes.y.data() + planes.at(row));
                       });
}

}  // namespace

double ms_ssim_y(const picture_view& a, const picture_view& b, unsigned threads) {
    if (a.width < ms_ssim_smallest_side || a.height < ms_ssim_smallest_side)
        return std::numeric_limits<double>::quiet_NaN();
    if (threads == 0) threads = default_threads();
    // A negative mean has no real fractional power: it counts as 0, and so does the product.
    const auto term = [](double mean, double weight) {
        return std::pow(std::max(mean, 0.0), weight);
    };
    double product = term(first_scale(a, b, threads), ms_ssim_weights[0]);
    luma_pair planes = halved(a, b, threads);
    for (std::size_t scale = 1; scale < ms_ssim_weights.size(); ++scale) {
        const bool last = scale + 1 == ms_ssim_weights.size();
        product *= term(scale_mean(planes, last, threads), ms_ssim_weights[scale]);
        if (!last) planes = halved(planes, threads);
    }
    return product;
}

}  // namespace kvrn::lab
