#include "support/gl_recorder.h"

#include <GL/gl.h>

#include <initializer_list>
#include <sstream>

namespace {

// Nine significant digits tell any two floats apart.
void record(const char* call, std::initializer_list<float> arguments) {
    std::ostringstream line;
    line.precision(9);
    line << call;
    for (const float argument : arguments) line << ' ' << argument;
    kvrn::testing::gl_log += line.str() + '\n';
}

}  // namespace

extern "C" {

void glBegin(GLenum mode) {
    record("begin", {static_cast<float>(mode)});
}
void glEnd() {
    record("end", {});
}
void glColor3f(GLfloat red, GLfloat green, GLfloat blue) {
    record("colour", {red, green, blue});
}
void glVertex2fv(const GLfloat* v) {
    record("vertex", {v[0], v[1]});
}

}  // extern "C"
