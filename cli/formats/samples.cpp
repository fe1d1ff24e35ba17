#include "cli/formats/samples.h"

#include <algorithm>
#include <cstring>

namespace kvrn::cli {

std::uint32_t over_white(std::uint32_t value, std::uint32_t alpha, std::uint32_t maxval) {
    // At most maxval^2 + maxval / 2 < 2^32 for maxval 65535, but wider is no dearer.
    const std::uint64_t sum =
        std::uint64_t{value} * alpha + std::uint64_t{maxval} * (maxval - alpha);
    return static_cast<std::uint32_t>((sum + maxval / 2) / maxval);
}

sample_rows::sample_rows(std::uint32_t width, std::uint32_t depth, bool alpha, std::uint32_t maxval)
    : width_(width), depth_(depth), alpha_(alpha), maxval_(maxval) {
    to_8_bits_.resize(std::size_t{maxval} + 1);
    for (std::uint32_t v = 0; v <= maxval; ++v) to_8_bits_[v] = to_8_bits(v, maxval);
}

std::size_t sample_rows::row_bytes() const {
    return std::size_t{width_} * depth_ * (maxval_ > 255 ? 2 : 1);
}

std::size_t sample_rows::convert(const std::uint8_t* raw, std::uint8_t* rgb) const {
    const std::size_t width = width_;
    if (rgb_8_bits()) {
        std::memcpy(rgb, raw, 3 * width);
        return 0;
    }
    const bool wide = maxval_ > 255;
    // Only raw data can hold values above a maxval short of its bytes' range.
    std::size_t clamped = 0;
    if (maxval_ != (wide ? 65535U : 255U)) {
        for (std::size_t i = 0; i < width * depth_; ++i) {
            const std::uint32_t v = wide ? std::uint32_t{raw[2 * i]} << 8 | raw[2 * i + 1] : raw[i];
            clamped += v > maxval_ ? 1 : 0;
        }
    }
    const auto sample = [&](std::size_t i) {
        const std::uint32_t v = wide ? std::uint32_t{raw[2 * i]} << 8 | raw[2 * i + 1] : raw[i];
        return std::min(v, maxval_);
    };
    const std::size_t colours = depth_ - (alpha_ ? 1 : 0);
    for (std::size_t x = 0; x < width; ++x) {
        const std::size_t first = x * depth_;
        const std::uint32_t alpha = alpha_ ? sample(first + colours) : maxval_;
        for (std::size_t c = 0; c < 3; ++c) {
            std::uint32_t v = sample(first + (colours == 3 ? c : 0));
            if (alpha_) v = over_white(v, alpha, maxval_);
            rgb[3 * x + c] = to_8_bits_[v];
        }
    }
    return clamped;
}

}  // namespace kvrn::cli
