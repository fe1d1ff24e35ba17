// The lab page's side of the codec, compiled to WebAssembly and driven by web/worker.js: one
// picture at a time, held in the codec's own order (rows bottom first, packed RGB), so that the
// figures and maps are computed over the rows in the order kvrn diff and kvrn blocks use.
#include <emscripten/emscripten.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "lab/block_map.h"
#include "lab/error_map.h"
#include "lab/metrics.h"
#include "lab/table_quantiser.h"
#include "codec/api/image_rows.h"
#include "codec/block_coding.h"
#include "codec/byte_reader.h"
#include "codec/include/kvrn.h"
#include "codec/picture.h"

namespace {

// The browser's worker has one thread; the results do not depend on the number.
constexpr unsigned threads = 1;

// JavaScript reads the report as 32-bit words at fixed offsets.
static_assert(sizeof(kvrn_block_report) == 1551 * 4);

struct picture {
    std::vector<std::uint8_t> rgb;  // bottom row first
    std::uint32_t width = 0;
    std::uint32_t height = 0;

    // The picture as the C interface takes it: top row first, rows a negative stride apart.
    kvrn_image image() const {
        const std::size_t row = 3 * std::size_t{width};
        return {rgb.data() + (height - 1) * row, width, height, -static_cast<ptrdiff_t>(row), 3};
    }
    std::uint8_t* top_row() { return rgb.data() + (height - 1) * (3 * std::size_t{width}); }
    ptrdiff_t stride() const { return -static_cast<ptrdiff_t>(3 * std::size_t{width}); }
    kvrn::picture_view view() const {
        return {rgb.data(), static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};
    }
    // Every byte is written by whoever fills the picture: only a new size costs anything.
    void allocate(std::uint32_t w, std::uint32_t h) {
        width = w;
        height = h;
        rgb.resize(3 * std::size_t{w} * h);
    }
};

struct session {
    picture original;
    std::vector<std::uint8_t> file;  // room for the longest KVRN file of the picture
    std::size_t file_size = 0;       // the KVRN file of the current scales
    std::uint64_t clipped = 0;
    picture decoded;  // the file decoded with every channel
    picture shown;    // the file decoded with the channels switched on, or the viewer's picture
    bool shown_is_decoded = false;   // every channel on: the shown picture is `decoded`
    picture map;                     // an error or bytes map
    std::vector<std::uint8_t> rgba;  // the last picture handed out, top row first
    std::uint64_t missing = 0;
    // Quantised by tables: no file, the bytes its blocks would take, position by position.
    bool by_tables = false;
    std::vector<std::uint16_t> position_bytes;
    std::string figures;
    kvrn_block_report report{};
};

session lab;

picture* which_picture(int which) {
    switch (which) {
        case 0:
            return &lab.original;
        case 1:
            return lab.shown_is_decoded ? &lab.decoded : &lab.shown;
        case 2:
            return &lab.map;
        case 3:
            return &lab.decoded;
        default:
            return nullptr;
    }
}

kvrn_status decode_file(unsigned channels, picture& into) {
    into.allocate(lab.original.width, lab.original.height);
    return kvrn_decode(lab.file.data(), lab.file_size, channels, 0, threads, into.top_row(),
                       into.stride(), nullptr);
}

}  // namespace

extern "C" {

// Takes a picture the browser decoded (RGBA, top row first, packed), alpha composed onto white as
// kvrn encode composes it.
EMSCRIPTEN_KEEPALIVE int lab_open_rgba(const std::uint8_t* rgba, std::uint32_t width,
                                       std::uint32_t height) {
    const kvrn_image image{rgba, width, height, static_cast<ptrdiff_t>(4 * std::size_t{width}), 4};
    const kvrn_status status = kvrn::api::check_image(&image);
    if (status != KVRN_OK) return status;
    picture next;
    next.allocate(width, height);
    kvrn::api::copy_band(image, 0, static_cast<std::int32_t>(height), next.rgb.data());
    lab.original = std::move(next);
    lab.missing = 0;
    return KVRN_OK;
}

// Decodes a KVRN file as the picture; a cut stream is decoded as far as it goes.
EMSCRIPTEN_KEEPALIVE int lab_open_kvrn(const std::uint8_t* data, std::size_t size,
                                       double max_pixels) {
    kvrn_stream_info info;
    kvrn_status status = kvrn_check_stream(data, size, &info);
    if (status != KVRN_OK) return status;
    if (info.header.width == 0 || info.header.height == 0) return KVRN_NO_PIXELS;
    if (static_cast<double>(info.header.width) * info.header.height > max_pixels) {
        return KVRN_TOO_LARGE;
    }
    picture next;
    next.allocate(info.header.width, info.header.height);
    std::uint64_t missing = 0;
    status = kvrn_decode(data, size, KVRN_CHANNELS_ALL, 0, threads, next.top_row(), next.stride(),
                         &missing);
    if (status != KVRN_OK) return status;
    lab.original = std::move(next);
    lab.missing = missing;
    return KVRN_OK;
}

EMSCRIPTEN_KEEPALIVE double lab_missing_blocks() {
    return static_cast<double>(lab.missing);
}
EMSCRIPTEN_KEEPALIVE double lab_blocks_needed() {
    return 3.0 * static_cast<double>(kvrn_block_positions(lab.original.width, lab.original.height));
}
EMSCRIPTEN_KEEPALIVE std::uint32_t lab_width() {
    return lab.original.width;
}
EMSCRIPTEN_KEEPALIVE std::uint32_t lab_height() {
    return lab.original.height;
}

// Encodes the picture with the scales, decodes the file with every channel and, into the shown
// picture, with `channels`.
EMSCRIPTEN_KEEPALIVE int lab_quantise(std::uint32_t y, std::uint32_t cr, std::uint32_t cb,
                                      unsigned channels) {
    const kvrn_image image = lab.original.image();
    const kvrn_scales scales{static_cast<std::uint16_t>(y), static_cast<std::uint16_t>(cr),
                             static_cast<std::uint16_t>(cb)};
    size_t capacity = 0;
    kvrn_status status = kvrn_encoded_bytes_max(image.width, image.height, &capacity);
    if (status != KVRN_OK) return status;
    lab.by_tables = false;
    lab.file.resize(capacity);
    lab.file_size = 0;
    status = kvrn_encode_to_memory(&image, scales, threads, lab.file.data(), capacity,
                                   &lab.file_size, &lab.clipped);
    if (status != KVRN_OK) return status;
    status = decode_file(KVRN_CHANNELS_ALL, lab.decoded);
    if (status != KVRN_OK) return status;
    lab.shown_is_decoded = channels == KVRN_CHANNELS_ALL;
    return lab.shown_is_decoded ? KVRN_OK : decode_file(channels, lab.shown);
}

// Quantises the picture by `tables` (Y, Cr, Cb: 64 divisors each, row-major by frequency) and
// reconstructs it as lab_quantise does; the figures then count the bytes KVRN's block coding
// would spend, and there is no file to save.
EMSCRIPTEN_KEEPALIVE int lab_quantise_tables(const std::int32_t* tables, unsigned channels) {
    kvrn::lab::quantisation_tables divisors{};
    for (std::size_t c = 0; c < 3; ++c) {
        for (std::size_t i = 0; i < 64; ++i) {
            const std::int32_t d = tables[64 * c + i];
            if (d < 1 || d > 65535) return KVRN_BAD_ARGUMENT;
            divisors[c][i] = d;
        }
    }
    lab.decoded.allocate(lab.original.width, lab.original.height);
    lab.shown_is_decoded = channels == KVRN_CHANNELS_ALL;
    if (!lab.shown_is_decoded) lab.shown.allocate(lab.original.width, lab.original.height);
    kvrn::lab::table_coding coding = kvrn::lab::quantise_with_tables(
        lab.original.view(), divisors, channels, lab.decoded.rgb.data(),
        lab.shown_is_decoded ? nullptr : lab.shown.rgb.data());
    lab.by_tables = true;
    lab.file_size = static_cast<std::size_t>(coding.bytes);
    lab.clipped = coding.clipped;
    lab.position_bytes = std::move(coding.position_bytes);
    return KVRN_OK;
}

EMSCRIPTEN_KEEPALIVE const std::uint8_t* lab_file() {
    return lab.file.data();
}
EMSCRIPTEN_KEEPALIVE std::size_t lab_file_size() {
    return lab.file_size;
}

// What the viewer's window shows at `step`, into the shown picture.
EMSCRIPTEN_KEEPALIVE int lab_viewer(std::int32_t step, unsigned channels) {
    const kvrn_image image = lab.original.image();
    lab.shown_is_decoded = false;
    lab.shown.allocate(image.width, image.height);
    return kvrn_preview(&image, step, channels, threads, lab.shown.top_row(), lab.shown.stride());
}

// The map kvrn diff writes of the picture against its file decoded (lab_quantise first).
EMSCRIPTEN_KEEPALIVE int lab_error_map(int gain) {
    const std::optional<std::vector<std::uint8_t>> map =
        kvrn::lab::error_map(lab.original.view(), lab.decoded.view(), gain);
    if (!map) return KVRN_BAD_ARGUMENT;
    lab.map.width = lab.original.width;
    lab.map.height = lab.original.height;
    lab.map.rgb = *map;
    return KVRN_OK;
}

// The map kvrn blocks writes of the file (lab_quantise first): each block position coloured by
// the bytes of its three coded blocks, read as the decoder reads them.
EMSCRIPTEN_KEEPALIVE int lab_bytes_map() {
    const auto width = static_cast<std::int32_t>(lab.original.width);
    const auto height = static_cast<std::int32_t>(lab.original.height);
    const std::int32_t columns = kvrn::blocks_covering(width);
    const std::int32_t rows = kvrn::blocks_covering(height);
    std::vector<std::uint16_t> bytes(static_cast<std::size_t>(columns) *
                                     static_cast<std::size_t>(rows));
    if (lab.by_tables) {
        bytes = lab.position_bytes;
    } else {
        kvrn::byte_reader reader(lab.file.data() + KVRN_HEADER_BYTES,
                                 lab.file_size - KVRN_HEADER_BYTES);
        kvrn::coef_block block{};
        for (std::uint16_t& count : bytes) {
            for (int c = 0; c < 3; ++c) {
                const std::uint64_t before = reader.consumed();
                (void)kvrn::read_block(block, reader);
                count = static_cast<std::uint16_t>(count + (reader.consumed() - before));
            }
        }
    }
    std::optional<kvrn::lab::block_map_picture> map =
        kvrn::lab::block_map(bytes, columns, rows, width, height, kvrn::lab::block_bytes_least,
                             kvrn::lab::block_bytes_most, "its Y, Cr and Cb blocks");
    if (!map) return KVRN_BAD_ARGUMENT;
    lab.map.width = lab.original.width;
    lab.map.height = lab.original.height;
    lab.map.rgb = std::move(map->pixels);
    return KVRN_OK;
}

// The figures of the file against the picture, as kvrn sweep and kvrn diff print them:
// "bytes bits_per_pixel psnr_rgb psnr_y ssim_y clipped".
EMSCRIPTEN_KEEPALIVE const char* lab_figures() {
    const std::optional<kvrn::lab::distortion> d =
        kvrn::lab::compare(lab.original.view(), lab.decoded.view(), threads);
    if (!d) return "";
    const double pixels = static_cast<double>(lab.original.width) * lab.original.height;
    const double bits = static_cast<double>(lab.file_size) * 8 / pixels;
    lab.figures = std::to_string(lab.file_size) + " " + kvrn::lab::decimals(bits, 4) + " " +
                  kvrn::lab::decimals(d->psnr_rgb, 3) + " " + kvrn::lab::decimals(d->psnr_y, 3) +
                  " " + kvrn::lab::decimals(d->ssim_y, 5) + " " + std::to_string(lab.clipped);
    return lab.figures.c_str();
}

// One of the pictures (0 the original, 1 the shown, 2 the map, 3 the file decoded) as RGBA, top
// row first, for a canvas.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* lab_rgba(int which) {
    const picture* p = which_picture(which);
    if (p == nullptr || p->rgb.empty()) return nullptr;
    const std::size_t width = p->width;
    lab.rgba.resize(4 * width * p->height);
    std::uint8_t* out = lab.rgba.data();
    for (std::size_t row = p->height; row-- > 0;) {
        const std::uint8_t* in = p->rgb.data() + 3 * width * row;
        for (std::size_t x = 0; x < width; ++x, in += 3, out += 4) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            out[3] = 255;
        }
    }
    return lab.rgba.data();
}

// The report of block `column`, `row` (from the top-left) at the scales; null when there is none.
EMSCRIPTEN_KEEPALIVE const kvrn_block_report* lab_inspect(std::uint32_t column, std::uint32_t row,
                                                          std::uint32_t y, std::uint32_t cr,
                                                          std::uint32_t cb) {
    const kvrn_image image = lab.original.image();
    const kvrn_scales scales{static_cast<std::uint16_t>(y), static_cast<std::uint16_t>(cr),
                             static_cast<std::uint16_t>(cb)};
    return kvrn_inspect(&image, scales, column, row, &lab.report) == KVRN_OK ? &lab.report
                                                                             : nullptr;
}

EMSCRIPTEN_KEEPALIVE const char* lab_status_text(int status) {
    return kvrn_status_text(static_cast<kvrn_status>(status));
}

EMSCRIPTEN_KEEPALIVE int lab_zigzag_index(int n) {
    return kvrn_zigzag_index(n);
}

}  // extern "C"
