// A link-time stand-in for the OpenGL calls the scene makes: each call is recorded, in order,
// with its arguments as the floats OpenGL would have received.
#pragma once

#include <string>
#include <vector>

namespace kvrn::testing {

struct gl_call {
    enum kind { begin, end, colour, vertex } what;
    unsigned mode = 0;          // begin: the primitive
    float a = 0, b = 0, c = 0;  // colour: r, g, b; vertex: x, y

    bool operator==(const gl_call&) const = default;
};

// Every call since the last clear.
std::vector<gl_call>& gl_calls();
void clear_gl_calls();

}  // namespace kvrn::testing
