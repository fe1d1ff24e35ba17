#include "codec/colour.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <array>
#include <cstring>

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

#if defined(__x86_64__)
namespace {

using doubles = double __attribute__((vector_size(32)));

// centre on four values: vcvtpd2ps rounds to nearest like the scalar cast, vcvttpd2dq
// truncates like static_cast. Always inlined: a 32-byte vector must not cross a call.
[[gnu::always_inline]] kvrn_avx2 inline void centre(const doubles& value, std::int32_t* out) {
    const __m256d single = _mm256_cvtps_pd(_mm256_cvtpd_ps(value));
    const __m128i whole = _mm256_cvttpd_epi32(_mm256_sub_pd(single, _mm256_set1_pd(128.0)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), whole);
}

// rgb_to_ycc on four pixels at once. Each lane performs the same IEEE operations as the scalar
// function: the products are the ones its tables hold (a product of two doubles is the same
// whether computed at compile time or at run time), the sums keep their order and grouping (no
// fused multiply-adds: -ffp-contract=off, and AVX2 alone has none), the round trip through float
// is an explicit pair of conversions.
[[gnu::always_inline]] kvrn_avx2 inline void to_ycc(const doubles& r, const doubles& g,
                                                    const doubles& b, std::int32_t* y,
                                                    std::int32_t* cr, std::int32_t* cb) {
    const doubles luma = (g * 0.587 + r * 0.299) + b * 0.114;
    const doubles red_diff = ((r * 0.5 + 128.0) - g * 0.418688) - b * 0.081312;
    const doubles blue_diff = ((128.0 - r * 0.168736) - g * 0.331264) + b * 0.5;
    centre(luma, y);
    centre(red_diff, cr);
    centre(blue_diff, cb);
}

// Eight byte values as two vectors of four doubles.
[[gnu::always_inline]] kvrn_avx2 inline void to_doubles(__m128i bytes, doubles (&out)[2]) {
    const __m256i words = _mm256_cvtepu8_epi32(bytes);
    out[0] = _mm256_cvtepi32_pd(_mm256_castsi256_si128(words));
    out[1] = _mm256_cvtepi32_pd(_mm256_extracti128_si256(words, 1));
}

// A whole block inside the picture, a row of eight pixels (24 bytes) at a time. The row is read
// as bytes 0..15 and 8..23, never past its end (the last block may end the buffer); byte
// shuffles gather each channel from the two (0x80 gives a zero byte) and OR them together:
// red and green into the two halves of one register, blue into the low half of another.
kvrn_avx2 void rgb_to_ycc_lanes(const picture_view& picture, std::int32_t r0, std::int32_t c0,
                                coef_block& y, coef_block& cr, coef_block& cb) {
    constexpr char none = static_cast<char>(0x80);
    const __m128i red_green_first = _mm_setr_epi8(0, 3, 6, 9, 12, 15, none, none,  //
                                                  1, 4, 7, 10, 13, none, none, none);
    const __m128i red_green_last = _mm_setr_epi8(none, none, none, none, none, none, 10, 13,  //
                                                 none, none, none, none, none, 8, 11, 14);
    const __m128i blue_first = _mm_setr_epi8(2, 5, 8, 11, 14, none, none, none,  //
                                             none, none, none, none, none, none, none, none);
    const __m128i blue_last = _mm_setr_epi8(none, none, none, none, none, 9, 12, 15,  //
                                            none, none, none, none, none, none, none, none);
    for (std::int32_t dy = 0; dy < 8; ++dy) {
        const std::uint8_t* row = picture.pixels + pixel_offset(picture.width, r0 + dy, c0);
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
        const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 8));
        const __m128i red_green = _mm_or_si128(_mm_shuffle_epi8(first, red_green_first),
                                               _mm_shuffle_epi8(last, red_green_last));
        const __m128i blue =
            _mm_or_si128(_mm_shuffle_epi8(first, blue_first), _mm_shuffle_epi8(last, blue_last));
        doubles r[2];
        doubles g[2];
        doubles b[2];
        to_doubles(red_green, r);
        to_doubles(_mm_srli_si128(red_green, 8), g);
        to_doubles(blue, b);
        const auto n = static_cast<std::size_t>(dy) * 8;
        to_ycc(r[0], g[0], b[0], &y[n], &cr[n], &cb[n]);
        to_ycc(r[1], g[1], b[1], &y[n + 4], &cr[n + 4], &cb[n + 4]);
    }
}

}  // namespace
#endif

void rgb_to_ycc_block(const picture_view& picture, std::int32_t r0, std::int32_t c0, coef_block& y,
                      coef_block& cr, coef_block& cb) {
#if defined(__x86_64__)
    if (r0 + 8 <= picture.height && c0 + 8 <= picture.width && has_avx2()) {
        rgb_to_ycc_lanes(picture, r0, c0, y, cr, cb);
        return;
    }
#endif
    rgb_to_ycc_block_scalar(picture, r0, c0, y, cr, cb);
}

void rgb_to_ycc_block_scalar(const picture_view& picture, std::int32_t r0, std::int32_t c0,
                             coef_block& y, coef_block& cr, coef_block& cb) {
    for (std::int32_t dy = 0; dy < 8; ++dy) {
        const std::int32_t row = std::min(r0 + dy, picture.height - 1);
        for (std::int32_t dx = 0; dx < 8; ++dx) {
            const std::int32_t column = std::min(c0 + dx, picture.width - 1);
            const std::uint8_t* pixel = picture.pixels + pixel_offset(picture.width, row, column);
            const ycc_sample sample = rgb_to_ycc(pixel[0], pixel[1], pixel[2]);
            const auto n = static_cast<std::size_t>(dy) * 8 + static_cast<std::size_t>(dx);
            y[n] = sample.y;
            cr[n] = sample.cr;
            cb[n] = sample.cb;
        }
    }
}

}  // namespace kvrn
