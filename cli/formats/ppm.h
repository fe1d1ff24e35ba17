// Binary PPM pictures (P6, maxval 255) as the tool writes them, top row first. Reading them is
// cli/formats/netpbm.h's.
#pragma once

#include <cstdint>
#include <cstdio>

#include "cli/image.h"

namespace kvrn::cli {

// Writes the header of a `width` x `height` binary PPM picture; the rows follow it, top first.
void write_ppm_header(std::FILE* out, std::int32_t width, std::int32_t height);

// Writes `picture` as a binary PPM picture, top row first. Stops at the first failed write; the
// error stays in the stream for whoever closes it to report.
void write_ppm(const image& picture, std::FILE* out);

}  // namespace kvrn::cli
