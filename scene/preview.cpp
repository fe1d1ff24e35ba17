#include "scene/preview.h"

#include <GL/gl.h>

namespace kvrn {

std::int32_t quant_step = 1;

void draw_block(const rgb_blocks& rgb, std::int32_t c0, std::int32_t r0, const pixel_group& group) {
    for (std::size_t n = 0; n < 64; ++n) {
        glColor3f(static_cast<float>(rgb.red[n] / 255.0), static_cast<float>(rgb.green[n] / 255.0),
                  static_cast<float>(rgb.blue[n] / 255.0));
        const auto column = static_cast<std::int32_t>(n % 8);
        const auto row = static_cast<std::int32_t>(n / 8);
        const GLfloat vertex[2] = {static_cast<float>(c0 + column) + group.x,
                                   static_cast<float>(r0 + row) + group.y};
        glVertex2fv(vertex);
    }
}

void draw_preview(const pixel_group& group, std::int32_t step) {
    run_preview(group, step, [&group](const rgb_blocks& rgb, std::int32_t c0, std::int32_t r0) {
        draw_block(rgb, c0, r0, group);
    });
}

}  // namespace kvrn
