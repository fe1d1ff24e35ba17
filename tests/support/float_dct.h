// The JPEG-normalised 8x8 DCT as direct sums in double precision, to measure the integer
// transforms against. With C(0) = 1/sqrt(2), C(k) = 1 otherwise and the samples s(x, y) at index
// y * 8 + x, the coefficients F(v, u) at index v * 8 + u:
//   forward  F(v, u) = 1/4 C(u) C(v) sum over x, y of s(x, y) cos((2x+1)u pi/16) cos((2y+1)v pi/16)
//   inverse  s(x, y) = 1/4 sum over u, v of C(u) C(v) F(v, u) cos((2x+1)u pi/16) cos((2y+1)v pi/16)
#pragma once

#include <array>

#include "codec/coef_block.h"

namespace kvrn::testing {

using real_block = std::array<double, 64>;

real_block float_dct(const coef_block& in, bool inverse);

}  // namespace kvrn::testing
