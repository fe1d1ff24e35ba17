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

luma_pair luma_planes(const picture_view& a, const picture_view& b, unsigned threads) {
    luma_pair planes{a.width, a.height, {}, {}};
    const std::size_t size = planes.at(a.height);
    planes.x.resize(size);
    planes.y.resize(size);
    in_bands(threads, a.height, a.width, [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t row = first; row < last; ++row) {
            // Picture rows are stored bottom row first.
            const std::size_t source = pixel_offset(a.width, a.height - 1 - row, 0);
            double* x = planes.x.data() + planes.at(row);
            double* y = planes.y.data() + planes.at(row);
            for (std::int32_t i = 0; i < a.width; ++i) {
                x[i] = luma(a.pixels + source + 3 * static_cast<std::size_t>(i));
                y[i] = luma(b.pixels + source + 3 * static_cast<std::size_t>(i));
            }
        }
    });
    return planes;
}

// Each 2 x 2 square averaged into one pixel; an odd side's last row or column pairs with itself.
luma_pair halved(const luma_pair& planes, unsigned threads) {
    luma_pair half{(planes.width + 1) / 2, (planes.height + 1) / 2, {}, {}};
    half.x.resize(half.at(half.height));
    half.y.resize(half.at(half.height));
    in_bands(threads, half.height, half.width, [&](std::int32_t first, std::int32_t last) {
        for (std::int32_t row = first; row < last; ++row) {
            const std::int32_t upper = 2 * row;
            const std::int32_t lower = std::min(upper + 1, planes.height - 1);
            for (const auto& [from, to] : {std::pair{&planes.x, &half.x}, {&planes.y, &half.y}}) {
                const double* r0 = from->data() + planes.at(upper);
                const double* r1 = from->data() + planes.at(lower);
                double* out = to->data() + half.at(row);
                for (std::int32_t i = 0; i < half.width; ++i) {
                    const auto left = static_cast<std::size_t>(2 * i);
                    const std::size_t right =
                        std::min<std::size_t>(left + 1, static_cast<std::size_t>(planes.width - 1));
                    out[i] = 0.25 * (r0[left] + r0[right] + r1[left] + r1[right]);
                }
            }
        }
    });
    return half;
}

// The mean over the window's positions of SSIM (`whole`) or of its contrast-structure term.
double window_mean(const luma_pair& planes, bool whole, unsigned threads) {
    const std::int32_t outputs = planes.height - 2 * ssim_radius;
    // Sums per output row, added up in row order afterwards, so that the mean is the same however
    // the rows were shared out.
    std::vector<double> sums(static_cast<std::size_t>(outputs));
    in_bands(threads, outputs, planes.width, [&](std::int32_t first, std::int32_t last) {
        ssim_rows window(static_cast<std::size_t>(planes.width));
        // Output row k is picture row k + radius, whose window reaches rows k .. k + 2 radius.
        for (std::int32_t row = first; row < first + 2 * ssim_radius; ++row)
            window.add_row(row, planes.x.data() + planes.at(row), planes.y.data() + planes.at(row));
        for (std::int32_t k = first; k < last; ++k) {
            const std::int32_t row = k + 2 * ssim_radius;
            window.add_row(row, planes.x.data() + planes.at(row), planes.y.data() + planes.at(row));
            const std::int32_t centre = k + ssim_radius;
            sums[static_cast<std::size_t>(k)] =
                whole ? window.ssim_sum(centre) : window.cs_sum(centre);
        }
    });
    double sum = 0;
    for (const double s : sums) sum += s;
    return sum / (static_cast<double>(outputs) * (planes.width - 2 * ssim_radius));
}

}  // namespace

double ms_ssim_y(const picture_view& a, const picture_view& b, unsigned threads) {
    if (a.width < ms_ssim_smallest_side || a.height < ms_ssim_smallest_side)
        return std::numeric_limits<double>::quiet_NaN();
    if (threads == 0) threads = default_threads();
    luma_pair planes = luma_planes(a, b, threads);
    double product = 1;
    for (std::size_t scale = 0; scale < ms_ssim_weights.size(); ++scale) {
        const bool last = scale + 1 == ms_ssim_weights.size();
        const double mean = window_mean(planes, last, threads);
        product *= std::pow(std::max(mean, 0.0), ms_ssim_weights[scale]);
        if (!last) planes = halved(planes, threads);
    }
    return product;
}

}  // namespace kvrn::lab
