// The error map and the block map with their descriptions, and with their colour bars when asked.
#include <mutex>
#include <string>
#include <utility>

#include "lab/block_map.h"
#include "lab/error_map.h"
#include "lab/lab.h"
#include "lab/map_legend.h"
#include "lab/map_scales.h"
#include "lab/plot.h"

namespace kvrn::lab {
namespace {

// `map` with the colour bar for `scale` below it, and its figures in words. cairo's and
// fontconfig's font caches are let go at once, as a leak checker at exit would find them; the
// Python module may draw from several threads, and fonts must not be let go while another thread
// draws with them.
void add_legend(drawn_map& map, const map_scale& scale) {
    static std::mutex drawing;
    const std::lock_guard<std::mutex> lock(drawing);
    map_with_legend drawn = add_map_legend(map.pixels, map.width, map.height, scale);
    release_plot_fonts();
    map.pixels = std::move(drawn.pixels);
    map.width = drawn.width;
    map.height = drawn.height;
    for (const legend_tick& tick : legend_ticks(scale))
        map.bar += (map.bar.empty() ? "" : " ") + tick.text;
    map.bar += ": " + scale.caption;
}

}  // namespace

std::optional<drawn_map> draw_error_map(const picture_view& a, const picture_view& b, int gain,
                                        bool legend) {
    if (gain < 1 || gain > 255 || a.width <= 0 || a.height <= 0) return std::nullopt;
    std::optional<std::vector<std::uint8_t>> pixels = error_map(a, b, gain);
    if (!pixels) return std::nullopt;
    drawn_map map{std::move(*pixels), a.width, a.height, error_map_scale(gain), {}};
    if (legend) add_legend(map, error_map_scale_bar(gain));
    return map;
}

std::optional<drawn_map> draw_block_map(const block_bytes& counted, const kvrn_header& header,
                                        int channel, bool auto_scale, bool legend) {
    constexpr std::array<const char*, 4> what = {"its Y block", "its Cr block", "its Cb block",
                                                 "its Y, Cr and Cb blocks"};
    if (channel < 0 || channel > all_channels) return std::nullopt;
    const auto which = static_cast<std::size_t>(channel);
    const std::vector<std::uint16_t>& bytes = counted.position_bytes[which];
    if (bytes.empty()) return std::nullopt;
    const map_scale scale = block_map_scale_bar(bytes, channel, auto_scale);
    const int least = static_cast<int>(scale.least);
    const int most = static_cast<int>(scale.most);
    std::optional<block_map_picture> pixels =
        block_map(bytes, counted.columns, counted.rows, static_cast<std::int32_t>(header.width),
                  static_cast<std::int32_t>(header.height), least, most, what[which]);
    if (!pixels) return std::nullopt;
    drawn_map map{
        std::move(pixels->pixels), pixels->width, pixels->height, std::move(pixels->legend), {}};
    if (auto_scale) map.description += " (the range of this file)";
    if (legend) add_legend(map, scale);
    return map;
}

}  // namespace kvrn::lab
