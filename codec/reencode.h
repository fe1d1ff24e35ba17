// A picture through the encoder and back, block by block: the re-encoding the viewer shows on
// every frame, and the encoder's half of it.
#pragma once

#include <algorithm>
#include <cstdint>

#include "codec/block_path.h"
#include "codec/coef_block.h"
#include "codec/picture.h"

namespace kvrn {

// Which block positions a pass visits.
enum class block_coverage {
    // Only the 8x8 blocks that lie wholly inside the picture; the strips beyond the last whole
    // block column and row are skipped. What the viewer's preview draws.
    whole_blocks,
    // Every position of a KVRN stream, the partial ones on the right and far edges included;
    // quantise_block repeats the picture's last column and row for their missing pixels.
    every_position,
};

// Picture rows first_row .. last_row - 1 and columns first_column .. last_column - 1: the part of a
// picture a caller needs. Blocks that hold none of its pixels are skipped.
struct pixel_region {
    std::int32_t first_row = 0;
    std::int32_t last_row = INT32_MAX;
    std::int32_t first_column = 0;
    std::int32_t last_column = INT32_MAX;
};

struct reencode_settings {
    channel_steps steps{1, 1, 1};  // divisors of the Y, Cr and Cb coefficients; none may be 0
    channel_enables enables{};     // the channels the reconstruction keeps
    block_coverage coverage = block_coverage::whole_blocks;
    pixel_region region{};  // the whole picture unless it says otherwise
};

// The viewer's one quantisation step as the divisors of all three channels. A step of 0 would
// divide by zero and runs as 1. A negative step gives the picture of its magnitude: the quotient
// truncates toward zero, so only its sign changes, and the multiplication back restores it.
inline channel_steps uniform_steps(std::int32_t step) {
    if (step == 0) step = 1;
    return {step, step, step};
}

template <class Sink>
concept has_coded_member = requires(Sink& sink, const ycc_blocks& blocks, std::int32_t at) {
    sink.coded(blocks, at, at);
};
template <class Sink>
concept has_shown_member = requires(Sink& sink, const rgb_blocks& blocks, std::int32_t at) {
    sink.shown(blocks, at, at);
};

// Runs the blocks of `picture` in stream order (block rows from row 0, left to right in a row)
// through quantise_block. A sink with a member `coded(ycc, r0, c0)` is handed each block
// position's quantised coefficients (Y, Cr, Cb, the values a file stores). A sink with a member
// `shown(rgb, r0, c0)` is handed each position's reconstruction: the coefficients
// multiplied back by the steps, inverse transformed and converted to RGB with the enables,
// unclamped. A sink may have either member or both; with no `shown`, nothing is reconstructed.
// All working storage is the six blocks on this function's stack.
template <class Sink>
void reencode_blocks(const picture_view& picture, const reencode_settings& settings, Sink&& sink) {
    static_assert(has_coded_member<Sink> || has_shown_member<Sink>,
                  "the sink takes neither coded(ycc, r0, c0) nor shown(rgb, r0, c0)");
    const bool whole = settings.coverage == block_coverage::whole_blocks;
    const pixel_region& region = settings.region;
    const std::int32_t width =
        std::min(region.last_column, whole ? picture.width - picture.width % 8 : picture.width);
    const std::int32_t height =
        std::min(region.last_row, whole ? picture.height - picture.height % 8 : picture.height);
    ycc_blocks coefficients;
    rgb_blocks rgb;
    // The first block holding a pixel of the region; a negative start is the picture's first.
    const std::int32_t first_r0 = std::max(region.first_row, 0) / 8 * 8;
    const std::int32_t first_c0 = std::max(region.first_column, 0) / 8 * 8;
    for (std::int32_t r0 = first_r0; r0 < height; r0 += 8) {
        for (std::int32_t c0 = first_c0; c0 < width; c0 += 8) {
            quantise_block(picture, r0, c0, settings.steps, coefficients);
            if constexpr (has_coded_member<Sink>) {
                sink.coded(coefficients, r0, c0);
            }
            if constexpr (has_shown_member<Sink>) {
                reconstruct_block(coefficients, settings.steps, settings.enables, rgb);
                sink.shown(rgb, r0, c0);
            }
        }
    }
}

}  // namespace kvrn
