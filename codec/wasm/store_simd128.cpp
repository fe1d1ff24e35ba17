// The pixel store of a block, a row of eight pixels at a time, in WebAssembly's 128-bit vectors.
#if defined(__wasm_simd128__)

#include <wasm_simd128.h>

#include <cstddef>
#include <cstdint>

#include "codec/kernel_versions.h"

namespace kvrn {
namespace {

// The eight values of row `dy` of `block` narrowed to 16 bits with saturation.
[[gnu::always_inline]] inline v128_t row_of(const coef_block& block, std::size_t dy) {
    return wasm_i16x8_narrow_i32x4(wasm_v128_load(&block[8 * dy]),
                                   wasm_v128_load(&block[8 * dy + 4]));
}

// A whole block, a row of eight pixels at a time. Two saturating narrows clamp exactly to 0..255
// (to -32768..32767, then to 0..255), leaving the red and green bytes of the row in one register
// and the blue ones in another; two shuffles interleave them into the row's 24 bytes of RGB,
// stored as 16 and 8 so that nothing is written past the row.
void store_whole_block(const rgb_blocks& rgb, std::uint8_t* pixels, std::int32_t width,
                       std::int32_t r0, std::int32_t c0) {
    for (std::size_t dy = 0; dy < 8; ++dy) {
        const v128_t blue = row_of(rgb.blue, dy);
        const v128_t red_green =
            wasm_u8x16_narrow_i16x8(row_of(rgb.red, dy), row_of(rgb.green, dy));
        const v128_t blues = wasm_u8x16_narrow_i16x8(blue, blue);
        // Red i is byte i, green i byte 8 + i, blue i byte 16 + i of the two.
        const v128_t first = wasm_i8x16_shuffle(red_green, blues, 0, 8, 16, 1, 9, 17, 2, 10, 18, 3,
                                                11, 19, 4, 12, 20, 5);
        const v128_t last = wasm_i8x16_shuffle(red_green, blues, 13, 21, 6, 14, 22, 7, 15, 23, 0, 0,
                                               0, 0, 0, 0, 0, 0);
        std::uint8_t* out = pixels + pixel_offset(width, r0 + static_cast<std::int32_t>(dy), c0);
        wasm_v128_store(out, first);
        wasm_v128_store64_lane(out + 16, last, 0);
    }
}

}  // namespace

// Blocks the picture's edge cuts are stored in part, by the plain version.
void simd128::store_block(const rgb_blocks& rgb, std::uint8_t* pixels, std::int32_t width,
                          std::int32_t height, std::int32_t r0, std::int32_t c0) {
    if (height - r0 >= 8 && width - c0 >= 8) {
        store_whole_block(rgb, pixels, width, r0, c0);
    } else {
        plain::store_block(rgb, pixels, width, height, r0, c0);
    }
}

}  // namespace kvrn

#endif
