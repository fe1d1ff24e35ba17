// The distortion figures the lab gives, by the names its tables, options and front ends use: one
// line per metric, in the order the tables' columns take.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "lab/metrics.h"

namespace kvrn::lab {

enum class metric_id : std::uint8_t {
    psnr_rgb,
    psnr_y,
    ssim_y,
    ms_ssim_y,
    butteraugli,
    butteraugli_3norm,
};

struct metric_entry {
    metric_id id;
    const char* name;      // as a column, an option's list and Python name it
    int places;            // decimals in the tables
    bool lower_is_better;  // Butteraugli's distances; the rest grow with quality
    const char* axis;      // a plot's axis title
};

inline constexpr std::array<metric_entry, 6> metric_table = {{
    {metric_id::psnr_rgb, "psnr_rgb", 3, false, "PSNR (RGB), dB"},
    {metric_id::psnr_y, "psnr_y", 3, false, "PSNR (luma), dB"},
    {metric_id::ssim_y, "ssim_y", 5, false, "SSIM (luma)"},
    {metric_id::ms_ssim_y, "ms_ssim_y", 5, false, "MS-SSIM (luma)"},
    {metric_id::butteraugli, "butteraugli", 4, true,
     "Butteraugli distance, max norm (lower is better)"},
    {metric_id::butteraugli_3norm, "butteraugli_3norm", 4, true,
     "Butteraugli distance, 3-norm (lower is better)"},
}};

// A set of metrics, one bit per metric_id.
using metric_set = std::uint32_t;

constexpr metric_set metric_bit(metric_id id) {
    return metric_set{1} << static_cast<unsigned>(id);
}

// What the tables held before there were more: PSNR over RGB and luma, and SSIM of luma.
inline constexpr metric_set classic_metrics =
    metric_bit(metric_id::psnr_rgb) | metric_bit(metric_id::psnr_y) | metric_bit(metric_id::ssim_y);
inline constexpr metric_set all_metrics = (metric_set{1} << metric_table.size()) - 1;

// The metric of a name, if there is one.
constexpr std::optional<metric_id> metric_named(std::string_view name) {
    for (const metric_entry& entry : metric_table) {
        if (name == entry.name) return entry.id;
    }
    return std::nullopt;
}

// The metrics of a list as the options and Python take it: names of the table separated by commas
// ("psnr_y,ms_ssim_y"), or "all"; a name twice counts once. Nothing when a name is not in the
// table or the list is empty.
constexpr std::optional<metric_set> metrics_named(std::string_view list) {
    if (list == "all") return all_metrics;
    metric_set wanted = 0;
    while (true) {
        const std::size_t comma = list.find(',');
        const std::optional<metric_id> id = metric_named(list.substr(0, comma));
        if (!id) return std::nullopt;
        wanted |= metric_bit(*id);
        if (comma == std::string_view::npos) return wanted;
        list.remove_prefix(comma + 1);
    }
}

// The table's names as a usage error lists them: "psnr_rgb, psnr_y, ..., butteraugli_3norm".
inline constexpr std::string_view metric_names =
    "psnr_rgb, psnr_y, ssim_y, ms_ssim_y, butteraugli, butteraugli_3norm";
static_assert(
    [] {
        std::size_t at = 0;
        for (const metric_entry& entry : metric_table) {
            const std::string_view name = entry.name;
            if (metric_names.substr(at, name.size()) != name) return false;
            at += name.size() + 2;
        }
        return at == metric_names.size() + 2;
    }(),
    "metric_names lists the table's names in its order");

constexpr const metric_entry& entry_of(metric_id id) {
    return metric_table[static_cast<std::size_t>(id)];
}

// One metric's figure out of a comparison's.
constexpr double figure_of(const distortion& figures, metric_id id) {
    switch (id) {
        case metric_id::psnr_rgb:
            return figures.psnr_rgb;
        case metric_id::psnr_y:
            return figures.psnr_y;
        case metric_id::ssim_y:
            return figures.ssim_y;
        case metric_id::ms_ssim_y:
            return figures.ms_ssim_y;
        case metric_id::butteraugli:
            return figures.butteraugli;
        case metric_id::butteraugli_3norm:
            return figures.butteraugli_3norm;
    }
    return figures.psnr_rgb;
}

}  // namespace kvrn::lab
