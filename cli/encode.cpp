// kvrn encode: a picture quantised block by block into a KVRN file.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "cli/auto_step.h"
#include "cli/commands.h"
#include "cli/output_file.h"
#include "cli/picture_bands.h"
#include "codec/block_coding.h"
#include "codec/block_path.h"
#include "codec/kvrn_format.h"
#include "codec/parallel.h"
#include "codec/picture.h"
#include "codec/reencode.h"

namespace kvrn::cli {
namespace {

constexpr const char* encode_usage =
    R"(Usage: kvrn encode [--step N | --scales Y,CR,CB] [--threads N] IN OUT
Encodes the picture IN (a file, or - for standard input) as the KVRN file OUT
(- for standard output, never a terminal), quantising 8x8 blocks the way the
viewer's preview does. Each side of IN must be 1 to 65535 pixels. Blocks start
from the bottom-left corner; partial blocks on the right and top edges repeat
the rightmost column and the top row.

IN is recognised by its first bytes, whatever its name:
  JPEG      baseline or progressive, grey, colour or CMYK, decoded as djpeg
            decodes it and turned upright as its EXIF orientation says (a
            warning says so; -q silences it)
  PNG       any form: palette, grey, colour, 8 or 16 bits
  netpbm    PBM, PGM, PPM (P1 to P6) and PAM (P7: BLACKANDWHITE, GRAYSCALE,
            RGB, each with or without _ALPHA), plain or raw, maxval 1 to 65535
Samples of more than 8 bits are scaled to 8 as netpbm scales them; alpha is
composed onto white in the sample values, as browsers show it. A JPEG file
that ends early is encoded from what it holds, with exit status 2.

  -s, --step N       quantise all three channels by N: 1..65535, the header's
                     16-bit scale fields, or auto (default 8)
  --scales Y,CR,CB   quantise the Y, Cr and Cb channels by these, each 1..65535
                     or auto
  --threads N        threads to use (1..1024; default: every online core);
                     the output is the same for any number

A stored AC coefficient is a byte from -127 to 126, so larger values are
clipped, with a warning saying how many: a smaller step can look worse than a
larger one. auto picks, channel by channel, the smallest step that clips
nothing in this picture; -v says which.
)";

constexpr std::array<option_spec, 3> encode_options = {{
    {"--step", 's', "a whole number from 1 to 65535, or auto"},
    {"--scales", 0, "three of 1 to 65535 or auto, separated by commas"},
    {"--threads", 0, threads_accepted},
}};

// A KVRN scale, 1..65535, or 0 for "auto".
std::optional<std::int32_t> parse_scale(std::string_view text) {
    if (text == "auto") return 0;
    return parse_number(text, 1, 65535);
}

// "Y,CR,CB", each a KVRN scale or auto.
std::optional<channel_steps> parse_scales(std::string_view text) {
    std::array<std::int32_t, 3> values{};
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::size_t comma = i + 1 < values.size() ? text.find(',') : text.size();
        if (comma == std::string_view::npos) return std::nullopt;
        const std::optional<std::int32_t> value = parse_scale(text.substr(0, comma));
        if (!value) return std::nullopt;
        values[i] = *value;
        text.remove_prefix(std::min(comma + 1, text.size()));
    }
    return channel_steps{values[0], values[1], values[2]};
}

class encode_request final : public command {
  public:
    bool take_option(std::string_view name, std::string_view value) override {
        if (name == "--step") return (step_ = parse_scale(value)).has_value();
        if (name == "--scales") return (scales_ = parse_scales(value)).has_value();
        if (name == "--threads") return (threads_ = parse_threads(value)).has_value();
        return false;
    }
    bool check_options() override {
        if (step_ && scales_) {
            complain("encode", "give --step or --scales, not both");
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
                              threads_.value_or(0));
    }

  private:
    std::optional<std::int32_t> step_;
    std::optional<channel_steps> scales_;
    std::optional<unsigned> threads_;
};

// Runs work(k, band) on block rows first .. first + count - 1 side by side, band k read, by the
// thread that works on it, into slot k of `bands` (band_bytes() each). False after a read error.
template <class Work>
bool on_block_rows(const picture_bands& picture, std::size_t first, std::size_t count,
                   unsigned threads, std::uint8_t* bands, Work&& work) {
    std::atomic<bool> failed{false};
    run_parallel(count, threads, [&](std::size_t k) {
        const auto r0 = static_cast<std::int32_t>(8 * (first + k));
        const std::int32_t rows = std::min(8, picture.height() - r0);
        const std::uint8_t* pixels = picture.rows(r0, rows, bands + k * picture.band_bytes());
        if (pixels == nullptr) {
            failed = true;
            return;
        }
        work(k, picture_view{pixels, picture.width(), rows});
    });
    return !failed;
}

// Replaces each scale of 0 (auto) in `scales` by the smallest that clips no AC coefficient of
// `picture`: one pass over every block position the encoder codes, at step 1. False after a read
// error.
bool choose_scales(const picture_bands& picture, channel_steps& scales, unsigned threads) {
    const auto block_rows = static_cast<std::size_t>(blocks_covering(picture.height()));
    const std::size_t batch = std::min(block_rows, 4 * std::size_t{threads});
    const auto bands = std::make_unique_for_overwrite<std::uint8_t[]>(batch * picture.band_bytes());
    std::vector<ac_extremes> found(batch);
    for (std::size_t first = 0; first < block_rows; first += batch) {
        const std::size_t count = std::min(batch, block_rows - first);
        const bool read = on_block_rows(
            picture, first, count, threads, bands.get(), [&](std::size_t k, picture_view band) {
                reencode_blocks(band, {{1, 1, 1}, {}, block_coverage::every_position}, found[k]);
            });
        if (!read) return false;
    }
    ac_extremes all;
    for (const ac_extremes& each : found) {
        for (std::size_t c = 0; c < 3; ++c) {
            all.most[c] = std::max(all.most[c], each.most[c]);
            all.least[c] = std::max(all.least[c], each.least[c]);
        }
    }
    if (scales.y == 0) scales.y = unclipped_step(all, 0);
    if (scales.cr == 0) scales.cr = unclipped_step(all, 1);
    if (scales.cb == 0) scales.cb = unclipped_step(all, 2);
    return true;
}

// Puts the coded blocks of the positions it is handed one after another into a buffer.
struct coding_sink {
    std::uint8_t* end;
    std::int64_t& clipped;
    void coded(const ycc_blocks& coefficients, std::int32_t /*r0*/, std::int32_t /*c0*/) {
        end += put_block(coefficients.y, end, clipped);
        end += put_block(coefficients.cr, end, clipped);
        end += put_block(coefficients.cb, end, clipped);
    }
};

// Every block position of the stream, the partial ones on the right edge and in the last rows of
// the buffer (the top of the picture) included: quantise_block repeats the picture's last column
// and row for the pixels beyond it (the last band ends with the picture's last row). Each thread
// takes the next block row, reads its pixels and codes it into a buffer of its own, then writes
// it when the rows before it are written: reading, coding and writing overlap, and each thread
// needs the room of one row (a fresh page costs more than coding a block row's worth of it).
// Returns the number of AC coefficients the writer clipped and of bytes written; nothing after a
// read error.
struct blocks_written {
    std::int64_t clipped = 0;
    std::uint64_t bytes = 0;
};
std::optional<blocks_written> write_blocks(const picture_bands& picture,
                                           const channel_steps& scales, output_file& out,
                                           unsigned threads) {
    const auto block_rows = static_cast<std::size_t>(blocks_covering(picture.height()));
    const std::size_t row_room =
        3 * static_cast<std::size_t>(blocks_covering(picture.width())) * put_block_room;
    const auto workers =
        static_cast<unsigned>(std::clamp<std::size_t>(block_rows, 1, std::max(threads, 1U)));
    // Left uninitialised: each row's coder writes the bytes it hands on, and picture.rows fills
    // the band it returns.
    const auto coded = std::make_unique_for_overwrite<std::uint8_t[]>(workers * row_room);
    const auto bands =
        std::make_unique_for_overwrite<std::uint8_t[]>(workers * picture.band_bytes());
    std::vector<std::int64_t> clipped(workers);
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    in_order_turns turns;
    std::uint64_t bytes = 0;  // written in turn only
    run_on_threads(workers, [&](unsigned w) {
        std::uint8_t* const row_out = coded.get() + w * row_room;
        std::uint8_t* const band = bands.get() + w * picture.band_bytes();
        for (std::size_t row; (row = next.fetch_add(1, std::memory_order_relaxed)) < block_rows;) {
            const auto r0 = static_cast<std::int32_t>(8 * row);
            const std::int32_t rows = std::min(8, picture.height() - r0);
            const std::uint8_t* pixels = failed ? nullptr : picture.rows(r0, rows, band);
            std::size_t length = 0;
            if (pixels == nullptr) {
                failed = true;
            } else {
                coding_sink sink{row_out, clipped[w]};
                reencode_blocks(picture_view{pixels, picture.width(), rows},
                                {scales, {}, block_coverage::every_position}, sink);
                length = static_cast<std::size_t>(sink.end - row_out);
            }
            turns.wait_for(row);
            if (!failed) {
                (void)out.write({row_out, length});
                bytes += length;
            }
            turns.pass(row);
        }
    });
    if (failed) return std::nullopt;
    blocks_written total;
    total.bytes = bytes;
    for (const std::int64_t count : clipped) total.clipped += count;
    return total;
}

}  // namespace

const command_entry encode_entry = {"encode",
                                    "IN OUT",
                                    "encode the picture IN as the KVRN file OUT",
                                    encode_usage,
                                    2,
                                    2,
                                    encode_options,
                                    start_command<encode_request>};

int encode_command(const char* in_path, const char* out_path, const channel_steps& scales,
                   std::uint64_t max_pixels, unsigned threads) {
    const auto started = std::chrono::steady_clock::now();
    if (!distinct_output(out_path, {&in_path, 1})) return exit_failed;
    if (std::string_view(out_path) != "-" && !std::string_view(out_path).ends_with(".kvrn"))
        warn(out_path, "the name does not end in .kvrn; writing a KVRN file anyway");
    picture_bands picture;
    if (!picture.open(in_path, max_pixels)) return exit_failed;
    const unsigned used = threads == 0 ? default_threads() : threads;
    channel_steps steps = scales;
    const bool chosen = steps.y == 0 || steps.cr == 0 || steps.cb == 0;
    if (chosen && !choose_scales(picture, steps, used)) return exit_failed;
    output_file out;
    if (!out.open(out_path)) return exit_failed;
    kvrn_header header;
    header.width = static_cast<std::uint16_t>(picture.width());
    header.height = static_cast<std::uint16_t>(picture.height());
    header.y_scale = static_cast<std::uint16_t>(steps.y);
    header.cr_scale = static_cast<std::uint16_t>(steps.cr);
    header.cb_scale = static_cast<std::uint16_t>(steps.cb);
    const std::array<std::uint8_t, header_bytes> bytes = format_header(header);
    (void)out.write(bytes);
    const std::optional<blocks_written> written = write_blocks(picture, steps, out, used);
    if (!written || !out.commit()) return exit_failed;
    if (written->clipped > 0) {
        warn(out_path,
             "%lld AC coefficients did not fit in -127..126 and were clipped; larger steps (or "
             "--step auto) avoid that",
             static_cast<long long>(written->clipped));
    }
    const std::uint64_t size = header_bytes + written->bytes;
    const double pixels = static_cast<double>(picture.width()) * picture.height();
    note(out_path, "%d x %d pixels, scales Y %d, Cr %d, Cb %d%s", picture.width(), picture.height(),
         steps.y, steps.cr, steps.cb,
         chosen ? " (auto: the smallest that clip no AC coefficient)" : "");
    note(out_path, "%llu bytes, %.3f bits per pixel; %u thread%s, %.3f s",
         static_cast<unsigned long long>(size), 8.0 * static_cast<double>(size) / pixels, used,
         used == 1 ? "" : "s",
         std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    return picture.damaged() ? exit_damaged : exit_ok;
}

}  // namespace kvrn::cli
