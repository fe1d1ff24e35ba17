// The block decoder's whole-block fast path sixteen coefficients at a time, in GNU vector
// extensions on 16-byte vectors: one text for every processor's vector versions (codec/x86/,
// codec/wasm/), inlined into each and compiled for its instructions there.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "codec/block_coding.h"
#include "codec/coef_block.h"

namespace kvrn::lanes {

// The zig-zag position of each row-major index: the inverse of zigzag_order.
inline constexpr std::array<std::uint8_t, 64> coded_position = [] {
    std::array<std::uint8_t, 64> position{};
    for (std::size_t n = 0; n < 64; ++n) {
        position[static_cast<std::size_t>(zigzag_order[n])] = static_cast<std::uint8_t>(n);
    }
    return position;
}();

using byte_lanes = std::uint8_t __attribute__((vector_size(16)));
using four_coefficients = std::int32_t __attribute__((vector_size(16)));

// The vector whose lane n holds first + n.
template <std::size_t... n>
[[gnu::always_inline]] inline byte_lanes counting_from(std::uint8_t first,
                                                       std::index_sequence<n...> /*unused*/) {
    return byte_lanes{static_cast<std::uint8_t>(first + n)...};
}

// Sixteen bytes of `coded` (64 bytes) picked by `coded_position`, from row-major index 16 * k:
// two-source shuffles of the low and the high half, merged. Each shuffle takes its indices as
// constants, hence the index pack.
template <std::size_t k, std::size_t... i>
[[gnu::always_inline]] inline byte_lanes dezigzag(const byte_lanes (&coded)[4],
                                                  std::index_sequence<i...> /*unused*/) {
    constexpr auto source = [](std::size_t n) { return coded_position[16 * k + n]; };
    const byte_lanes low = __builtin_shufflevector(coded[0], coded[1], (source(i) % 32)...);
    const byte_lanes high = __builtin_shufflevector(coded[2], coded[3], (source(i) % 32)...);
    const byte_lanes from_low = {(source(i) < 32 ? std::uint8_t{0xFF} : std::uint8_t{0})...};
    return (from_low & low) | (~from_low & high);
}

// Sign-extends the bytes of natural[k] into block[16 * k] onwards, four at a time: each byte is
// moved to the top of a 32-bit lane, zeros below it, and shifted back down arithmetically.
template <std::size_t k>
[[gnu::always_inline]] inline void widen(const byte_lanes (&natural)[4], coef_block& block) {
    const byte_lanes zero{};
    const byte_lanes source = natural[k];
    const byte_lanes tops[4] = {__builtin_shufflevector(source, zero, 16, 16, 16, 0, 16, 16, 16, 1,
                                                        16, 16, 16, 2, 16, 16, 16, 3),
                                __builtin_shufflevector(source, zero, 16, 16, 16, 4, 16, 16, 16, 5,
                                                        16, 16, 16, 6, 16, 16, 16, 7),
                                __builtin_shufflevector(source, zero, 16, 16, 16, 8, 16, 16, 16, 9,
                                                        16, 16, 16, 10, 16, 16, 16, 11),
                                __builtin_shufflevector(source, zero, 16, 16, 16, 12, 16, 16, 16,
                                                        13, 16, 16, 16, 14, 16, 16, 16, 15)};
    for (std::size_t q = 0; q < 4; ++q) {
        const four_coefficients values = __builtin_bit_cast(four_coefficients, tops[q]) >> 24;
        std::memcpy(&block[16 * k + 4 * q], &values, sizeof values);
    }
}

// The whole-block fast path of read_block, sixteen coefficients at a time: the AC bytes, zeroed
// from the end-of-block byte on, are put in row-major order by byte shuffles, then widened with
// their signs. Returns the bytes used.
[[gnu::always_inline]] inline std::size_t decode_block(const std::uint8_t* bytes,
                                                       coef_block& block) {
    // Entry n of `coded` is the n-th coefficient in coded order (entry 0, the DC's high byte, is
    // replaced below); the end-of-block byte, if any, is entry `given`.
    const void* end = std::memchr(bytes + 2, end_of_block, max_coded_block_bytes - 2);
    const std::size_t given =
        end == nullptr
            ? 64
            : static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - bytes) - 1;
    const auto count = static_cast<std::uint8_t>(given);
    byte_lanes coded[4];
    std::memcpy(coded, bytes + 1, sizeof coded);
    for (std::size_t k = 0; k < 4; ++k) {
        // Lane n of `coded[k]` holds coded-order entry 16 * k + n.
        const byte_lanes index =
            counting_from(static_cast<std::uint8_t>(16 * k), std::make_index_sequence<16>{});
        coded[k] &= __builtin_bit_cast(byte_lanes, index < count);
    }
    const byte_lanes natural[4] = {dezigzag<0>(coded, std::make_index_sequence<16>{}),
                                   dezigzag<1>(coded, std::make_index_sequence<16>{}),
                                   dezigzag<2>(coded, std::make_index_sequence<16>{}),
                                   dezigzag<3>(coded, std::make_index_sequence<16>{})};
    widen<0>(natural, block);
    widen<1>(natural, block);
    widen<2>(natural, block);
    widen<3>(natural, block);
    block[0] = dc_value(bytes[0], bytes[1]);
    return end == nullptr ? max_coded_block_bytes : given + 2;
}

}  // namespace kvrn::lanes
