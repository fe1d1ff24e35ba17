#include "lab/map_scales.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>

#include "lab/block_map.h"
#include "lab/error_map.h"

namespace kvrn::lab {

std::string legend_figure(double value) {
    char text[64];
    if (value == std::floor(value))
        (void)std::snprintf(text, sizeof text, "%.0f", value);
    else
        (void)std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::array<legend_tick, 3> legend_ticks(const map_scale& scale) {
    double middle = (scale.least + scale.most) / 2;
    if (scale.most - scale.least >= 10) middle = std::round(middle);
    const auto tick = [&](double value) {
        return legend_tick{value, (value - scale.least) / (scale.most - scale.least),
                           legend_figure(value)};
    };
    return {tick(scale.least), tick(middle), tick(scale.most)};
}

map_scale error_map_scale_bar(int gain) {
    const int full = error_map_full(gain);
    return {0, static_cast<double>(full),
            "largest difference of R, G and B, in levels; pale yellow: " + std::to_string(full) +
                " or more"};
}

map_scale block_map_scale_bar(const std::vector<std::uint16_t>& bytes, int channel,
                              bool auto_scale) {
    constexpr std::array<const char*, 4> caption = {
        "coded bytes of each 8x8 Y block", "coded bytes of each 8x8 Cr block",
        "coded bytes of each 8x8 Cb block", "coded bytes of each 8x8 block, Y + Cr + Cb"};
    const bool all = channel < 0 || channel >= 3;
    const std::string counted = caption[all ? 3 : static_cast<std::size_t>(channel)];
    if (!auto_scale || bytes.empty()) {
        const int least = all ? block_bytes_least : channel_block_bytes_least;
        const int most = all ? block_bytes_most : channel_block_bytes_most;
        return {static_cast<double>(least), static_cast<double>(most), counted};
    }
    const auto [fewest, largest] = std::minmax_element(bytes.begin(), bytes.end());
    const int least = *fewest;
    // A file of one size of block: a bar of two figures a byte apart.
    const int most = std::max<int>(*largest, least + 1);
    return {static_cast<double>(least), static_cast<double>(most), counted + ", this file's range"};
}

}  // namespace kvrn::lab
