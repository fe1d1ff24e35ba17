#include "lab/metrics.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <limits>
#include <optional>
#include <thread>
#include <vector>

#include "lab/ssim_window.h"

namespace kvrn::lab {
namespace {

constexpr int radius = ssim_radius;
// Below this many pixels per thread, starting threads costs more than it saves.
constexpr std::size_t pixels_per_thread = 1 << 16;

double psnr(double sse, double samples) {
    if (sse == 0) return std::numeric_limits<double>::infinity();
    return 10 * std::log10(255.0 * 255.0 * samples / sse);
}

struct band_result {
    std::uint64_t sse_rgb = 0;
    int max_error = 0;
};

// Works on the picture rows [first, last): their squared errors into the result and `sse_y_rows`,
// and the SSIM sums of the output rows among them into `ssim_sums` (both indexed by the row less
// `first`; rows without an output are left as they are).
class band_worker {
  public:
    band_worker(const picture_view& a, const picture_view& b, bool with_ssim)
        : a_(a), b_(b), width_(static_cast<std::size_t>(a.width)), with_ssim_(with_ssim) {
        if (with_ssim_) {
            window_.emplace(width_);
            luma_.resize(2 * width_);
        }
    }

    band_result run(std::int32_t first, std::int32_t last, double* sse_y_rows, double* ssim_sums) {
        band_result result;
        for (std::int32_t row = first; row < last; ++row) {
            const std::uint8_t* pa = a_.pixels + pixel_offset(a_.width, row, 0);
            const std::uint8_t* pb = b_.pixels + pixel_offset(b_.width, row, 0);
            double sse_y = 0;
            for (std::size_t i = 0; i < width_; ++i) {
                for (std::size_t c = 0; c < 3; ++c) {
                    const int d = pa[3 * i + c] - pb[3 * i + c];
                    result.sse_rgb += static_cast<std::uint64_t>(d * d);
                    result.max_error = std::max(result.max_error, std::abs(d));
                }
                const double dy = luma(pa + 3 * i) - luma(pb + 3 * i);
                sse_y += dy * dy;
            }
            sse_y_rows[row - first] = sse_y;
        }
        if (!with_ssim_) return result;
        // Output rows are those whose window fits: radius .. height - radius - 1.
        const std::int32_t out_first = std::max(first, radius);
        const std::int32_t out_last = std::min(last, a_.height - radius);
        if (out_first >= out_last) return result;
        for (std::int32_t row = out_first - radius; row < out_first + radius; ++row) add_row(row);
        for (std::int32_t row = out_first; row < out_last; ++row) {
            add_row(row + radius);
            ssim_sums[row - first] = window_->ssim_sum(row);
        }
        return result;
    }

  private:
    // Picture row `row`'s luma of both pictures into the window.
    void add_row(std::int32_t row) {
        const std::uint8_t* pa = a_.pixels + pixel_offset(a_.width, row, 0);
        const std::uint8_t* pb = b_.pixels + pixel_offset(b_.width, row, 0);
        double* x = luma_.data();
        double* y = x + width_;
        for (std::size_t i = 0; i < width_; ++i) {
            x[i] = luma(pa + 3 * i);
            y[i] = luma(pb + 3 * i);
        }
        window_->add_row(row, x, y);
    }

    const picture_view& a_;
    const picture_view& b_;
    std::size_t width_;
    bool with_ssim_;
    std::optional<ssim_rows> window_;
    std::vector<double> luma_;  // one row of x, then y
};

}  // namespace

row_sums sum_rows(const picture_view& a, const picture_view& b, std::int32_t first,
                  std::int32_t last) {
    row_sums sums;
    const auto rows = static_cast<std::size_t>(std::max(0, last - first));
    sums.sse_y.assign(rows, 0.0);
    sums.ssim.assign(rows, 0.0);
    if (rows == 0) return sums;
    const bool with_ssim = a.width >= ssim_window && a.height >= ssim_window;
    band_worker worker(a, b, with_ssim);
    const band_result r = worker.run(first, last, sums.sse_y.data(), sums.ssim.data());
    sums.sse_rgb = r.sse_rgb;
    sums.max_error = r.max_error;
    return sums;
}

distortion figures_of_sums(std::int32_t width, std::int32_t height, std::uint64_t sse_rgb,
                           int max_error, const double* sse_y, const double* ssim) {
    const double pixels = static_cast<double>(width) * static_cast<double>(height);
    distortion d;
    d.sse_rgb = sse_rgb;
    d.max_error = max_error;
    for (std::int32_t row = 0; row < height; ++row) d.sse_y += sse_y[row];
    d.psnr_rgb = psnr(static_cast<double>(d.sse_rgb), 3.0 * pixels);
    d.psnr_y = psnr(d.sse_y, pixels);
    if (width >= ssim_window && height >= ssim_window) {
        double sum = 0;
        for (std::int32_t row = 0; row < height; ++row) sum += ssim[row];
        const double inner =
            static_cast<double>(width - 2 * radius) * static_cast<double>(height - 2 * radius);
        d.ssim_y = sum / inner;
    } else {
        d.ssim_y = std::numeric_limits<double>::quiet_NaN();
    }
    return d;
}

std::optional<distortion> compare(const picture_view& a, const picture_view& b, unsigned threads) {
    if (a.width != b.width || a.height != b.height || a.width <= 0 || a.height <= 0)
        return std::nullopt;
    const auto height = static_cast<std::size_t>(a.height);
    const std::size_t pixels = static_cast<std::size_t>(a.width) * height;
    const bool with_ssim = a.width >= ssim_window && a.height >= ssim_window;

    if (threads == 0) threads = std::max(1U, std::thread::hardware_concurrency());
    const std::size_t useful = std::max<std::size_t>(1, pixels / pixels_per_thread);
    const auto bands = static_cast<std::int32_t>(std::min({std::size_t{threads}, useful, height}));

    std::vector<double> sse_y_rows(height, 0.0);
    std::vector<double> ssim_sums(height, 0.0);
    std::vector<band_result> results(static_cast<std::size_t>(bands));
    auto work = [&](std::int32_t band) {
        const auto first = static_cast<std::int32_t>(std::int64_t{a.height} * band / bands);
        const auto last = static_cast<std::int32_t>(std::int64_t{a.height} * (band + 1) / bands);
        band_worker worker(a, b, with_ssim);
        results[static_cast<std::size_t>(band)] =
            worker.run(first, last, sse_y_rows.data() + first, ssim_sums.data() + first);
    };
    std::vector<std::thread> helpers;
    for (std::int32_t band = 1; band < bands; ++band) helpers.emplace_back(work, band);
    work(0);
    for (std::thread& helper : helpers) helper.join();

    std::uint64_t sse_rgb = 0;
    int max_error = 0;
    for (const band_result& r : results) {
        sse_rgb += r.sse_rgb;
        max_error = std::max(max_error, r.max_error);
    }
    return figures_of_sums(a.width, a.height, sse_rgb, max_error, sse_y_rows.data(),
                           ssim_sums.data());
}

std::string decimals(double value, int places) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    std::array<char, 64> text{};
    (void)std::snprintf(text.data(), text.size(), "%.*f", places, value);
    return text.data();
}

}  // namespace kvrn::lab
