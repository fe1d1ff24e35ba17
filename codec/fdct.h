// Integer 8x8 forward DCT (Loeffler-Ligtenberg-Moschytz factorisation, 13-bit constants).
#pragma once

#include "codec/coef_block.h"

namespace kvrn {

// Transforms a block of samples centred on zero (row-major, -128..127) into its DCT coefficients,
// in place, at 8 times the JPEG scale: a flat block of value s gives DC = 64 * s. Callers shift
// the result right by 3 to reach the scale idct_2d expects.
// Runs the fastest version this processor has (codec/kernels.h).
void fdct_2d(coef_block& block);

}  // namespace kvrn
