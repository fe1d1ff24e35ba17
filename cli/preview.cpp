// kvrn preview: what the viewer's window shows for a KVRN file at a quantisation step.
#include <array>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "cli/formats/format.h"
#include "cli/kvrn_input.h"
#include "cli/output_file.h"
#include "cli/table_choice.h"
#include "codec/channels.h"
#include "codec/include/kvrn.h"
#include "codec/parallel.h"
#include "codec/picture.h"
#include "lab/table_quantiser.h"

namespace kvrn::cli {
namespace {

constexpr const char* preview_usage =
    R"(Usage: kvrn preview [--step N | --table jpeg:QUALITY|TABLE] [--channels yrb]
                    [--threads N] FILE [OUT]
Writes the picture the viewer's window shows for the KVRN file FILE (- for
standard input): every whole 8x8 block quantised by N (each coefficient
divided by N, the quotient truncated toward zero) and reconstructed from the
chosen channels, the strips beyond the last whole blocks white. OUT is .ppm
or .png by its name, or PPM on standard output when OUT is - or left out (never
to a terminal). With -v, says the PSNR against the decoded picture.

  -s, --step N       the quantisation step, as the viewer's mouse wheel sets it
                     (1..2147483647, default 1, the viewer's first frame); a
                     step above the largest KVRN scale (65535) is allowed here
                     because the viewer allows it
  --table TABLES     beyond the format: each coefficient divided by its own
                     entry of a table instead of the step, as JPEG divides
                     (truncated toward zero as with the step; JPEG rounds);
                     jpeg:QUALITY takes JPEG's example tables at QUALITY
                     (1..100, scaled as libjpeg scales them: luma for Y,
                     chroma for Cr and Cb), else TABLES is a file of 64 whole
                     numbers (1..65535, row by row, the DC first) for every
                     channel, or 128 (Y's, then Cr's and Cb's); a KVRN file
                     cannot carry a table, so kvrn warns that the picture is
                     beyond the format
  --channels yrb     the channels shown: one or more of y (Y), r (Cr), b (Cb),
                     as the viewer's y, r and b keys (default yrb)
  --threads N        threads to use (1..1024; default: every online core)
)";

constexpr std::array<option_entry, 4> preview_options = {{
    {"--step", 's', "a whole number from 1 to 2147483647"},
    {"--table", 0, tables_accepted},
    {"--channels", 0, "one or more of the letters y, r and b"},
    {"--threads", 0, threads_accepted},
}};

class preview_request final : public command {
  public:
    bool take_option(std::string_view name, std::string_view value) override {
        if (name == "--step") return (step_ = parse_number(value, 1, 2147483647)).has_value();
        if (name == "--channels") return (channels_ = channel_mask(value)).has_value();
        if (name == "--threads") return (threads_ = parse_threads(value)).has_value();
        if (name == "--table") {
            table_ = std::string(value);
            return !value.empty();
        }
        return false;
    }
    bool check_options() override {
        if (!table_ || !step_) return true;
        complain("preview", "--step and --table both set the quantisation: give one");
        return false;
    }
    bool check_operands(std::span<const char* const> operands) override {
        const char* out = operands.size() > 1 ? operands[1] : "-";
        if (std::strcmp(out, "-") == 0) return refuse_terminal_output("preview");
        return names_picture(out);
    }
    int run(std::span<const char* const> operands) override {
        if (table_) {
            return preview_table_command(operands[0], operands.size() > 1 ? operands[1] : "-",
                                         *table_, channels_.value_or(KVRN_CHANNELS_ALL));
        }
        return preview_command(operands[0], operands.size() > 1 ? operands[1] : "-",
                               step_.value_or(1), channels_.value_or(KVRN_CHANNELS_ALL), max_pixels,
                               threads_.value_or(0));
    }

  private:
    int preview_table_command(const char* path, const char* out_path, const std::string& choice,
                              unsigned channels) const;

    std::optional<std::int32_t> step_;
    std::optional<std::string> table_;
    std::optional<unsigned> channels_;
    std::optional<unsigned> threads_;
};

// The PSNR over the whole 8x8 blocks, the part of the picture the preview draws.
void report_psnr(const image& shown, const image& decoded, const char* name, std::int32_t step) {
    const std::int32_t width = decoded.width - decoded.width % 8;
    const std::int32_t height = decoded.height - decoded.height % 8;
    if (width == 0 || height == 0) {
        warn(name, "the picture holds no whole 8 x 8 block: the preview shows nothing of it");
        return;
    }
    std::uint64_t squares = 0;
    for (std::int32_t row = 0; row < height; ++row) {
        const std::size_t start = pixel_offset(decoded.width, row, 0);
        for (std::size_t i = start; i < start + 3 * static_cast<std::size_t>(width); ++i) {
            const int difference = shown.pixels[i] - decoded.pixels[i];
            squares += static_cast<std::uint64_t>(difference * difference);
        }
    }
    const double samples = 3.0 * width * height;
    if (squares == 0) {
        note(name, "preview at step %d: identical to the decoded picture over %d x %d pixels", step,
             width, height);
        return;
    }
    const double psnr = 10.0 * std::log10(255.0 * 255.0 * samples / static_cast<double>(squares));
    note(name, "preview at step %d: PSNR %.2f dB against the decoded picture over %d x %d pixels",
         step, psnr, width, height);
}

int preview_request::preview_table_command(const char* path, const char* out_path,
                                           const std::string& choice, unsigned channels) const {
    const auto started = std::chrono::steady_clock::now();
    if (!distinct_output(out_path, {&path, 1}) || !replaceable(out_path)) return exit_failed;
    const std::optional<lab::quantisation_tables> tables = read_tables(choice);
    if (!tables) return exit_failed;
    kvrn_input in;
    if (!in.open(path, max_pixels)) return exit_failed;
    const unsigned threads = threads_.value_or(0);
    image decoded;
    const int status = decode_file(in, decoded, threads);
    if (status == exit_failed) return status;
    image shown;
    if (!allocate(shown, decoded.width, decoded.height, out_path)) return exit_failed;
    lab::preview_with_tables({decoded.pixels.get(), decoded.width, decoded.height}, *tables,
                             channels, shown.pixels.get());
    if (!write_picture(shown, out_path)) return exit_failed;
    warn(out_path, "quantised by the table %s, beyond the KVRN format: no KVRN file holds a table",
         choice.c_str());
    note_run(out_path, shown.width, shown.height, 1, started);
    return status;
}

}  // namespace

const command_entry preview_entry = {"preview",
                                     "FILE [OUT]",
                                     "write what the viewer's window shows for FILE at a step",
                                     preview_usage,
                                     1,
                                     2,
                                     preview_options,
                                     start_command<preview_request>};

int preview_command(const char* path, const char* out_path, std::int32_t step, unsigned channels,
                    std::uint64_t max_pixels, unsigned threads) {
    const auto started = std::chrono::steady_clock::now();
    if (!distinct_output(out_path, {&path, 1}) || !replaceable(out_path)) return exit_failed;
    kvrn_input in;
    if (!in.open(path, max_pixels)) return exit_failed;
    image decoded;
    const int status = decode_file(in, decoded, threads);
    if (status == exit_failed) return status;
    image shown;
    if (!allocate(shown, decoded.width, decoded.height, out_path)) return exit_failed;
    // Both pictures are kept bottom row first: handed over from their last rows.
    const auto row = static_cast<std::ptrdiff_t>(3 * static_cast<std::size_t>(decoded.width));
    const kvrn_image picture{
        decoded.pixels.get() + pixel_offset(decoded.width, decoded.height - 1, 0),
        static_cast<std::uint32_t>(decoded.width), static_cast<std::uint32_t>(decoded.height), -row,
        3};
    const kvrn_status previewed =
        kvrn_preview(&picture, step, channels, threads == 0 ? default_threads() : threads,
                     shown.pixels.get() + pixel_offset(shown.width, shown.height - 1, 0), -row);
    if (previewed != KVRN_OK) {
        complain(path, "%s", kvrn_status_text(previewed));
        return exit_failed;
    }
    if (!write_picture(shown, out_path)) return exit_failed;
    report_psnr(shown, decoded, path, step);
    note_run(out_path, shown.width, shown.height, threads, started);
    return status;
}

}  // namespace kvrn::cli
