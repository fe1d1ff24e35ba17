// PNG pictures: read through libpng's full API, so that 16-bit samples and alpha reach the tool
// as stored; written through its simplified API.
#pragma once

#include <cstdint>
#include <cstdio>

#include "cli/image.h"

namespace kvrn::cli {

// Reads a PNG picture from `in` as 8-bit RGB: palette and grey become RGB, 16-bit samples are
// scaled as netpbm scales them, and alpha is composed onto white in the sample values, as
// browsers show it (cli/formats/alpha.h), at the file's own depth. Sides a KVRN picture cannot
// have, or more than `max_pixels` pixels, are refused from the header. Complains naming `path`.
bool read_png(std::FILE* in, const char* path, std::uint64_t max_pixels, image& picture);

// Writes `picture` as an 8-bit RGB PNG picture, top row first. Complains naming `path`.
bool write_png(const image& picture, std::FILE* out, const char* path);

}  // namespace kvrn::cli
