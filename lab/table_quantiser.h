// What a quantisation table would do: every coefficient of a block divided by its own entry, as
// JPEG quantises, where KVRN divides all 64 of a channel by one scale. A KVRN file cannot carry a
// table; the bytes counted are those KVRN's block coding spends on the quantised values.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "codec/api/inspect.h"
#include "codec/include/kvrn.h"
#include "codec/picture.h"

namespace kvrn::lab {

// One table per channel (Y, Cr, Cb), 64 divisors of 1..65535 in row-major order: row v, column u
// is the coefficient of vertical frequency v and horizontal frequency u; the codec's divisor
// tables, so that a block's report takes them as they are.
using quantisation_tables = api::divisor_tables;

struct table_coding {
    std::uint64_t bytes = 0;                    // a KVRN header and every coded block
    std::uint64_t clipped = 0;                  // AC values clamped to -127..126
    std::vector<std::uint16_t> position_bytes;  // per block position, in stream order
};

// Quantises `picture` (rows bottom first) block by block with `tables` as the encoder quantises
// with its scales (the quotient truncated toward zero), codes each block as a KVRN stream would,
// and reconstructs the picture from the values coded: with every channel into `decoded`, and
// with the channels `shown_channels` (the KVRN_CHANNEL_* bits) into `shown` unless it is null.
// Both have the picture's size and row order. With all 64 entries of each table equal, the
// result is the KVRN file of those scales, decoded.
table_coding quantise_with_tables(const picture_view& picture, const quantisation_tables& tables,
                                  unsigned shown_channels, std::uint8_t* decoded,
                                  std::uint8_t* shown);

// What the viewer's window would show with `tables` in place of its step: every whole 8x8 block
// quantised by the tables, multiplied back (no block coding, so nothing is clipped, as in the
// viewer) and reconstructed from `channels` (the KVRN_CHANNEL_* bits), clamped; the strips
// beyond the last whole block column and row white. `shown` has the picture's size and row
// order. With all 64 entries of each table equal to a step, kvrn_preview's picture at that step.
void preview_with_tables(const picture_view& picture, const quantisation_tables& tables,
                         unsigned channels, std::uint8_t* shown);

// The block at `column`, `row` (block columns and rows from the top-left) of `image` as
// kvrn_inspect reports it, but quantised by `tables`: each coefficient divided by its own entry,
// the quotient truncated toward zero, as quantise_with_tables divides; the stored values, bytes
// and clipped counts those of KVRN's block coding. The tool's `inspect --table` and the page's
// inspector in table mode both show this report.
kvrn_status inspect_with_tables(const kvrn_image* image, const quantisation_tables& tables,
                                std::uint32_t column, std::uint32_t row, kvrn_block_report* report);

}  // namespace kvrn::lab
