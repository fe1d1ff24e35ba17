#include "python/src/picture_files.h"

#include <pybind11/numpy.h>

#include <cstddef>
#include <cstring>

#include "cli/image.h"
#include "cli/picture_bands.h"
#include "cli/report.h"

namespace py = pybind11;

namespace kvrn::python {

py::tuple read_picture(const std::string& path, std::uint64_t max_pixels) {
    std::string messages;
    cli::image picture;
    bool read = false;
    bool damaged = false;
    {
        const py::gil_scoped_release unlocked;
        const cli::kept_messages kept(messages);
        cli::picture_bands bands;
        read = bands.open(path.c_str(), max_pixels) &&
               cli::allocate(picture, bands.width(), bands.height(), path) &&
               bands.read_rows(0, bands.height(), picture.pixels.get());
        damaged = read && bands.report_damage();
    }
    if (!read) return py::make_tuple(py::none(), "failed", messages);
    const auto width = static_cast<std::size_t>(picture.width);
    const auto height = static_cast<std::size_t>(picture.height);
    py::array_t<std::uint8_t> pixels({height, width, std::size_t{3}});
    // The tool holds the bottom row first; numpy's pictures start at the top.
    const std::size_t row_bytes = width * 3;
    std::uint8_t* out = pixels.mutable_data();
    for (std::size_t row = 0; row < height; ++row) {
        std::memcpy(out + row * row_bytes, picture.pixels.get() + (height - 1 - row) * row_bytes,
                    row_bytes);
    }
    return py::make_tuple(pixels, damaged ? "damaged" : "ok", messages);
}

}  // namespace kvrn::python
