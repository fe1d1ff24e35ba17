#include "scene/pixel_group.h"

#include <GL/gl.h>

#include <cstdlib>

#include "scene/preview.h"
#include "scene/view_area.h"

namespace kvrn {

pixel_group* image_group = nullptr;

namespace {

// Shows the stored bytes as they are: row i, column j at (j + x, i + y), rows bottom-up. Only the
// points inside the window are sent; for a picture that fits, that is every one.
void draw_direct(const pixel_group& group) {
    const index_span rows = visible_span(group.height, group.y, visible_area.height);
    const index_span columns = visible_span(group.width, group.x, visible_area.width);
    for (std::int32_t i = rows.first; i < rows.last; ++i) {
        const std::uint8_t* pixel = group.pixels + pixel_offset(group.width, i, columns.first);
        for (std::int32_t j = columns.first; j < columns.last; ++j) {
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
