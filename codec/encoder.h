// The KVRN encoder: a picture read a band of block rows at a time, coded on several threads and
// written in order. Every program that writes a KVRN stream goes through it.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "codec/coef_block.h"
#include "codec/kvrn_format.h"

namespace kvrn {

// Hands the encoder the pixels of one block row at a time.
class band_source {
  public:
    band_source() = default;
    virtual ~band_source() = default;
    band_source(const band_source&) = delete;
    band_source& operator=(const band_source&) = delete;

    // Picture rows r0 .. r0 + rows - 1 (row 0 the bottom row), width x 3 bytes each, the lowest
    // first with nothing between them: either in `band` (room for 8 rows), or in memory of the
    // source's own. Null after a read error, which stops the encoding. Called from several
    // threads at once, each with a band of its own.
    virtual const std::uint8_t* rows(std::int32_t r0, std::int32_t rows, std::uint8_t* band) = 0;
};

// Takes the encoded bytes in order, one call at a time. False stops the encoding.
class byte_sink {
  public:
    byte_sink() = default;
    virtual ~byte_sink() = default;
    byte_sink(const byte_sink&) = delete;
    byte_sink& operator=(const byte_sink&) = delete;

    virtual bool write(std::span<const std::uint8_t> bytes) = 0;
};

struct encoding {
    std::int64_t clipped = 0;   // AC values clamped into -127..126
    std::uint64_t bytes = 0;    // written, the header included
    bool read_failed = false;   // the source returned null
    bool write_failed = false;  // the sink returned false
};

// The header of a picture of `width` x `height` (0..65535 each) quantised by `scales`
// (1..65535 each).
kvrn_header make_header(std::int32_t width, std::int32_t height, const channel_steps& scales);

// Writes the header, then every block position of the stream, the partial ones on the right edge
// and in the top rows included (quantise_block repeats the picture's last column and row). Up
// to `threads` threads (0: every core) each take the next block row, read it from the source,
// code it into a buffer of its own and hand it to the sink when the rows before it are written:
// reading, coding and writing overlap. The bytes are the same for any number of threads. Returns
// nothing when the working memory (a band and a coded row per thread) cannot be had.
std::optional<encoding> encode_stream(const kvrn_header& header, unsigned threads,
                                      band_source& source, byte_sink& sink);

// The largest AC coefficients of each channel of the blocks it is handed (as a reencode_blocks
// sink), on each side of zero: at step 1, what the automatic step must keep from clipping.
struct ac_extremes {
    std::array<std::int32_t, 3> most{};   // the largest positive value, or 0
    std::array<std::int32_t, 3> least{};  // the magnitude of the most negative value, or 0
    void coded(const ycc_blocks& coefficients, std::int32_t /*r0*/, std::int32_t /*c0*/) {
        const std::array<const coef_block*, 3> blocks = {&coefficients.y, &coefficients.cr,
                                                         &coefficients.cb};
        for (std::size_t c = 0; c < blocks.size(); ++c) {
            // Index 0 is the DC, stored in 16 bits, never clipped.
            for (std::size_t i = 1; i < 64; ++i) {
                const std::int32_t value = (*blocks[c])[i];
                most[c] = std::max(most[c], value);
                least[c] = std::max(least[c], -value);
            }
        }
    }
};

// The smallest step at which no AC value of `extremes`' channel `c` leaves -127..126. A value v
// at step 1 becomes trunc(v / s): v >= 0 fits while v / s < 127, that is s > v / 127, so
// s = v / 127 + 1 in whole numbers; -v fits while v / s < 128, s = v / 128 + 1. At most 65535.
inline std::int32_t unclipped_step(const ac_extremes& extremes, std::size_t c) {
    return std::min(65535, std::max(extremes.most[c] / 127 + 1, extremes.least[c] / 128 + 1));
}

// The smallest scales that clip no AC coefficient of the picture the source holds, `width` x
// `height`: one pass over every block position the encoder codes, at step 1. Nothing after a
// read error or without working memory.
std::optional<channel_steps> unclipped_scales(std::int32_t width, std::int32_t height,
                                              unsigned threads, band_source& source);

}  // namespace kvrn
