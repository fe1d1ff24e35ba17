// Lossy WebP in memory through libwebp: the bytes `cwebp -q Q` writes for an 8-bit RGB picture
// (the library's default configuration at that quality: method 4, no sharp YUV, one thread) and
// the pixels `dwebp` gives back from them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/picture.h"
#include "lab/decoded_rgb.h"

namespace kvrn::lab {

// WebP's frames are at most 16383 pixels on a side.
inline constexpr std::int32_t webp_largest_side = 16383;

// Encodes `picture` (rows from the top) at `quality` (0..100) into `out`. False with the reason
// in `error`.
bool encode_webp(const picture_view& picture, int quality, std::vector<std::uint8_t>& out,
                 std::string& error);

// Decodes the WebP file in `data` to RGB. False with the reason in `error`.
bool decode_webp(const std::uint8_t* data, std::size_t size, decoded_rgb& out, std::string& error);

// "libwebp 1.2.4": the library this process loaded.
std::string webp_version();

}  // namespace kvrn::lab
