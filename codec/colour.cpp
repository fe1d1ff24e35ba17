#include "codec/colour.h"

namespace kvrn {
namespace {

// Fixed-point JFIF weights of the inverse conversion, each as factor >> shift:
//   R from Cr: 359 / 2^8 = 1.40234  (1.402)
//   G from Cr: 183 / 2^8 = 0.71484  (0.714136)
//   G from Cb:  11 / 2^5 = 0.34375  (0.344136)
//   B from Cb: 227 / 2^7 = 1.77344  (1.772)
// The chroma differences lie in -128..127, so every product fits easily in 32 bits; the shifts
// are arithmetic and round toward minus infinity.
std::int32_t red_from_cr(std::int32_t cr) {
    return (cr * 359) >> 8;
}
std::int32_t green_from_cr(std::int32_t cr) {
    return (cr * 183) >> 8;
}
std::int32_t green_from_cb(std::int32_t cb) {
    return (cb * 11) >> 5;
}
std::int32_t blue_from_cb(std::int32_t cb) {
    return (cb * 227) >> 7;
}

}  // namespace

void ycc_to_rgb(const channel_enables& enables, const coef_block& y, const coef_block& cr,
                const coef_block& cb, coef_block& red, coef_block& green, coef_block& blue) {
    for (std::size_t i = 0; i < 64; ++i) {
        const std::int32_t luma = y[i] * enables.use_y;
        const std::int32_t red_diff = enables.use_cr * (cr[i] - 128);
        const std::int32_t blue_diff = enables.use_cb * (cb[i] - 128);
        red[i] = luma + red_from_cr(red_diff);
        green[i] = luma - green_from_cr(red_diff) - green_from_cb(blue_diff);
        blue[i] = luma + blue_from_cb(blue_diff);
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

ycc_sample rgb_to_ycc(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    const double r = red;
    const double g = green;
    const double b = blue;
    // Each product and sum rounded to double, in this order and grouping.
    const double y = (g * 0.587 + r * 0.299) + b * 0.114;
    const double cr = ((r * 0.5 + 128.0) - g * 0.418688) - b * 0.081312;
    const double cb = ((128.0 - r * 0.168736) - g * 0.331264) + b * 0.5;
    return {centre(y), centre(cr), centre(cb)};
}

}  // namespace kvrn
