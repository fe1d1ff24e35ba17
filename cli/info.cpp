// kvrn info: the header of a KVRN file and the state of its block stream.
#include <cstdio>

#include "cli/commands.h"
#include "cli/kvrn_input.h"
#include "codec/block_coding.h"
#include "codec/byte_reader.h"
#include "codec/picture.h"

namespace kvrn::cli {
namespace {

constexpr const char* info_usage = R"(Usage: kvrn info FILE
Shows the header of the KVRN file FILE, its grid of 8x8 block positions, how
many bytes the block stream needs against how many FILE holds, whether the
stream is complete, and how many bytes trail it. Exit status 2 when the stream
is incomplete.

  --max-pixels N     refuse pictures of more than N pixels (default 268435456)
)";

class info_request final : public command {
  public:
    int run(std::span<const char* const> operands) override {
        return info_command(operands[0], max_pixels);
    }
};

}  // namespace

const command_entry info_entry = {"info", info_usage, 1, {}, start_command<info_request>};

int info_command(const char* path, std::uint64_t max_pixels) {
    kvrn_input in;
    if (!in.open(path, max_pixels)) return exit_failed;
    const kvrn_header& header = in.header;
    const std::int32_t columns = blocks_covering(header.width);
    const std::int64_t positions = block_positions(header);
    const std::int64_t blocks = 3 * positions;
    byte_reader reader(in.file);
    coef_block block;
    std::int64_t done = 0;
    std::uint64_t block_start = 0;
    for (; done < blocks; ++done) {
        block_start = reader.consumed();
        if (read_block(block, reader) != block_complete) break;
    }
    const std::uint64_t held = reader.consumed();
    std::uint64_t trailing = 0;
    if (done == blocks) {
        while (reader.next() >= 0) ++trailing;
    }
    if (in.read_failed()) return exit_failed;

    std::printf("file:         %s\nmagic:        0x%08x\nwidth:        %u\nheight:       %u\n",
                path, header.magic, static_cast<unsigned>(header.width),
                static_cast<unsigned>(header.height));
    std::printf("scales:       Y %u, Cr %u, Cb %u\n", static_cast<unsigned>(header.y_scale),
                static_cast<unsigned>(header.cr_scale), static_cast<unsigned>(header.cb_scale));
    std::printf("positions:    %lld (%d x %d blocks of 8 x 8)\n", static_cast<long long>(positions),
                columns, blocks_covering(header.height));
    if (done == blocks) {
        std::printf("stream bytes: %llu needed, %llu held\ncomplete:     yes\n",
                    static_cast<unsigned long long>(held), static_cast<unsigned long long>(held));
        std::printf("trailing:     %llu bytes\n", static_cast<unsigned long long>(trailing));
        return exit_ok;
    }
    // The shortest completion: the cut block ends with its DC and an end-of-block byte (one
    // byte when the DC is there), every later block is 3 bytes.
    const std::uint64_t cut = held - block_start;
    const std::uint64_t needed =
        held + (cut < 2 ? 3 - cut : 1) + 3 * static_cast<std::uint64_t>(blocks - done - 1);
    const std::int64_t position = done / 3;
    const block_place place{position, static_cast<channel>(done % 3),
                            static_cast<std::int32_t>(position % columns),
                            static_cast<std::int32_t>(position / columns)};
    std::printf("stream bytes: at least %llu needed, %llu held\n",
                static_cast<unsigned long long>(needed), static_cast<unsigned long long>(held));
    std::printf("complete:     no, the stream ends in %s\ntrailing:     0 bytes\n",
                describe(place).c_str());
    complain(path, "the block stream is incomplete");
    return exit_damaged;
}

}  // namespace kvrn::cli
