// A link-time stand-in for the OpenGL calls the scene makes. Each call is logged as one line of
// text, its arguments as the floats OpenGL would have received, written in full
// ("colour 1 0.00784313772 0"), so two logs are equal exactly when the calls were.
#pragma once

#include <string>

namespace kvrn::testing {

// Every call since the log was last cleared.
inline std::string gl_log;

}  // namespace kvrn::testing
