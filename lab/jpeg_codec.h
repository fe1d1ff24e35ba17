// Baseline JPEG in memory through the libjpeg API: the encoder settings that give the very bytes
// `cjpeg -baseline -dct int -quality Q -sample 1x1|2x2` writes, and the library's default decoder
// (accurate integer IDCT, smooth chroma upsampling), which is what djpeg writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/picture.h"
#include "lab/decoded_rgb.h"

namespace kvrn::lab {

enum class jpeg_sampling {
    full,  // 4:4:4, every component 1x1
    half,  // 4:2:0, luma 2x2 and chroma 1x1
};

// Encodes `picture` at `quality` (1..100) into `out`. False with the library's message (or the
// reason the arguments were refused) in `error`.
bool encode_jpeg(const picture_view& picture, int quality, jpeg_sampling sampling,
                 std::vector<std::uint8_t>& out, std::string& error);

using decoded_jpeg = decoded_rgb;

// libjpeg's frames are at most 65500 pixels on a side (JPEG_MAX_DIMENSION).
inline constexpr std::int32_t jpeg_largest_side = 65500;

// Decodes the JPEG in `data` to RGB. A picture of more than `max_pixels` pixels is refused
// before anything is allocated for it. False with the library's message in `error`.
bool decode_jpeg(const std::uint8_t* data, std::size_t size, std::uint64_t max_pixels,
                 decoded_jpeg& out, std::string& error);

// "libjpeg-turbo 2.1.5": the library the lab was built with.
std::string jpeg_version();

}  // namespace kvrn::lab
