// kvrn info: the header of a KVRN file and the state of its block stream.
#include <array>
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/kvrn_input.h"
#include "codec/byte_reader.h"
#include "codec/kvrn_format.h"
#include "codec/picture.h"

namespace kvrn::cli {
namespace {

constexpr const char* info_usage = R"(Usage: kvrn info [--json] FILE...
Shows the header of each KVRN file FILE, its grid of 8x8 block positions, how
many bytes the block stream needs against how many FILE holds, whether the
stream is complete, and how many bytes trail it: one block of lines per file, a
blank line between them. Exit status: the worst of the files (1 for a file that
cannot be read, else 2 for an incomplete stream).

  --json             one JSON object per file, one line each, for scripts:
                     file, width, height, scales {y, cr, cb}, positions,
                     block_columns, block_rows, bytes_needed (at least, when
                     incomplete), bytes_held, complete, ends_in (when
                     incomplete), trailing; a file that cannot be read gives
                     {"file": ..., "readable": false} and its message
)";

constexpr std::array<option_entry, 1> info_options = {{{"--json", 0, ""}}};

class info_request final : public command {
  public:
    bool take_option(std::string_view name, std::string_view /*value*/) override {
        json_ = name == "--json";
        return json_;
    }
    int run(std::span<const char* const> operands) override {
        int worst = exit_ok;
        for (std::size_t i = 0; i < operands.size(); ++i) {
            if (i > 0 && !json_) std::printf("\n");
            const int status = info_command(operands[i], max_pixels, json_);
            // In order with the messages on standard error, for whoever reads both.
            (void)std::fflush(stdout);
            // A file that cannot be read is worse than one whose stream is incomplete.
            if (status == exit_failed || (status == exit_damaged && worst == exit_ok)) {
                worst = status;
            }
        }
        return worst;
    }

  private:
    bool json_ = false;
};

// What info finds in a file.
struct stream_state {
    std::uint64_t needed = 0;  // at least this, when incomplete
    std::uint64_t held = 0;
    std::uint64_t trailing = 0;
    bool complete = false;
    std::string ends_in;  // when incomplete
};

void print_text(const char* path, const kvrn_header& header, const stream_state& state) {
    std::printf("file:         %s\nmagic:        0x%08x\nwidth:        %u\nheight:       %u\n",
                path, header.magic, static_cast<unsigned>(header.width),
                static_cast<unsigned>(header.height));
    std::printf("scales:       Y %u, Cr %u, Cb %u\n", static_cast<unsigned>(header.y_scale),
                static_cast<unsigned>(header.cr_scale), static_cast<unsigned>(header.cb_scale));
    std::printf("positions:    %lld (%d x %d blocks of 8 x 8)\n",
                static_cast<long long>(block_positions(header)), blocks_covering(header.width),
                blocks_covering(header.height));
    if (state.complete) {
        std::printf("stream bytes: %llu needed, %llu held\ncomplete:     yes\n",
                    static_cast<unsigned long long>(state.needed),
                    static_cast<unsigned long long>(state.held));
    } else {
        std::printf("stream bytes: at least %llu needed, %llu held\n",
                    static_cast<unsigned long long>(state.needed),
                    static_cast<unsigned long long>(state.held));
        std::printf("complete:     no, the stream ends in %s\n", state.ends_in.c_str());
    }
    std::printf("trailing:     %llu bytes\n", static_cast<unsigned long long>(state.trailing));
}

void print_json(const char* path, const kvrn_header& header, const stream_state& state) {
    std::printf(
        "{\"file\": %s, \"width\": %u, \"height\": %u, "
        "\"scales\": {\"y\": %u, \"cr\": %u, \"cb\": %u}, \"positions\": %lld, "
        "\"block_columns\": %d, \"block_rows\": %d, \"bytes_needed\": %llu, "
        "\"bytes_held\": %llu, \"complete\": %s, ",
        json_string(path).c_str(), static_cast<unsigned>(header.width),
        static_cast<unsigned>(header.height), static_cast<unsigned>(header.y_scale),
        static_cast<unsigned>(header.cr_scale), static_cast<unsigned>(header.cb_scale),
        static_cast<long long>(block_positions(header)), blocks_covering(header.width),
        blocks_covering(header.height), static_cast<unsigned long long>(state.needed),
        static_cast<unsigned long long>(state.held), state.complete ? "true" : "false");
    if (!state.complete) std::printf("\"ends_in\": %s, ", json_string(state.ends_in).c_str());
    std::printf("\"trailing\": %llu}\n", static_cast<unsigned long long>(state.trailing));
}

}  // namespace

const command_entry info_entry = {"info",
                                  "FILE...",
                                  "show the header and block stream of each FILE",
                                  info_usage,
                                  1,
                                  any_number,
                                  info_options,
                                  start_command<info_request>};

int info_command(const char* path, std::uint64_t max_pixels, bool json) {
    kvrn_input in;
    if (!in.open(path, max_pixels)) {
        if (json) std::printf("{\"file\": %s, \"readable\": false}\n", json_string(path).c_str());
        return exit_failed;
    }
    const kvrn_header& header = in.header;
    byte_reader reader(in.file);
    const stream_measure measure = measure_stream(reader, header);
    stream_state state;
    state.needed = measure.bytes_needed;
    state.held = measure.bytes_held;
    state.complete = measure.complete();
    if (state.complete) {
        while (reader.next() >= 0) ++state.trailing;
    }
    if (in.read_failed()) {
        if (json) std::printf("{\"file\": %s, \"readable\": false}\n", json_string(path).c_str());
        return exit_failed;
    }
    if (!state.complete) {
        const std::int32_t columns = blocks_covering(header.width);
        const std::int64_t position = measure.blocks_held / 3;
        state.ends_in = describe({position, static_cast<channel>(measure.blocks_held % 3),
                                  static_cast<std::int32_t>(position % columns),
                                  static_cast<std::int32_t>(position / columns)});
    }
    if (json) {
        print_json(path, header, state);
    } else {
        print_text(path, header, state);
    }
    if (state.complete) return exit_ok;
    warn(path, "the block stream is incomplete");
    return exit_damaged;
}

}  // namespace kvrn::cli
