// Picture files read for Python by the tool's own readers: what `kvrn encode` and `kvrn sweep`
// read, with the same pixels.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>

namespace kvrn::python {

// The picture at `path` (PNG, JPEG turned upright, any netpbm form), refused from its header when
// it has more than `max_pixels` pixels: (pixels or None, status, messages). The pixels are a new
// uint8 array of height x width x 3, rows top first; status is "ok", "damaged" (read as far as
// the data went: the pixels are there) or "failed" (no pixels); messages are what the tool would
// have said on standard error, a line each, "PATH: what".
pybind11::tuple read_picture(const std::string& path, std::uint64_t max_pixels);

}  // namespace kvrn::python
