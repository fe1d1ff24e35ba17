// A picture of where two pictures differ: black where they agree, brighter where they differ more.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "codec/picture.h"

namespace kvrn::lab {

// At gain 8 an error of one level is a faint violet, four (typical of moderate quantisation)
// a clear violet-magenta, and 32 or more the full pale yellow.
inline constexpr int default_error_gain = 8;

// Per pixel, the largest absolute difference over R, G and B times `gain` (1 or more), clamped
// to 255 and shown through the lab's colour ramp. RGB, the size and row order of `a`. Nothing
// when the sizes differ or `gain` is below 1.
std::optional<std::vector<std::uint8_t>> error_map(const picture_view& a, const picture_view& b,
                                                   int gain);

// The least error a map made at `gain` shows in full pale yellow: 255 / gain, rounded up.
int error_map_full(int gain);

// One line describing the scale of a map made at `gain`, for a PNG text chunk or a report.
std::string error_map_scale(int gain);

}  // namespace kvrn::lab
