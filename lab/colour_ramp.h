// The colour scale of the lab's maps: black for nothing, then violet, red, amber and pale yellow,
// brighter at every step, so that the order reads in colour and in grey alike.
#pragma once

#include <cstdint>

namespace kvrn::lab {

struct rgb8 {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
};

// The colour at `t`, 0 (black) to 1 (pale yellow); values outside are clamped.
rgb8 ramp_colour(double t);

}  // namespace kvrn::lab
