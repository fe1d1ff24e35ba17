// Colour conversion between RGB and the Y, Cr, Cb channels (JFIF equations, BT.601 weights).
#pragma once

#include <cstdint>

#include "codec/coef_block.h"
#include "codec/picture.h"

namespace kvrn {

// Converts three blocks of samples (0..255, chroma neutral at 128) into R, G and B blocks with
// integer factors. The enables multiply their channel: a disabled Y gives black plus the chroma
// terms, a disabled chroma channel acts as a neutral 128. Nothing is clamped: with all channels
// on, R spans -180..433, G -133..391 and B -227..480. `samples` and `rgb` must not overlap.
void ycc_to_rgb(const channel_enables& enables, const ycc_blocks& samples, rgb_blocks& rgb);

// One pixel's Y, Cr and Cb, each centred on zero: -128..127 for Y, -127..127 for Cr and Cb.
struct ycc_sample {
    std::int32_t y;
    std::int32_t cr;
    std::int32_t cb;
};

// Converts one pixel with the full-precision weights in double precision, rounds each channel to
// single precision, subtracts 128 and truncates toward zero.
ycc_sample rgb_to_ycc(std::uint8_t red, std::uint8_t green, std::uint8_t blue);

// Converts the 8x8 block of `picture` whose first pixel (lowest row, leftmost column) is (`r0`,
// `c0`) with rgb_to_ycc: entry n of each block is the pixel in row r0 + n / 8, column c0 + n % 8.
// Positions beyond the picture's right edge or its last row (the top edge: row 0 is the bottom row)
// repeat its last column or row.
void rgb_to_ycc_block(const picture_view& picture, std::int32_t r0, std::int32_t c0,
                      ycc_blocks& samples);

}  // namespace kvrn
