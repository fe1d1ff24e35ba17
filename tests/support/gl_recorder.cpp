#include "support/gl_recorder.h"

#include <GL/gl.h>

namespace kvrn::testing {

std::vector<gl_call>& gl_calls() {
    static std::vector<gl_call> calls;
    return calls;
}

void clear_gl_calls() {
    gl_calls().clear();
}

}  // namespace kvrn::testing

using kvrn::testing::gl_call;
using kvrn::testing::gl_calls;

extern "C" {

void glBegin(GLenum mode) {
    gl_calls().push_back({gl_call::begin, mode});
}
void glEnd() {
    gl_calls().push_back({gl_call::end});
}
void glColor3f(GLfloat red, GLfloat green, GLfloat blue) {
    gl_calls().push_back({gl_call::colour, 0, red, green, blue});
}
void glVertex2fv(const GLfloat* v) {
    gl_calls().push_back({gl_call::vertex, 0, v[0], v[1]});
}

}  // extern "C"
