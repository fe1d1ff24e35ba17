// PNG pictures through libpng's simplified API.
#pragma once

#include <cstdio>

#include "cli/image.h"

namespace kvrn::cli {

// Reads a PNG picture from `in` as 8-bit RGB: grey, palette and 16-bit forms are converted and
// alpha is composed onto white, the colour the viewer's window shows around a picture. Sides
// a KVRN picture cannot have are refused. Complains naming `path`.
bool read_png(std::FILE* in, const char* path, image& picture);

// Writes `picture` as an 8-bit RGB PNG picture, top row first. Complains naming `path`.
bool write_png(const image& picture, std::FILE* out, const char* path);

}  // namespace kvrn::cli
