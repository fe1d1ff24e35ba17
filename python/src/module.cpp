// kvrn._kvrn: the codec's C interface (codec/include/kvrn.h) and the quantisation lab (lab/lab.h)
// for Python. The package's Python side checks and converts what the caller gives; this side
// takes bytes-like objects and uint8 arrays of packed pixels, runs the codec and the lab without
// the GIL and hands back what they made. Every failure becomes kvrn.Error with its cause in words.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "codec/api/image_rows.h"
#include "codec/byte_reader.h"
#include "codec/include/kvrn.h"
#include "codec/kvrn_format.h"
#include "codec/parallel.h"
#include "codec/picture.h"
#include "lab/lab.h"
#include "python/src/picture_files.h"

namespace py = pybind11;

namespace {

class codec_error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

void check(kvrn_status status) {
    if (status != KVRN_OK) throw codec_error(kvrn_status_text(status));
}

// The bytes of a bytes-like object, held (and kept from resizing) while the object is.
class byte_view {
  public:
    explicit byte_view(const py::object& data) {
        if (PyObject_GetBuffer(data.ptr(), &view_, PyBUF_SIMPLE) != 0) {
            throw py::error_already_set();
        }
    }
    ~byte_view() { PyBuffer_Release(&view_); }
    byte_view(const byte_view&) = delete;
    byte_view& operator=(const byte_view&) = delete;

    const void* data() const { return view_.buf; }
    std::size_t size() const { return static_cast<std::size_t>(view_.len); }

  private:
    Py_buffer view_{};
};

// A uint8 array of height x width x 3 or 4 whose pixels are packed, its rows any stride apart, as
// the C interface reads pictures. The array must outlive the image.
kvrn_image image_of(const py::array& pixels) {
    if (!py::isinstance<py::array_t<std::uint8_t>>(pixels) || pixels.ndim() != 3 ||
        (pixels.shape(2) != 3 && pixels.shape(2) != 4)) {
        throw codec_error("pixels: a uint8 array of height x width x 3 or 4 is needed");
    }
    const py::ssize_t height = pixels.shape(0);
    const py::ssize_t width = pixels.shape(1);
    const py::ssize_t components = pixels.shape(2);
    if (height == 0 || width == 0) check(KVRN_NO_PIXELS);
    if (height > 65535 || width > 65535) check(KVRN_TOO_LARGE);
    if (pixels.strides(2) != 1 || (width > 1 && pixels.strides(1) != components)) {
        throw codec_error("pixels: the samples of each row must be packed");
    }
    // The stride between the rows of a picture of one row says nothing.
    const py::ssize_t stride = height == 1 ? width * components : pixels.strides(0);
    return {static_cast<const std::uint8_t*>(pixels.data()), static_cast<std::uint32_t>(width),
            static_cast<std::uint32_t>(height), static_cast<ptrdiff_t>(stride),
            static_cast<unsigned>(components)};
}

kvrn_scales scales_of(std::uint32_t y, std::uint32_t cr, std::uint32_t cb) {
    for (const std::uint32_t scale : {y, cr, cb}) {
        if (scale < 1 || scale > 65535) check(KVRN_BAD_ARGUMENT);
    }
    return {static_cast<std::uint16_t>(y), static_cast<std::uint16_t>(cr),
            static_cast<std::uint16_t>(cb)};
}

py::dict header_dict(const kvrn_header& header) {
    py::dict fields;
    fields["magic"] = header.magic;
    fields["width"] = header.width;
    fields["height"] = header.height;
    fields["y_scale"] = header.y_scale;
    fields["cr_scale"] = header.cr_scale;
    fields["cb_scale"] = header.cb_scale;
    return fields;
}

// The header at the start of `data`, as far as the bytes go, and the status of reading it.
py::tuple read_header(const py::object& data) {
    const byte_view bytes(data);
    kvrn_header header{};
    const kvrn_status status = kvrn_read_header(bytes.data(), bytes.size(), &header);
    return py::make_tuple(static_cast<int>(status), header_dict(header));
}

// The stream's measure (kvrn_check_stream) and its status; the measure is empty unless it is OK.
py::tuple check_stream(const py::object& data) {
    const byte_view bytes(data);
    kvrn_stream_info info{};
    kvrn_status status = KVRN_OK;
    {
        const py::gil_scoped_release unlocked;
        status = kvrn_check_stream(bytes.data(), bytes.size(), &info);
    }
    py::dict fields = header_dict(info.header);
    fields["blocks_needed"] = info.blocks_needed;
    fields["blocks_held"] = info.blocks_held;
    fields["bytes_held"] = info.bytes_held;
    fields["bytes_needed"] = info.bytes_needed;
    fields["trailing_bytes"] = info.trailing_bytes;
    fields["complete"] = info.complete != 0;
    return py::make_tuple(static_cast<int>(status), fields);
}

// The header of the KVRN file in `bytes`, or the error of a file that cannot be decoded: no
// header, no pixels, or more pixels than `max_pixels` (0: no limit).
kvrn_header decodable_header(const byte_view& bytes, std::uint64_t max_pixels) {
    kvrn_header header{};
    check(kvrn_read_header(bytes.data(), bytes.size(), &header));
    if (header.width == 0 || header.height == 0) check(KVRN_NO_PIXELS);
    if (max_pixels != 0 && std::uint64_t{header.width} * header.height > max_pixels) {
        check(KVRN_TOO_LARGE);
    }
    return header;
}

// The picture in `data`, decoded from `channels`, and the number of blocks its stream lacks.
py::tuple decode(const py::object& data, unsigned channels, unsigned threads,
                 std::uint64_t max_pixels) {
    const byte_view bytes(data);
    const kvrn_header header = decodable_header(bytes, max_pixels);
    py::array_t<std::uint8_t> picture(
        {py::ssize_t{header.height}, py::ssize_t{header.width}, py::ssize_t{3}});
    std::uint64_t missing = 0;
    kvrn_status status = KVRN_OK;
    {
        const py::gil_scoped_release unlocked;
        status = kvrn_decode(bytes.data(), bytes.size(), channels, max_pixels, threads,
                             picture.mutable_data(), 3 * ptrdiff_t{header.width}, &missing);
    }
    check(status);
    return py::make_tuple(picture, missing);
}

// The KVRN file of `pixels` at the scales, and the number of AC coefficients clipped.
py::tuple encode(const py::array& pixels, std::uint32_t y, std::uint32_t cr, std::uint32_t cb,
                 unsigned threads) {
    const kvrn_image image = image_of(pixels);
    const kvrn_scales scales = scales_of(y, cr, cb);
    std::size_t capacity = 0;
    check(kvrn_encoded_bytes_max(image.width, image.height, &capacity));
    // Made as large as the file can be and cut to its length: the codec writes straight into the
    // object Python gets, and only the pages it writes are touched.
    PyObject* out = PyBytes_FromStringAndSize(nullptr, static_cast<py::ssize_t>(capacity));
    if (out == nullptr) throw py::error_already_set();
    auto file = py::reinterpret_steal<py::object>(out);
    std::size_t size = 0;
    std::uint64_t clipped = 0;
    kvrn_status status = KVRN_OK;
    {
        const py::gil_scoped_release unlocked;
        status = kvrn_encode_to_memory(&image, scales, threads,
                                       reinterpret_cast<std::uint8_t*>(PyBytes_AS_STRING(out)),
                                       capacity, &size, &clipped);
    }
    check(status);
    // _PyBytes_Resize frees the object and clears the pointer when it fails.
    out = file.release().ptr();
    if (_PyBytes_Resize(&out, static_cast<py::ssize_t>(size)) != 0) throw py::error_already_set();
    return py::make_tuple(py::reinterpret_steal<py::bytes>(out), clipped);
}

// The smallest scales that clip no AC coefficient of `pixels`.
py::tuple unclipped_scales(const py::array& pixels, unsigned threads) {
    const kvrn_image image = image_of(pixels);
    kvrn_scales scales{};
    kvrn_status status = KVRN_OK;
    {
        const py::gil_scoped_release unlocked;
        status = kvrn_unclipped_scales(&image, threads, &scales);
    }
    check(status);
    return py::make_tuple(scales.y, scales.cr, scales.cb);
}

// What the viewer's window shows for `pixels` at `step` from `channels`.
py::array_t<std::uint8_t> preview(const py::array& pixels, std::int32_t step, unsigned channels,
                                  unsigned threads) {
    const kvrn_image image = image_of(pixels);
    if (step < 1) check(KVRN_BAD_ARGUMENT);
    py::array_t<std::uint8_t> shown(
        {py::ssize_t{image.height}, py::ssize_t{image.width}, py::ssize_t{3}});
    kvrn_status status = KVRN_OK;
    {
        const py::gil_scoped_release unlocked;
        status = kvrn_preview(&image, step, channels, threads, shown.mutable_data(),
                              3 * static_cast<ptrdiff_t>(image.width));
    }
    check(status);
    return shown;
}

// Three 8x8 tables, [channel][row][column], out of a report's field.
py::array_t<std::int32_t> tables(const std::int32_t (&values)[3][64]) {
    py::array_t<std::int32_t> out({3, 8, 8});
    std::copy_n(&values[0][0], 3 * 64, out.mutable_data());
    return out;
}

py::tuple triple(const std::uint32_t (&values)[3]) {
    return py::make_tuple(values[0], values[1], values[2]);
}

// kvrn_inspect's report of block `column`, `row` as a dict of its fields, each table an array of
// three (Y, Cr, Cb, or R, G, B) 8x8 tables, `stored` three rows of 64 values in zig-zag order.
py::dict inspect(const py::array& pixels, std::uint32_t y, std::uint32_t cr, std::uint32_t cb,
                 std::uint32_t column, std::uint32_t row) {
    const kvrn_image image = image_of(pixels);
    const kvrn_scales scales = scales_of(y, cr, cb);
    kvrn_block_report report{};
    kvrn_status status = KVRN_OK;
    {
        const py::gil_scoped_release unlocked;
        status = kvrn_inspect(&image, scales, column, row, &report);
    }
    check(status);
    py::dict fields;
    fields["column"] = report.column;
    fields["row"] = report.row;
    fields["first_pixel_column"] = report.first_pixel_column;
    fields["first_pixel_row"] = report.first_pixel_row;
    fields["pixel_columns"] = report.pixel_columns;
    fields["pixel_rows"] = report.pixel_rows;
    fields["samples"] = tables(report.samples);
    fields["coefficients"] = tables(report.coefficients);
    fields["quantised"] = tables(report.quantised);
    py::array_t<std::int32_t> stored({3, 64});
    std::copy_n(&report.stored[0][0], 3 * 64, stored.mutable_data());
    fields["stored"] = stored;
    fields["stored_count"] = triple(report.stored_count);
    fields["coded_bytes"] = triple(report.coded_bytes);
    fields["clipped"] = triple(report.clipped);
    fields["reconstruction"] = tables(report.reconstruction);
    fields["error"] = tables(report.error);
    fields["rgb"] = tables(report.rgb);
    fields["decoded_rgb"] = tables(report.decoded_rgb);
    return fields;
}

// The lab takes pictures as the tool reads them: packed RGB, row 0 the bottom row.
struct lab_picture {
    std::vector<std::uint8_t> pixels;
    std::int32_t width = 0;
    std::int32_t height = 0;

    kvrn::picture_view view() const { return {pixels.data(), width, height}; }
};

// `image` turned bottom row first, alpha composed onto white as the encoder composes it. Called
// without the GIL.
lab_picture lab_picture_of(const kvrn_image& image) {
    lab_picture picture;
    picture.width = static_cast<std::int32_t>(image.width);
    picture.height = static_cast<std::int32_t>(image.height);
    picture.pixels.resize(kvrn::pixel_offset(picture.width, picture.height, 0));
    kvrn::api::copy_band(image, 0, picture.height, picture.pixels.data());
    return picture;
}

// A lab's map, bottom row first, as a new height x width x 3 array, top row first.
py::array_t<std::uint8_t> top_first_array(const kvrn::lab::drawn_map& map) {
    py::array_t<std::uint8_t> out(
        {py::ssize_t{map.height}, py::ssize_t{map.width}, py::ssize_t{3}});
    std::uint8_t* target = out.mutable_data();
    {
        const py::gil_scoped_release unlocked;
        const std::size_t row = kvrn::pixel_offset(map.width, 1, 0);
        for (std::int32_t y = 0; y < map.height; ++y) {
            std::copy_n(map.pixels.data() + kvrn::pixel_offset(map.width, map.height - 1 - y, 0),
                        row, target + kvrn::pixel_offset(map.width, y, 0));
        }
    }
    return out;
}

unsigned threads_or_cores(unsigned threads) {
    return threads == 0 ? kvrn::default_threads() : threads;
}

// The metrics `names` names, each a name of the lab's table, or all of them for {"all"}; Error
// listing the names for an unknown one.
kvrn::lab::metric_set metrics_of(const std::vector<std::string>& names) {
    if (names.size() == 1 && names[0] == "all") return kvrn::lab::all_metrics;
    kvrn::lab::metric_set wanted = 0;
    for (const std::string& name : names) {
        const std::optional<kvrn::lab::metric_id> id = kvrn::lab::metric_named(name);
        if (!id) {
            throw codec_error("metrics: no metric is called '" + name + "'; the metrics are " +
                              std::string(kvrn::lab::metric_names) + ", or all of them: all");
        }
        wanted |= kvrn::lab::metric_bit(*id);
    }
    if (wanted == 0) {
        throw codec_error("metrics: none named; the metrics are " +
                          std::string(kvrn::lab::metric_names) + ", or all of them: all");
    }
    return wanted;
}

// kvrn diff's figures of `a` against `b`: those of `names` (nothing: kvrn diff's default), each
// under its name in the table's order, then max_error.
py::dict measure(const py::array& a, const py::array& b, unsigned threads,
                 const std::optional<std::vector<std::string>>& names) {
    const kvrn::lab::metric_set wanted = names ? metrics_of(*names) : kvrn::lab::classic_metrics;
    const kvrn_image image_a = image_of(a);
    const kvrn_image image_b = image_of(b);
    if (image_a.width != image_b.width || image_a.height != image_b.height) {
        throw codec_error("only pictures of one size compare");
    }
    std::optional<kvrn::lab::distortion> figures;
    std::string error;
    bool added = false;
    {
        const py::gil_scoped_release unlocked;
        const lab_picture picture_a = lab_picture_of(image_a);
        const lab_picture picture_b = lab_picture_of(image_b);
        const unsigned workers = threads_or_cores(threads);
        figures = kvrn::lab::measure(picture_a.view(), picture_b.view(), workers);
        added = kvrn::lab::add_metrics(picture_a.view(), picture_b.view(), wanted, workers,
                                       *figures, error);
    }
    if (!added) throw codec_error(error);
    py::dict fields;
    for (const kvrn::lab::metric_entry& metric : kvrn::lab::metric_table) {
        if ((wanted & kvrn::lab::metric_bit(metric.id)) != 0)
            fields[metric.name] = kvrn::lab::figure_of(*figures, metric.id);
    }
    fields["max_error"] = figures->max_error;
    return fields;
}

// The bits of the names in `names` among `table`'s; ValueError naming the table's names for
// one that is not there.
template <class table_type>
std::uint32_t named_bits(const std::vector<std::string>& names, const table_type& table,
                         const char* what) {
    std::uint32_t bits = 0;
    for (const std::string& name : names) {
        bool known = false;
        for (const auto& entry : table) {
            if (name == entry.name) {
                bits |= std::uint32_t{1} << static_cast<unsigned>(entry.id);
                known = true;
            }
        }
        if (!known) {
            std::string listed;
            for (const auto& entry : table)
                listed += std::string(listed.empty() ? "" : ", ") + entry.name;
            throw py::value_error("unknown " + std::string(what) + " " + name + ": the " + what +
                                  "s are " + listed);
        }
    }
    return bits;
}

// A setting as Python gives it back: an int where the codec's settings are whole numbers.
py::object setting_object(double setting) {
    if (setting == std::floor(setting)) return py::int_(static_cast<long long>(setting));
    return py::float_(setting);
}

// kvrn sweep's rows for `pixels`: (codec, setting, bytes or None, bits_per_pixel, the six
// metrics in the table's order, max_error, clipped, why the row failed or None, whether that was
// a failure rather than a size the codec does not take) each.
py::list sweep(const py::array& pixels, const py::dict& lists, bool tables,
               const std::vector<std::string>& codecs, const std::vector<std::string>& metrics,
               unsigned threads) {
    const kvrn_image image = image_of(pixels);
    kvrn::lab::sweep_settings settings;
    settings.steps = lists["steps"].cast<std::vector<std::int32_t>>();
    settings.qualities = lists["qualities"].cast<std::vector<std::int32_t>>();
    settings.webp_qualities = lists["webp_qualities"].cast<std::vector<std::int32_t>>();
    settings.avif_quantizers = lists["avif_quantizers"].cast<std::vector<std::int32_t>>();
    settings.jxl_distances = lists["jxl_distances"].cast<std::vector<double>>();
    settings.tables = tables;
    settings.codecs = named_bits(codecs, kvrn::lab::codec_table, "codec");
    settings.metrics = named_bits(metrics, kvrn::lab::metric_table, "metric");
    kvrn::lab::sweep_result swept;
    {
        const py::gil_scoped_release unlocked;
        const lab_picture picture = lab_picture_of(image);
        swept = kvrn::lab::sweep(picture.view(), settings, threads_or_cores(threads));
    }
    if (!swept.error.empty()) throw codec_error(swept.error);
    const std::uint64_t count = std::uint64_t{image.width} * image.height;
    py::list rows;
    for (const kvrn::lab::sweep_row& row : swept.rows) {
        const bool measured = row.problem.empty();
        py::list figures;
        for (const kvrn::lab::metric_entry& metric : kvrn::lab::metric_table)
            figures.append(kvrn::lab::figure_of(row.figures, metric.id));
        rows.append(py::make_tuple(
            row.codec, setting_object(row.setting),
            measured ? py::object(py::int_(row.bytes)) : py::object(py::none()),
            measured ? kvrn::lab::bits_per_pixel(row, count) : NAN, py::tuple(figures),
            row.figures.max_error, row.clipped,
            measured ? py::object(py::none()) : py::object(py::str(row.problem)), row.failed));
    }
    return rows;
}

// kvrn sweep's lists of settings when none are given, by keyword.
py::dict sweep_defaults() {
    const kvrn::lab::sweep_settings settings;
    py::dict lists;
    for (const kvrn::lab::setting_range& range : kvrn::lab::setting_ranges) {
        const std::string keyword = std::string(range.option).substr(2);
        std::string name;
        for (const char c : keyword) name += c == '-' ? '_' : c;
        py::list values;
        for (const double value : kvrn::lab::settings_of(settings, range.list))
            values.append(setting_object(value));
        lists[py::str(name)] = py::tuple(values);
    }
    return lists;
}

// Each codec with the library that makes its files here, the command whose bytes it makes and
// the name of its setting.
py::list codecs() {
    py::list listed;
    for (const kvrn::lab::codec_entry& codec : kvrn::lab::codec_table) {
        py::dict entry;
        entry["name"] = codec.name;
        entry["library"] = kvrn::lab::codec_library(codec.id);
        entry["made_as"] = codec.made_as;
        entry["setting"] = kvrn::lab::range_of(codec.settings).noun;
        listed.append(entry);
    }
    return listed;
}

// kvrn diff's error map of `a` and `b`, and the PNG's description of it.
py::tuple error_map(const py::array& a, const py::array& b, int gain, bool legend) {
    const kvrn_image image_a = image_of(a);
    const kvrn_image image_b = image_of(b);
    if (image_a.width != image_b.width || image_a.height != image_b.height) {
        throw codec_error("only pictures of one size compare");
    }
    if (gain < 1 || gain > 255) check(KVRN_BAD_ARGUMENT);
    std::optional<kvrn::lab::drawn_map> map;
    {
        const py::gil_scoped_release unlocked;
        const lab_picture picture_a = lab_picture_of(image_a);
        const lab_picture picture_b = lab_picture_of(image_b);
        map = kvrn::lab::draw_error_map(picture_a.view(), picture_b.view(), gain, legend);
    }
    if (!map) check(KVRN_BAD_ARGUMENT);
    return py::make_tuple(top_first_array(*map), map->description);
}

// kvrn blocks' map of the KVRN file in `data` (channel 0 Y, 1 Cr, 2 Cb, 3 all three), the PNG's
// description of it, the bytes of each channel's blocks and the number of blocks missing.
py::tuple block_map(const py::object& data, int channel, bool auto_scale, bool legend,
                    std::uint64_t max_pixels) {
    const byte_view bytes(data);
    const kvrn_header header = decodable_header(bytes, max_pixels);
    if (channel < 0 || channel > kvrn::lab::all_channels) check(KVRN_BAD_ARGUMENT);
    std::optional<kvrn::lab::drawn_map> map;
    kvrn::lab::block_bytes counted;
    {
        const py::gil_scoped_release unlocked;
        const auto* start = static_cast<const std::uint8_t*>(bytes.data());
        kvrn::byte_reader stream(start + KVRN_HEADER_BYTES, bytes.size() - KVRN_HEADER_BYTES);
        counted = kvrn::lab::count_block_bytes(stream, header);
        map = kvrn::lab::draw_block_map(counted, header, channel, auto_scale, legend);
    }
    if (!map) check(KVRN_BAD_ARGUMENT);
    return py::make_tuple(top_first_array(*map), map->description,
                          py::make_tuple(counted.channel_bytes[0], counted.channel_bytes[1],
                                         counted.channel_bytes[2]),
                          counted.missing);
}

}  // namespace

PYBIND11_MODULE(_kvrn, module) {
    module.doc() =
        "The KVRN codec's C interface for the kvrn package, which checks the arguments first.";
    py::register_exception<codec_error>(module, "Error", PyExc_ValueError);
    module.attr("MAGIC") = KVRN_MAGIC;
    module.attr("HEADER_BYTES") = KVRN_HEADER_BYTES;
    module.def("version", &kvrn_version,
               "The version of the codec compiled in: MAJOR.MINOR.PATCH.");
    module.def(
        "status_text",
        [](int status) { return kvrn_status_text(static_cast<kvrn_status>(status)); },
        "The words for a status of the C interface.");
    module.def("read_header", &read_header, py::arg("data"));
    module.def("check_stream", &check_stream, py::arg("data"));
    module.def("decode", &decode, py::arg("data"), py::arg("channels"), py::arg("threads"),
               py::arg("max_pixels"));
    module.def("encode", &encode, py::arg("pixels"), py::arg("y"), py::arg("cr"), py::arg("cb"),
               py::arg("threads"));
    module.def("unclipped_scales", &unclipped_scales, py::arg("pixels"), py::arg("threads"));
    module.def("preview", &preview, py::arg("pixels"), py::arg("step"), py::arg("channels"),
               py::arg("threads"));
    module.def("inspect", &inspect, py::arg("pixels"), py::arg("y"), py::arg("cr"), py::arg("cb"),
               py::arg("column"), py::arg("row"));
    module.def("measure", &measure, py::arg("a"), py::arg("b"), py::arg("threads"),
               py::arg("metrics"));
    module.def("sweep", &sweep, py::arg("pixels"), py::arg("lists"), py::arg("tables"),
               py::arg("codecs"), py::arg("metrics"), py::arg("threads"));
    module.def("sweep_defaults", &sweep_defaults);
    module.def("codecs", &codecs);
    module.def("read_picture", &kvrn::python::read_picture, py::arg("path"), py::arg("max_pixels"));
    module.def("error_map", &error_map, py::arg("a"), py::arg("b"), py::arg("gain"),
               py::arg("legend"));
    module.def("block_map", &block_map, py::arg("data"), py::arg("channel"), py::arg("auto_scale"),
               py::arg("legend"), py::arg("max_pixels"));
    for (const auto& [name, value] : std::array<std::pair<const char*, int>, 8>{{
             {"OK", KVRN_OK},
             {"TOO_SHORT", KVRN_TOO_SHORT},
             {"WRONG_MAGIC", KVRN_WRONG_MAGIC},
             {"NO_PIXELS", KVRN_NO_PIXELS},
             {"TOO_LARGE", KVRN_TOO_LARGE},
             {"BAD_ARGUMENT", KVRN_BAD_ARGUMENT},
             {"NO_MEMORY", KVRN_NO_MEMORY},
             {"WRITE_FAILED", KVRN_WRITE_FAILED},
         }}) {
        module.attr(name) = value;
    }
}
