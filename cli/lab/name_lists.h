// The lab's lists of names on the command line: "--codecs webp,jxl", "--metrics all".
#pragma once

#include <algorithm>
#include <optional>
#include <string_view>

#include "lab/codec_table.h"
#include "lab/metric_table.h"

namespace kvrn::cli {

// Names separated by commas, each of `table`, or "all": their bits; nothing when a name is not
// in the table or the list is empty.
template <class table_type, class bits_type>
std::optional<bits_type> parse_names(std::string_view text, const table_type& table,
                                     bits_type all) {
    if (text == "all") return all;
    bits_type bits = 0;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view name = text.substr(0, comma);
        bool known = false;
        for (const auto& entry : table) {
            if (name == entry.name) {
                bits |= bits_type{1} << static_cast<unsigned>(entry.id);
                known = true;
            }
        }
        if (!known) return std::nullopt;
        if (comma == std::string_view::npos) return bits;
        text.remove_prefix(comma + 1);
    }
}

inline std::optional<lab::codec_set> parse_codecs(std::string_view text) {
    return parse_names(text, lab::codec_table, lab::all_codecs);
}

inline std::optional<lab::metric_set> parse_metrics(std::string_view text) {
    return lab::metrics_named(text);
}

// What the two options accept, as a usage error says it.
inline constexpr std::string_view codecs_accepted =
    "codec names separated by commas, or all: kvrn, kvrn+zstd, jpeg444, jpeg420, kvrn-tables, "
    "webp, avif444, avif420, jxl";
inline constexpr std::string_view metrics_accepted =
    "metric names separated by commas, or all: psnr_rgb, psnr_y, ssim_y, ms_ssim_y, "
    "butteraugli, butteraugli_3norm";

// Every name of `table` appears in `text`: the words above follow the tables.
template <class table_type>
constexpr bool names_every(std::string_view text, const table_type& table) {
    return std::ranges::all_of(table, [text](const auto& entry) {
        return text.find(entry.name) != std::string_view::npos;
    });
}
static_assert(names_every(codecs_accepted, lab::codec_table));
static_assert(names_every(metrics_accepted, lab::metric_table));

}  // namespace kvrn::cli
