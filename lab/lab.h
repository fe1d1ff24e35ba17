// The quantisation lab as its front ends call it: the tool's sweep, diff and blocks, the page and
// the Python module ask the same questions here and get the same figures and pixels, which they
// then print, plot, write or hand over in their own way.
//
// Pictures are RGB, 3 bytes a pixel, row 0 the bottom row (picture_view), as the tool reads them.
// Nothing here prints, and nothing needs more than its arguments.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "codec/byte_reader.h"
#include "codec/kvrn_format.h"
#include "codec/picture.h"
#include "lab/codec_table.h"
#include "lab/metric_table.h"
#include "lab/metrics.h"

namespace kvrn::lab {

// --- Two pictures compared (kvrn diff) -------------------------------------------------------

// PSNR over R, G and B and over luma, mean SSIM of the luma planes and the largest sample
// difference of `a` against `b`, which must have the same size: what kvrn diff prints. Nothing
// when the sizes differ or a picture is empty. `threads` 0: one per core; the figures do not
// depend on it.
std::optional<distortion> measure(const picture_view& a, const picture_view& b,
                                  unsigned threads = 0);

// --- The metrics that load libraries (kvrn_lab) ----------------------------------------------

// Adds to `figures`, which compare() or measure() gave for `a` against `b` (the same size), the
// metrics of `wanted` that those leave NaN: ms_ssim_y, butteraugli and butteraugli_3norm, with `a`
// the reference. False, with `error` saying why, when one cannot be computed for a reason other
// than the picture's size (too small a picture leaves the figure NaN and returns true).
bool add_metrics(const picture_view& a, const picture_view& b, metric_set wanted, unsigned threads,
                 distortion& figures, std::string& error);

// --- A sweep of settings (kvrn sweep; in kvrn_lab) -------------------------------------------

struct sweep_settings {
    std::vector<std::int32_t> steps = {1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64};  // 1..65535
    std::vector<std::int32_t> qualities = {10, 20, 30, 40, 50, 60,
                                           70, 75, 80, 85, 90, 95};  // 1..100
    bool tables = false;  // also kvrn-tables, whatever `codecs` says
    // The yardsticks' settings, chosen to span on photographs about the bits per pixel that
    // JPEG's default qualities span (0.2 to 2 bits per pixel, 4:2:0 to 4:4:4).
    std::vector<std::int32_t> webp_qualities = {50, 60, 70, 75, 80, 85,
                                                88, 90, 92, 94, 96, 98};  // 0..100
    std::vector<std::int32_t> avif_quantizers = {4,  6,  8,  10, 12, 14,
                                                 16, 18, 20, 24, 28, 32};  // 0..63, 0 the finest
    std::vector<double> jxl_distances = {0.3,  0.4, 0.5, 0.6, 0.8, 1,
                                         1.25, 1.5, 2,   2.5, 3,   4};  // 0.1..25
    codec_set codecs = classic_codecs;
    metric_set metrics = classic_metrics;  // beyond them, add_metrics' NaN ones get figures
};

// The settings of `list` among `settings`.
std::vector<double> settings_of(const sweep_settings& settings, setting_list list);

// A setting as the table prints it: whole numbers without a point ("8"), fractions as short as
// they are exact to 6 digits ("0.3", "1.25").
std::string setting_text(double setting);

// One line of the sweep's table.
struct sweep_row {
    const char* codec = "";  // a name of codec_table
    double setting = 0;      // the step, quality, quantizer or distance
    std::size_t bytes = 0;
    distortion figures;    // of what comes back, against the picture
    bool clipped = false;  // KVRN: AC coefficients were clamped into a byte
    // Why the row has no figures, when it has none: the codec refused the picture's size
    // (`failed` false: a limit of the format, the sweep is whole without it) or failed on it.
    std::string problem;
    bool failed = false;
};

// The bits per pixel of a row for a picture of `pixels` pixels, as the table gives them.
double bits_per_pixel(const sweep_row& row, std::uint64_t pixels);

// How many measurements a sweep makes, each of which calls `finished_one` once (a progress bar's
// total).
std::size_t sweep_measurements(const sweep_settings& settings);

struct sweep_result {
    // Codec by codec in codec_table's order, each at its settings in their order.
    std::vector<sweep_row> rows;
    // Why the sweep could not start ("step 0: ..."), when it could not; `rows` is then empty.
    std::string error;
};

// Encodes `picture` with every codec of `settings` at each of its settings: as KVRN at every step
// (and the same files through zstd -19), as baseline JPEG 4:4:4 and 4:2:0 at every quality
// (cjpeg's bytes, djpeg's pixels), quantised by JPEG's example tables, and through the yardsticks'
// libraries (their own encoders' bytes and decoders' pixels); measures what comes back by
// `settings.metrics`. The measurements share `threads` threads (1 or more). `finished_one`, when
// given, is called as each measurement ends, from the thread that made it. A setting out of its
// range or a metric or codec not in the tables fails the sweep; lists may be empty. A codec that
// fails on the picture fails only its rows.
sweep_result sweep(const picture_view& picture, const sweep_settings& settings, unsigned threads,
                   const std::function<void()>& finished_one = {});

// The library, with its version, that makes a codec's files in this process ("libwebp 1.2.4").
std::string codec_library(codec_id codec);

// --- Maps (kvrn diff MAP, kvrn blocks; in kvrn_lab) ------------------------------------------

// A map as the tool writes it to a PNG file.
struct drawn_map {
    std::vector<std::uint8_t> pixels;  // RGB, `width` x `height`, row 0 the bottom row
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::string description;  // the PNG's Description text: what the colours mean
    // The colour bar's figures as drawn, left to right, a space apart, then ": " and its caption
    // ("0 16 32: largest difference ..."), for the PNG's "Colour bar" text; empty without a bar.
    std::string bar;
};

// The error map of `a` and `b` at `gain` (1..255), with its colour bar below when `legend`.
// Nothing when the sizes differ or a picture is empty, or the gain is out of its range.
std::optional<drawn_map> draw_error_map(const picture_view& a, const picture_view& b, int gain,
                                        bool legend);

// Where the bytes of a KVRN block stream go, block by block.
struct block_bytes {
    std::int32_t columns = 0;  // block columns and rows of the picture
    std::int32_t rows = 0;
    // Per block position, row by row from the bottom: the coded bytes of its Y, Cr and Cb blocks,
    // then of the three together.
    std::array<std::vector<std::uint16_t>, 4> position_bytes;
    std::array<std::uint64_t, 3> channel_bytes{};  // Y, Cr, Cb: the whole stream's
    std::int64_t missing = 0;                      // blocks the stream lacks or cuts short
};

// position_bytes' index of the three channels together.
inline constexpr int all_channels = 3;

// Reads every block of the stream of `header`'s picture from `stream` as the decoder reads it,
// counting the bytes each took. A stream that ends early is measured as far as it goes; each
// block missing or cut short is reported to `listener` when given. The header must have pixels.
block_bytes count_block_bytes(byte_reader& stream, const kvrn_header& header,
                              missing_block_listener* listener = nullptr);

// The block map of `counted` for `header`'s picture, as kvrn blocks draws it: each 8x8 block
// coloured by the bytes of `channel` (0 Y, 1 Cr, 2 Cb, all_channels) on the fixed scale, or with
// `auto_scale` from the fewest bytes of a block to the most; with its colour bar below when
// `legend`. Nothing when `counted` is not of `header`'s picture or the channel is unknown.
std::optional<drawn_map> draw_block_map(const block_bytes& counted, const kvrn_header& header,
                                        int channel, bool auto_scale, bool legend);

}  // namespace kvrn::lab
