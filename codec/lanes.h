// Four 32-bit lanes side by side: one row or column of a block in each lane, so that a pass of a
// transform runs over four at once. A GNU vector extension of 16 bytes, which g++ and clang lower
// to one SSE or AVX register on x86-64 (with AVX2's 32-bit multiplications in functions marked
// kvrn_avx2) and one NEON register on AArch64. At 16 bytes a vector is passed the same way in
// code built for any of these targets, so the helpers below are safe to call whether or not
// they are inlined. Arithmetic wraps like wrap32; shifts of the signed view are arithmetic.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "codec/coef_block.h"
#include "codec/wrapping.h"

// Compiles a function for AVX2 on x86-64, where the baseline (SSE2) would emulate every 32-bit
// multiplication with several instructions; call it only when has_avx2() says so.
#if defined(__x86_64__)
#define kvrn_avx2 __attribute__((target("avx2")))
#else
#define kvrn_avx2
#endif

namespace kvrn {

// Whether the lane versions of the transforms run here: on x86-64 when the processor has AVX2
// (asked once; the answer does not change), and everywhere else.
inline bool has_avx2() {
#if defined(__x86_64__)
    static const bool answer = __builtin_cpu_supports("avx2") != 0;
    return answer;
#else
    return true;
#endif
}

using lanes = wrap32 __attribute__((vector_size(16)));
using signed_lanes = std::int32_t __attribute__((vector_size(16)));

// The same operations on one value and on eight, so that a pass is written once for both.
// A mask is all ones (true) or all zeros (false), per lane.

[[gnu::always_inline]] inline wrap32 asr(wrap32 value, int bits) {
    return wrap(shift_right(value, bits));
}
[[gnu::always_inline]] inline lanes asr(lanes value, int bits) {
    return std::bit_cast<lanes>(std::bit_cast<signed_lanes>(value) >> bits);
}

[[gnu::always_inline]] inline wrap32 is_zero(wrap32 value) {
    return value == 0 ? ~wrap32{0} : 0;
}
[[gnu::always_inline]] inline lanes is_zero(lanes value) {
    return std::bit_cast<lanes>(value == 0);
}

template <class V>
[[gnu::always_inline]] inline V select(V mask, V if_set, V if_clear) {
    return (mask & if_set) | (~mask & if_clear);
}

// Clamps the signed value to -128..127 and adds 128.
[[gnu::always_inline]] inline wrap32 saturate(wrap32 value) {
    return wrap(std::clamp(unwrap(value), -128, 127) + 128);
}
[[gnu::always_inline]] inline lanes saturate(lanes value) {
    const auto s = std::bit_cast<signed_lanes>(value);
    const auto below = std::bit_cast<lanes>(s < -128);
    const auto above = std::bit_cast<lanes>(s > 127);
    return ((below & wrap(-128)) | (above & 127U) | (~(below | above) & value)) + 128;
}

// A block as sixteen vectors: half h of row r (columns 4h..4h+3) in `out[2 * r + h]`.
[[gnu::always_inline]] inline void load_lanes(const coef_block& block, lanes (&out)[16]) {
    std::memcpy(out, block.data(), sizeof out);
}

[[gnu::always_inline]] inline void store_lanes(const lanes (&in)[16], coef_block& block) {
    std::memcpy(block.data(), in, sizeof in);
}

// Transposes a block held as load_lanes holds it: each 4 x 4 quadrant is transposed (interleave
// pairs of rows, then pairs of pairs) into the mirrored quadrant.
[[gnu::always_inline]] inline void transpose(lanes (&rows)[16]) {
    lanes out[16];
    for (std::size_t qr = 0; qr < 2; ++qr) {
        for (std::size_t qc = 0; qc < 2; ++qc) {
            const auto row = [&](std::size_t i) -> const lanes& {
                return rows[2 * (4 * qr + i) + qc];
            };
            const lanes t0 = __builtin_shufflevector(row(0), row(1), 0, 4, 1, 5);
            const lanes t1 = __builtin_shufflevector(row(0), row(1), 2, 6, 3, 7);
            const lanes t2 = __builtin_shufflevector(row(2), row(3), 0, 4, 1, 5);
            const lanes t3 = __builtin_shufflevector(row(2), row(3), 2, 6, 3, 7);
            lanes* column = &out[2 * (4 * qc) + qr];
            column[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
            column[2] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
            column[4] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
            column[6] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
        }
    }
    std::memcpy(rows, out, sizeof out);
}

// Runs `pass` (taking eight vectors) over each half of a block held as load_lanes holds it: the
// vectors of half h are the h-th vectors of the rows, so a pass over a transposed block runs
// over rows 4h..4h+3 and a pass over the block itself over columns 4h..4h+3.
template <class Pass>
[[gnu::always_inline]] inline void each_half(lanes (&block)[16], Pass&& pass) {
    for (std::size_t h = 0; h < 2; ++h) {
        lanes half[8];
        for (std::size_t k = 0; k < 8; ++k) half[k] = block[2 * k + h];
        pass(half);
        for (std::size_t k = 0; k < 8; ++k) block[2 * k + h] = half[k];
    }
}

}  // namespace kvrn
