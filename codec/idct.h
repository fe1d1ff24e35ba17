// Integer 8x8 inverse DCT (Chen-Wang factorisation, 11-bit fixed-point weights).
#pragma once

#include <cstdint>
#include <span>

#include "codec/coef_block.h"

namespace kvrn {

// Transforms one row of coefficients in place, leaving it at 8 times the scale of its 1-D
// inverse DCT: a row whose only non-zero value is b0 becomes eight copies of 8 * b0.
void idct_row(std::span<std::int32_t, 8> row);

// Transforms column `column` of the row-transformed block `rows` into the same column of
// `samples`, each value rounded, clamped to -128..127 and raised by 128.
void idct_column(const coef_block& rows, coef_block& samples, int column);

// Turns the coefficients (JPEG scale: a flat block of value s has DC = 8 * s) into 64 samples
// in 0..255. `coefficients` is the working storage of the row pass and holds its results
// afterwards; keep a copy if the coefficients are needed again. The blocks must be distinct.
// Runs the fastest version this processor has (codec/kernels.h).
void idct_2d(coef_block& coefficients, coef_block& samples);

// The sample that idct_2d gives at every position of a block whose only non-zero coefficient is
// its DC term `dc`: saturate((dc + 4) >> 3) while 8 * dc fits 32 bits, the wrapped arithmetic of
// the passes beyond. Most blocks of photographs are such blocks, in the chroma channels nine in
// ten; a decoder that knows it from the coded length skips the transform.
std::int32_t idct_dc_only(std::int32_t dc);

}  // namespace kvrn
