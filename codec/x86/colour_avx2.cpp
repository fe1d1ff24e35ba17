// The colour conversions of a block, several pixels at a time.
#if defined(__x86_64__)

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

// The vector operations before the formula's template, which finds them where it is defined
// (codec/to_rgb.h).
// clang-format off
#include "codec/wide_lanes.h"
#include "codec/to_rgb.h"
// clang-format on
#include "codec/kernel_versions.h"
#include "codec/x86/avx2.h"
#include "codec/x86/block_rows.h"

namespace kvrn {

// A row of eight pixels at a time.
kvrn_avx2 void avx2::ycc_to_rgb(const channel_enables& enables, const ycc_blocks& samples,
                                rgb_blocks& rgb) {
    wide_lanes ys[8];
    wide_lanes crs[8];
    wide_lanes cbs[8];
    load_rows(samples.y, ys);
    load_rows(samples.cr, crs);
    load_rows(samples.cb, cbs);
    wide_lanes reds[8];
    wide_lanes greens[8];
    wide_lanes blues[8];
    for (std::size_t k = 0; k < 8; ++k) {
        to_rgb(enables, ys[k], crs[k], cbs[k], reds[k], greens[k], blues[k]);
    }
    store_rows(reds, rgb.red);
    store_rows(greens, rgb.green);
    store_rows(blues, rgb.blue);
}

namespace {

// The forward conversion in integers and one single-precision division. Scaled to integers,
//   Y  = (299 r + 587 g + 114 b) / 1000,
//   Cr = (15625 r - 13084 g - 2541 b + 4000000) / 31250,
//   Cb = (-5273 r - 10352 g + 15625 b + 4000000) / 31250
// (0.418688 = 13084 / 31250, 0.081312 = 2541 / 31250, 0.168736 = 5273 / 31250,
// 0.331264 = 10352 / 31250, 0.5 = 15625 / 31250, 128 = 4000000 / 31250). Each numerator N is an
// integer with 0 <= N <= 7984375 < 2^24, exact in single precision, and every weight is below
// 2^15, so 16-bit multiply-adds form N exactly. One IEEE division then rounds q = N / D itself
// to the nearest float.
//
// Proof that this float f is the one the plain version gets by rounding its double d to single
// precision. d comes from nine roundings to 53 bits (three constants, three products, three sums,
// all below 256 in magnitude), so |d - q| <= 9 * 2^-46 < 2^-42. Both round to the same float
// unless a float midpoint m lies between them. Below 256, in the binade [2^e, 2^(e+1)), the
// midpoints are odd multiples of 2^(e-25) or 2^(e-24): m = o / 2^s with o odd, 17 <= s <= 25 - e,
// and
//   |q - m| = |N * 2^s - D * o| / (D * 2^s).
// N * 2^s holds at least 17 factors of 2, D * o exactly those of D (2^3 in 1000, 2^1 in 31250),
// so the numerator is a non-zero multiple of that power of 2:
//   Cr, Cb: q >= 0.5 (e >= -1, s <= 26): |q - m| >= 2 / (31250 * 2^26) > 2^-40;
//   Y:      q = 0 only for black (then d = 0 too), else q >= 0.114 (e >= -4, s <= 29):
//           |q - m| >= 8 / (1000 * 2^29) > 2^-37.
// Both exceed 2^-42, so no midpoint separates d from q and f is the plain version's float. The
// block conversion is also held to rgb_to_ycc on all 2^24 colours (tests/codec/codec_test.cpp).
//
// Last, the plain version's truncation of f - 128 toward zero: floor(f) - 128 from 128 up,
// ceil(f) - 128 below; f - 128 itself is not always exact in single precision.

// The 16-bit pair of weights (for the low, for the high half) in every 32-bit lane.
constexpr std::int32_t weight_pair(std::int32_t low, std::int32_t high) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(high) << 16 |
                                     (static_cast<std::uint32_t>(low) & 0xFFFFU));
}

// The samples N / D - 128, as the plain version truncates them, of eight pixels.
[[gnu::always_inline]] kvrn_avx2 inline void centre(__m256i numerator, float divisor,
                                                    std::int32_t* out) {
    const __m256 f = _mm256_div_ps(_mm256_cvtepi32_ps(numerator), _mm256_set1_ps(divisor));
    const __m256 down = _mm256_round_ps(f, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    const __m256 up = _mm256_round_ps(f, _MM_FROUND_TO_POS_INF | _MM_FROUND_NO_EXC);
    const __m256 below = _mm256_cmp_ps(f, _mm256_set1_ps(128.0F), _CMP_LT_OQ);
    const __m256i whole = _mm256_cvtps_epi32(_mm256_blendv_ps(down, up, below));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                        _mm256_sub_epi32(whole, _mm256_set1_epi32(128)));
}

// wr * r + wg * g + wb * b in every lane, from the 16-bit pairs (r, g) and (b, 0).
[[gnu::always_inline]] kvrn_avx2 inline __m256i weighted_sum(__m256i red_green, __m256i blue,
                                                             std::int32_t wr, std::int32_t wg,
                                                             std::int32_t wb) {
    return _mm256_add_epi32(_mm256_madd_epi16(red_green, _mm256_set1_epi32(weight_pair(wr, wg))),
                            _mm256_madd_epi16(blue, _mm256_set1_epi32(weight_pair(wb, 0))));
}

// rgb_to_ycc on eight pixels, one byte value per 32-bit lane of `r`, `g` and `b`.
[[gnu::always_inline]] kvrn_avx2 inline void to_ycc(__m256i r, __m256i g, __m256i b,
                                                    std::int32_t* y, std::int32_t* cr,
                                                    std::int32_t* cb) {
    const __m256i red_green = _mm256_or_si256(r, _mm256_slli_epi32(g, 16));
    const __m256i centre_offset = _mm256_set1_epi32(4000000);
    centre(weighted_sum(red_green, b, 299, 587, 114), 1000.0F, y);
    centre(_mm256_add_epi32(weighted_sum(red_green, b, 15625, -13084, -2541), centre_offset),
           31250.0F, cr);
    centre(_mm256_add_epi32(weighted_sum(red_green, b, -5273, -10352, 15625), centre_offset),
           31250.0F, cb);
}

// A whole block inside the picture, a row of eight pixels (24 bytes) at a time. The row is read
// as bytes 0..15 and 8..23, never past its end (the last block may end the buffer); byte
// shuffles gather each channel from the two (0x80 gives a zero byte) and OR them together:
// red and green into the two halves of one register, blue into the low half of another.
kvrn_avx2 void whole_block_to_ycc(const picture_view& picture, std::int32_t r0, std::int32_t c0,
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
        const auto n = static_cast<std::size_t>(dy) * 8;
        to_ycc(_mm256_cvtepu8_epi32(red_green), _mm256_cvtepu8_epi32(_mm_srli_si128(red_green, 8)),
               _mm256_cvtepu8_epi32(blue), &y[n], &cr[n], &cb[n]);
    }
}

}  // namespace

// Blocks the picture's edge cuts repeat its last row or column: the plain version does those.
kvrn_avx2 void avx2::rgb_to_ycc_block(const picture_view& picture, std::int32_t r0, std::int32_t c0,
                                      ycc_blocks& samples) {
    if (r0 + 8 <= picture.height && c0 + 8 <= picture.width) {
        whole_block_to_ycc(picture, r0, c0, samples.y, samples.cr, samples.cb);
    } else {
        plain::rgb_to_ycc_block(picture, r0, c0, samples);
    }
}

}  // namespace kvrn

#endif
