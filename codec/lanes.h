// Four 32-bit lanes side by side, for the inverse colour conversion, and the operations that the
// transforms' passes are written in, for one value (wrap32). A GNU vector extension of 16 bytes,
// which g++ and clang lower to one SSE or AVX register on x86-64 (with AVX2's 32-bit
// multiplications in functions marked kvrn_avx2) and one NEON register on AArch64. At 16 bytes a
// vector is passed the same way in code built for any of these targets, so the helpers below are
// safe to call whether or not they are inlined. Arithmetic wraps like wrap32; shifts of the signed
// view are arithmetic.
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

// The operations of the transforms' passes on one value (the same on eight lanes are in
// codec/wide_lanes.h), so that a pass is written once for both; and the shift on four lanes.
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

template <class V>
[[gnu::always_inline]] inline V select(V mask, V if_set, V if_clear) {
    return (mask & if_set) | (~mask & if_clear);
}

// Clamps the signed value to -128..127 and adds 128.
[[gnu::always_inline]] inline wrap32 saturate(wrap32 value) {
    return wrap(std::clamp(unwrap(value), -128, 127) + 128);
}

// A block as sixteen vectors: half h of row r (columns 4h..4h+3) in `out[2 * r + h]`.
[[gnu::always_inline]] inline void load_lanes(const coef_block& block, lanes (&out)[16]) {
    std::memcpy(out, block.data(), sizeof out);
}

[[gnu::always_inline]] inline void store_lanes(const lanes (&in)[16], coef_block& block) {
    std::memcpy(block.data(), in, sizeof in);
}

}  // namespace kvrn
