// The codecs whose files another program reads (JPEG, WebP, AVIF, JPEG XL), one line each: how
// the sweep makes a file of a picture at a setting and reads the pixels back, through the codec's
// own library in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/picture.h"
#include "lab/codec_table.h"
#include "lab/decoded_rgb.h"

namespace kvrn::lab {

struct yardstick {
    codec_id codec;
    // The largest width or height the format or its encoder takes.
    std::int32_t largest_side;
    // Encodes `picture`, rows from the top, at `setting` (in range) into `out`.
    bool (*encode)(const picture_view& picture, double setting, std::vector<std::uint8_t>& out,
                   std::string& error);
    bool (*decode)(const std::uint8_t* data, std::size_t size, decoded_rgb& out,
                   std::string& error);
    std::string (*library)();  // "libwebp 1.2.4"
};

// The line of `codec`; nothing for KVRN's own codecs.
const yardstick* yardstick_of(codec_id codec);

}  // namespace kvrn::lab
