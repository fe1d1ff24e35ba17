#include "scene/preview.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>

#include "codec/block_coding.h"
#include "codec/reencode.h"

namespace kvrn {

std::int32_t quant_step = 1;

void draw_block(const coef_block& red, const coef_block& green, const coef_block& blue,
                std::int32_t c0, std::int32_t r0, const pixel_group& group, const index_span& rows,
                const index_span& columns) {
    const std::int32_t first_row = std::max(rows.first - r0, 0);
    const std::int32_t last_row = std::min(rows.last - r0, 8);
    const std::int32_t first_column = std::max(columns.first - c0, 0);
    const std::int32_t last_column = std::min(columns.last - c0, 8);
    for (std::int32_t row = first_row; row < last_row; ++row) {
        for (std::int32_t column = first_column; column < last_column; ++column) {
            const auto n = static_cast<std::size_t>(8 * row + column);
            glColor3f(static_cast<float>(red[n] / 255.0), static_cast<float>(green[n] / 255.0),
                      static_cast<float>(blue[n] / 255.0));
            const GLfloat vertex[2] = {static_cast<float>(c0 + column) + group.x,
                                       static_cast<float>(r0 + row) + group.y};
            glVertex2fv(vertex);
        }
    }
}

namespace {

// Draws the visible points of each block the re-encoding hands back.
struct drawing_sink {
    const pixel_group& group;
    index_span rows;
    index_span columns;
    void shown(const coef_block& red, const coef_block& green, const coef_block& blue,
               std::int32_t r0, std::int32_t c0) const {
        draw_block(red, green, blue, c0, r0, group, rows, columns);
    }
};

// Also writes each block's coefficients to the group's stream, with a line on the console per
// block. This is the viewer's documented coded-block output (one line and three coded blocks per
// block, every frame), not a leftover of debugging.
struct writing_sink : drawing_sink {
    std::int32_t counter = 0;
    void coded(const coef_block& y, const coef_block& cr, const coef_block& cb, std::int32_t r0,
               std::int32_t c0) {
        std::printf("writing block %d (%d, %d)\n", counter, r0, c0);
        write_block(y, group.out);
        write_block(cr, group.out);
        write_block(cb, group.out);
        ++counter;
    }
};

}  // namespace

void draw_preview(const pixel_group& group, std::int32_t step) {
    const index_span rows = visible_span(group.height, group.y, visible_area.height);
    const index_span columns = visible_span(group.width, group.x, visible_area.width);
    reencode_settings settings{uniform_steps(step), group.enables(), block_coverage::whole_blocks};
    if (group.out == nullptr) {
        // Blocks with no point in the window are not worth re-encoding.
        settings.region = {rows.first, rows.last, columns.first, columns.last};
        reencode_blocks(group.picture(), settings, drawing_sink{group, rows, columns});
        return;
    }
    reencode_blocks(group.picture(), settings, writing_sink{{group, rows, columns}});
    // A console on a pipe sees the frame's lines now, not when the buffer happens to fill.
    (void)std::fflush(stdout);
}

}  // namespace kvrn
