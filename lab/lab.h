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
bool add_metrics(const picture_view& a, const picture_view& b, metric_set wanted,
                 unsigned threads, distortion& figures, std::string& error);

// --- A sweep of settings (kvrn sweep; in kvrn_lab) -------------------------------------------

struct sweep_settings {
    std::vector<std::int32_t> steps = {1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64};  // 1..65535
    std::vector<std::int32_t> qualities = {10, 20, 30, 40, 50, 60,
                                           70, 75, 80, 85, 90, 95};  // 1..100
    bool tables = false;  // also the rows of JPEG's example tables at each quality
};

// One line of the sweep's table.
struct sweep_row {
    const char* codec = "";    // kvrn, kvrn+zstd, jpeg444, jpeg420 or kvrn-tables
    std::int32_t setting = 0;  // the step, or the quality
    std::size_t bytes = 0;
    distortion figures;    // of what comes back, against the picture
    bool clipped = false;  // KVRN: AC coefficients were clamped into a byte
};

// The bits per pixel of a row for a picture of `pixels` pixels, as the table gives them.
double bits_per_pixel(const sweep_row& row, std::uint64_t pixels);

// How many measurements a sweep makes, each of which calls `finished_one` once (a progress bar's
// total).
std::size_t sweep_measurements(const sweep_settings& settings);

struct sweep_result {
    // kvrn at each step, kvrn+zstd at each step, jpeg444 and jpeg420 at each quality, then
    // kvrn-tables at each quality.
    std::vector<sweep_row> rows;
    // Why the sweep failed ("step 8: ..."), when it did; `rows` is then empty.
    std::string error;
};

// Encodes `picture` as KVRN at every step (and the same files through zstd -19), as baseline JPEG
// 4:4:4 and 4:2:0 at every quality (cjpeg's bytes, djpeg's pixels) and, with `tables`, quantises
// it by JPEG's example tables; measures what comes back. The measurements share `threads` threads
// (1 or more). `finished_one`, when given, is called as each measurement ends, from the thread
// that made it. A setting out of its range fails the sweep; lists may be empty.
sweep_result sweep(const picture_view& picture, const sweep_settings& settings, unsigned threads,
                   const std::function<void()>& finished_one = {});

// --- Maps (kvrn diff MAP, kvrn blocks; in kvrn_lab) ------------------------------------------

// A map as the tool writes it to a PNG file.
struct drawn_map {
    std::vector<std::uint8_t> pixels;  // RGB, `width` x `height`, row 0 the bottom row
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::string description;  // the PNG's Description text: what the colours mean
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
