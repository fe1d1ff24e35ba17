// A KVRN file in memory: the bytes `kvrn encode --step N` writes for a picture, and the picture
// `kvrn decode` gives back from them, without files in between.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/picture.h"

namespace kvrn::lab {

// The whole file, header and block stream, for `picture` (row 0 the bottom row, 1 to 65535
// pixels a side) quantised with `step` (1..65535) in every channel: the same block path and the
// same coded blocks as the encoder's. `*clipped`, when given, is the number of AC coefficients
// that did not fit in a byte and were clamped.
std::vector<std::uint8_t> encode_kvrn(const picture_view& picture, std::int32_t step,
                                      std::uint64_t* clipped = nullptr);

// Decodes a complete file made by encode_kvrn into `pixels`, width x height x 3 bytes in the same
// row order, every channel on, as the viewer loads it. False when the file is not complete.
bool decode_kvrn(const std::vector<std::uint8_t>& file, std::uint8_t* pixels);

}  // namespace kvrn::lab
