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
                    const channel_steps& steps, ycc_blocks& coefficients);

// The inverse half. Multiplies each channel's coefficients by its step (the dequantisation; for
// a file, the header's scales), runs idct_2d on each and converts to RGB with the enables. The
// coefficient blocks serve as the inverse transform's working storage and are overwritten. The
// RGB values are not clamped.
void reconstruct_block(ycc_blocks& coefficients, const channel_steps& steps,
                       const channel_enables& enables, rgb_blocks& rgb);

// The blocks of a position that hold nothing but a DC term, as a decoder knows from their coded
// length (3 bytes: the DC and the end-of-block byte). Most blocks of photographs are such blocks.
struct dc_only_blocks {
    bool y = false;
    bool cr = false;
    bool cb = false;
};

// reconstruct_block for a position whose `dc_only` blocks hold only their DC term: those go
// without the dequantisation of their zeros and the inverse transform (codec/idct.h,
// idct_dc_only). The RGB values are those reconstruct_block gives.
void reconstruct_block(ycc_blocks& coefficients, const channel_steps& steps,
                       const channel_enables& enables, const dc_only_blocks& dc_only,
                       rgb_blocks& rgb);

// A position whose three blocks hold only their DC terms is one colour. Stores that colour,
// clamped, in the pixels of the block at (`r0`, `c0`) that lie inside the picture: what
// reconstruct_block and store_block give for it, with one pixel converted instead of 64.
void store_dc_only_block(const ycc_blocks& coefficients, const channel_steps& steps,
                         const channel_enables& enables, std::uint8_t* pixels, std::int32_t width,
                         std::int32_t height, std::int32_t r0, std::int32_t c0);

// Stores the clamped (0..255) RGB values of the block at (`r0`, `c0`) into `pixels`, a picture of
// `width` x `height`. Entries outside the picture are dropped.
void store_block(const rgb_blocks& rgb, std::uint8_t* pixels, std::int32_t width,
                 std::int32_t height, std::int32_t r0, std::int32_t c0);

}  // namespace kvrn
