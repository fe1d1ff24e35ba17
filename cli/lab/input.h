// How the lab's commands read the pictures they measure, and the limit they hold them to. One
// place, so that the commands follow the rest of the tool when it reads more kinds of picture.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cli/image.h"

namespace kvrn::cli {

// The most pixels a picture may have unless --max-pixels says otherwise: 16384 x 16384, 768 MiB
// of RGB. A header of a few bytes can promise 65535 x 65535, 12.9 GB.
inline constexpr std::uint64_t lab_default_max_pixels = std::uint64_t{1} << 28;

// The value of --max-pixels: a whole decimal number of at least 1.
std::optional<std::uint64_t> parse_max_pixels(std::string_view text);

// Whether `width` x `height` from `name` is at most `max_pixels` pixels; complains when not.
bool check_pixel_count(std::uint64_t width, std::uint64_t height, std::uint64_t max_pixels,
                       std::string_view name);

// Reads the picture at `path` whole into `picture`, row 0 the bottom row: a KVRN file (known by
// its magic number) decoded as `kvrn decode` decodes it on `threads` threads, anything else read
// as `kvrn encode` reads it ("-": a PPM picture on standard input). A picture of more than
// `max_pixels` pixels is refused from its header, before its pixels are allocated. Returns
// exit_ok, exit_damaged for a KVRN file whose block stream ends early (with the warning), or
// exit_failed after complaining.
int read_lab_picture(const char* path, std::uint64_t max_pixels, image& picture, unsigned threads);

// The last part of `path`, for titles: "photo.ppm" of "samples/photo.ppm".
std::string file_name(std::string_view path);

}  // namespace kvrn::cli
