// The coded form of one coefficient block, and its reader and writer.
//
//   byte 0..1     DC, signed 16-bit, little-endian            (row-major index 0)
//   byte 2..1+m   m AC values, signed 8-bit, in zig-zag order  (0 <= m <= 63)
//   byte 2+m      0x7F end of block, present only when m < 63
//
// The end-of-block byte stands for all the AC coefficients not yet given, which are 0. It is
// never a value, so the writer clamps AC values to -127..126 (the byte 0x80, -128, is read but
// never written). A block is 3 bytes at the least (DC and 0x7F) and 65 at the most.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "codec/byte_reader.h"
#include "codec/coef_block.h"

namespace kvrn {

// Entry n is the row-major index of the n-th coefficient in coded order: the anti-diagonals
// walked from the top-left corner, first step right, then down-left, alternating.
inline constexpr std::array<std::int32_t, 64> zigzag_order = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

inline constexpr std::uint8_t end_of_block = 0x7F;

// The largest coded block: two DC bytes and all 63 AC bytes.
inline constexpr int max_coded_block_bytes = 65;

// The values of the coded bytes, two's complement: the DC is signed 16-bit, each AC byte signed
// 8-bit.
inline std::int32_t dc_value(int low, int high) {
    const int dc = low | (high << 8);
    return dc < 0x8000 ? dc : dc - 0x10000;
}

inline std::int32_t ac_value(int byte) {
    return byte < 0x80 ? byte : byte - 0x100;
}

// What read_block returns.
inline constexpr int block_complete = 1;
inline constexpr int block_truncated = -1;

// Fills `block` from the next coded block of `in`. Returns block_complete when an end-of-block
// byte or all 63 AC bytes were read, block_truncated when the source ended first; then the
// coefficients read before the end keep their values and all others are 0. Never reads past
// the end of a complete block.
int read_block(coef_block& block, byte_reader& in);

// Decodes the coded block at `bytes`, which must hold max_coded_block_bytes bytes whether or not
// the block needs them all, into `block`. Returns the bytes the block takes. Runs the fastest
// version this processor has (codec/kernels.h), as put_block does.
std::size_t decode_block(const std::uint8_t* bytes, coef_block& block);

// A block in coded form before it is written: the DC and AC bytes up to the last non-zero AC
// value. The end-of-block byte is not part of `bytes`; it follows whenever `length` < 65.
struct coded_block {
    std::array<std::uint8_t, max_coded_block_bytes> bytes{};
    int length = 0;   // 2 + the number of AC bytes kept (2..65)
    int clipped = 0;  // AC values clamped into -127..126
};

// Codes `block`: the DC keeps its low 16 bits, AC values are clamped to -127..126, and the
// trailing zero AC values are dropped.
coded_block code_block(const coef_block& block);

// The room put_block needs at its output: the longest coded block is 65 bytes, and the writer
// may also put an end-of-block byte just past one (where it is not counted).
inline constexpr std::size_t put_block_room = max_coded_block_bytes + 1;

// Puts the coded form of `block` at `out`, the end-of-block byte included when there is one:
// the bytes write_block writes. `out` must have put_block_room bytes; those past the returned
// count are scratch. Returns the number of bytes and adds the number of AC values clamped to
// `clipped`.
std::size_t put_block(const coef_block& block, std::uint8_t* out, std::int64_t& clipped);

// How a vector put_block ends, once it has put the clamped AC bytes in coded order from out[2]
// on (out[1] scratch) and counted the clamped values among all 64, the DC's own clamp among
// them: takes that clamp out of the count added to `clipped`, since the DC is stored whole, puts
// the DC's two bytes and the end-of-block byte after the last non-zero AC value (coded position
// `last_ac`, 0 for none), and returns the bytes used.
inline std::size_t close_put_block(std::int32_t dc, int last_ac, std::int64_t clamped,
                                   std::uint8_t* out, std::int64_t& clipped) {
    clipped += clamped - (dc < -127 || dc > 126 ? 1 : 0);
    const auto bits = static_cast<std::uint32_t>(dc);
    out[0] = static_cast<std::uint8_t>(bits & 0xFFU);
    out[1] = static_cast<std::uint8_t>((bits >> 8) & 0xFFU);
    const auto length = static_cast<std::size_t>(last_ac) + 2;
    out[length] = end_of_block;  // past the count when the block is full
    return length + (length < max_coded_block_bytes ? 1 : 0);
}

// Writes the coded form of `block` to `out`: one write of the DC and the AC values up to the
// last non-zero one, and the end-of-block byte if any were left out. Write errors are the
// stream's to keep (ferror); the block is not changed. Returns the number of AC values clamped.
int write_block(const coef_block& block, std::FILE* out);

}  // namespace kvrn
