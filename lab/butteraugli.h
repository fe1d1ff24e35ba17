// Butteraugli's distance of one picture from another, by libjxl (kvrn_lab).
#pragma once

#include <cstdint>
#include <string>

#include "codec/picture.h"

namespace kvrn::lab {

// libjxl's Butteraugli answers 0 for a picture under 8 pixels on a side, whatever the pictures
// hold; the lab gives no figure (NaN) there rather than one that reads as "no difference".
inline constexpr std::int32_t butteraugli_smallest_side = 8;

struct butteraugli_distances {
    double max_norm = 0;  // the largest of the distance map
    double norm3 = 0;     // its 3-norm
};

// The distance of `distorted` from `reference` (the same size, 8 pixels or more on a side), both
// 8-bit sRGB, with the settings of Debian's butteraugli_main (libjxl 0.7), so that the figures
// are the ones it prints for the two pictures written as PNG. On `threads` threads (0: one per
// core); the figures do not depend on the number. False, with `error` saying why, when libjxl
// fails.
bool butteraugli_distance(const picture_view& reference, const picture_view& distorted,
                          unsigned threads, butteraugli_distances& distances, std::string& error);

}  // namespace kvrn::lab
