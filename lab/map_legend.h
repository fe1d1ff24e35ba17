// The key drawn into the lab's maps: a strip below the picture with the colour ramp as a bar, the
// figures at its ends and middle, and a line saying what they count, so that a map explains
// itself without its PNG text.
#pragma once

#include <cstdint>
#include <vector>

#include "lab/map_scales.h"

namespace kvrn::lab {

// The strip's height in pixels, and the least width of a map with a strip: a narrower picture is
// set at the left of a white canvas that wide, so that the figures and the caption fit.
inline constexpr std::int32_t legend_height = 64;
inline constexpr std::int32_t legend_least_width = 360;

// Where the bar lies in the strip, counted from the strip's top-left corner: the bar runs from
// column `legend_bar_left` to `width - legend_bar_left - 1` of a strip `width` wide, ramp value 0
// to 1, in rows `legend_bar_top` to `legend_bar_top + legend_bar_rows - 1`.
inline constexpr std::int32_t legend_bar_left = 16;
inline constexpr std::int32_t legend_bar_top = 8;
inline constexpr std::int32_t legend_bar_rows = 14;

struct map_with_legend {
    std::vector<std::uint8_t> pixels;  // RGB, row 0 the bottom row
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// `pixels` (RGB, `width` x `height`, row 0 the bottom row) with the strip for `scale` below it:
// max(width, legend_least_width) x (height + legend_height) pixels, white where the picture does
// not reach. The text is drawn with cairo; call release_plot_fonts() once done drawing.
map_with_legend add_map_legend(const std::vector<std::uint8_t>& pixels, std::int32_t width,
                               std::int32_t height, const map_scale& scale);

}  // namespace kvrn::lab
