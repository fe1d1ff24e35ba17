// One band of the picture for one of the page's pool of workers (web/band_worker.js): a run of
// whole block rows, quantised as the whole picture would be, with the squared errors and SSIM
// sums of its rows, from which the coordinating worker makes the picture's file and figures
// (lab_figures_of_sums in lab.cpp).
//
// Blocks are coded each on its own, so a band of block rows encoded as a picture of its own gives
// the whole picture's blocks for those rows, and its block stream is the whole stream's run of
// positions for them. The SSIM window reaches 5 rows past a band's edge, into the neighbour's
// rows: the band holds one more block row on each side (a halo), quantised here as well, as
// pictures of their own, so that every band is measured without its neighbours.
#include <emscripten/emscripten.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codec/include/kvrn.h"
#include "codec/picture.h"
#include "lab/metrics.h"
#include "web/canvas_rows.h"

namespace {

// A picture's rows, bottom row first, packed RGB.
struct rows_of_rgb {
    std::vector<std::uint8_t> rgb;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

struct band_state {
    rows_of_rgb original;            // the halo below, the band, the halo above
    rows_of_rgb decoded;             // the same rows through the codec
    std::uint32_t below = 0;         // rows of the halo below the band
    std::uint32_t rows = 0;          // rows of the band
    std::vector<std::uint8_t> file;  // the band's own KVRN file
    std::size_t file_size = 0;
    std::uint64_t clipped = 0;          // the band's, not its halo's
    std::vector<std::uint8_t> scratch;  // a halo's file
    std::vector<std::uint8_t> rgba;     // the band's rows as the canvas takes them
    std::vector<double> sums;           // lab_band_sums' record
};

band_state band;

std::size_t row_bytes() {
    return 3 * std::size_t{band.original.width};
}

// Rows [first, first + count) of `of` as the C interface takes a picture: top row first.
kvrn_image image_of(const rows_of_rgb& of, std::uint32_t first, std::uint32_t count) {
    const std::size_t row = row_bytes();
    return {of.rgb.data() + (first + count - 1) * row, of.width, count,
            -static_cast<ptrdiff_t>(row), 3};
}

// Encodes rows [first, first + count) of the original into `file` and decodes them into the same
// rows of `decoded`, all channels.
kvrn_status quantise_rows(std::uint32_t first, std::uint32_t count, kvrn_scales scales,
                          std::vector<std::uint8_t>& file, std::size_t& size,
                          std::uint64_t* clipped) {
    if (count == 0) return KVRN_OK;
    const kvrn_image image = image_of(band.original, first, count);
    size_t capacity = 0;
    kvrn_status status = kvrn_encoded_bytes_max(image.width, image.height, &capacity);
    if (status != KVRN_OK) return status;
    file.resize(capacity);
    size = 0;
    status = kvrn_encode_to_memory(&image, scales, 1, file.data(), capacity, &size, clipped);
    if (status != KVRN_OK) return status;
    const std::size_t row = row_bytes();
    return kvrn_decode(file.data(), size, KVRN_CHANNELS_ALL, 0, 1,
                       band.decoded.rgb.data() + (first + count - 1) * row,
                       -static_cast<ptrdiff_t>(row), nullptr);
}

// The band's rows of `from` (bottom row first, RGB) into `band.rgba`, top row first, RGBA.
void band_rgba(const std::uint8_t* from) {
    const std::size_t width = band.original.width;
    band.rgba.resize(4 * width * band.rows);
    kvrn::web::rgb_rows_to_rgba(from, width, band.below, band.rows, band.rgba.data());
}

}  // namespace

extern "C" {

// Takes the band's rows with their halos: `height` rows of `width` pixels, packed RGB, bottom row
// first, of which `below` (0 or a multiple of 8) are the halo under the band and `rows` the band.
EMSCRIPTEN_KEEPALIVE int lab_band_hold(const std::uint8_t* rgb, std::uint32_t width,
                                       std::uint32_t height, std::uint32_t below,
                                       std::uint32_t rows) {
    if (width == 0 || rows == 0 || below % 8 != 0 || below + rows > height) {
        return KVRN_BAD_ARGUMENT;
    }
    band.original.width = band.decoded.width = width;
    band.original.height = band.decoded.height = height;
    band.original.rgb.assign(rgb, rgb + 3 * std::size_t{width} * height);
    band.decoded.rgb.assign(band.original.rgb.size(), 0);
    band.below = below;
    band.rows = rows;
    return KVRN_OK;
}

// Quantises the band and its halos at the scales; the band's rows as the canvas shows them with
// `channels` (lab_band_rgba) and its block stream (lab_band_stream) are then ready.
EMSCRIPTEN_KEEPALIVE int lab_band_quantise(std::uint32_t y, std::uint32_t cr, std::uint32_t cb,
                                           unsigned channels) {
    const kvrn_scales scales{static_cast<std::uint16_t>(y), static_cast<std::uint16_t>(cr),
                             static_cast<std::uint16_t>(cb)};
    const std::uint32_t above = band.original.height - band.below - band.rows;
    std::size_t halo_size = 0;
    kvrn_status status = quantise_rows(0, band.below, scales, band.scratch, halo_size, nullptr);
    if (status == KVRN_OK) {
        status =
            quantise_rows(band.below + band.rows, above, scales, band.scratch, halo_size, nullptr);
    }
    if (status == KVRN_OK) {
        status =
            quantise_rows(band.below, band.rows, scales, band.file, band.file_size, &band.clipped);
    }
    if (status != KVRN_OK) return status;
    if ((channels & KVRN_CHANNELS_ALL) == KVRN_CHANNELS_ALL) {
        band_rgba(band.decoded.rgb.data());
        return KVRN_OK;
    }
    // Some channels off: the band's file decoded with those, straight into the canvas's layout.
    const std::uint32_t width = band.original.width;
    band.rgba.resize(4 * std::size_t{width} * band.rows);
    const kvrn_output out{band.rgba.data(), band.rgba.size(), 4 * static_cast<ptrdiff_t>(width), 4,
                          KVRN_ROWS_TOP_FIRST};
    return kvrn_decode_into(band.file.data(), band.file_size, &out, channels, 0, 1, nullptr);
}

EMSCRIPTEN_KEEPALIVE const std::uint8_t* lab_band_rgba() {
    return band.rgba.data();
}

// The band's block stream: its file less the header.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* lab_band_stream() {
    return band.file.data() + KVRN_HEADER_BYTES;
}
EMSCRIPTEN_KEEPALIVE std::size_t lab_band_stream_size() {
    return band.file_size - KVRN_HEADER_BYTES;
}
EMSCRIPTEN_KEEPALIVE double lab_band_clipped() {
    return static_cast<double>(band.clipped);
}

// The sums of the band's rows against the original: [squared error over R, G and B, largest
// difference, then a value a band row, bottom first, of the luma's squared error, then as many of
// SSIM sums]. Squared errors are whole numbers far below 2^53, exact as doubles.
EMSCRIPTEN_KEEPALIVE const double* lab_band_sums() {
    const kvrn::picture_view a{band.original.rgb.data(),
                               static_cast<std::int32_t>(band.original.width),
                               static_cast<std::int32_t>(band.original.height)};
    const kvrn::picture_view b{band.decoded.rgb.data(), a.width, a.height};
    const auto first = static_cast<std::int32_t>(band.below);
    const kvrn::lab::row_sums sums =
        kvrn::lab::sum_rows(a, b, first, first + static_cast<std::int32_t>(band.rows));
    band.sums.clear();
    band.sums.push_back(static_cast<double>(sums.sse_rgb));
    band.sums.push_back(sums.max_error);
    band.sums.insert(band.sums.end(), sums.sse_y.begin(), sums.sse_y.end());
    band.sums.insert(band.sums.end(), sums.ssim.begin(), sums.ssim.end());
    return band.sums.data();
}

}  // extern "C"
