#include "codec/colour.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "codec/kernel_versions.h"
#include "codec/kernels.h"
#include "codec/to_rgb.h"

namespace kvrn {

void ycc_to_rgb(const channel_enables& enables, const ycc_blocks& samples, rgb_blocks& rgb) {
    active_kernels().ycc_to_rgb(enables, samples, rgb);
}

void plain::ycc_to_rgb(const channel_enables& enables, const ycc_blocks& samples, rgb_blocks& rgb) {
    for (std::size_t i = 0; i < 64; ++i) {
        wrap32 r = 0;
        wrap32 g = 0;
        wrap32 b = 0;
        to_rgb(enables, wrap(samples.y[i]), wrap(samples.cr[i]), wrap(samples.cb[i]), r, g, b);
        rgb.red[i] = unwrap(r);
        rgb.green[i] = unwrap(g);
        rgb.blue[i] = unwrap(b);
    }
}

namespace {

// The single-precision rounding matters: in double precision the Y of 30 grey levels (143 the
// first) falls just below the grey value and would truncate one too low; rounded to float every
// grey (v, v, v) comes out as exactly v. The subtraction of 128 is exact in double precision.
std::int32_t centre(double value) {
    // volatile: g++ 12 at -O2 vectorises the Y and Cr conversions together and drops their
    // round trip through float (grey 143 then gives a Y of 14); the store forces the rounding.
    const volatile auto single = static_cast<float>(value);
    return static_cast<std::int32_t>(static_cast<double>(single) - 128.0);
}

}  // namespace

namespace {

// The nine products of the forward conversion for every byte value, each the same double that
// the multiplication gives at run time (IEEE products are exact functions of their operands).
struct product_table {
    std::array<double, 256> values{};
    constexpr explicit product_table(double weight) {
        for (std::size_t v = 0; v < 256; ++v) values[v] = static_cast<double>(v) * weight;
    }
    double operator[](std::uint8_t v) const { return values[v]; }
};

constexpr product_table r_299(0.299), g_587(0.587), b_114(0.114);
constexpr product_table r_500(0.5), g_418688(0.418688), b_081312(0.081312);
constexpr product_table r_168736(0.168736), g_331264(0.331264), b_500(0.5);

}  // namespace

ycc_sample rgb_to_ycc(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    // Each product and sum rounded to double, in this order and grouping.
    const double y = (g_587[green] + r_299[red]) + b_114[blue];
    const double cr = ((r_500[red] + 128.0) - g_418688[green]) - b_081312[blue];
    const double cb = ((128.0 - r_168736[red]) - g_331264[green]) + b_500[blue];
    return {centre(y), centre(cr), centre(cb)};
}

void rgb_to_ycc_block(const picture_view& picture, std::int32_t r0, std::int32_t c0,
                      ycc_blocks& samples) {
    active_kernels().rgb_to_ycc_block(picture, r0, c0, samples);
}

void plain::rgb_to_ycc_block(const picture_view& picture, std::int32_t r0, std::int32_t c0,
                             ycc_blocks& samples) {
    for (std::int32_t dy = 0; dy < 8; ++dy) {
        const std::int32_t row = std::min(r0 + dy, picture.height - 1);
        for (std::int32_t dx = 0; dx < 8; ++dx) {
            const std::int32_t column = std::min(c0 + dx, picture.width - 1);
            const std::uint8_t* pixel = picture.pixels + pixel_offset(picture.width, row, column);
            const ycc_sample sample = rgb_to_ycc(pixel[0], pixel[1], pixel[2]);
            const auto n = static_cast<std::size_t>(dy) * 8 + static_cast<std::size_t>(dx);
            samples.y[n] = sample.y;
            samples.cr[n] = sample.cr;
            samples.cb[n] = sample.cb;
        }
    }
}

}  // namespace kvrn
