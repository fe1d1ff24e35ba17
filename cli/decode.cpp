// kvrn decode: a KVRN file decoded as the viewer loads it, written as a picture.
#include <array>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>

#include "cli/commands.h"
#include "cli/formats/format.h"
#include "cli/formats/netpbm.h"
#include "cli/kvrn_input.h"
#include "cli/output_file.h"
#include "codec/band_decoder.h"
#include "codec/channels.h"
#include "codec/picture.h"

namespace kvrn::cli {
namespace {

constexpr const char* decode_usage = R"(Usage: kvrn decode [--channels yrb] [--threads N] FILE [OUT]
Decodes the KVRN file FILE (- for standard input) exactly as the viewer loads
it and writes the picture to OUT: .ppm or .png by its name, or PPM on standard
output when OUT is - or left out (never to a terminal). A truncated block
stream is decoded from what it holds, with a warning and exit status 2.

The viewer's window shows a re-encoding of this picture at the chosen step
(step 1 at the start); 'kvrn preview' writes that.

  --channels yrb     the channels the picture is made of: one or more of y (Y),
                     r (Cr), b (Cb), as the viewer's y, r and b keys leave
                     them in or out (default yrb)
  --threads N        threads to use (1..1024; default: every online core);
                     the output is the same for any number
)";

constexpr std::array<option_entry, 2> decode_options = {{
    {"--channels", 0, "one or more of the letters y, r and b"},
    {"--threads", 0, threads_accepted},
}};

class decode_request final : public command {
  public:
    bool take_option(std::string_view name, std::string_view value) override {
        if (name == "--channels") return (channels_ = channel_mask(value)).has_value();
        return name == "--threads" && (threads_ = parse_threads(value)).has_value();
    }
    bool check_operands(std::span<const char* const> operands) override {
        const char* out = operands.size() > 1 ? operands[1] : "-";
        if (std::strcmp(out, "-") == 0) return refuse_terminal_output("decode");
        return names_picture(out);
    }
    int run(std::span<const char* const> operands) override {
        return decode_command(operands[0], operands.size() > 1 ? operands[1] : "-",
                              channels_.value_or(KVRN_CHANNELS_ALL), max_pixels,
                              threads_.value_or(0));
    }

  private:
    std::optional<unsigned> channels_;
    std::optional<unsigned> threads_;
};

// Decodes into a PPM file a few block rows at a time, each band written straight to its place, so
// that only a few bands are ever in memory, however large the picture.
// `out` is a file (not standard output) and the picture has pixels.
int decode_to_ppm_file(kvrn_input& in, output_file& out, const channel_enables& channels,
                       unsigned threads) {
    const kvrn_header& header = in.header;
    write_ppm_header(out.stream(), header.width, header.height);
    // The rows go around the stream, after the header it holds.
    const long start = std::fflush(out.stream()) == 0 ? std::ftell(out.stream()) : -1;
    if (start < 0) {
        (void)out.commit();  // reports the failed write
        return exit_failed;
    }
    ppm_band_writer writer(out, header, static_cast<std::uint64_t>(start));
    first_missing_block listener;
    byte_reader stream(in.file);
    const std::int64_t missing =
        decode_bands(stream, header, channels, threads, writer, &listener).missing;
    if (in.read_failed() || !out.commit()) return exit_failed;
    return decode_status(in, missing, listener);
}

}  // namespace

const command_entry decode_entry = {"decode",
                                    "FILE [OUT]",
                                    "decode FILE into the picture OUT (PPM on standard output)",
                                    decode_usage,
                                    1,
                                    2,
                                    decode_options,
                                    start_command<decode_request>};

int decode_command(const char* path, const char* out_path, unsigned channels,
                   std::uint64_t max_pixels, unsigned threads) {
    const auto started = std::chrono::steady_clock::now();
    if (!distinct_output(out_path, {&path, 1}) || !replaceable(out_path)) return exit_failed;
    kvrn_input in;
    if (!in.open(path, max_pixels)) return exit_failed;
    int status = exit_failed;
    if (std::strcmp(out_path, "-") != 0 && format_written_to(out_path) == &netpbm_format) {
        output_file out;
        if (!has_pixels(in) || !out.open(out_path)) return exit_failed;
        status = decode_to_ppm_file(in, out, enables_of(channels), threads);
    } else {
        image picture;
        status = decode_file(in, picture, threads, enables_of(channels));
        if (status != exit_failed && !write_picture(picture, out_path)) status = exit_failed;
    }
    if (status != exit_failed) {
        note_run(out_path, in.header.width, in.header.height, threads, started);
    }
    return status;
}

}  // namespace kvrn::cli
