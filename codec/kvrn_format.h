// The KVRN file: a 14-byte header, then the coded blocks of every 8x8 block position.
//
//   offset  size  field      (all little-endian)
//   ------  ----  ---------
//    0      4     magic      0x4B56524E: the bytes "NRVK"
//    4      2     width      pixels, 0..65535
//    6      2     height     pixels, 0..65535
//    8      2     y_scale    multiplier of every Y coefficient
//   10      2     cr_scale   multiplier of every Cr coefficient
//   12      2     cb_scale   multiplier of every Cb coefficient
//   14      ...   block stream
//
// Block positions come in raster order: block rows y = 0, 8, 16, ... while y < height, and in
// each row x = 0, 8, 16, ... while x < width. Positions on the right and top edges that cover
// the picture only in part still carry full blocks. Each position is three coded blocks (see
// block_coding.h), Y then Cr then Cb. Bytes after the last position are never read.
//
// Row 0 of the picture is its bottom row, the first of the first block row: the viewer draws it
// lowest, and image files, which store the top row first, store it last.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "codec/byte_reader.h"
#include "codec/coef_block.h"
#include "codec/include/kvrn.h"

namespace kvrn {

inline constexpr std::uint32_t kvrn_magic = KVRN_MAGIC;
inline constexpr std::size_t header_bytes = KVRN_HEADER_BYTES;

// The header is the C interface's: one type, so that it crosses the interface as it is. A C
// struct has no default values, so a header is made whole: {kvrn_magic, width, height, ...}.
using kvrn_header = ::kvrn_header;

kvrn_header parse_header(const std::array<std::uint8_t, header_bytes>& bytes);
std::array<std::uint8_t, header_bytes> format_header(const kvrn_header& header);

// What reading a file's header found.
enum class header_status {
    ok,
    unreadable,   // the read failed (a directory, an I/O error): errno says why
    too_short,    // the file ends before 14 bytes; `got` says how many it holds
    wrong_magic,  // `header.magic` is not kvrn_magic
};

struct header_reading {
    header_status status = header_status::ok;
    std::size_t got = 0;                            // header bytes read
    kvrn_header header{kvrn_magic, 0, 0, 0, 0, 0};  // as parsed, when all 14 bytes were read
};

// Reads the header from the current position of `file` and checks it. On success the file is
// left at the first byte of the block stream. errno is left as the failed read set it.
header_reading read_header(std::FILE* file);

// The number of block positions: ceil(width / 8) * ceil(height / 8), at most 8192 * 8192.
std::int64_t block_positions(const kvrn_header& header);

// The channels of a position, in stream order.
enum class channel { y, cr, cb };

// How far a block stream goes against what its header needs.
struct stream_measure {
    std::int64_t blocks_needed = 0;  // 3 per block position
    std::int64_t blocks_held = 0;    // complete coded blocks before the stream ends
    std::uint64_t bytes_held = 0;    // bytes of the block stream read, those of a cut block too
    std::uint64_t bytes_needed = 0;  // the stream's length; when it is cut, the least it needs
    bool complete() const { return blocks_held == blocks_needed; }
};

// Reads the block stream of `header` from `in` without decoding it, as far as its last block or
// the source's end, and measures it. The source is left just after the last block.
stream_measure measure_stream(byte_reader& in, const kvrn_header& header);

// The bytes the decoder reads for one block position: its Y, Cr and Cb blocks in stream order.
struct position_bytes {
    std::array<std::uint8_t, 3> bytes{};  // 3..65 each; fewer for a block the stream cuts
    std::array<bool, 3> complete{};       // false: the stream ends before or inside the block
    int total() const { return bytes[0] + bytes[1] + bytes[2]; }
};

// Reads the next block position's three coded blocks from `in`, as the decoder reads them.
position_bytes read_position_bytes(byte_reader& in);

// Told of every coded block that the stream ended before or inside.
class missing_block_listener {
  public:
    virtual ~missing_block_listener() = default;
    // `counter` numbers the position from 0; `column` and `row` are its block column and row.
    virtual void missing_block(channel which, std::int32_t counter, std::int32_t column,
                               std::int32_t row) = 0;
};

// Decodes the next block row of the stream, the one whose top pixel row is `r0` (a multiple of
// 8 below the height), into `band`: picture rows r0 .. r0 + band_rows(header, r0) - 1, each
// width x 3 bytes. Every position of the row is read and decoded, a truncated one from what it
// holds: each block the stream ends in is reported to `listener` (if any) and decoded from the
// coefficients it got, the rest 0. Every pixel of the band is written. Returns the number of
// such blocks.
std::int64_t decode_block_row(byte_reader& in, const kvrn_header& header,
                              const channel_enables& enables, std::int32_t r0, std::uint8_t* band,
                              missing_block_listener* listener);

// Copies the coded blocks of `positions` block positions (three blocks each) from `in` to `out`,
// which has room for 3 * positions * max_coded_block_bytes bytes. Each block is measured by its
// end-of-block byte alone, without being decoded, so that a stream's block rows can be taken one
// after another and decoded side by side. Returns the bytes copied; `complete` tells whether the
// source held them all. When it ended inside them, `out` holds what it had and the source is
// exhausted.
struct copied_blocks {
    std::size_t bytes = 0;
    bool complete = true;
};
copied_blocks copy_coded_blocks(byte_reader& in, std::int64_t positions, std::uint8_t* out);

// The picture rows of the block row at `r0`: 8, fewer in the last one.
inline std::int32_t band_rows(const kvrn_header& header, std::int32_t r0) {
    return header.height - r0 < 8 ? header.height - r0 : 8;
}

// Decodes the whole block stream that follows `header` into `pixels`, a buffer of width x
// height x 3 bytes, block row by block row. Returns the number of truncated blocks.
std::int64_t decode_blocks(byte_reader& in, const kvrn_header& header,
                           const channel_enables& enables, std::uint8_t* pixels,
                           missing_block_listener* listener);

}  // namespace kvrn
