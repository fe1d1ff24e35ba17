// The eight EXIF orientations: how the rows and columns a camera stored map onto the picture a
// person sees, and the pixel shuffle that turns the one into the other.
#pragma once

#include <string_view>

#include "cli/image.h"

namespace kvrn::cli {

// What showing a picture of EXIF orientation `orientation` (1 to 8) upright does to its stored
// pixels, in words: "rotated 90 degrees clockwise" for 6; empty for 1.
std::string_view orientation_change(int orientation);

// Turns `picture`, stored as orientation `orientation` (1 to 8) says, upright. Orientations 5 to 8
// swap width and height. A new buffer is needed for 2 to 8; `name` is the file the picture came
// from, for the message when it cannot be had.
bool apply_orientation(image& picture, int orientation, std::string_view name);

}  // namespace kvrn::cli
