// The colour conversions of a block, several pixels at a time.
#if defined(__x86_64__)

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

// The vector operations before the formula's template, which finds them where it is defined
// (codec/to_rgb.h).
// clang-format off
#include "codec/x86/wide_lanes.h"
#include "codec/to_rgb.h"
// clang-format on
#include "codec/kernel_versions.h"
#include "codec/x86/avx2.h"

namespace kvrn {

// Four pixels at a time.
kvrn_avx2 void avx2::ycc_to_rgb(const channel_enables& enables, const ycc_blocks& samples,
                                rgb_blocks& rgb) {
    lanes ys[16];
    lanes crs[16];
    lanes cbs[16];
    load_lanes(samples.y, ys);
    load_lanes(samples.cr, crs);
    load_lanes(samples.cb, cbs);
    lanes reds[16];
    lanes greens[16];
    lanes blues[16];
    for (std::size_t k = 0; k < 16; ++k) {
        to_rgb(enables, ys[k], crs[k], cbs[k], reds[k], greens[k], blues[k]);
    }
    store_lanes(reds, rgb.red);
    store_lanes(greens, rgb.green);
    store_lanes(blues, rgb.blue);
}

namespace {

using doubles = double __attribute__((vector_size(32)));

// centre (codec/colour.cpp) on four values: vcvtpd2ps rounds to nearest like the scalar cast,
// vcvttpd2dq truncates like static_cast. Always inlined: a 32-byte vector must not cross a call.
[[gnu::always_inline]] kvrn_avx2 inline void centre(const doubles& value, std::int32_t* out) {
    const __m256d single = _mm256_cvtps_pd(_mm256_cvtpd_ps(value));
    const __m128i whole = _mm256_cvttpd_epi32(_mm256_sub_pd(single, _mm256_set1_pd(128.0)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), whole);
}

// rgb_to_ycc on four pixels at once. Each lane performs the same IEEE operations as the plain
// function (codec/colour.cpp): the products are the ones its tables hold (a product of two doubles
// is the same whether computed at compile time or at run time), the sums keep their order and
// grouping (no fused multiply-adds: -ffp-contract=off, and AVX2 alone has none), the round trip
// through float is an explicit pair of conversions.
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
