#include "support/gl_recorder.h"

#include <GL/gl.h>

#include <iomanip>
#include <ostream>

namespace kvrn::testing {

std::vector<gl_call>& gl_calls() {
    static std::vector<gl_call> calls;
    return calls;
}

void clear_gl_calls() {
    gl_calls().clear();
}

void PrintTo(const gl_call& call, std::ostream* out) {
    static constexpr const char* names[] = {"begin", "end", "colour", "vertex"};
    *out << names[call.what] << std::setprecision(9);
    if (call.what == gl_call::begin) *out << "(" << call.mode << ")";
    if (call.what == gl_call::colour)
        *out << "(" << call.a << ", " << call.b << ", " << call.c << ")";
    if (call.what == gl_call::vertex) *out << "(" << call.a << ", " << call.b << ")";
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
