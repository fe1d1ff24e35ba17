// The error map and the block map with their descriptions, and with their colour bars when asked.
#include <algorithm>
#include <mutex>
#include <utility>

#include "lab/block_map.h"
#include "lab/error_map.h"
#include "lab/lab.h"
#include "lab/map_legend.h"
#include "lab/plot.h"

namespace kvrn::lab {
namespace {

// `map` with the colour bar for `scale` below it. cairo's and fontconfig's font caches are let go
// at once, as a leak checker at exit would find them; the Python module may draw from several
// threads, and fonts must not be let go while another thread draws with them.
void add_legend(drawn_map& map, const map_scale& scale) {
    static std::mutex drawing;
    const std::lock_guard<std::mutex> lock(drawing);
    map_with_legend drawn = add_map_legend(map.pixels, map.width, map.height, scale);
    release_plot_fonts();
    map.pixels = std::move(drawn.pixels);
    map.width = drawn.width;
    map.height = drawn.height;
}

}  // namespace

std::optional<drawn_map> draw_error_map(const picture_view& a, const picture_view& b, int gain,
                                        bool legend) {
    if (gain < 1 || gain > 255 || a.width <= 0 || a.height <= 0) return std::nullopt;
    std::optional<std::vector<std::uint8_t>> pixels = error_map(a, b, gain);
    if (!pixels) return std::nullopt;
    drawn_map map{std::move(*pixels), a.width, a.height, error_map_scale(gain)};
    if (legend) {
        const int full = error_map_full(gain);
        add_legend(map, {0, static_cast<double>(full),
                         "largest difference of R, G and B, in levels; pale yellow: " +
                             std::to_string(full) + " or more"});
    }
    return map;
}

std::optional<drawn_map> draw_block_map(const block_bytes& counted, const kvrn_header& header,
                                        int channel, bool auto_scale, bool legend) {
    constexpr std::array<const char*, 4> what = {"its Y block", "its Cr block", "its Cb block",
                                                 "its Y, Cr and Cb blocks"};
    constexpr std::array<const char*, 4> caption = {
        "coded bytes of each 8x8 Y block", "coded bytes of each 8x8 Cr block",
        "coded bytes of each 8x8 Cb block", "coded bytes of each 8x8 block, Y + Cr + Cb"};
    if (channel < 0 || channel > all_channels) return std::nullopt;
    const auto which = static_cast<std::size_t>(channel);
    const std::vector<std::uint16_t>& bytes = counted.position_bytes[which];
    if (bytes.empty()) return std::nullopt;
    int least = channel == all_channels ? block_bytes_least : channel_block_bytes_least;
    int most = channel == all_channels ? block_bytes_most : channel_block_bytes_most;
    if (auto_scale) {
        const auto [fewest, largest] = std::minmax_element(bytes.begin(), bytes.end());
        least = *fewest;
        most = std::max<int>(*largest, least + 1);  // a file of one size of block: a bar of two
    }
    std::optional<block_map_picture> pixels =
        block_map(bytes, counted.columns, counted.rows, static_cast<std::int32_t>(header.width),
                  static_cast<std::int32_t>(header.height), least, most, what[which]);
    if (!pixels) return std::nullopt;
    drawn_map map{std::move(pixels->pixels), pixels->width, pixels->height,
                  std::move(pixels->legend)};
    if (auto_scale) map.description += " (the range of this file)";
    if (legend) {
        std::string text = caption[which];
        if (auto_scale) text += ", this file's range";
        add_legend(map, {least * 1.0, most * 1.0, text});
    }
    return map;
}

}  // namespace kvrn::lab
