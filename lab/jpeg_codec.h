// Baseline JPEG in memory through the libjpeg API: the encoder settings that give the very bytes
// `cjpeg -baseline -dct int -quality Q -sample 1x1|2x2` writes, and the library's default decoder
// (accurate integer IDCT, smooth chroma upsampling), which is what djpeg writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/picture.h"

namespace kvrn::lab {

enum class jpeg_sampling {
    full,  // 4:4:4, every component 1x1
    half,  // 4:2:0, luma 2x2 and chroma 1x1
};

// Encodes `picture` at `quality` (1..100) into `out`. False with the library's message (or the
// reason the arguments were refused) in `error`.
bool encode_jpeg(const picture_view& picture, int quality, jpeg_sampling sampling,
                 std::vector<std::uint8_t>& out, std::string& error);

struct decoded_jpeg {
    std::vector<std::uint8_t> pixels;  // RGB, rows from the top of the picture
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Decodes the JPEG in `data` to RGB. A picture of more than `max_pixels` pixels is refused
// before anything is allocated for it. False with the library's message in `error`.
bool decode_jpeg(const std::uint8_t* data, std::size_t size, std::uint64_t max_pixels,
                 decoded_jpeg& out, std::string& error);

}  // namespace kvrn::lab
