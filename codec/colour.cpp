#include "codec/colour.h"

#include <array>

#include "codec/lanes.h"

namespace kvrn {
namespace {

// Fixed-point JFIF weights of the inverse conversion, each as factor >> shift:
//   R from Cr: 359 / 2^8 = 1.40234  (1.402)
//   G from Cr: 183 / 2^8 = 0.71484  (0.714136)
//   G from Cb:  11 / 2^5 = 0.34375  (0.344136)
//   B from Cb: 227 / 2^7 = 1.77344  (1.772)
// The chroma differences lie in -128..127, so every product fits easily in 32 bits; the shifts
// are arithmetic and round toward minus infinity. V is one value or eight (codec/lanes.h).
template <class V>
[[gnu::always_inline]] inline void to_rgb(const channel_enables& enables, const V& y, const V& cr,
                                          const V& cb, V& red, V& green, V& blue) {
    const V luma = y * wrap(enables.use_y);
    const V red_diff = wrap(enables.use_cr) * (cr - 128);
    const V blue_diff = wrap(enables.use_cb) * (cb - 128);
    red = luma + asr(red_diff * 359, 8);
    green = luma - asr(red_diff * 183, 8) - asr(blue_diff * 11, 5);
    blue = luma + asr(blue_diff * 227, 7);
}

// Four pixels at a time.
kvrn_avx2 void ycc_to_rgb_lanes(const channel_enables& enables, const coef_block& y,
                                const coef_block& cr, const coef_block& cb, coef_block& red,
                                coef_block& green, coef_block& blue) {
    lanes ys[16];
    lanes crs[16];
    lanes cbs[16];
    load_lanes(y, ys);
    load_lanes(cr, crs);
    load_lanes(cb, cbs);
    lanes reds[16];
    lanes greens[16];
    lanes blues[16];
    for (std::size_t k = 0; k < 16; ++k) {
        to_rgb(enables, ys[k], crs[k], cbs[k], reds[k], greens[k], blues[k]);
    }
    store_lanes(reds, red);
    store_lanes(greens, green);
    store_lanes(blues, blue);
}

}  // namespace

void ycc_to_rgb(const channel_enables& enables, const coef_block& y, const coef_block& cr,
                const coef_block& cb, coef_block& red, coef_block& green, coef_block& blue) {
    if (has_avx2()) {
        ycc_to_rgb_lanes(enables, y, cr, cb, red, green, blue);
    } else {
        ycc_to_rgb_scalar(enables, y, cr, cb, red, green, blue);
    }
}

void ycc_to_rgb_scalar(const channel_enables& enables, const coef_block& y, const coef_block& cr,
                       const coef_block& cb, coef_block& red, coef_block& green, coef_block& blue) {
    for (std::size_t i = 0; i < 64; ++i) {
        wrap32 r = 0;
        wrap32 g = 0;
        wrap32 b = 0;
        to_rgb(enables, wrap(y[i]), wrap(cr[i]), wrap(cb[i]), r, g, b);
        red[i] = unwrap(r);
        green[i] = unwrap(g);
        blue[i] = unwrap(b);
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

}  // namespace kvrn
