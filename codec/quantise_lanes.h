// The quantisation of a coefficient block eight values at a time, in GNU vector extensions: one
// text for every processor's vector versions (codec/x86/, codec/wasm/), inlined into each and
// compiled for its instructions there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "codec/coef_block.h"

namespace kvrn::lanes {

using floats8 = float __attribute__((vector_size(32)));
using ints8 = std::int32_t __attribute__((vector_size(32)));

// The plain version divides in double precision (codec/block_path.cpp). For the blocks that
// quantise_block makes, single precision is exact too, eight values at a time.
// The bound: by fdct_2d's bit budget every coefficient of a block of samples is a sum of at most
// four products below 2^31, shifted right by 15 (or a sum below 2^16 shifted by 2), so it lies
// below 2^18 and x, after the shift by 3, below 2^15. Let x = q * d + r with 0 < |r| < d: x / d
// lies at least 1 / d from every integer, while single-precision rounding moves it by at most
// |x / d| * 2^-24 < 2^15 / d * 2^-24 < 1 / d; so the rounded quotient truncates to q. When r = 0
// the quotient |q| < 2^15 is exact. The step must be exact in single precision: callers keep
// steps of 2^24 and more (the preview's) for the double division of the plain version.
[[gnu::always_inline]] inline void quantise_in_single_precision(coef_block& block,
                                                                std::int32_t step) {
    const auto divisor = static_cast<float>(step);
    for (std::size_t k = 0; k < 64; k += 8) {
        ints8 values;
        std::memcpy(&values, &block[k], sizeof values);
        const floats8 quotients = __builtin_convertvector(values >> 3, floats8) / divisor;
        values = __builtin_convertvector(quotients, ints8);
        std::memcpy(&block[k], &values, sizeof values);
    }
}

}  // namespace kvrn::lanes
