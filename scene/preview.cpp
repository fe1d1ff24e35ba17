#include "scene/preview.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "codec/block_coding.h"
#include "codec/parallel.h"
#include "codec/reencode.h"

namespace kvrn {

std::int32_t quant_step = 1;

void draw_block(const rgb_blocks& rgb, std::int32_t c0, std::int32_t r0, const pixel_group& group,
                const index_span& rows, const index_span& columns) {
    const std::int32_t first_row = std::max(rows.first - r0, 0);
    const std::int32_t last_row = std::min(rows.last - r0, 8);
    const std::int32_t first_column = std::max(columns.first - c0, 0);
    const std::int32_t last_column = std::min(columns.last - c0, 8);
    for (std::int32_t row = first_row; row < last_row; ++row) {
        for (std::int32_t column = first_column; column < last_column; ++column) {
            const auto n = static_cast<std::size_t>(8 * row + column);
            glColor3f(static_cast<float>(rgb.red[n] / 255.0),
                      static_cast<float>(rgb.green[n] / 255.0),
                      static_cast<float>(rgb.blue[n] / 255.0));
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
    void shown(const rgb_blocks& rgb, std::int32_t r0, std::int32_t c0) const {
        draw_block(rgb, c0, r0, group, rows, columns);
    }
};

// Also writes each block's coefficients to the group's stream, with a line on the console per
// block. This is the viewer's documented coded-block output (one line and three coded blocks per
// block, every frame), not a leftover of debugging.
struct writing_sink : drawing_sink {
    std::int32_t counter = 0;
    void coded(const ycc_blocks& coefficients, std::int32_t r0, std::int32_t c0) {
        std::printf("writing block %d (%d, %d)\n", counter, r0, c0);
        write_block(coefficients.y, group.out);
        write_block(coefficients.cr, group.out);
        write_block(coefficients.cb, group.out);
        ++counter;
    }
};

// Keeps the blocks of one block row, each in the slot of its column.
struct keeping_sink {
    rgb_blocks* row;
    std::int32_t first_c0;
    void shown(const rgb_blocks& rgb, std::int32_t /*r0*/, std::int32_t c0) const {
        row[static_cast<std::size_t>((c0 - first_c0) / 8)] = rgb;
    }
};

// The preview without an output stream: the visible blocks, re-encoded a band of block rows at a
// time with the rows of a band side by side on every core, then drawn in the order a single
// pass would draw them.
void draw_visible_blocks(const pixel_group& group, reencode_settings settings,
                         const index_span& rows, const index_span& columns) {
    const std::int32_t first_r0 = std::max(rows.first, 0) / 8 * 8;
    const std::int32_t end_row = std::min(rows.last, group.height - group.height % 8);
    const std::int32_t first_c0 = std::max(columns.first, 0) / 8 * 8;
    const std::int32_t end_column = std::min(columns.last, group.width - group.width % 8);
    if (first_r0 >= end_row || first_c0 >= end_column) return;
    const auto block_rows = static_cast<std::size_t>((end_row - first_r0 + 7) / 8);
    const auto block_columns = static_cast<std::size_t>((end_column - first_c0 + 7) / 8);
    const unsigned threads = default_threads();
    // A few rows per thread and band: enough to even out, little to hold.
    const std::size_t band = std::min<std::size_t>(block_rows, 4 * std::size_t{threads});
    std::vector<rgb_blocks> kept(band * block_columns);
    const picture_view picture = group.picture();
    for (std::size_t first = 0; first < block_rows; first += band) {
        const std::size_t count = std::min(band, block_rows - first);
        run_parallel(count, threads, [&](std::size_t k) {
            const auto r0 = static_cast<std::int32_t>(first_r0 + 8 * (first + k));
            reencode_settings row_settings = settings;
            row_settings.region = {r0, r0 + 1, columns.first, columns.last};
            reencode_blocks(picture, row_settings,
                            keeping_sink{&kept[k * block_columns], first_c0});
        });
        for (std::size_t k = 0; k < count; ++k) {
            const auto r0 = static_cast<std::int32_t>(first_r0 + 8 * (first + k));
            for (std::size_t b = 0; b < block_columns; ++b) {
                draw_block(kept[k * block_columns + b], first_c0 + 8 * static_cast<std::int32_t>(b),
                           r0, group, rows, columns);
            }
        }
    }
}

}  // namespace

void draw_preview(const pixel_group& group, std::int32_t step) {
    const index_span rows = visible_span(group.height, group.y, visible_area.height);
    const index_span columns = visible_span(group.width, group.x, visible_area.width);
    reencode_settings settings{uniform_steps(step), group.enables(), block_coverage::whole_blocks};
    if (group.out == nullptr) {
        draw_visible_blocks(group, settings, rows, columns);
        return;
    }
    // With a stream, every whole block is written, in order, one at a time.
    reencode_blocks(group.picture(), settings, writing_sink{{group, rows, columns}});
    // A console on a pipe sees the frame's lines now, not when the buffer happens to fill.
    (void)std::fflush(stdout);
}

}  // namespace kvrn
