#include "lab/ssim_window.h"

#include <cmath>

namespace kvrn::lab {
namespace {

constexpr double sigma = 1.5;
// C1 = (K1 L)^2 and C2 = (K2 L)^2 with K1 = 0.01, K2 = 0.03 and L = 255.
constexpr double c1 = (0.01 * 255) * (0.01 * 255);
constexpr double c2 = (0.03 * 255) * (0.03 * 255);
// The five local moments the SSIM needs: the weighted means of x, y, x^2, y^2 and x y.
constexpr int moments = 5;

// exp(-k^2 / (2 sigma^2)) for k = -5..5, divided by their sum so that they add up to 1.
std::array<double, ssim_window> gaussian_weights() {
    std::array<double, ssim_window> weights{};
    double sum = 0;
    for (std::size_t i = 0; i < weights.size(); ++i) {
        const double k = static_cast<double>(i) - ssim_radius;
        const double w = std::exp(-0.5 / (sigma * sigma) * k * k);
        weights[i] = w;
        sum += w;
    }
    for (double& w : weights) w /= sum;
    return weights;
}

}  // namespace

ssim_rows::ssim_rows(std::size_t width)
    : width_(width),
      inner_(width - 2 * std::size_t{ssim_radius}),
      weights_(gaussian_weights()),
      ring_(std::size_t{ssim_window} * moments * inner_),
      products_(std::size_t{moments} * width_),
      sums_(moments * inner_) {}

double* ssim_rows::ring_row(std::int32_t row, int moment) {
    const auto slot = static_cast<std::size_t>(row % ssim_window);
    return ring_.data() + (slot * moments + static_cast<std::size_t>(moment)) * inner_;
}

void ssim_rows::add_row(std::int32_t row, const double* x_row, const double* y_row) {
    double* x = products_.data();
    double* y = x + width_;
    double* xx = y + width_;
    double* yy = xx + width_;
    double* xy = yy + width_;
    for (std::size_t i = 0; i < width_; ++i) {
        x[i] = x_row[i];
        y[i] = y_row[i];
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

// out[j] = sum over k of w[k] taps[k][j], for the inner columns j. The weights are symmetric, so
// taps k and 10 - k share a product; one pass per output row, with the sum in a register, is what
// lets the compiler turn it into vector code.
void ssim_rows::filter(const std::array<const double*, ssim_window>& taps,
                       double* __restrict out) const {
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

// Filters the ring's eleven rows around `row` down the columns into the local means.
void ssim_rows::filter_down(std::int32_t row) {
    for (int m = 0; m < moments; ++m) {
        std::array<const double*, ssim_window> taps{};
        for (std::int32_t k = 0; k < ssim_window; ++k)
            taps[static_cast<std::size_t>(k)] = ring_row(row - ssim_radius + k, m);
        filter(taps, sums_.data() + static_cast<std::size_t>(m) * inner_);
    }
}

namespace {

// The sum over a row's window positions of `term`(mean x, mean y, variance x, variance y,
// covariance), from the five filtered moments of `sums` (inner values each).
template <class term_type>
double sum_of_terms(const double* sums, std::size_t inner, const term_type& term) {
    const double* ux = sums;
    const double* uy = ux + inner;
    const double* uxx = uy + inner;
    const double* uyy = uxx + inner;
    const double* uxy = uyy + inner;
    double sum = 0;
    for (std::size_t j = 0; j < inner; ++j) {
        const double vx = uxx[j] - ux[j] * ux[j];
        const double vy = uyy[j] - uy[j] * uy[j];
        const double vxy = uxy[j] - ux[j] * uy[j];
        sum += term(ux[j], uy[j], vx, vy, vxy);
    }
    return sum;
}

}  // namespace

double ssim_rows::ssim_sum(std::int32_t row) {
    filter_down(row);
    return sum_of_terms(sums_.data(), inner_,
                        [](double mx, double my, double vx, double vy, double vxy) {
                            const double a1 = 2 * mx * my + c1;
                            const double a2 = 2 * vxy + c2;
                            const double b1 = mx * mx + my * my + c1;
                            const double b2 = vx + vy + c2;
                            return a1 * a2 / (b1 * b2);
                        });
}

double ssim_rows::cs_sum(std::int32_t row) {
    filter_down(row);
    return sum_of_terms(sums_.data(), inner_,
                        [](double /*mx*/, double /*my*/, double vx, double vy, double vxy) {
                            return (2 * vxy + c2) / (vx + vy + c2);
                        });
}

}  // namespace kvrn::lab
