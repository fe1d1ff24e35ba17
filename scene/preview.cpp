#include "scene/preview.h"

#include <GL/gl.h>

#include <cstdio>

#include "codec/block_coding.h"
#include "codec/reencode.h"

namespace kvrn {

std::int32_t quant_step = 1;

void draw_block(const coef_block& red, const coef_block& green, const coef_block& blue,
                std::int32_t c0, std::int32_t r0, const pixel_group& group) {
    for (std::size_t n = 0; n < 64; ++n) {
        glColor3f(static_cast<float>(red[n] / 255.0), static_cast<float>(green[n] / 255.0),
                  static_cast<float>(blue[n] / 255.0));
        const auto column = static_cast<std::int32_t>(n % 8);
        const auto row = static_cast<std::int32_t>(n / 8);
        const GLfloat vertex[2] = {static_cast<float>(c0 + column) + group.x,
                                   static_cast<float>(r0 + row) + group.y};
        glVertex2fv(vertex);
    }
}

namespace {

// Draws each block the re-encoding hands back.
struct drawing_sink {
    const pixel_group& group;
    void shown(const coef_block& red, const coef_block& green, const coef_block& blue,
               std::int32_t r0, std::int32_t c0) const {
        draw_block(red, green, blue, c0, r0, group);
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
    const reencode_settings settings{uniform_steps(step), group.enables(),
                                     block_coverage::whole_blocks};
    if (group.out == nullptr) {
        reencode_blocks(group.picture(), settings, drawing_sink{group});
        return;
    }
    reencode_blocks(group.picture(), settings, writing_sink{{group}});
    // A console on a pipe sees the frame's lines now, not when the buffer happens to fill.
    (void)std::fflush(stdout);
}

}  // namespace kvrn
