// The forward colour conversion of a block, four pixels at a time, in WebAssembly's 128-bit
// vectors.
#if defined(__wasm_simd128__)

#include <wasm_simd128.h>

#include <cstddef>
#include <cstdint>

#include "codec/kernel_versions.h"

namespace kvrn {
namespace {

// The forward conversion in integers and one single-precision division, four pixels at a time:
//   Y  = (299 r + 587 g + 114 b) / 1000,
//   Cr = (15625 r - 13084 g - 2541 b + 4000000) / 31250,
//   Cb = (-5273 r - 10352 g + 15625 b + 4000000) / 31250.
// Each numerator is an integer below 2^24, exact in single precision, and WebAssembly multiplies
// 32-bit lanes directly. The proof that the rounded quotient is the float the plain version
// rounds its double to, and how its truncation is taken, is the one beside the AVX2 version's
// to_ycc (codec/x86/colour_avx2.cpp): it is about the numbers, not the instructions.

// The samples N / D - 128, as the plain version truncates them, of four pixels.
[[gnu::always_inline]] inline void centre(v128_t numerator, float divisor, std::int32_t* out) {
    const v128_t f = wasm_f32x4_div(wasm_f32x4_convert_i32x4(numerator), wasm_f32x4_splat(divisor));
    const v128_t below = wasm_f32x4_lt(f, wasm_f32x4_splat(128.0F));
    const v128_t whole = wasm_v128_bitselect(wasm_f32x4_ceil(f), wasm_f32x4_floor(f), below);
    wasm_v128_store(out, wasm_i32x4_sub(wasm_i32x4_trunc_sat_f32x4(whole), wasm_i32x4_splat(128)));
}

// wr * r + wg * g + wb * b + offset in every lane.
[[gnu::always_inline]] inline v128_t weighted_sum(v128_t r, v128_t g, v128_t b, std::int32_t wr,
                                                  std::int32_t wg, std::int32_t wb,
                                                  std::int32_t offset) {
    return wasm_i32x4_add(
        wasm_i32x4_add(wasm_i32x4_mul(r, wasm_i32x4_splat(wr)),
                       wasm_i32x4_mul(g, wasm_i32x4_splat(wg))),
        wasm_i32x4_add(wasm_i32x4_mul(b, wasm_i32x4_splat(wb)), wasm_i32x4_splat(offset)));
}

// The bytes `first`, `first` + 3, + 6 and + 9 of `bytes`, one per 32-bit lane: one channel of
// four packed RGB pixels.
template <int first>
[[gnu::always_inline]] inline v128_t channel(v128_t bytes) {
    constexpr int none = 16;  // a byte of the zero vector
    return wasm_i8x16_shuffle(bytes, wasm_i32x4_splat(0), first, none, none, none, first + 3, none,
                              none, none, first + 6, none, none, none, first + 9, none, none, none);
}

// rgb_to_ycc on the four pixels whose bytes begin at `first` of `bytes`, into the samples `n`
// onwards.
template <int first>
[[gnu::always_inline]] inline void four_to_ycc(v128_t bytes, std::size_t n, ycc_blocks& samples) {
    const v128_t r = channel<first>(bytes);
    const v128_t g = channel<first + 1>(bytes);
    const v128_t b = channel<first + 2>(bytes);
    centre(weighted_sum(r, g, b, 299, 587, 114, 0), 1000.0F, &samples.y[n]);
    centre(weighted_sum(r, g, b, 15625, -13084, -2541, 4000000), 31250.0F, &samples.cr[n]);
    centre(weighted_sum(r, g, b, -5273, -10352, 15625, 4000000), 31250.0F, &samples.cb[n]);
}

// A whole block inside the picture, a row of eight pixels (24 bytes) at a time, read as bytes
// 0..15 (the first four pixels in 0..11) and 8..23 (the last four in 4..15), never past the row's
// end (the last block may end the buffer).
void whole_block_to_ycc(const picture_view& picture, std::int32_t r0, std::int32_t c0,
                        ycc_blocks& samples) {
    for (std::int32_t dy = 0; dy < 8; ++dy) {
        const std::uint8_t* row = picture.pixels + pixel_offset(picture.width, r0 + dy, c0);
        const auto n = static_cast<std::size_t>(dy) * 8;
        four_to_ycc<0>(wasm_v128_load(row), n, samples);
        four_to_ycc<4>(wasm_v128_load(row + 8), n + 4, samples);
    }
}

}  // namespace

// Blocks the picture's edge cuts repeat its last row or column: the plain version does those.
void simd128::rgb_to_ycc_block(const picture_view& picture, std::int32_t r0, std::int32_t c0,
                               ycc_blocks& samples) {
    if (r0 + 8 <= picture.height && c0 + 8 <= picture.width) {
        whole_block_to_ycc(picture, r0, c0, samples);
    } else {
        plain::rgb_to_ycc_block(picture, r0, c0, samples);
    }
}

}  // namespace kvrn

#endif
