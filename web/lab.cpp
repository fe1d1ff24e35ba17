// The lab page's side of the codec, compiled to WebAssembly and driven by web/worker.js through
// web/lab_module.js: one picture at a time, held in the codec's own order (rows bottom first,
// packed RGB), so that the figures and maps are computed over the rows in the order kvrn diff and
// kvrn blocks use.
#include "lab/lab.h"

#include <emscripten/emscripten.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "codec/api/image_rows.h"
#include "codec/block_coding.h"
#include "codec/byte_reader.h"
#include "codec/include/kvrn.h"
#include "codec/kvrn_format.h"
#include "codec/picture.h"
#include "lab/block_map.h"
#include "lab/colour_ramp.h"
#include "lab/error_map.h"
#include "lab/jpeg_codec.h"
#include "lab/map_scales.h"
#include "lab/metrics.h"
#include "lab/table_quantiser.h"
#include "web/canvas_rows.h"

namespace {

// The browser's worker has one thread; the results do not depend on the number.
constexpr unsigned threads = 1;

// The pictures lab_rgba hands out.
enum picture_kind : int { original_picture, shown_picture, map_picture, decoded_picture };

// One figure: its number, and its text as kvrn sweep and kvrn diff print it ("nan", "inf" and
// the decimals included), which is what the page shows.
struct figure {
    double value;
    char text[32];
};

// The figures of the file against the picture, as lab_figures leaves them.
struct figures_record {
    figure bytes;
    figure bits_per_pixel;
    figure psnr_rgb;
    figure psnr_y;
    figure ssim_y;
    figure clipped;
};

// What the codec read of the first bytes of a file, as lab_read_header leaves it.
struct header_record {
    std::int32_t status;  // kvrn_read_header's
    std::int32_t kvrn;    // 1 when the bytes begin with the magic number, even if they stop short
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t y_scale;
    std::uint32_t cr_scale;
    std::uint32_t cb_scale;
};

// A JSON object, written member by member.
class json_object {
  public:
    json_object& member(const char* name, const std::string& json) {
        text_ += (text_.size() > 1 ? ",\"" : "\"") + std::string(name) + "\":" + json;
        return *this;
    }
    json_object& number(const char* name, long long value) {
        return member(name, std::to_string(value));
    }
    std::string text() const { return text_ + "}"; }

  private:
    std::string text_ = "{";
};

// A field of a record as the interface table describes it: its byte offset, its 32-bit type and
// its shape ([] a number, [3] a number a channel, [3,64] a table a channel).
template <class T>
std::string field_json(std::size_t offset) {
    using element = std::remove_all_extents_t<T>;
    static_assert(sizeof(element) == 4 && std::is_integral_v<element>);
    static_assert(std::rank_v<T> <= 2);
    std::string shape = "[";
    if constexpr (std::rank_v<T> >= 1) shape += std::to_string(std::extent_v<T, 0>);
    if constexpr (std::rank_v<T> >= 2) shape += "," + std::to_string(std::extent_v<T, 1>);
    return json_object()
        .number("offset", static_cast<long long>(offset))
        .member("type", std::is_signed_v<element> ? "\"i32\"" : "\"u32\"")
        .member("shape", shape + "]")
        .text();
}

// The name and the type of a field are the record's own.
#define LAB_FIELD(record, name) \
    member(#name, field_json<decltype(record::name)>(offsetof(record, name)))

// The numbers the page and its worker share with this module, as JSON: the statuses, the channel
// bits, the picture kinds, and where the fields of the records handed out lie.
std::string interface_table() {
    json_object statuses;
    for (const auto& [name, status] : std::initializer_list<std::pair<const char*, kvrn_status>>{
             {"ok", KVRN_OK},
             {"too_short", KVRN_TOO_SHORT},
             {"wrong_magic", KVRN_WRONG_MAGIC},
             {"no_pixels", KVRN_NO_PIXELS},
             {"too_large", KVRN_TOO_LARGE},
             {"bad_argument", KVRN_BAD_ARGUMENT},
             {"no_memory", KVRN_NO_MEMORY},
             {"write_failed", KVRN_WRITE_FAILED}}) {
        statuses.number(name, status);
    }
    json_object channels;
    channels.number("y", KVRN_CHANNEL_Y)
        .number("cr", KVRN_CHANNEL_CR)
        .number("cb", KVRN_CHANNEL_CB);
    json_object pictures;
    pictures.number("original", original_picture)
        .number("shown", shown_picture)
        .number("map", map_picture)
        .number("decoded", decoded_picture);
    json_object header;
    header.LAB_FIELD(header_record, status)
        .LAB_FIELD(header_record, kvrn)
        .LAB_FIELD(header_record, width)
        .LAB_FIELD(header_record, height)
        .LAB_FIELD(header_record, y_scale)
        .LAB_FIELD(header_record, cr_scale)
        .LAB_FIELD(header_record, cb_scale);
    json_object figures;
    for (const auto& [name, offset] : std::initializer_list<std::pair<const char*, std::size_t>>{
             {"bytes", offsetof(figures_record, bytes)},
             {"bits_per_pixel", offsetof(figures_record, bits_per_pixel)},
             {"psnr_rgb", offsetof(figures_record, psnr_rgb)},
             {"psnr_y", offsetof(figures_record, psnr_y)},
             {"ssim_y", offsetof(figures_record, ssim_y)},
             {"clipped", offsetof(figures_record, clipped)}}) {
        figures.member(name, json_object()
                                 .number("value", offset + offsetof(figure, value))
                                 .number("text", offset + offsetof(figure, text))
                                 .text());
    }
    json_object report;
    report.LAB_FIELD(kvrn_block_report, column)
        .LAB_FIELD(kvrn_block_report, row)
        .LAB_FIELD(kvrn_block_report, first_pixel_column)
        .LAB_FIELD(kvrn_block_report, first_pixel_row)
        .LAB_FIELD(kvrn_block_report, pixel_columns)
        .LAB_FIELD(kvrn_block_report, pixel_rows)
        .LAB_FIELD(kvrn_block_report, samples)
        .LAB_FIELD(kvrn_block_report, coefficients)
        .LAB_FIELD(kvrn_block_report, quantised)
        .LAB_FIELD(kvrn_block_report, stored)
        .LAB_FIELD(kvrn_block_report, stored_count)
        .LAB_FIELD(kvrn_block_report, coded_bytes)
        .LAB_FIELD(kvrn_block_report, clipped)
        .LAB_FIELD(kvrn_block_report, reconstruction)
        .LAB_FIELD(kvrn_block_report, error)
        .LAB_FIELD(kvrn_block_report, rgb)
        .LAB_FIELD(kvrn_block_report, decoded_rgb);
    const auto record = [](std::size_t bytes, const json_object& fields) {
        return json_object()
            .number("bytes", static_cast<long long>(bytes))
            .member("fields", fields.text())
            .text();
    };
    return json_object()
        .member("status", statuses.text())
        .member("channels", channels.text())
        .member("pictures", pictures.text())
        .number("header_bytes", KVRN_HEADER_BYTES)
        .member("header", record(sizeof(header_record), header))
        .member("figures", record(sizeof(figures_record), figures))
        .member("report", record(sizeof(kvrn_block_report), report))
        .text();
}

#undef LAB_FIELD

// `text` as a JSON string.
std::string json_string(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

// A number as JSON, to the digits a double holds.
std::string json_number(double value) {
    char text[32];
    (void)std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// The figure's text, cut to the room there is (a figure is never near that long).
void set_figure(figure& f, double value, const std::string& text) {
    f.value = value;
    const std::size_t length = std::min(text.size(), sizeof f.text - 1);
    std::memcpy(f.text, text.data(), length);
    f.text[length] = '\0';
}

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
    kvrn::lab::map_scale bar;        // the scale of its colour bar
    std::vector<std::uint8_t> rgba;  // the last picture handed out, top row first
    // The file decoded with some channels off is only ever looked at, never measured: the decoder
    // writes it as the canvas takes it (RGBA, top row first) and lab_rgba hands it out as it is.
    std::vector<std::uint8_t> shown_rgba;
    bool shown_is_rgba = false;
    std::uint64_t missing = 0;
    // A whole KVRN file opened as the picture: its bytes and scales. Quantised at those scales the
    // picture is the file itself (quantising its decoded picture again would make another file).
    std::vector<std::uint8_t> own_file;
    kvrn_scales own_scales{};
    // Quantised by tables: no file, the bytes its blocks would take, position by position.
    bool by_tables = false;
    std::vector<std::uint16_t> position_bytes;
    figures_record figures{};
    header_record header{};
    kvrn_block_report report{};
};

session lab;

picture* which_picture(int which) {
    switch (which) {
        case original_picture:
            return &lab.original;
        case shown_picture:
            return lab.shown_is_decoded ? &lab.decoded : &lab.shown;
        case map_picture:
            return &lab.map;
        case decoded_picture:
            return &lab.decoded;
        default:
            return nullptr;
    }
}

bool own_scales(std::uint32_t y, std::uint32_t cr, std::uint32_t cb) {
    return !lab.own_file.empty() && lab.own_scales.y == y && lab.own_scales.cr == cr &&
           lab.own_scales.cb == cb;
}

kvrn_status decode_file(unsigned channels, picture& into) {
    into.allocate(lab.original.width, lab.original.height);
    return kvrn_decode(lab.file.data(), lab.file_size, channels, 0, threads, into.top_row(),
                       into.stride(), nullptr);
}

// The file decoded with `channels` straight into `rgba` as a canvas takes it.
kvrn_status decode_file_rgba(unsigned channels, std::vector<std::uint8_t>& rgba) {
    const std::uint32_t width = lab.original.width;
    rgba.resize(4 * std::size_t{width} * lab.original.height);
    const kvrn_output out{rgba.data(), rgba.size(), 4 * static_cast<ptrdiff_t>(width), 4,
                          KVRN_ROWS_TOP_FIRST};
    return kvrn_decode_into(lab.file.data(), lab.file_size, &out, channels, 0, threads, nullptr);
}

// The figures of a file of `bytes` bytes against the picture, which it compares as `d`, numbers
// and texts as kvrn sweep and kvrn diff print them, into the record lab_interface describes.
const figures_record* set_figures(const kvrn::lab::distortion& d, std::size_t bytes,
                                  std::uint64_t clipped) {
    const double pixels = static_cast<double>(lab.original.width) * lab.original.height;
    const double bits = static_cast<double>(bytes) * 8 / pixels;
    figures_record& f = lab.figures;
    set_figure(f.bytes, static_cast<double>(bytes), std::to_string(bytes));
    set_figure(f.bits_per_pixel, bits, kvrn::lab::decimals(bits, 4));
    set_figure(f.psnr_rgb, d.psnr_rgb, kvrn::lab::decimals(d.psnr_rgb, 3));
    set_figure(f.psnr_y, d.psnr_y, kvrn::lab::decimals(d.psnr_y, 3));
    set_figure(f.ssim_y, d.ssim_y, kvrn::lab::decimals(d.ssim_y, 5));
    set_figure(f.clipped, static_cast<double>(clipped), std::to_string(clipped));
    return &f;
}

// The tables JavaScript hands over, Y's, Cr's and Cb's 64 divisors one after another, into
// `divisors`; false when an entry is outside 1..65535.
bool divisors_of(const std::int32_t* tables, kvrn::lab::quantisation_tables& divisors) {
    for (std::size_t c = 0; c < 3; ++c) {
        for (std::size_t i = 0; i < 64; ++i) {
            const std::int32_t d = tables[64 * c + i];
            if (d < 1 || d > 65535) return false;
            divisors[c][i] = d;
        }
    }
    return true;
}

}  // namespace

extern "C" {

// The interface table (interface_table), made once.
EMSCRIPTEN_KEEPALIVE const char* lab_interface() {
    static const std::string table = interface_table();
    return table.c_str();
}

// Reads the header at the start of `data` with the codec, into the record lab_interface
// describes; a file that is not KVRN's is told by `kvrn`, as the picture decoders get it next.
EMSCRIPTEN_KEEPALIVE const header_record* lab_read_header(const std::uint8_t* data,
                                                          std::size_t size) {
    kvrn_header header{};
    const kvrn_status status = kvrn_read_header(data, size, &header);
    lab.header = {status,         header.magic == KVRN_MAGIC ? 1 : 0,
                  header.width,   header.height,
                  header.y_scale, header.cr_scale,
                  header.cb_scale};
    return &lab.header;
}

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
    lab.own_file.clear();
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
    // A file cut short is not itself at its scales: the blocks it lacks would be coded anew.
    if (missing == 0) {
        lab.own_file.assign(data, data + size);
        lab.own_scales = {info.header.y_scale, info.header.cr_scale, info.header.cb_scale};
    } else {
        lab.own_file.clear();
    }
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
    lab.by_tables = false;
    kvrn_status status = KVRN_OK;
    if (own_scales(y, cr, cb)) {
        // The file opened, at its own scales: its bytes, and the picture they decode to. How many
        // coefficients its encoder clipped, the file does not say.
        lab.file = lab.own_file;
        lab.file_size = lab.own_file.size();
        lab.clipped = 0;
        lab.decoded = lab.original;
    } else {
        size_t capacity = 0;
        status = kvrn_encoded_bytes_max(image.width, image.height, &capacity);
        if (status != KVRN_OK) return status;
        lab.file.resize(capacity);
        lab.file_size = 0;
        status = kvrn_encode_to_memory(&image, scales, threads, lab.file.data(), capacity,
                                       &lab.file_size, &lab.clipped);
        if (status != KVRN_OK) return status;
        status = decode_file(KVRN_CHANNELS_ALL, lab.decoded);
        if (status != KVRN_OK) return status;
    }
    lab.shown_is_decoded = channels == KVRN_CHANNELS_ALL;
    lab.shown_is_rgba = !lab.shown_is_decoded;
    return lab.shown_is_decoded ? KVRN_OK : decode_file_rgba(channels, lab.shown_rgba);
}

// Quantises the picture by `tables` (Y, Cr, Cb: 64 divisors each, row-major by frequency) and
// reconstructs it as lab_quantise does; the figures then count the bytes KVRN's block coding
// would spend, and there is no file to save.
EMSCRIPTEN_KEEPALIVE int lab_quantise_tables(const std::int32_t* tables, unsigned channels) {
    kvrn::lab::quantisation_tables divisors{};
    if (!divisors_of(tables, divisors)) return KVRN_BAD_ARGUMENT;
    lab.decoded.allocate(lab.original.width, lab.original.height);
    lab.shown_is_decoded = channels == KVRN_CHANNELS_ALL;
    lab.shown_is_rgba = false;
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

// The size of the picture's KVRN file at `step` in all three channels, or 0 when it cannot be
// made; what the page shows stays as it is. The target size's bisection asks for one step after
// another, so the file is coded into a buffer kept for the next.
EMSCRIPTEN_KEEPALIVE double lab_file_size_at(std::uint32_t step) {
    static std::vector<std::uint8_t> sized;
    if (own_scales(step, step, step)) return static_cast<double>(lab.own_file.size());
    const kvrn_image image = lab.original.image();
    const auto scale = static_cast<std::uint16_t>(step);
    size_t capacity = 0;
    if (kvrn_encoded_bytes_max(image.width, image.height, &capacity) != KVRN_OK) return 0;
    sized.resize(capacity);
    size_t size = 0;
    if (kvrn_encode_to_memory(&image, {scale, scale, scale}, threads, sized.data(), capacity, &size,
                              nullptr) != KVRN_OK) {
        return 0;
    }
    return static_cast<double>(size);
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
    lab.shown_is_rgba = false;
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
    lab.bar = kvrn::lab::error_map_scale_bar(gain);
    return KVRN_OK;
}

// The map kvrn blocks writes of the file (lab_quantise first): each block position coloured by
// the bytes of its three coded blocks, read as the decoder reads them, on the fixed scale or,
// with `auto_scale`, on the file's own range, as kvrn blocks --scale auto.
EMSCRIPTEN_KEEPALIVE int lab_bytes_map(int auto_scale) {
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
        for (std::uint16_t& count : bytes) {
            count = static_cast<std::uint16_t>(kvrn::read_position_bytes(reader).total());
        }
    }
    kvrn::lab::map_scale bar =
        kvrn::lab::block_map_scale_bar(bytes, kvrn::lab::all_channels, auto_scale != 0);
    std::optional<kvrn::lab::block_map_picture> map =
        kvrn::lab::block_map(bytes, columns, rows, width, height, static_cast<int>(bar.least),
                             static_cast<int>(bar.most), "its Y, Cr and Cb blocks");
    if (!map) return KVRN_BAD_ARGUMENT;
    lab.map.width = lab.original.width;
    lab.map.height = lab.original.height;
    lab.map.rgb = std::move(map->pixels);
    lab.bar = std::move(bar);
    return KVRN_OK;
}

// The colour bar of the last map made, as JSON: its ends, its caption and its figures, each with
// where it lies along the bar (0 the black end, 1 the pale yellow end), as kvrn diff and kvrn
// blocks draw them under their maps.
EMSCRIPTEN_KEEPALIVE const char* lab_map_bar() {
    static std::string json;
    std::string ticks = "[";
    for (const kvrn::lab::legend_tick& tick : kvrn::lab::legend_ticks(lab.bar)) {
        ticks += (ticks.size() > 1 ? "," : "") + json_object()
                                                     .member("value", json_number(tick.value))
                                                     .member("along", json_number(tick.along))
                                                     .member("text", json_string(tick.text))
                                                     .text();
    }
    json = json_object()
               .member("least", json_number(lab.bar.least))
               .member("most", json_number(lab.bar.most))
               .member("caption", json_string(lab.bar.caption))
               .member("ticks", ticks + "]")
               .text();
    return json.c_str();
}

// The maps' colour ramp as 256 RGBA pixels, black to pale yellow: the colour an error map gives
// a difference of i at gain 1, and the bar's colours at i / 255 of its length.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* lab_ramp_rgba() {
    static std::array<std::uint8_t, 4 * 256> rgba{};
    for (std::size_t i = 0; i < 256; ++i) {
        const kvrn::lab::rgb8 c = kvrn::lab::ramp_colour(static_cast<double>(i) / 255);
        rgba[4 * i] = c.r;
        rgba[4 * i + 1] = c.g;
        rgba[4 * i + 2] = c.b;
        rgba[4 * i + 3] = 255;
    }
    return rgba.data();
}

// The figures of the file against the picture; null when they cannot be had.
EMSCRIPTEN_KEEPALIVE const figures_record* lab_figures() {
    const std::optional<kvrn::lab::distortion> d =
        kvrn::lab::measure(lab.original.view(), lab.decoded.view(), threads);
    if (!d) return nullptr;
    return set_figures(*d, lab.file_size, lab.clipped);
}

// The figures of a file of `bytes` bytes, quantised band by band by the page's pool of workers,
// from its rows' sums (lab_band_sums of each band, in row order: `height` values of the luma's
// squared error, then as many SSIM sums, bottom row first).
EMSCRIPTEN_KEEPALIVE const figures_record* lab_figures_of_sums(const double* rows, double sse_rgb,
                                                               int max_error, double bytes,
                                                               double clipped) {
    const auto width = static_cast<std::int32_t>(lab.original.width);
    const auto height = static_cast<std::int32_t>(lab.original.height);
    const kvrn::lab::distortion d = kvrn::lab::figures_of_sums(
        width, height, static_cast<std::uint64_t>(sse_rgb), max_error, rows, rows + height);
    return set_figures(d, static_cast<std::size_t>(bytes), static_cast<std::uint64_t>(clipped));
}

// The figures of the picture's baseline JPEG at `quality` (4:2:0 when `half`, else 4:4:4), as
// kvrn sweep's jpeg420 and jpeg444 rows give them: the lab's encoder and decoder over the same
// libjpeg-turbo, fed the rows top first as the sweep feeds them and measured in that order; null
// when the library refuses the picture. What the page shows stays as it is.
EMSCRIPTEN_KEEPALIVE const figures_record* lab_jpeg_figures(int quality, int half) {
    const picture& original = lab.original;
    const std::size_t row = 3 * std::size_t{original.width};
    std::vector<std::uint8_t> top_first(original.rgb.size());
    for (std::size_t y = 0; y < original.height; ++y) {
        std::memcpy(top_first.data() + y * row,
                    original.rgb.data() + (original.height - 1 - y) * row, row);
    }
    const kvrn::picture_view picture{top_first.data(), static_cast<std::int32_t>(original.width),
                                     static_cast<std::int32_t>(original.height)};
    std::vector<std::uint8_t> file;
    kvrn::lab::decoded_jpeg decoded;
    std::string error;
    const kvrn::lab::jpeg_sampling sampling =
        half != 0 ? kvrn::lab::jpeg_sampling::half : kvrn::lab::jpeg_sampling::full;
    if (!kvrn::lab::encode_jpeg(picture, quality, sampling, file, error) ||
        !kvrn::lab::decode_jpeg(file.data(), file.size(), UINT64_MAX, decoded, error)) {
        return nullptr;
    }
    const std::optional<kvrn::lab::distortion> d = kvrn::lab::compare(
        picture, {decoded.pixels.data(), decoded.width, decoded.height}, threads);
    if (!d) return nullptr;
    return set_figures(*d, file.size(), 0);
}

// Rows [first, first + count) of the picture, packed RGB, bottom row first: a band for a worker
// of the pool.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* lab_original_rows(std::uint32_t first) {
    return lab.original.rgb.data() + first * (3 * std::size_t{lab.original.width});
}

// The header of the picture's KVRN file at the scales, 14 bytes.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* lab_file_header(std::uint32_t y, std::uint32_t cr,
                                                         std::uint32_t cb) {
    static std::array<std::uint8_t, KVRN_HEADER_BYTES> bytes{};
    bytes = kvrn::format_header({kvrn::kvrn_magic, static_cast<std::uint16_t>(lab.original.width),
                                 static_cast<std::uint16_t>(lab.original.height),
                                 static_cast<std::uint16_t>(y), static_cast<std::uint16_t>(cr),
                                 static_cast<std::uint16_t>(cb)});
    return bytes.data();
}

// One of the pictures (a picture_kind: the original, the shown, the map, the file decoded) as
// RGBA, top row first, for a canvas.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* lab_rgba(int which) {
    if (which == shown_picture && lab.shown_is_rgba && !lab.shown_rgba.empty()) {
        return lab.shown_rgba.data();
    }
    const picture* p = which_picture(which);
    if (p == nullptr || p->rgb.empty()) return nullptr;
    const std::size_t width = p->width;
    lab.rgba.resize(4 * width * p->height);
    kvrn::web::rgb_rows_to_rgba(p->rgb.data(), width, 0, p->height, lab.rgba.data());
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

// The report of block `column`, `row` quantised by `tables` (laid out as lab_quantise_tables
// takes them), as kvrn inspect --table gives it; null when there is none.
EMSCRIPTEN_KEEPALIVE const kvrn_block_report* lab_inspect_tables(std::uint32_t column,
                                                                 std::uint32_t row,
                                                                 const std::int32_t* tables) {
    kvrn::lab::quantisation_tables divisors{};
    if (!divisors_of(tables, divisors)) return nullptr;
    const kvrn_image image = lab.original.image();
    return kvrn::lab::inspect_with_tables(&image, divisors, column, row, &lab.report) == KVRN_OK
               ? &lab.report
               : nullptr;
}

EMSCRIPTEN_KEEPALIVE const char* lab_status_text(int status) {
    return kvrn_status_text(static_cast<kvrn_status>(status));
}

EMSCRIPTEN_KEEPALIVE int lab_zigzag_index(int n) {
    return kvrn_zigzag_index(n);
}

}  // extern "C"
