// The block writer, sixteen coefficients at a time, in WebAssembly's 128-bit vectors.
#if defined(__wasm_simd128__)

#include <wasm_simd128.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "codec/block_coding.h"
#include "codec/kernel_versions.h"

namespace kvrn {

namespace {

using byte_lanes = std::uint8_t __attribute__((vector_size(16)));

// Sixteen bytes in coded order, coded positions 16 * k onwards, picked from the block narrowed
// to bytes in row-major order (natural[j] holding indices 16 * j .. 16 * j + 15): two-source
// shuffles of the low and the high half, merged. Each shuffle takes its indices as constants,
// hence the index pack.
template <std::size_t k, std::size_t... i>
[[gnu::always_inline]] inline byte_lanes zigzag(const byte_lanes (&natural)[4],
                                                std::index_sequence<i...> /*unused*/) {
    constexpr auto source = [](std::size_t n) {
        return static_cast<std::size_t>(zigzag_order[16 * k + n]);
    };
    const byte_lanes low = __builtin_shufflevector(natural[0], natural[1], (source(i) % 32)...);
    const byte_lanes high = __builtin_shufflevector(natural[2], natural[3], (source(i) % 32)...);
    const byte_lanes from_low = {(source(i) < 32 ? std::uint8_t{0xFF} : std::uint8_t{0})...};
    return (from_low & low) | (~from_low & high);
}

}  // namespace

// code_block without branches: clamp and count four values at a time, narrow to bytes with
// saturating narrows (exact once clamped), put the bytes in coded order with shuffles and find
// the last non-zero one from a mask of the non-zero bytes. The coded bytes go behind the first
// DC byte, which the DC's own two bytes then overwrite.
std::size_t simd128::put_block(const coef_block& block, std::uint8_t* out, std::int64_t& clipped) {
    const v128_t low = wasm_i32x4_splat(-127);
    const v128_t high = wasm_i32x4_splat(126);
    v128_t clamped_count = wasm_i32x4_splat(0);
    v128_t rows[8];  // two rows, as 16-bit values, in each
    for (std::size_t r = 0; r < 8; ++r) {
        v128_t halves[2];
        for (std::size_t h = 0; h < 2; ++h) {
            const v128_t values = wasm_v128_load(&block[8 * r + 4 * h]);
            // Comparisons give -1 where true.
            clamped_count = wasm_i32x4_add(clamped_count, wasm_i32x4_gt(values, high));
            clamped_count = wasm_i32x4_add(clamped_count, wasm_i32x4_lt(values, low));
            halves[h] = wasm_i32x4_min(wasm_i32x4_max(values, low), high);
        }
        rows[r] = wasm_i16x8_narrow_i32x4(halves[0], halves[1]);
    }
    byte_lanes natural[4];
    for (std::size_t j = 0; j < 4; ++j) {
        natural[j] =
            __builtin_bit_cast(byte_lanes, wasm_i8x16_narrow_i16x8(rows[2 * j], rows[2 * j + 1]));
    }
    const byte_lanes coded[4] = {zigzag<0>(natural, std::make_index_sequence<16>{}),
                                 zigzag<1>(natural, std::make_index_sequence<16>{}),
                                 zigzag<2>(natural, std::make_index_sequence<16>{}),
                                 zigzag<3>(natural, std::make_index_sequence<16>{})};
    std::uint64_t nonzero = 0;
    for (std::size_t k = 0; k < 4; ++k) {
        const v128_t bytes = __builtin_bit_cast(v128_t, coded[k]);
        wasm_v128_store(out + 1 + 16 * k, bytes);
        const auto zero = static_cast<std::uint64_t>(
            wasm_i8x16_bitmask(wasm_i8x16_eq(bytes, wasm_i8x16_splat(0))));
        nonzero |= (~zero & 0xFFFFU) << (16 * k);
    }
    nonzero &= ~std::uint64_t{1};  // the DC is no AC value
    const int last_ac = nonzero == 0 ? 0 : 63 - std::countl_zero(nonzero);

    // The comparisons counted -1 for each clamped value.
    const std::int32_t count =
        wasm_i32x4_extract_lane(clamped_count, 0) + wasm_i32x4_extract_lane(clamped_count, 1) +
        wasm_i32x4_extract_lane(clamped_count, 2) + wasm_i32x4_extract_lane(clamped_count, 3);
    return close_put_block(block[0], last_ac, -std::int64_t{count}, out, clipped);
}

}  // namespace kvrn

#endif
