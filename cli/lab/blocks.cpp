// kvrn blocks: where the bytes of a KVRN file go, block by block and channel by channel.
#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <vector>

#include "cli/commands.h"
#include "cli/formats/format.h"
#include "cli/formats/png.h"
#include "cli/kvrn_input.h"
#include "cli/lab/commands.h"
#include "cli/lab/input.h"
#include "cli/lab/png_text.h"
#include "cli/output_file.h"
#include "codec/byte_reader.h"
#include "codec/channels.h"
#include "codec/kvrn_format.h"
#include "codec/picture.h"
#include "lab/block_map.h"
#include "lab/map_legend.h"
#include "lab/plot.h"

namespace kvrn::cli {
namespace {

constexpr const char* blocks_usage =
    R"(Usage: kvrn blocks [--channel C] [--scale S] [--no-legend] FILE MAP.png
Shows where the bytes of the KVRN file FILE go. Writes MAP.png, a map of FILE's
picture in which each 8x8 block is coloured by the coded bytes of its Y, Cr and
Cb blocks together, from 9 (black) through violet, red and amber to 195 (pale
yellow), the same scale for every file, with a colour bar and its figures drawn
below the picture (the PNG's Description text says the same), and prints the
bytes of each channel's coded blocks:
  Y bytes:      N
  Cr bytes:     N
  Cb bytes:     N
A truncated block stream is measured as far as it goes, with a warning and exit
status 2.

  --channel C        colour by one channel's blocks: y, cr or cb (3 to 65 bytes)
  --scale S          fixed (the default, so that maps of any files compare) or
                     auto: from the fewest bytes of a block in FILE to the most
  --no-legend        no colour bar: a map of the picture's size, to lay over it
)";

constexpr std::array<option_entry, 3> blocks_options = {{
    {"--channel", 0, "y, cr or cb"},
    {"--scale", 0, "fixed or auto"},
    {"--no-legend", 0, ""},
}};

// What the map counts: the three channels' blocks together, or one channel's.
constexpr int all_channels = 3;

class blocks_request final : public command {
  public:
    bool check_operands(std::span<const char* const> operands) override {
        if (format_written_to(operands[1]) == &png_format) return true;
        complain(operands[1], "a block map is a PNG picture: name it .png");
        return false;
    }
    bool take_option(std::string_view name, std::string_view value) override {
        if (name == "--no-legend") {
            legend_ = false;
            return true;
        }
        if (name == "--scale") {
            auto_scale_ = value == "auto";
            return value == "auto" || value == "fixed";
        }
        const std::optional<std::size_t> channel = channel_of_key(value);
        if (channel) channel_ = static_cast<int>(*channel);
        return channel.has_value();
    }
    int run(std::span<const char* const> operands) override;

  private:
    int channel_ = all_channels;
    bool auto_scale_ = false;
    bool legend_ = true;
};

// The map of `bytes` (one count per block position) on the scale the options ask for, with its
// colour bar unless `legend` is false.
std::optional<lab::block_map_picture> draw_map(const std::vector<std::uint16_t>& bytes,
                                               std::int32_t columns, std::int32_t rows,
                                               const kvrn_header& header, int channel,
                                               bool auto_scale, bool legend) {
    constexpr std::array<const char*, 4> counted = {"its Y block", "its Cr block", "its Cb block",
                                                    "its Y, Cr and Cb blocks"};
    constexpr std::array<const char*, 4> caption = {
        "coded bytes of each 8x8 Y block", "coded bytes of each 8x8 Cr block",
        "coded bytes of each 8x8 Cb block", "coded bytes of each 8x8 block, Y + Cr + Cb"};
    const auto which = static_cast<std::size_t>(channel);
    int least = channel == all_channels ? lab::block_bytes_least : lab::channel_block_bytes_least;
    int most = channel == all_channels ? lab::block_bytes_most : lab::channel_block_bytes_most;
    if (auto_scale) {
        const auto [fewest, largest] = std::minmax_element(bytes.begin(), bytes.end());
        least = *fewest;
        most = std::max<int>(*largest, least + 1);  // a file of one size of block: a bar of two
    }
    std::optional<lab::block_map_picture> map = lab::block_map(
        bytes, columns, rows, header.width, header.height, least, most, counted[which]);
    if (!map) return map;
    if (auto_scale) map->legend += " (the range of this file)";
    if (!legend) return map;
    std::string text = caption[which];
    if (auto_scale) text += ", this file's range";
    lab::map_with_legend drawn =
        lab::add_map_legend(map->pixels, map->width, map->height, {least * 1.0, most * 1.0, text});
    lab::release_plot_fonts();
    map->pixels = std::move(drawn.pixels);
    map->width = drawn.width;
    map->height = drawn.height;
    return map;
}

int blocks_request::run(std::span<const char* const> operands) {
    if (!replaceable(operands[1])) return exit_failed;
    kvrn_input in;
    if (!in.open(operands[0], max_pixels) || !has_pixels(in)) return exit_failed;
    const std::int32_t columns = blocks_covering(in.header.width);
    const std::int32_t rows = blocks_covering(in.header.height);
    // Each block is read as the decoder reads it; the bytes it took are the reader's count.
    // Per channel, then the three together.
    std::array<std::vector<std::uint16_t>, 4> position_bytes;
    position_bytes.fill(
        std::vector<std::uint16_t>(static_cast<std::size_t>(block_positions(in.header))));
    std::array<std::uint64_t, 3> channel_bytes{};
    std::int64_t missing = 0;
    first_missing_block listener;
    {
        byte_reader reader(in.file);
        for (std::size_t position = 0; position < position_bytes[0].size(); ++position) {
            const kvrn::position_bytes read = read_position_bytes(reader);
            for (std::size_t c = 0; c < 3; ++c) {
                if (!read.complete[c]) {
                    ++missing;
                    const auto counter = static_cast<std::int32_t>(position);
                    listener.missing_block(static_cast<channel>(c), counter, counter % columns,
                                           counter / columns);
                }
                channel_bytes[c] += read.bytes[c];
                position_bytes[c][position] = read.bytes[c];
            }
            position_bytes[all_channels][position] = static_cast<std::uint16_t>(read.total());
        }
    }
    if (in.read_failed()) return exit_failed;
    const std::optional<lab::block_map_picture> map =
        draw_map(position_bytes[static_cast<std::size_t>(channel_)], columns, rows, in.header,
                 channel_, auto_scale_, legend_);
    output_file out;
    if (!map || !out.open(operands[1]) ||
        !write_map_png(out, map->pixels.data(), map->width, map->height, map->legend.c_str())) {
        return exit_failed;
    }
    std::printf("Y bytes:      %llu\nCr bytes:     %llu\nCb bytes:     %llu\n",
                static_cast<unsigned long long>(channel_bytes[0]),
                static_cast<unsigned long long>(channel_bytes[1]),
                static_cast<unsigned long long>(channel_bytes[2]));
    if (std::fflush(stdout) != 0) {
        complain("-", "write error on standard output");
        return exit_failed;
    }
    return decode_status(in, missing, listener);
}

}  // namespace

const command_entry blocks_entry = lab_entry(lab_command("blocks"), blocks_usage, 2, 2,
                                             blocks_options, start_command<blocks_request>);

}  // namespace kvrn::cli
