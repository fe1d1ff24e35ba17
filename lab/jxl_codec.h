// Lossy JPEG XL in memory through libjxl: the bytes `cjxl -d D -e 7` writes for an 8-bit sRGB
// picture (a bare codestream in XYB, effort 7, its defaults otherwise) and the pixels `djxl`
// gives back from them as 8-bit sRGB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/picture.h"
#include "lab/decoded_rgb.h"

namespace kvrn::lab {

// The Butteraugli distance the encoder aims at: 0.1 (visually lossless, and more) to 25.
inline constexpr double jxl_nearest = 0.1;
inline constexpr double jxl_farthest = 25;

// Encodes `picture` (rows from the top) at `distance` into `out`. False with the reason in
// `error`.
bool encode_jxl(const picture_view& picture, double distance, std::vector<std::uint8_t>& out,
                std::string& error);

// Decodes the JPEG XL file in `data` to 8-bit RGB. False with the reason in `error`.
bool decode_jxl(const std::uint8_t* data, std::size_t size, decoded_rgb& out, std::string& error);

// "libjxl 0.7.0": the library this process loaded.
std::string jxl_version();

}  // namespace kvrn::lab
