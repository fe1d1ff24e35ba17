// Binary PPM pictures (P6, maxval 255): read whole or header first, written top row first.
#pragma once

#include <cstdint>
#include <cstdio>

#include "cli/image.h"

namespace kvrn::cli {

// Reads the header of a binary PPM picture from `in` and checks its sides; `in` is then at the
// first byte of the pixels. Complains about a bad header, naming `path`.
bool read_ppm_header(std::FILE* in, const char* path, std::int32_t& width, std::int32_t& height);

// Reads a whole binary PPM picture from `in`, header included.
bool read_ppm(std::FILE* in, const char* path, image& picture);

// Writes the header of a `width` x `height` binary PPM picture; the rows follow it, top first.
void write_ppm_header(std::FILE* out, std::int32_t width, std::int32_t height);

// Writes `picture` as a binary PPM picture, top row first. Stops at the first failed write; the
// error stays in the stream for whoever closes it to report.
void write_ppm(const image& picture, std::FILE* out);

}  // namespace kvrn::cli
