// One block position through quantisation and back: the steps shared by the loader, the
// re-encoding preview and the encoder.
#pragma once

#include <cstdint>

#include "codec/coef_block.h"
#include "codec/picture.h"

namespace kvrn {

// The forward half. Samples the 8x8 block whose first pixel (lowest row, leftmost column) is (`r0`,
// `c0`) (row r0 + n / 8, column c0 + n % 8 for entry n), converts each pixel with rgb_to_ycc,
// transforms each channel with fdct_2d, brings the coefficients to the inverse transform's scale
// with an arithmetic shift by 3 (floor division by 8) and divides them by the channel's step,
// truncating toward zero. Positions beyond the picture's right edge or its last row (the top edge:
// row 0 is the bottom row) repeat its last column or row. Every step must be non-zero.
void quantise_block(const picture_view& picture, std::int32_t r0, std::int32_t c0,
                    const channel_steps& steps, coef_block& y, coef_block& cr, coef_block& cb);

// The same steps one value at a time: what runs where the lane versions do not (see
// codec/lanes.h). The two give the same results for every input.
void quantise_block_scalar(const picture_view& picture, std::int32_t r0, std::int32_t c0,
                           const channel_steps& steps, coef_block& y, coef_block& cr,
                           coef_block& cb);

// The inverse half. Multiplies each channel's coefficients by its step (the dequantisation; for
// a file, the header's scales), runs idct_2d on each and converts to RGB with the enables. The
// coefficient blocks serve as the inverse transform's working storage and are overwritten. The
// RGB values are not clamped.
void reconstruct_block(coef_block& y, coef_block& cr, coef_block& cb, const channel_steps& steps,
                       const channel_enables& enables, coef_block& red, coef_block& green,
                       coef_block& blue);

// Stores the clamped (0..255) RGB values of the block at (`r0`, `c0`) into `pixels`, a picture of
// `width` x `height`. Entries outside the picture are dropped.
void store_block(const coef_block& red, const coef_block& green, const coef_block& blue,
                 std::uint8_t* pixels, std::int32_t width, std::int32_t height, std::int32_t r0,
                 std::int32_t c0);

// The same, one value at a time: what runs where the lane version does not (see codec/lanes.h),
// and for blocks the picture's edge cuts. The two give the same results for every input.
void store_block_scalar(const coef_block& red, const coef_block& green, const coef_block& blue,
                        std::uint8_t* pixels, std::int32_t width, std::int32_t height,
                        std::int32_t r0, std::int32_t c0);

}  // namespace kvrn
