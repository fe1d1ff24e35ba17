// The re-encoding preview: the pixel group's picture drawn through quantisation and back.
#pragma once

#include <cstdint>

#include "codec/coef_block.h"
#include "scene/pixel_group.h"
#include "scene/view_area.h"

namespace kvrn {

// The preview's divisor of every DCT coefficient, set by the mouse; 1 at start.
extern std::int32_t quant_step;

// Draws the points of one processed block that lie in `rows` x `columns` (picture rows and
// columns), row by row, at the pixels they came from. The colours are not clamped here: OpenGL
// clamps them when it rasterises the points.
void draw_block(const rgb_blocks& rgb, std::int32_t c0, std::int32_t r0, const pixel_group& group,
                const index_span& rows, const index_span& columns);

// The preview branch of pixel_group::draw, called between its glBegin and glEnd. Every whole 8x8
// block of the group's picture goes through reencode_blocks with `step` on all three channels
// and the group's channel enables, and is drawn with draw_block; the strips beyond the last whole
// block are not drawn, nor are points outside the window, and blocks with no point inside it are
// not re-encoded. When the group has an `out` stream, every whole block's quantised coefficients
// are written there (Y, Cr, Cb) and announced on standard output as
// "writing block <counter> (<r0>, <c0>)", the counter restarting at 0 with every frame.
void draw_preview(const pixel_group& group, std::int32_t step);

}  // namespace kvrn
