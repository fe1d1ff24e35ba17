#include "scene/pixel_group.h"

#include <GL/gl.h>

#include <cstdlib>

#include "scene/preview.h"

namespace kvrn {

pixel_group* image_group = nullptr;

namespace {

// Shows the stored bytes as they are: row i, column j at (j + x, i + y), rows bottom-up.
void draw_direct(const pixel_group& group) {
    const std::uint8_t* pixel = group.pixels;
    for (std::int32_t i = 0; i < group.height; ++i) {
        for (std::int32_t j = 0; j < group.width; ++j) {
            glColor3f(static_cast<float>(pixel[0] / 255.0), static_cast<float>(pixel[1] / 255.0),
                      static_cast<float>(pixel[2] / 255.0));
            const GLfloat vertex[2] = {static_cast<float>(j) + group.x,
                                       static_cast<float>(i) + group.y};
            glVertex2fv(vertex);
            pixel += 3;
        }
    }
}

}  // namespace

pixel_group::~pixel_group() {
    std::free(pixels);
    pixels = nullptr;
}

void pixel_group::print() {
    std::printf("todo\n");
}

void pixel_group::draw() {
    if (pixels == nullptr) return;
    glBegin(GL_POINTS);
    if (preview != 0) {
        draw_preview(*this, quant_step);
    } else {
        draw_direct(*this);
    }
    glEnd();
}

}  // namespace kvrn
