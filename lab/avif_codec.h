// AVIF in memory through libavif, with libaom encoding and dav1d decoding: the bytes
// `avifenc -j 1 -s 6 -y 444|420 --min Q --max Q` writes for an 8-bit RGB picture (its defaults
// otherwise: 8 bits, full range, BT.709 primaries, sRGB transfer, BT.601 matrix) and the pixels
// `avifdec` gives back from them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/picture.h"
#include "lab/decoded_rgb.h"

namespace kvrn::lab {

enum class avif_sampling {
    full,  // 4:4:4
    half,  // 4:2:0
};

// Encodes `picture` (rows from the top) with both of AV1's quantizer limits at `quantizer`
// (0..63, 0 the finest) into `out`. False with the library's reason in `error`.
bool encode_avif(const picture_view& picture, int quantizer, avif_sampling sampling,
                 std::vector<std::uint8_t>& out, std::string& error);

// Decodes the AVIF file in `data` to RGB. False with the library's reason in `error`.
bool decode_avif(const std::uint8_t* data, std::size_t size, decoded_rgb& out, std::string& error);

// "libavif 0.11.1 (aom v3.6.0, dav1d 1.0.0)": the library this process loaded, and its codecs.
std::string avif_version();

}  // namespace kvrn::lab
