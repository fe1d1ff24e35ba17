// JPEG pictures in: baseline and progressive, any Huffman tables and restart interval, grey,
// YCbCr at any sampling, and CMYK, turned upright as their EXIF orientation says.
#pragma once

#include <cstdio>

#include "cli/formats/picture_format.h"

namespace kvrn::cli {

extern const picture_format jpeg_format;

// Reads the JPEG picture on `in` from its current position into `picture` as 8-bit RGB, with the
// pixels djpeg writes for it. A picture of more pixels than the request allows is refused from its
// frame header, before anything large is allocated. Data that ends early or is damaged is decoded
// as far as it goes: read_status::damaged, with a warning.
read_status read_jpeg(std::FILE* in, const read_request& request, image& picture);

}  // namespace kvrn::cli
