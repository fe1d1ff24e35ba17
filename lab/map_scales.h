// What a map's colour bar says, without drawing it: the range of the ramp, the figures set under
// the bar and where, and the line saying what they count. The tool draws them into its PNG files
// (map_legend.h) and the page sets them as text under its canvas, from these same functions, so
// that the two bars of a picture never disagree.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kvrn::lab {

// What the ramp spans: `least` at black, `most` at pale yellow, in the unit `caption` names.
struct map_scale {
    double least = 0;
    double most = 1;
    std::string caption;  // one short line, drawn centred under the figures
};

// A figure as the bar shows it: whole numbers without decimals, others with one.
std::string legend_figure(double value);

// A figure under the bar: its value, where it lies along the bar (0 at the black end, 1 at the
// pale yellow end) and its text.
struct legend_tick {
    double value = 0;
    double along = 0;
    std::string text;
};

// The bar's figures, left to right: its two ends, and between them the middle, a whole number
// over a range of 10 or more (where a figure with a decimal would only crowd the bar).
std::array<legend_tick, 3> legend_ticks(const map_scale& scale);

// The bar of an error map made at `gain` (1..255): from no difference to the least difference
// that gain shows in full pale yellow.
map_scale error_map_scale_bar(int gain);

// The bar of a block map of `bytes` (a count per block position) for `channel` (0 Y, 1 Cr, 2 Cb,
// 3 the three together): on the fixed scale of every file of that channel, or with `auto_scale`
// from the fewest bytes of a block to the most, at least one byte apart. Empty `bytes` give the
// fixed scale.
map_scale block_map_scale_bar(const std::vector<std::uint16_t>& bytes, int channel,
                              bool auto_scale);

}  // namespace kvrn::lab
