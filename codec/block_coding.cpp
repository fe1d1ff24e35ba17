#include "codec/block_coding.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "codec/lanes.h"

namespace kvrn {

namespace {

// Two's complement: the DC is signed 16-bit, each AC byte signed 8-bit.
std::int32_t dc_value(int low, int high) {
    const int dc = low | (high << 8);
    return dc < 0x8000 ? dc : dc - 0x10000;
}

std::int32_t ac_value(int byte) {
    return byte < 0x80 ? byte : byte - 0x100;
}

}  // namespace

namespace {

// The zig-zag position of each row-major index: the inverse of zigzag_order.
constexpr std::array<std::uint8_t, 64> coded_position = [] {
    std::array<std::uint8_t, 64> position{};
    for (std::size_t n = 0; n < 64; ++n) {
        position[static_cast<std::size_t>(zigzag_order[n])] = static_cast<std::uint8_t>(n);
    }
    return position;
}();

using byte_lanes = std::uint8_t __attribute__((vector_size(16)));
using four_coefficients = std::int32_t __attribute__((vector_size(16)));

// Lane n of entry k is 16 * k + n, the coded-order index of the byte in that lane.
constexpr auto coded_index = [] {
    std::array<std::array<std::uint8_t, 16>, 4> index{};
    for (std::size_t n = 0; n < 64; ++n) index[n / 16][n % 16] = static_cast<std::uint8_t>(n);
    return std::array<byte_lanes, 4>{
        __builtin_bit_cast(byte_lanes, index[0]), __builtin_bit_cast(byte_lanes, index[1]),
        __builtin_bit_cast(byte_lanes, index[2]), __builtin_bit_cast(byte_lanes, index[3])};
}();

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
kvrn_avx2 std::size_t decode_block_lanes(const std::uint8_t* bytes, coef_block& block) {
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
        coded[k] &= __builtin_bit_cast(byte_lanes, coded_index[k] < count);
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

}  // namespace

std::size_t decode_block_scalar(const std::uint8_t* bytes, coef_block& block) {
    block.fill(0);
    block[0] = dc_value(bytes[0], bytes[1]);
    for (std::size_t n = 1; n < 64; ++n) {
        const int byte = bytes[n + 1];
        if (byte == end_of_block) return n + 2;
        block[static_cast<std::size_t>(zigzag_order[n])] = ac_value(byte);
    }
    return max_coded_block_bytes;
}

std::size_t decode_block(const std::uint8_t* bytes, coef_block& block) {
    return has_avx2() ? decode_block_lanes(bytes, block) : decode_block_scalar(bytes, block);
}

int read_block(coef_block& block, byte_reader& in) {
    // A whole block is at hand: no end of the source to look out for.
    if (const std::uint8_t* bytes = in.contiguous(max_coded_block_bytes)) {
        in.skip(decode_block(bytes, block));
        return block_complete;
    }
    block.fill(0);
    const int low = in.next();
    if (low < 0) return block_truncated;
    const int high = in.next();
    if (high < 0) return block_truncated;
    block[0] = dc_value(low, high);
    for (int n = 1; n < 64; ++n) {
        const int byte = in.next();
        if (byte < 0) return block_truncated;
        if (byte == end_of_block) return block_complete;
        block[zigzag_order[n]] = ac_value(byte);
    }
    // After 63 AC bytes the block is full and no end-of-block byte follows.
    return block_complete;
}

coded_block code_block(const coef_block& block) {
    coded_block coded;
    const auto dc = static_cast<std::uint32_t>(block[0]);
    coded.bytes[0] = static_cast<std::uint8_t>(dc & 0xFFU);
    coded.bytes[1] = static_cast<std::uint8_t>((dc >> 8) & 0xFFU);
    coded.length = 2;
    for (int n = 1; n < 64; ++n) {
        const std::int32_t value = block[zigzag_order[n]];
        // 127 is the end-of-block byte, so the positive side stops at 126; the negative side
        // stops at -127 to keep the range symmetric.
        const std::int32_t clamped = std::clamp(value, -127, 126);
        coded.clipped += static_cast<int>(clamped != value);
        coded.bytes[n + 1] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(clamped) & 0xFFU);
        // Clamping never turns a non-zero value into 0, so this finds the last non-zero one.
        if (clamped != 0) coded.length = n + 2;
    }
    return coded;
}

int write_block(const coef_block& block, std::FILE* out) {
    const coded_block coded = code_block(block);
    // Write failures stay in the stream's error flag for the owner of the stream to check.
    (void)std::fwrite(coded.bytes.data(), 1, static_cast<std::size_t>(coded.length), out);
    if (coded.length < max_coded_block_bytes) (void)std::fputc(end_of_block, out);
    return coded.clipped;
}

}  // namespace kvrn
