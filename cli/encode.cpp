// kvrn encode: a picture quantised block by block into a KVRN file.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

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
(- for standard output), quantising 8x8 blocks the way the viewer's preview
does. Each side of IN must be 1 to 65535 pixels. Blocks start from the
bottom-left corner; partial blocks on the right and top edges repeat the
rightmost column and the top row.

IN is recognised by its first bytes, whatever its name:
  JPEG      baseline or progressive, grey, colour or CMYK, decoded as djpeg
            decodes it and turned upright as its EXIF orientation says
  PNG       any form: palette, grey, colour, 8 or 16 bits
  netpbm    PBM, PGM, PPM (P1 to P6) and PAM (P7: BLACKANDWHITE, GRAYSCALE,
            RGB, each with or without _ALPHA), plain or raw, maxval 1 to 65535
Samples of more than 8 bits are scaled to 8 as netpbm scales them; alpha is
composed onto white in the sample values, as browsers show it. A JPEG file
that ends early is encoded from what it holds, with exit status 2.

  --step N           quantise all three channels by N (1..65535, default 8)
  --scales Y,CR,CB   quantise the Y, Cr and Cb channels by these (1..65535)
  --threads N        threads to use (1..1024, default: every online core)
  --max-pixels N     refuse pictures of more than N pixels (default 268435456)

AC coefficients that do not fit in -127..126 are clipped; how many is reported
on standard error.
)";

constexpr std::array<std::string_view, 3> encode_options = {"--step", "--scales", "--threads"};

// "Y,CR,CB", each a KVRN scale.
std::optional<channel_steps> parse_scales(std::string_view text) {
    std::array<std::int32_t, 3> values{};
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::size_t comma = i + 1 < values.size() ? text.find(',') : text.size();
        if (comma == std::string_view::npos) return std::nullopt;
        const std::optional<std::int32_t> value = parse_number(text.substr(0, comma), 1, 65535);
        if (!value) return std::nullopt;
        values[i] = *value;
        text.remove_prefix(std::min(comma + 1, text.size()));
    }
    return channel_steps{values[0], values[1], values[2]};
}

class encode_request final : public command {
  public:
    bool take_option(std::string_view name, std::string_view value) override {
        if (name == "--step") return (step_ = parse_number(value, 1, 2147483647)).has_value();
        if (name == "--scales") return (scales_ = parse_scales(value)).has_value();
        if (name == "--threads") return (threads_ = parse_threads(value)).has_value();
        return false;
    }
    bool check_options() override {
        // A header carries 16-bit scales.
        if (step_ && *step_ > 65535) {
            complain("--step", "bad value '%d': a KVRN scale is 1..65535", *step_);
            return false;
        }
        if (step_ && scales_) {
            complain("encode", "give --step or --scales, not both");
            return false;
        }
        return true;
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
// and row for the pixels beyond it (the last band ends with the picture's last row). Block rows are
// coded a batch at a time, side by side, each into a buffer of its own by the thread that also
// reads its pixels, then written in order, one write a row. Returns the number of AC coefficients
// the writer clipped; nothing after a read error.
std::optional<std::int64_t> write_blocks(const picture_bands& picture, const channel_steps& scales,
                                         std::FILE* out, unsigned threads) {
    const std::int32_t width = picture.width();
    const std::int32_t height = picture.height();
    const auto block_rows = static_cast<std::size_t>(blocks_covering(height));
    const std::size_t row_room =
        3 * static_cast<std::size_t>(blocks_covering(width)) * put_block_room;
    // A few rows per thread, within a few MiB of buffers however wide the picture.
    const std::size_t per_batch =
        std::clamp<std::size_t>((std::size_t{16} << 20) / (row_room + picture.band_bytes()),
                                threads, 4 * std::size_t{threads});
    const std::size_t batch = std::min(per_batch, block_rows);
    // Left uninitialised: each row's coder writes the bytes it hands on, and picture.rows fills
    // the band it returns; zeroing up to 16 MiB first cost about 5% of an encode.
    const auto coded = std::make_unique_for_overwrite<std::uint8_t[]>(batch * row_room);
    const auto bands = std::make_unique_for_overwrite<std::uint8_t[]>(batch * picture.band_bytes());
    std::vector<std::size_t> lengths(batch);
    std::vector<std::int64_t> clipped(batch);
    std::atomic<bool> failed{false};
    for (std::size_t first = 0; first < block_rows; first += batch) {
        const std::size_t count = std::min(batch, block_rows - first);
        run_parallel(count, threads, [&](std::size_t k) {
            const auto r0 = static_cast<std::int32_t>(8 * (first + k));
            const std::int32_t rows = std::min(8, height - r0);
            const std::uint8_t* pixels =
                picture.rows(r0, rows, bands.get() + k * picture.band_bytes());
            if (pixels == nullptr) {
                failed = true;
                return;
            }
            coding_sink sink{coded.get() + k * row_room, clipped[k]};
            reencode_blocks(picture_view{pixels, width, rows},
                            {scales, {}, block_coverage::every_position}, sink);
            lengths[k] = static_cast<std::size_t>(sink.end - (coded.get() + k * row_room));
        });
        if (failed) return std::nullopt;
        for (std::size_t k = 0; k < count; ++k) {
            (void)std::fwrite(coded.get() + k * row_room, 1, lengths[k], out);
        }
    }
    std::int64_t total = 0;
    for (const std::int64_t count : clipped) total += count;
    return total;
}

}  // namespace

const command_entry encode_entry = {"encode", encode_usage, 2, encode_options,
                                    start_command<encode_request>};

int encode_command(const char* in_path, const char* out_path, const channel_steps& scales,
                   std::uint64_t max_pixels, unsigned threads) {
    if (!distinct_output(out_path, {&in_path, 1})) return exit_failed;
    if (std::string_view(out_path) != "-" && !std::string_view(out_path).ends_with(".kvrn"))
        complain(out_path, "warning: the name does not end in .kvrn; writing a KVRN file anyway");
    picture_bands picture;
    if (!picture.open(in_path, max_pixels)) return exit_failed;
    output_file out;
    if (!out.open(out_path)) return exit_failed;
    kvrn_header header;
    header.width = static_cast<std::uint16_t>(picture.width());
    header.height = static_cast<std::uint16_t>(picture.height());
    header.y_scale = static_cast<std::uint16_t>(scales.y);
    header.cr_scale = static_cast<std::uint16_t>(scales.cr);
    header.cb_scale = static_cast<std::uint16_t>(scales.cb);
    const std::array<std::uint8_t, header_bytes> bytes = format_header(header);
    (void)std::fwrite(bytes.data(), 1, bytes.size(), out.stream());
    const std::optional<std::int64_t> clipped =
        write_blocks(picture, scales, out.stream(), threads == 0 ? default_threads() : threads);
    if (!clipped || !out.commit()) return exit_failed;
    if (*clipped > 0) {
        complain(out_path,
                 "%lld AC coefficients did not fit in -127..126 and were clipped; larger steps "
                 "avoid that",
                 static_cast<long long>(*clipped));
    }
    return picture.damaged() ? exit_damaged : exit_ok;
}

}  // namespace kvrn::cli
