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
#include "cli/lab/png_text.h"
#include "cli/output_file.h"
#include "codec/byte_reader.h"
#include "codec/channels.h"
#include "lab/lab.h"

namespace kvrn::cli {
namespace {

constexpr const char* blocks_usage =
    R"(Usage: kvrn blocks [--channel C] [--scale S] [--no-legend] FILE MAP.png
Shows where the bytes of the KVRN file FILE go. Writes MAP.png, a map of FILE's
picture in which each 8x8 block is coloured by the coded bytes of its Y, Cr and
Cb blocks together, from 9 (black) through violet, red and amber to 195 (pale
yellow), the same scale for every file, with a colour bar and its figures drawn
below the picture (the PNG's Description text says the same, and its "Colour
bar" text gives the bar's figures), and prints the bytes of each channel's
coded blocks:
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
    int channel_ = lab::all_channels;  // the three channels' blocks together, or one's
    bool auto_scale_ = false;
    bool legend_ = true;
};

int blocks_request::run(std::span<const char* const> operands) {
    if (!replaceable(operands[1])) return exit_failed;
    kvrn_input in;
    if (!in.open(operands[0], max_pixels) || !has_pixels(in)) return exit_failed;
    first_missing_block listener;
    lab::block_bytes counted;
    {
        byte_reader reader(in.file);
        counted = lab::count_block_bytes(reader, in.header, &listener);
    }
    if (in.read_failed()) return exit_failed;
    const std::optional<lab::drawn_map> map =
        lab::draw_block_map(counted, in.header, channel_, auto_scale_, legend_);
    output_file out;
    if (!map || !out.open(operands[1]) ||
        !write_map_png(out, map->pixels.data(), map->width, map->height, map->description,
                       map->bar)) {
        return exit_failed;
    }
    std::printf("Y bytes:      %llu\nCr bytes:     %llu\nCb bytes:     %llu\n",
                static_cast<unsigned long long>(counted.channel_bytes[0]),
                static_cast<unsigned long long>(counted.channel_bytes[1]),
                static_cast<unsigned long long>(counted.channel_bytes[2]));
    if (std::fflush(stdout) != 0) {
        complain("-", "write error on standard output");
        return exit_failed;
    }
    return decode_status(in, counted.missing, listener);
}

}  // namespace

const command_entry blocks_entry = lab_entry(lab_command("blocks"), blocks_usage, 2, 2,
                                             blocks_options, start_command<blocks_request>);

}  // namespace kvrn::cli
