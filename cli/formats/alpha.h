// Samples of any depth brought to the 8 bits the tool encodes, and samples with an alpha composed
// onto white the way people see them: in the sample values themselves (sRGB), as browsers and
// image tools compose, not in linear light.
#pragma once

#include <cstdint>

namespace kvrn::cli {

// `value` of 0 .. `maxval` (1 .. 65535) as 0 .. 255, rounded to nearest as netpbm scales:
// (value * 255 + maxval / 2) / maxval.
constexpr std::uint8_t to_8_bits(std::uint32_t value, std::uint32_t maxval) {
    return static_cast<std::uint8_t>((value * 255 + maxval / 2) / maxval);
}

// `value` seen through `alpha` (both 0 .. `maxval`) in front of white, in the same scale:
// round((value * alpha + maxval * (maxval - alpha)) / maxval). 8-bit samples compose at
// maxval 255, 16-bit ones at 65535, each before any scaling, so that an opaque pixel keeps its
// value exactly.
std::uint32_t over_white(std::uint32_t value, std::uint32_t alpha, std::uint32_t maxval);

}  // namespace kvrn::cli
