// How the lab's commands read the pictures they measure, and the limit they hold them to. One
// place, so that the commands follow the rest of the tool when it reads more kinds of picture.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cli/image.h"

namespace kvrn::cli {

// Reads the picture at `path` whole into `picture`, row 0 the bottom row: a KVRN file (known by
// its magic number) decoded as `kvrn decode` decodes it on `threads` threads, anything else read
// as `kvrn encode` reads it (recognised by its first bytes; "-": standard input). A picture of more
// than `max_pixels` pixels is refused from its header, before its pixels are allocated. Returns
// exit_ok, exit_damaged for a KVRN file whose block stream ends early, a JPEG file that ends
// early or raw netpbm samples above the maxval (with the warning), or exit_failed after
// complaining. `kvrn_file`, when given, is set to whether the picture came from a KVRN file, and
// `scales` then holds the Y, Cr and Cb scales of its header.
int read_lab_picture(const char* path, std::uint64_t max_pixels, image& picture, unsigned threads,
                     bool* kvrn_file = nullptr, std::array<std::uint16_t, 3>* scales = nullptr);

// The last part of `path`, for titles: "photo.ppm" of "samples/photo.ppm".
std::string file_name(std::string_view path);

}  // namespace kvrn::cli
