// Eight 32-bit lanes side by side, in GNU vector extensions that every processor's compiler
// accepts: a whole 8x8 block in eight vectors, so that a pass of a transform runs over all eight
// rows or columns at once, or the inverse colour conversion over a row of eight pixels. The
// vector versions of the block functions (codec/x86/ and any other processor's folder) run the
// templates of codec/idct_passes.h, codec/fdct_pass.h and codec/to_rgb.h on these, and move
// blocks in and out with their own loads and stores.
//
// A vector wider than the registers of the code around it is passed in a different way by code
// built with and without the instructions that hold it (on x86-64, with and without AVX), so
// such a vector must never cross a call that is not inlined: use these types only inside one
// function compiled for the vector instructions, through the always-inline helpers below, and
// move blocks in and out of it through memory. The compilers' -Wpsabi diagnostics about such
// vectors (how they would be passed if a call were real) do not apply then: the vector versions'
// files are built with -Wno-psabi. Arithmetic wraps like wrap32; shifts of the signed view are
// arithmetic.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/pass_ops.h"
#include "codec/wrapping.h"

namespace kvrn {

using wide_lanes = wrap32 __attribute__((vector_size(32)));
using signed_wide_lanes = std::int32_t __attribute__((vector_size(32)));

// The operations the transforms' passes use (codec/pass_ops.h has them for one value, and the
// select that serves both).
// __builtin_bit_cast rather than std::bit_cast: the latter is a function that is not always
// inlined, and a 32-byte vector must not be returned from it.

[[gnu::always_inline]] inline wide_lanes asr(wide_lanes value, int bits) {
    return __builtin_bit_cast(wide_lanes, __builtin_bit_cast(signed_wide_lanes, value) >> bits);
}

[[gnu::always_inline]] inline wide_lanes is_zero(wide_lanes value) {
    return __builtin_bit_cast(wide_lanes, value == 0);
}

// Clamps the signed value to -128..127 and adds 128.
[[gnu::always_inline]] inline wide_lanes saturate(wide_lanes value) {
    const auto s = __builtin_bit_cast(signed_wide_lanes, value);
    const auto below = __builtin_bit_cast(wide_lanes, s < -128);
    const auto above = __builtin_bit_cast(wide_lanes, s > 127);
    return ((below & wrap(-128)) | (above & 127U) | (~(below | above) & value)) + 128;
}

// Transposes the 8x8 block whose row r is `rows[r]`, in three rounds of interleaving: pairs of
// rows by 32-bit elements, pairs of those by 64-bit pairs, then the 128-bit halves.
[[gnu::always_inline]] inline void transpose(wide_lanes (&rows)[8]) {
    wide_lanes t[8];
    for (std::size_t i = 0; i < 8; i += 2) {
        t[i] = __builtin_shufflevector(rows[i], rows[i + 1], 0, 8, 1, 9, 4, 12, 5, 13);
        t[i + 1] = __builtin_shufflevector(rows[i], rows[i + 1], 2, 10, 3, 11, 6, 14, 7, 15);
    }
    // The second round moves 64-bit pairs, which compilers recognise in a vector of 64-bit lanes.
    using pairs = std::uint64_t __attribute__((vector_size(32)));
    wide_lanes u[8];
    for (std::size_t i = 0; i < 8; i += 4) {
        for (std::size_t j = 0; j < 2; ++j) {
            const auto a = __builtin_bit_cast(pairs, t[i + j]);
            const auto b = __builtin_bit_cast(pairs, t[i + j + 2]);
            u[i + 2 * j] =
                __builtin_bit_cast(wide_lanes, __builtin_shufflevector(a, b, 0, 4, 2, 6));
            u[i + 2 * j + 1] =
                __builtin_bit_cast(wide_lanes, __builtin_shufflevector(a, b, 1, 5, 3, 7));
        }
    }
    for (std::size_t k = 0; k < 4; ++k) {
        rows[k] = __builtin_shufflevector(u[k], u[k + 4], 0, 1, 2, 3, 8, 9, 10, 11);
        rows[k + 4] = __builtin_shufflevector(u[k], u[k + 4], 4, 5, 6, 7, 12, 13, 14, 15);
    }
}

}  // namespace kvrn
