// The codecs a sweep measures, by the names its table, options and front ends use: KVRN itself
// (as it is, through zstd, and quantised by JPEG's tables) and the yardsticks beside it, each a
// line in the order the table's rows take.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kvrn::lab {

enum class codec_id : std::uint8_t {
    kvrn,
    kvrn_zstd,
    jpeg444,
    jpeg420,
    kvrn_tables,
    webp,
    avif444,
    avif420,
    jxl,
};

// The lists of settings a sweep takes (sweep_settings), one per kind of setting.
enum class setting_list : std::uint8_t {
    steps,
    qualities,
    webp_qualities,
    avif_quantizers,
    jxl_distances,
};

struct setting_range {
    setting_list list;
    const char* option;  // the tool's option ("--steps"); Python's keyword is its name without "--"
    const char* noun;    // one setting, as messages name it ("step")
    double low;
    double high;
    bool whole;  // whole numbers only; JPEG XL's distances take fractions
};

inline constexpr std::array<setting_range, 5> setting_ranges = {{
    {setting_list::steps, "--steps", "step", 1, 65535, true},
    {setting_list::qualities, "--qualities", "quality", 1, 100, true},
    {setting_list::webp_qualities, "--webp-qualities", "WebP quality", 0, 100, true},
    {setting_list::avif_quantizers, "--avif-quantizers", "AVIF quantizer", 0, 63, true},
    {setting_list::jxl_distances, "--jxl-distances", "JPEG XL distance", 0.1, 25, false},
}};

constexpr const setting_range& range_of(setting_list list) {
    return setting_ranges[static_cast<std::size_t>(list)];
}

struct codec_entry {
    codec_id id;
    const char* name;  // as a row, an option's list and Python name it
    setting_list settings;
    // How its files are made, for a table's header: the tool's command that makes the same bytes.
    const char* made_as;
};

inline constexpr std::array<codec_entry, 9> codec_table = {{
    {codec_id::kvrn, "kvrn", setting_list::steps, "kvrn encode --step S"},
    {codec_id::kvrn_zstd, "kvrn+zstd", setting_list::steps,
     "kvrn encode --step S, then zstd -19 --no-check"},
    {codec_id::jpeg444, "jpeg444", setting_list::qualities,
     "cjpeg -baseline -dct int -quality Q -sample 1x1"},
    {codec_id::jpeg420, "jpeg420", setting_list::qualities,
     "cjpeg -baseline -dct int -quality Q -sample 2x2"},
    {codec_id::kvrn_tables, "kvrn-tables", setting_list::qualities,
     "KVRN's blocks quantised by JPEG's example tables at quality Q"},
    {codec_id::webp, "webp", setting_list::webp_qualities, "cwebp -q Q"},
    {codec_id::avif444, "avif444", setting_list::avif_quantizers,
     "avifenc -j 1 -s 6 -y 444 --min Q --max Q"},
    {codec_id::avif420, "avif420", setting_list::avif_quantizers,
     "avifenc -j 1 -s 6 -y 420 --min Q --max Q"},
    {codec_id::jxl, "jxl", setting_list::jxl_distances, "cjxl -d D -e 7"},
}};

// A set of codecs, one bit per codec_id.
using codec_set = std::uint32_t;

constexpr codec_set codec_bit(codec_id id) {
    return codec_set{1} << static_cast<unsigned>(id);
}

// What a sweep measured before there were more yardsticks: KVRN, through zstd, and JPEG.
inline constexpr codec_set classic_codecs =
    codec_bit(codec_id::kvrn) | codec_bit(codec_id::kvrn_zstd) | codec_bit(codec_id::jpeg444) |
    codec_bit(codec_id::jpeg420);
inline constexpr codec_set all_codecs = (codec_set{1} << codec_table.size()) - 1;

constexpr std::optional<codec_id> codec_named(std::string_view name) {
    for (const codec_entry& entry : codec_table) {
        if (name == entry.name) return entry.id;
    }
    return std::nullopt;
}

constexpr const codec_entry& entry_of(codec_id id) {
    return codec_table[static_cast<std::size_t>(id)];
}

}  // namespace kvrn::lab
