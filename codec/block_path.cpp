#include "codec/block_path.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <cstring>

#include "codec/colour.h"
#include "codec/fdct.h"
#include "codec/idct.h"
#include "codec/lanes.h"

namespace kvrn {
namespace {

// fdct_2d leaves coefficients at 8 times the scale idct_2d works on; the shift is floor division.
// The division is done in double precision: for |x| < 2^31 and a non-zero step, x / step in
// double lies more than an ulp away from the next integer unless it is one, so its truncation is
// exactly the integer quotient.
void scale_and_quantise(coef_block& block, std::int32_t step) {
    const auto divisor = static_cast<double>(step);
    for (std::int32_t& value : block) {
        value = static_cast<std::int32_t>(static_cast<double>(value >> 3) / divisor);
    }
}

// For the blocks quantise_block makes, single precision is exact too, eight values at a time.
// The bound: by fdct_2d's bit budget every coefficient of a block of samples is a sum of at most
// four products below 2^31, shifted right by 15 (or a sum below 2^16 shifted by 2), so it lies
// below 2^18 and x, after the shift by 3, below 2^15. Let x = q * d + r with 0 < |r| < d: x / d
// lies at least 1 / d from every integer, while single-precision rounding moves it by at most
// |x / d| * 2^-24 < 2^15 / d * 2^-24 < 1 / d; so the rounded quotient truncates to q. When r = 0
// the quotient |q| < 2^15 is exact. The step must be exact in single precision, below 2^24;
// larger steps (the preview's) take the double division.
using floats8 = float __attribute__((vector_size(32)));
using ints8 = std::int32_t __attribute__((vector_size(32)));

kvrn_avx2 void scale_and_quantise_lanes(coef_block& block, std::int32_t step) {
    const auto divisor = static_cast<float>(step);
    for (std::size_t k = 0; k < 64; k += 8) {
        ints8 values;
        std::memcpy(&values, &block[k], sizeof values);
        const floats8 quotients = __builtin_convertvector(values >> 3, floats8) / divisor;
        values = __builtin_convertvector(quotients, ints8);
        std::memcpy(&block[k], &values, sizeof values);
    }
}

void quantise(coef_block& block, std::int32_t step) {
    if (has_avx2() && step < (1 << 24)) {
        scale_and_quantise_lanes(block, step);
    } else {
        scale_and_quantise(block, step);
    }
}

// Branch-free, so that the compiler can keep a row of pixels in vector registers.
std::uint8_t clamp_byte(std::int32_t value) {
    return static_cast<std::uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

void dequantise(coef_block& block, std::int32_t step) {
    for (std::int32_t& value : block) value *= step;
}

}  // namespace

void quantise_block(const picture_view& picture, std::int32_t r0, std::int32_t c0,
                    const channel_steps& steps, coef_block& y, coef_block& cr, coef_block& cb) {
    rgb_to_ycc_block(picture, r0, c0, y, cr, cb);
    fdct_2d(y);
    quantise(y, steps.y);
    fdct_2d(cr);
    quantise(cr, steps.cr);
    fdct_2d(cb);
    quantise(cb, steps.cb);
}

void quantise_block_scalar(const picture_view& picture, std::int32_t r0, std::int32_t c0,
                           const channel_steps& steps, coef_block& y, coef_block& cr,
                           coef_block& cb) {
    rgb_to_ycc_block_scalar(picture, r0, c0, y, cr, cb);
    fdct_2d_scalar(y);
    scale_and_quantise(y, steps.y);
    fdct_2d_scalar(cr);
    scale_and_quantise(cr, steps.cr);
    fdct_2d_scalar(cb);
    scale_and_quantise(cb, steps.cb);
}

void reconstruct_block(coef_block& y, coef_block& cr, coef_block& cb, const channel_steps& steps,
                       const channel_enables& enables, coef_block& red, coef_block& green,
                       coef_block& blue) {
    dequantise(y, steps.y);
    dequantise(cr, steps.cr);
    dequantise(cb, steps.cb);
    coef_block y_samples;
    coef_block cr_samples;
    coef_block cb_samples;
    idct_2d(y, y_samples);
    idct_2d(cr, cr_samples);
    idct_2d(cb, cb_samples);
    ycc_to_rgb(enables, y_samples, cr_samples, cb_samples, red, green, blue);
}

namespace {

// One row of a block, `columns` pixels.
void store_row(const std::int32_t* red, const std::int32_t* green, const std::int32_t* blue,
               std::uint8_t* out, std::int32_t columns) {
    for (std::int32_t dx = 0; dx < columns; ++dx) {
        out[0] = clamp_byte(red[dx]);
        out[1] = clamp_byte(green[dx]);
        out[2] = clamp_byte(blue[dx]);
        out += 3;
    }
}

#if defined(__x86_64__)
// A whole block, a row of eight pixels at a time. Two saturating packs clamp exactly to 0..255
// (to -32768..32767, then to 0..255) and leave each 128-bit half holding the red, green and blue
// bytes of four pixels; a byte shuffle interleaves them into 12 bytes of RGB per half. The first
// half is stored as 16 bytes whose last 4 the second half's 12 then overwrite, so that nothing
// is written past the row's 24 bytes.
kvrn_avx2 void store_whole_block(const coef_block& red, const coef_block& green,
                                 const coef_block& blue, std::uint8_t* pixels, std::int32_t width,
                                 std::int32_t r0, std::int32_t c0) {
    const __m256i interleave =
        _mm256_setr_epi8(0, 4, 8, 1, 5, 9, 2, 6, 10, 3, 7, 11, 0, 0, 0, 0,  //
                         0, 4, 8, 1, 5, 9, 2, 6, 10, 3, 7, 11, 0, 0, 0, 0);
    for (std::size_t dy = 0; dy < 8; ++dy) {
        const auto row = [dy](const coef_block& block) {
            return reinterpret_cast<const __m256i*>(&block[8 * dy]);
        };
        const __m256i reds = _mm256_loadu_si256(row(red));
        const __m256i greens = _mm256_loadu_si256(row(green));
        const __m256i blues = _mm256_loadu_si256(row(blue));
        const __m256i bytes =
            _mm256_packus_epi16(_mm256_packs_epi32(reds, greens), _mm256_packs_epi32(blues, blues));
        const __m256i rgb = _mm256_shuffle_epi8(bytes, interleave);
        std::uint8_t* out = pixels + pixel_offset(width, r0 + static_cast<std::int32_t>(dy), c0);
        const __m128i high = _mm256_extracti128_si256(rgb, 1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(rgb));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 12), high);
        const auto last = static_cast<std::uint32_t>(_mm_extract_epi32(high, 2));
        std::memcpy(out + 20, &last, sizeof last);
    }
}
#endif

}  // namespace

void store_block(const coef_block& red, const coef_block& green, const coef_block& blue,
                 std::uint8_t* pixels, std::int32_t width, std::int32_t height, std::int32_t r0,
                 std::int32_t c0) {
#if defined(__x86_64__)
    if (height - r0 >= 8 && width - c0 >= 8 && has_avx2()) {
        store_whole_block(red, green, blue, pixels, width, r0, c0);
        return;
    }
#endif
    store_block_scalar(red, green, blue, pixels, width, height, r0, c0);
}

void store_block_scalar(const coef_block& red, const coef_block& green, const coef_block& blue,
                        std::uint8_t* pixels, std::int32_t width, std::int32_t height,
                        std::int32_t r0, std::int32_t c0) {
    const std::int32_t rows = std::min(8, height - r0);
    const std::int32_t columns = std::min(8, width - c0);
    for (std::int32_t dy = 0; dy < rows; ++dy) {
        const std::size_t n = static_cast<std::size_t>(dy) * 8;
        store_row(&red[n], &green[n], &blue[n], pixels + pixel_offset(width, r0 + dy, c0), columns);
    }
}

}  // namespace kvrn
