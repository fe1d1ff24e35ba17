// The inverse DCT with each pass over all eight rows or columns at once, and with the rotations'
// products formed by 16-bit multiply-add wherever the pass's inputs fit in 16 bits.
#if defined(__x86_64__)

#include <immintrin.h>

#include <cstdint>

// The vector operations before the pass templates, which find them where they are defined
// (codec/idct_passes.h).
// clang-format off
#include "codec/wide_lanes.h"
#include "codec/idct_passes.h"
// clang-format on
#include "codec/kernel_versions.h"
#include "codec/x86/block_rows.h"
#include "codec/x86/madd16.h"

namespace kvrn {
namespace {

// Why the 16-bit path is exact. Every product of a rotation is a weight times an input, and each
// rotated value is, modulo 2^32, a sum of two such products (idct::butterfly::rotate lists
// them). _mm256_madd_epi16 multiplies 16-bit pairs and adds the two 32-bit products modulo 2^32
// (its one overflow, 2 * (-2^15)^2 = 2^31, wraps to -2^31, the same residue). The weights and
// their negations are below 2^15 in magnitude (w1 + w7 = 3406 is the largest sum a rotation
// uses, and the path multiplies only single weights, 2048 and 256); so when every input
// satisfies -2^15 <= v <= 2^15 - 1, each rotated value is bit for bit the one the 32-bit
// arithmetic makes, wrap-arounds included, and the stages after the rotations run unchanged.
//
// The passes' shortcut for lanes of a DC alone need not be taken either: under that bound its
// value is the full path's. In the row pass b4 * 2^11 is zero only when b4 is, and the DC leaves
// as ((b0 * 2^11 + 128) >> 8) = 8 * b0, |b0 * 2^11| <= 2^26 not wrapping; in the column pass a
// DC alone leaves as ((a0 + 32) * 2^8) >> 14 = (a0 + 32) >> 6, |(a0 + 32) * 2^8| < 2^24.

// True when every value of the eight vectors satisfies -2^15 <= v <= 2^15 - 1, that is when
// v + 2^15, taken as unsigned, is below 2^16.
[[gnu::always_inline]] kvrn_avx2 inline bool fit_16_bits(const wide_lanes (&v)[8]) {
    wide_lanes any = v[0] + 0x8000U;
    for (std::size_t k = 1; k < 8; ++k) any |= v[k] + 0x8000U;
    const auto high = _mm256_set1_epi32(static_cast<int>(0xFFFF0000U));
    return _mm256_testz_si256(__builtin_bit_cast(__m256i, any), high) != 0;
}

constexpr std::int32_t s(wrap32 weight) {
    return unwrap(weight);
}

// asr and saturate of codec/wide_lanes.h for the functions below: they are compiled for AVX2,
// and a 32-byte vector must not be passed to a function that is not (clang checks every call
// before inlining).
[[gnu::always_inline]] kvrn_avx2 inline wide_lanes shifted(wide_lanes value, int bits) {
    return __builtin_bit_cast(wide_lanes, __builtin_bit_cast(signed_wide_lanes, value) >> bits);
}

[[gnu::always_inline]] kvrn_avx2 inline wide_lanes to_sample(wide_lanes value) {
    const __m256i v = __builtin_bit_cast(__m256i, value);
    const __m256i clamped =
        _mm256_min_epi32(_mm256_max_epi32(v, _mm256_set1_epi32(-128)), _mm256_set1_epi32(127));
    return __builtin_bit_cast(wide_lanes, _mm256_add_epi32(clamped, _mm256_set1_epi32(128)));
}

// Loads the rotated values of the pass with inputs `v` (v[k] holding input k of every lane) into
// the butterfly, as idct::butterfly::rotate would, with `dc_scale` the factor (2^11 or 2^8) and
// `dc_round` the rounding term the pass gives x0 and x1.
[[gnu::always_inline]] kvrn_avx2 inline void rotate_16(const wide_lanes (&v)[8],
                                                       std::int32_t dc_scale, wrap32 dc_round,
                                                       int stage_shift, wrap32 stage_round,
                                                       idct::butterfly<wide_lanes>& x) {
    using namespace idct;
    const __m256i p04 = pair(v[0], v[4]), p26 = pair(v[2], v[6]);
    const __m256i p17 = pair(v[1], v[7]), p53 = pair(v[5], v[3]);
    x.x8 = products(p04, dc_scale, dc_scale) + dc_round;
    x.x0 = products(p04, dc_scale, -dc_scale) + dc_round;
    x.x4 = shifted(products(p17, s(w1), s(w7)) + stage_round, stage_shift);
    x.x5 = shifted(products(p17, s(w7), -s(w1)) + stage_round, stage_shift);
    x.x6 = shifted(products(p53, s(w5), s(w3)) + stage_round, stage_shift);
    x.x7 = shifted(products(p53, s(w3), -s(w5)) + stage_round, stage_shift);
    x.x2 = shifted(products(p26, s(w6), -s(w2)) + stage_round, stage_shift);
    x.x3 = shifted(products(p26, s(w2), s(w6)) + stage_round, stage_shift);
}

// idct::row_pass for inputs that fit in 16 bits: x0 = b0 * 2^11 + 128 and x1 = b4 * 2^11.
[[gnu::always_inline]] kvrn_avx2 inline void row_pass_16(wide_lanes (&b)[8]) {
    idct::butterfly<wide_lanes> x{};
    rotate_16(b, 1 << 11, 128, 0, 0, x);
    x.combine();
    wide_lanes out[8];
    x.outputs(out);
    for (std::size_t k = 0; k < 8; ++k) b[k] = shifted(out[k], 8);
}

// idct::column_pass for inputs that fit in 16 bits: x0 = (a0 + 32) * 2^8 and x1 = a4 * 2^8.
[[gnu::always_inline]] kvrn_avx2 inline void column_pass_16(wide_lanes (&a)[8]) {
    idct::butterfly<wide_lanes> x{};
    rotate_16(a, 1 << 8, 32 << 8, 3, 4, x);
    x.combine();
    wide_lanes out[8];
    x.outputs(out);
    for (std::size_t k = 0; k < 8; ++k) a[k] = to_sample(shifted(out[k], 14));
}

}  // namespace

kvrn_avx2 void avx2::idct_2d(coef_block& coefficients, coef_block& samples) {
    wide_lanes v[8];
    load_rows(coefficients, v);
    const bool narrow_rows = fit_16_bits(v);
    transpose(v);  // lane r holds row r
    if (narrow_rows) {
        row_pass_16(v);
    } else {
        idct::row_pass(v);
    }
    transpose(v);  // lane c holds column c
    store_rows(v, coefficients);
    if (fit_16_bits(v)) {
        column_pass_16(v);
    } else {
        idct::column_pass(v);
    }
    store_rows(v, samples);
}

}  // namespace kvrn

#endif
