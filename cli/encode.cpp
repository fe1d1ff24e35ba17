// kvrn encode: a picture quantised block by block into a KVRN file.
#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "cli/formats/format_help.h"
#include "cli/output_file.h"
#include "cli/picture_bands.h"
#include "codec/encoder.h"
#include "codec/parallel.h"

namespace kvrn::cli {
namespace {

// The help, around the list of the formats read.
constexpr std::string_view usage_head =
    R"(Usage: kvrn encode [--step N | --scales Y,CR,CB | --max-bytes N | --max-bpp B]
                   [--threads N] IN OUT
Encodes the picture IN (a file, or - for standard input) as the KVRN file OUT
(- for standard output, never a terminal), quantising 8x8 blocks the way the
viewer's preview does. Each side of IN must be 1 to 65535 pixels. Blocks start
from the bottom-left corner; partial blocks on the right and top edges repeat
the rightmost column and the top row.

IN is recognised by its first bytes, whatever its name:
)";
constexpr std::string_view usage_tail =
    R"(Samples of more than 8 bits are scaled to 8 as netpbm scales them; alpha is
composed onto white in the sample values, as browsers show it. A JPEG file
that ends early is encoded from what it holds, and raw netpbm samples above the
maxval count as the maxval, each with a warning and exit status 2.

  -s, --step N       quantise all three channels by N: 1..65535, the header's
                     16-bit scale fields, or auto (default 8)
  --scales Y,CR,CB   quantise the Y, Cr and Cb channels by these, each 1..65535
                     or auto
  --max-bytes N      the smallest step (all three channels) whose file is at
                     most N bytes, found by bisection; -v says which
  --max-bpp B        the same for at most B bits per pixel (a number above 0)
  --threads N        threads to use (1..1024; default: every online core);
                     the output is the same for any number

Quantising divides each DCT coefficient by its channel's step and truncates
the quotient toward zero: coefficients smaller in size than the step become
0, and a flat block moves toward the middle grey, 128 (at step 60 a block of
176 throughout has DC 384, stored as 6, and decodes to 173).

A stored AC coefficient is a byte from -127 to 126, so larger values are
clipped, with a warning saying how many: a smaller step can look worse than a
larger one. auto picks, channel by channel, the smallest step that clips
nothing in this picture; -v says which. Every 8x8 block position costs at
least 9 bytes (1.125 bits per pixel), so a size below what the largest step
gives cannot be reached: encode says so and writes nothing.
)";

constexpr std::array<option_entry, 5> encode_options = {{
    {"--step", 's', "a whole number from 1 to 65535, or auto"},
    {"--scales", 0, "three of 1 to 65535 or auto, separated by commas"},
    {"--max-bytes", 0, "a whole number of bytes from 1"},
    {"--max-bpp", 0, "a number of bits per pixel above 0"},
    {"--threads", 0, threads_accepted},
}};

// A whole number of at least 1.
std::optional<std::uint64_t> parse_bytes(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value == 0) return std::nullopt;
    return value;
}

// A finite number above 0.
std::optional<double> parse_bits_per_pixel(std::string_view text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) ||
        value <= 0) {
        return std::nullopt;
    }
    return value;
}

class encode_request final : public command {
  public:
    bool take_option(std::string_view name, std::string_view value) override {
        if (name == "--step") return (step_ = parse_scale(value, true)).has_value();
        if (name == "--scales") return (scales_ = parse_scales(value, true)).has_value();
        if (name == "--threads") return (threads_ = parse_threads(value)).has_value();
        if (name == "--max-bytes") {
            target_.bytes = parse_bytes(value);
            return target_.bytes.has_value();
        }
        if (name == "--max-bpp") {
            target_.bits_per_pixel = parse_bits_per_pixel(value);
            return target_.bits_per_pixel.has_value();
        }
        return false;
    }
    bool check_options() override {
        if (step_ && scales_) {
            complain("encode", "give --step or --scales, not both");
            return false;
        }
        const int given = int{step_.has_value()} + int{scales_.has_value()} +
                          int{target_.bytes.has_value()} + int{target_.bits_per_pixel.has_value()};
        if (given > 1) {
            complain("encode", "give one of --step, --scales, --max-bytes and --max-bpp");
            return false;
        }
        return true;
    }
    bool check_operands(std::span<const char* const> operands) override {
        return std::string_view(operands[1]) != "-" || refuse_terminal_output("encode");
    }
    int run(std::span<const char* const> operands) override {
        const std::int32_t step = step_.value_or(8);
        return encode_command(operands[0], operands[1],
                              scales_.value_or(channel_steps{step, step, step}), max_pixels,
                              threads_.value_or(0), target_);
    }

  private:
    size_target target_;
    std::optional<std::int32_t> step_;
    std::optional<channel_steps> scales_;
    std::optional<unsigned> threads_;
};

// The picture's bands as the encoder reads them, each thread into a band of its own.
class picture_source final : public band_source {
  public:
    explicit picture_source(const picture_bands& picture) : picture_(picture) {}
    const std::uint8_t* rows(std::int32_t r0, std::int32_t rows, std::uint8_t* band) override {
        return picture_.rows(r0, rows, band);
    }

  private:
    const picture_bands& picture_;
};

// The encoded bytes into the output file, which keeps the first write error for commit().
class file_sink final : public byte_sink {
  public:
    explicit file_sink(output_file& out) : out_(out) {}
    bool write(std::span<const std::uint8_t> bytes) override {
        (void)out_.write(bytes);
        return true;
    }

  private:
    output_file& out_;
};

// Counts the bytes of a stream and keeps none.
class counting_sink final : public byte_sink {
  public:
    bool write(std::span<const std::uint8_t> bytes) override {
        bytes_ += bytes.size();
        return true;
    }

  private:
    std::uint64_t bytes_ = 0;
};

// The size of the picture's file at step `step` in all three channels; nothing after a read
// error or without working memory.
std::optional<std::uint64_t> size_at(const picture_bands& picture, unsigned threads,
                                     std::int32_t step) {
    picture_source source(picture);
    counting_sink sink;
    const std::optional<encoding> written = encode_stream(
        make_header(picture.width(), picture.height(), {step, step, step}), threads, source, sink);
    if (!written || written->read_failed) return std::nullopt;
    return written->bytes;
}

// The smallest step whose file is at most `limit` bytes, by bisection over 1..65535: a larger
// step never makes a value of a block larger, nor so the file. 0 when even 65535 is too large;
// nothing after a read error.
std::optional<std::int32_t> fitting_step(const picture_bands& picture, unsigned threads,
                                         std::uint64_t limit, std::uint64_t& smallest) {
    std::optional<std::uint64_t> size = size_at(picture, threads, 65535);
    if (!size) return std::nullopt;
    smallest = *size;
    if (*size > limit) return 0;
    // Invariant: the file at `low` is too large (or low is 0), the file at `high` fits.
    std::int32_t low = 0;
    std::int32_t high = 65535;
    while (high - low > 1) {
        const std::int32_t middle = low + (high - low) / 2;
        size = size_at(picture, threads, middle);
        if (!size) return std::nullopt;
        (*size <= limit ? high : low) = middle;
    }
    return high;
}

const std::string encode_usage =
    std::string(usage_head) + formats_read_list() + std::string(usage_tail);

}  // namespace

const command_entry encode_entry = {"encode",
                                    "IN OUT",
                                    "encode the picture IN as the KVRN file OUT",
                                    encode_usage.c_str(),
                                    2,
                                    2,
                                    encode_options,
                                    start_command<encode_request>};

int encode_command(const char* in_path, const char* out_path, const channel_steps& scales,
                   std::uint64_t max_pixels, unsigned threads, const size_target& target) {
    const auto started = std::chrono::steady_clock::now();
    if (!distinct_output(out_path, {&in_path, 1}) || !replaceable(out_path)) return exit_failed;
    if (std::string_view(out_path) != "-" && !std::string_view(out_path).ends_with(".kvrn"))
        warn(out_path, "the name does not end in .kvrn; writing a KVRN file anyway");
    picture_bands picture;
    if (!picture.open(in_path, max_pixels)) return exit_failed;
    const unsigned used = threads == 0 ? default_threads() : threads;
    channel_steps steps = scales;
    const bool chosen = steps.y == 0 || steps.cr == 0 || steps.cb == 0;
    picture_source source(picture);
    const double pixels = static_cast<double>(picture.width()) * picture.height();
    if (target.bytes || target.bits_per_pixel) {
        // B bits per pixel allow floor(B * pixels / 8) bytes.
        const std::uint64_t limit =
            target.bytes ? *target.bytes
                         : static_cast<std::uint64_t>(
                               std::floor(static_cast<long double>(*target.bits_per_pixel) *
                                          static_cast<long double>(pixels) / 8));
        std::uint64_t smallest = 0;
        const std::optional<std::int32_t> step = fitting_step(picture, used, limit, smallest);
        if (!step) return exit_failed;
        if (*step == 0) {
            complain(in_path,
                     "%llu bytes (%.4f bits per pixel) cannot be reached: KVRN spends at least 9 "
                     "bytes on every 8x8 block position (1.125 bits per pixel) and 14 on the "
                     "header, and the smallest file of this picture, at step 65535, is %llu "
                     "bytes (%.4f bits per pixel)",
                     static_cast<unsigned long long>(limit),
                     8.0 * static_cast<double>(limit) / pixels,
                     static_cast<unsigned long long>(smallest),
                     8.0 * static_cast<double>(smallest) / pixels);
            return exit_failed;
        }
        steps = {*step, *step, *step};
        note(out_path, "step %d: the smallest whose file is at most %llu bytes", *step,
             static_cast<unsigned long long>(limit));
    }
    if (chosen) {
        const std::optional<channel_steps> unclipped =
            unclipped_scales(picture.width(), picture.height(), used, source);
        if (!unclipped) return exit_failed;
        if (steps.y == 0) steps.y = unclipped->y;
        if (steps.cr == 0) steps.cr = unclipped->cr;
        if (steps.cb == 0) steps.cb = unclipped->cb;
    }
    output_file out;
    if (!out.open(out_path)) return exit_failed;
    file_sink sink(out);
    const std::optional<encoding> written =
        encode_stream(make_header(picture.width(), picture.height(), steps), used, source, sink);
    if (!written || written->read_failed || !out.commit()) return exit_failed;
    const bool damaged = picture.report_damage();
    if (written->clipped > 0) {
        warn(out_path,
             "%lld AC coefficients did not fit in -127..126 and were clipped; larger steps (or "
             "--step auto) avoid that",
             static_cast<long long>(written->clipped));
    }
    const std::uint64_t size = written->bytes;
    note(out_path, "%d x %d pixels, scales Y %d, Cr %d, Cb %d%s", picture.width(), picture.height(),
         steps.y, steps.cr, steps.cb,
         chosen ? " (auto: the smallest that clip no AC coefficient)" : "");
    note(out_path, "%llu bytes, %.3f bits per pixel; %u thread%s, %.3f s",
         static_cast<unsigned long long>(size), 8.0 * static_cast<double>(size) / pixels, used,
         used == 1 ? "" : "s",
         std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    return damaged ? exit_damaged : exit_ok;
}

}  // namespace kvrn::cli
