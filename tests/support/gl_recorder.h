// A link-time stand-in for the OpenGL calls the scene makes: each call is recorded, in order,
// with its arguments as the floats OpenGL would have received.
#pragma once

#include <iosfwd>
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

// Shows a call in failure messages as, say, "colour(1, 0.00784313772, 0)", floats in full.
void PrintTo(const gl_call& call, std::ostream* out);

}  // namespace kvrn::testing
