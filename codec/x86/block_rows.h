// A block as eight wide_lanes (codec/wide_lanes.h), row r in `rows[r]`, each moved by one 32-byte
// AVX2 load or store. g++'s generic tuning splits an unaligned vector copy (memcpy or assignment)
// into 16-byte halves and stages them through the stack, where a 32-byte load of two just-stored
// halves stalls until both reach the cache; the intrinsics stay whole.
#pragma once

#include <immintrin.h>

#include <cstddef>

#include "codec/coef_block.h"
#include "codec/wide_lanes.h"
#include "codec/x86/avx2.h"

namespace kvrn {

[[gnu::always_inline]] kvrn_avx2 inline void load_rows(const coef_block& block,
                                                       wide_lanes (&rows)[8]) {
    for (std::size_t r = 0; r < 8; ++r) {
        rows[r] = __builtin_bit_cast(
            wide_lanes, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&block[8 * r])));
    }
}

[[gnu::always_inline]] kvrn_avx2 inline void store_rows(const wide_lanes (&rows)[8],
                                                        coef_block& block) {
    for (std::size_t r = 0; r < 8; ++r) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(&block[8 * r]),
                            __builtin_bit_cast(__m256i, rows[r]));
    }
}

}  // namespace kvrn
