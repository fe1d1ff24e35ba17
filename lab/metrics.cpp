#include "lab/metrics.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <limits>
#include <thread>
#include <vector>

namespace kvrn::lab {
namespace {

constexpr int radius = ssim_window / 2;
constexpr double sigma = 1.5;
// C1 = (K1 L)^2 and C2 = (K2 L)^2 with K1 = 0.01, K2 = 0.03 and L = 255.
constexpr double c1 = (0.01 * 255) * (0.01 * 255);
constexpr double c2 = (0.03 * 255) * (0.03 * 255);
// Below this many pixels per thread, starting threads costs more than it saves.
constexpr std::size_t pixels_per_thread = 1 << 16;

// exp(-k^2 / (2 sigma^2)) for k = -5..5, divided by their sum so that they add up to 1.
std::array<double, ssim_window> gaussian_weights() {
    std::array<double, ssim_window> weights{};
    double sum = 0;
    for (std::size_t i = 0; i < weights.size(); ++i) {
        const double k = static_cast<double>(i) - radius;
        const double w = std::exp(-0.5 / (sigma * sigma) * k * k);
        weights[i] = w;
        sum += w;
    }
    for (double& w : weights) w /= sum;
    return weights;
}

double luma(const std::uint8_t* p) {
    return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
}

double psnr(double sse, double samples) {
    if (sse == 0) return std::numeric_limits<double>::infinity();
    return 10 * std::log10(255.0 * 255.0 * samples / sse);
}

// The five local moments the SSIM needs: the weighted means of x, y, x^2, y^2 and x y.
constexpr int moments = 5;

struct band_result {
    std::uint64_t sse_rgb = 0;
    int max_error = 0;
};

// Works on the picture rows [first, last): their squared errors into `band` and `sse_y_rows`,
// and the SSIM sums of the output rows among them into `ssim_rows` (indexed by picture row).
class band_worker {
  public:
    band_worker(const picture_view& a, const picture_view& b, bool with_ssim)
        : a_(a), b_(b), width_(static_cast<std::size_t>(a.width)), with_ssim_(with_ssim) {
        if (with_ssim_) {
            inner_ = width_ - 2 * std::size_t{radius};
            ring_.resize(std::size_t{ssim_window} * moments * inner_);
            products_.resize(std::size_t{moments} * width_);
            sums_.resize(moments * inner_);
        }
    }

    band_result run(std::int32_t first, std::int32_t last, std::vector<double>& sse_y_rows,
                    std::vector<double>& ssim_rows) {
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
            sse_y_rows[static_cast<std::size_t>(row)] = sse_y;
        }
        if (!with_ssim_) return result;
        // Output rows are those whose window fits: radius .. height - radius - 1.
        const std::int32_t out_first = std::max(first, radius);
        const std::int32_t out_last = std::min(last, a_.height - radius);
        if (out_first >= out_last) return result;
        for (std::int32_t row = out_first - radius; row < out_first + radius; ++row)
            filter_row_horizontally(row);
        for (std::int32_t row = out_first; row < out_last; ++row) {
            filter_row_horizontally(row + radius);
            ssim_rows[static_cast<std::size_t>(row)] = ssim_row_sum(row);
        }
        return result;
    }

  private:
    double* ring_row(std::int32_t row, int moment) {
        const auto slot = static_cast<std::size_t>(row % ssim_window);
        return ring_.data() + (slot * moments + static_cast<std::size_t>(moment)) * inner_;
    }

    // The moments of picture row `row` filtered along the row, at the inner columns, into the
    // ring buffer's slot for the row.
    void filter_row_horizontally(std::int32_t row) {
        const std::uint8_t* pa = a_.pixels + pixel_offset(a_.width, row, 0);
        const std::uint8_t* pb = b_.pixels + pixel_offset(b_.width, row, 0);
        double* x = products_.data();
        double* y = x + width_;
        double* xx = y + width_;
        double* yy = xx + width_;
        double* xy = yy + width_;
        for (std::size_t i = 0; i < width_; ++i) {
            x[i] = luma(pa + 3 * i);
            y[i] = luma(pb + 3 * i);
            xx[i] = x[i] * x[i];
            yy[i] = y[i] * y[i];
            xy[i] = x[i] * y[i];
        }
        for (int m = 0; m < moments; ++m) {
            const double* in = products_.data() + static_cast<std::size_t>(m) * width_;
            std::array<const double*, ssim_window> taps{};
            for (std::size_t k = 0; k < ssim_window; ++k) taps[k] = in + k;
            filter(taps, ring_row(row, m));
        }
    }

    // out[j] = sum over k of w[k] taps[k][j], for the inner columns j. The weights are
    // symmetric, so taps k and 10 - k share a product; one pass per output row, with the sum in
    // a register, is what lets the compiler turn it into vector code.
    void filter(const std::array<const double*, ssim_window>& taps, double* __restrict out) const {
        const std::array<double, ssim_window>& w = weights_;
        const double* __restrict t0 = taps[0];
        const double* __restrict t1 = taps[1];
        const double* __restrict t2 = taps[2];
        const double* __restrict t3 = taps[3];
        const double* __restrict t4 = taps[4];
        const double* __restrict t5 = taps[5];
        const double* __restrict t6 = taps[6];
        const double* __restrict t7 = taps[7];
        const double* __restrict t8 = taps[8];
        const double* __restrict t9 = taps[9];
        const double* __restrict t10 = taps[10];
        for (std::size_t j = 0; j < inner_; ++j)
            out[j] = w[5] * t5[j] + w[4] * (t4[j] + t6[j]) + w[3] * (t3[j] + t7[j]) +
                     w[2] * (t2[j] + t8[j]) + w[1] * (t1[j] + t9[j]) + w[0] * (t0[j] + t10[j]);
    }

    // Filters the ring's eleven rows around `row` down the columns and sums the SSIM over them.
    double ssim_row_sum(std::int32_t row) {
        for (int m = 0; m < moments; ++m) {
            std::array<const double*, ssim_window> taps{};
            for (std::int32_t k = 0; k < ssim_window; ++k)
                taps[static_cast<std::size_t>(k)] = ring_row(row - radius + k, m);
            filter(taps, sums_.data() + static_cast<std::size_t>(m) * inner_);
        }
        const double* ux = sums_.data();
        const double* uy = ux + inner_;
        const double* uxx = uy + inner_;
        const double* uyy = uxx + inner_;
        const double* uxy = uyy + inner_;
        double sum = 0;
        for (std::size_t j = 0; j < inner_; ++j) {
            const double vx = uxx[j] - ux[j] * ux[j];
            const double vy = uyy[j] - uy[j] * uy[j];
            const double vxy = uxy[j] - ux[j] * uy[j];
            const double a1 = 2 * ux[j] * uy[j] + c1;
            const double a2 = 2 * vxy + c2;
            const double b1 = ux[j] * ux[j] + uy[j] * uy[j] + c1;
            const double b2 = vx + vy + c2;
            sum += a1 * a2 / (b1 * b2);
        }
        return sum;
    }

    const picture_view& a_;
    const picture_view& b_;
    std::size_t width_;
    bool with_ssim_;
    std::size_t inner_ = 0;
    std::array<double, ssim_window> weights_ = gaussian_weights();
    std::vector<double> ring_;      // 11 rows x 5 moments x inner columns, by row modulo 11
    std::vector<double> products_;  // one row of x, y, x^2, y^2, x y
    std::vector<double> sums_;      // one output row of the five local means
};

}  // namespace

std::optional<distortion> compare(const picture_view& a, const picture_view& b, unsigned threads) {
    if (a.width != b.width || a.height != b.height || a.width <= 0 || a.height <= 0)
        return std::nullopt;
    const auto height = static_cast<std::size_t>(a.height);
    const std::size_t pixels = static_cast<std::size_t>(a.width) * height;
    const bool with_ssim = a.width >= ssim_window && a.height >= ssim_window;

    if (threads == 0) threads = std::max(1U, std::thread::hardware_concurrency());
    const std::size_t useful = std::max<std::size_t>(1, pixels / pixels_per_thread);
    const auto bands = static_cast<std::int32_t>(std::min({std::size_t{threads}, useful, height}));

    // Sums per row, added up in row order afterwards, so that the figures are the same however
    // the rows were shared out.
    std::vector<double> sse_y_rows(height, 0.0);
    std::vector<double> ssim_rows(height, 0.0);
    std::vector<band_result> results(static_cast<std::size_t>(bands));
    auto work = [&](std::int32_t band) {
        const auto first = static_cast<std::int32_t>(std::int64_t{a.height} * band / bands);
        const auto last = static_cast<std::int32_t>(std::int64_t{a.height} * (band + 1) / bands);
        band_worker worker(a, b, with_ssim);
        results[static_cast<std::size_t>(band)] = worker.run(first, last, sse_y_rows, ssim_rows);
    };
    std::vector<std::thread> helpers;
    for (std::int32_t band = 1; band < bands; ++band) helpers.emplace_back(work, band);
    work(0);
    for (std::thread& helper : helpers) helper.join();

    distortion d;
    for (const band_result& r : results) {
        d.sse_rgb += r.sse_rgb;
        d.max_error = std::max(d.max_error, r.max_error);
    }
    for (double s : sse_y_rows) d.sse_y += s;
    d.psnr_rgb = psnr(static_cast<double>(d.sse_rgb), 3.0 * static_cast<double>(pixels));
    d.psnr_y = psnr(d.sse_y, static_cast<double>(pixels));
    if (with_ssim) {
        double sum = 0;
        for (double s : ssim_rows) sum += s;
        const double inner =
            static_cast<double>(a.width - 2 * radius) * static_cast<double>(a.height - 2 * radius);
        d.ssim_y = sum / inner;
    } else {
        d.ssim_y = std::numeric_limits<double>::quiet_NaN();
    }
    return d;
}

std::string decimals(double value, int places) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    std::array<char, 64> text{};
    (void)std::snprintf(text.data(), text.size(), "%.*f", places, value);
    return text.data();
}

}  // namespace kvrn::lab
