// kvrn blocks: where the bytes of a KVRN file go, block by block and channel by channel.
#include <array>
#include <cstdio>
#include <optional>
#include <vector>

#include "cli/commands.h"
#include "cli/formats/format.h"
#include "cli/formats/png.h"
#include "cli/kvrn_input.h"
#include "cli/lab/block_map.h"
#include "cli/lab/commands.h"
#include "cli/lab/input.h"
#include "cli/lab/png_text.h"
#include "cli/output_file.h"
#include "codec/block_coding.h"
#include "codec/byte_reader.h"
#include "codec/kvrn_format.h"
#include "codec/picture.h"

namespace kvrn::cli {
namespace {

constexpr const char* blocks_usage = R"(Usage: kvrn blocks FILE MAP.png
Shows where the bytes of the KVRN file FILE go. Writes MAP.png, a picture of the
size of FILE's picture in which each 8x8 block is coloured by the coded bytes of
its Y, Cr and Cb blocks together, from 9 (black) through violet, red and amber
to 195 (pale yellow), the same scale for every file (the PNG's Description text
says so), and prints the bytes of each channel's coded blocks:
  Y bytes:      N
  Cr bytes:     N
  Cb bytes:     N
A truncated block stream is measured as far as it goes, with a warning and exit
status 2.
)";

class blocks_request final : public command {
  public:
    bool check_operands(std::span<const char* const> operands) override {
        if (format_written_to(operands[1]) == &png_format) return true;
        complain(operands[1], "a block map is a PNG picture: name it .png");
        return false;
    }
    int run(std::span<const char* const> operands) override;

  private:
};

int blocks_request::run(std::span<const char* const> operands) {
    if (!replaceable(operands[1])) return exit_failed;
    kvrn_input in;
    if (!in.open(operands[0], max_pixels) || !has_pixels(in)) return exit_failed;
    const std::int32_t columns = blocks_covering(in.header.width);
    const std::int32_t rows = blocks_covering(in.header.height);
    // Each block is read as the decoder reads it; the bytes it took are the reader's count.
    std::vector<std::uint16_t> position_bytes(static_cast<std::size_t>(block_positions(in.header)));
    std::array<std::uint64_t, 3> channel_bytes{};
    std::int64_t missing = 0;
    first_missing_block listener;
    {
        byte_reader reader(in.file);
        coef_block block{};
        for (std::size_t position = 0; position < position_bytes.size(); ++position) {
            for (std::size_t c = 0; c < 3; ++c) {
                const std::uint64_t before = reader.consumed();
                if (read_block(block, reader) != block_complete) {
                    ++missing;
                    const auto counter = static_cast<std::int32_t>(position);
                    listener.missing_block(static_cast<channel>(c), counter, counter % columns,
                                           counter / columns);
                }
                const std::uint64_t taken = reader.consumed() - before;
                channel_bytes[c] += taken;
                position_bytes[position] =
                    static_cast<std::uint16_t>(position_bytes[position] + taken);
            }
        }
    }
    if (in.read_failed()) return exit_failed;
    const std::optional<lab::block_map_picture> map =
        lab::block_map(position_bytes, columns, rows, in.header.width, in.header.height);
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

const command_entry blocks_entry =
    lab_entry(lab_command("blocks"), blocks_usage, 2, 2, {}, start_command<blocks_request>);

}  // namespace kvrn::cli
