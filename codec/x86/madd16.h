// Products formed by 16-bit multiply-add, for the transforms' passes when their values fit in
// 16 bits: two 32-bit products and their sum from one _mm256_madd_epi16, exactly as 32-bit
// arithmetic forms them modulo 2^32 (the proofs are beside each use).
#pragma once

#if defined(__x86_64__)

#include <immintrin.h>

#include <cstdint>

#include "codec/wide_lanes.h"
#include "codec/x86/avx2.h"

namespace kvrn {

// The 16-bit pairs (low, high), one per 32-bit lane, of two vectors whose values fit in 16 bits.
[[gnu::always_inline]] kvrn_avx2 inline __m256i pair(wide_lanes low, wide_lanes high) {
    return _mm256_blend_epi16(__builtin_bit_cast(__m256i, low),
                              _mm256_slli_epi32(__builtin_bit_cast(__m256i, high), 16), 0xAA);
}

// low_weight * low + high_weight * high in every lane of the pairs, modulo 2^32.
[[gnu::always_inline]] kvrn_avx2 inline wide_lanes products(__m256i pairs, std::int32_t low_weight,
                                                            std::int32_t high_weight) {
    const auto weights =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(high_weight) << 16 |
                                  (static_cast<std::uint32_t>(low_weight) & 0xFFFFU));
    return __builtin_bit_cast(wide_lanes, _mm256_madd_epi16(pairs, _mm256_set1_epi32(weights)));
}

}  // namespace kvrn

#endif
