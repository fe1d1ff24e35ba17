// The re-encoding preview: every whole 8x8 block of a picture through quantisation and back.
#pragma once

#include <cstdint>
#include <cstdio>

#include "codec/block_coding.h"
#include "codec/block_path.h"
#include "codec/coef_block.h"
#include "scene/pixel_group.h"

namespace kvrn {

// The preview's divisor of every DCT coefficient, set by the mouse; 1 at start.
extern std::int32_t quant_step;

// Runs every whole 8x8 block of `group`'s picture (blocks in rows from buffer row 0, left to
// right; the strips beyond the last whole block are skipped) through quantise_block with `step`
// on all three channels and back through reconstruct_block with the group's channel enables, and
// hands the unclamped R, G, B blocks to `sink(rgb, c0, r0)`. When the group has an
// `out` stream, each block's quantised coefficients are written there (Y, Cr, Cb) and announced
// on standard output as "writing block <counter> (<r0>, <c0>)", the counter restarting at 0 with
// every call. A step of 0 would divide by zero and runs as 1; a negative step gives the picture
// of its magnitude.
template <class BlockSink>
void run_preview(const pixel_group& group, std::int32_t step, BlockSink&& sink) {
    if (step == 0) step = 1;
    const channel_steps steps{step, step, step};
    const channel_enables enables = group.enables();
    const picture_view picture = group.picture();
    const std::int32_t whole_width = group.width - group.width % 8;
    const std::int32_t whole_height = group.height - group.height % 8;
    std::int32_t counter = 0;
    ycc_blocks coefficients;
    rgb_blocks rgb;
    for (std::int32_t r0 = 0; r0 < whole_height; r0 += 8) {
        for (std::int32_t c0 = 0; c0 < whole_width; c0 += 8) {
            quantise_block(picture, r0, c0, steps, coefficients);
            if (group.out != nullptr) {
                std::printf("writing block %d (%d, %d)\n", counter, r0, c0);
                write_block(coefficients.y, group.out);
                write_block(coefficients.cr, group.out);
                write_block(coefficients.cb, group.out);
                ++counter;
            }
            reconstruct_block(coefficients, steps, enables, rgb);
            sink(rgb, c0, r0);
        }
    }
    // A console on a pipe sees the frame's lines now, not when the buffer happens to fill.
    if (group.out != nullptr) (void)std::fflush(stdout);
}

// Draws one processed block as 64 points, row by row, at the pixels it came from. The colours
// are not clamped here: OpenGL clamps them when it rasterises the points.
void draw_block(const rgb_blocks& rgb, std::int32_t c0, std::int32_t r0, const pixel_group& group);

// The preview branch of pixel_group::draw, called between its glBegin and glEnd.
void draw_preview(const pixel_group& group, std::int32_t step);

}  // namespace kvrn
