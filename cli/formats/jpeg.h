// JPEG pictures in: baseline and progressive, any Huffman tables and restart interval, grey,
// YCbCr at any sampling, and CMYK, turned upright as their EXIF orientation says.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "cli/image.h"

namespace kvrn::cli {

// Reads the JPEG picture on `in` from its current position into `picture` as 8-bit RGB, with the
// pixels djpeg writes for it. `name` is the file the messages name. A picture of more than
// `max_pixels` pixels is refused from its frame header, before anything large is allocated.
read_status read_jpeg(std::FILE* in, std::string_view name, std::uint64_t max_pixels,
                      image& picture);

}  // namespace kvrn::cli
