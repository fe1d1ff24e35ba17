// The forward DCT over all eight rows, then all eight columns, at once, with the products of a
// pass formed by 16-bit multiply-add wherever the pass's multiplicands fit in 16 bits.
#if defined(__x86_64__)

#include <immintrin.h>

#include <cstdint>

// The vector operations before the pass template, which finds them where it is defined
// (codec/fdct_pass.h).
// clang-format off
#include "codec/wide_lanes.h"
#include "codec/fdct_pass.h"
// clang-format on
#include "codec/kernel_versions.h"
#include "codec/x86/block_rows.h"
#include "codec/x86/madd16.h"

namespace kvrn {
namespace {

// Why the 16-bit path is exact. fdct::fdct_1d computes in the ring of integers modulo 2^32 but
// for its final shifts, so any rearrangement of its sums and products gives the same value
// before each shift, wrap-arounds included. Multiplied out, its rotated outputs are
//   p2 = t12 c2a + t13 c2b            p6 = t12 c6a + t13 c6b
//   pk = t4 ck4 + t5 ck5 + t6 ck6 + t7 ck7   for k = 1, 3, 5, 7,
// each plus the rounding term, with the combined weights below (all within +-2^15, checked at
// compile time). _mm256_madd_epi16 multiplies 16-bit pairs and adds the two 32-bit products
// modulo 2^32. So when t4, t5, t6, t7, t12 and t13 all lie in -2^15..2^15 - 1, each pk is bit
// for bit the 32-bit one, and so is its shift; other passes take fdct::fdct_1d. Samples in
// -128..127 always fit: the row pass's t values lie within +-2^9; a row output is at most
// 4 * 128 * 8 = 4096 in magnitude (the DC; an odd one at most 4 * 128 * 7.25, 7.25 being the
// sum of |sqrt(2) cos((2j + 1) pi / 16)| over j, plus less than 1 of rounding), and a column
// t value, a signed sum of at most four of them, is at most 16384 < 2^15.
namespace w {
using namespace fdct;
constexpr std::int32_t s(wrap32 weight) {
    return unwrap(weight);
}
// z1 = (t12 + t13) c0.541; p2 = z1 + t13 c0.765; p6 = z1 - t12 c1.847.
constexpr std::int32_t c2a = s(fix_0_541196100);
constexpr std::int32_t c2b = s(fix_0_541196100 + fix_0_765366865);
constexpr std::int32_t c6a = s(fix_0_541196100 - fix_1_847759065);
constexpr std::int32_t c6b = s(fix_0_541196100);
// z5 = (t4 + t5 + t6 + t7) c1.175 enters every odd output, as do two of
// z1 = -(t4 + t7) c0.899, z2 = -(t5 + t6) c2.562, z3 = -(t4 + t6) c1.961, z4 = -(t5 + t7) c0.390.
constexpr std::int32_t z5 = s(fix_1_175875602), z1 = -s(fix_0_899976223);
constexpr std::int32_t z2 = -s(fix_2_562915447), z3 = -s(fix_1_961570560);
constexpr std::int32_t z4 = -s(fix_0_390180644);
// p7 = t4 c0.298 + z1 + z3 + z5.
constexpr std::int32_t c74 = s(fix_0_298631336) + z1 + z3 + z5, c75 = z5;
constexpr std::int32_t c76 = z3 + z5, c77 = z1 + z5;
// p5 = t5 c2.053 + z2 + z4 + z5.
constexpr std::int32_t c54 = z5, c55 = s(fix_2_053119869) + z2 + z4 + z5;
constexpr std::int32_t c56 = z2 + z5, c57 = z4 + z5;
// p3 = t6 c3.072 + z2 + z3 + z5.
constexpr std::int32_t c34 = z3 + z5, c35 = z2 + z5;
constexpr std::int32_t c36 = s(fix_3_072711026) + z2 + z3 + z5, c37 = z5;
// p1 = t7 c1.501 + z1 + z4 + z5.
constexpr std::int32_t c14 = z1 + z5, c15 = z4 + z5;
constexpr std::int32_t c16 = z5, c17 = s(fix_1_501321110) + z1 + z4 + z5;

constexpr bool fits(std::int32_t weight) {
    return weight >= -32768 && weight <= 32767;
}
static_assert(fits(c2a) && fits(c2b) && fits(c6a) && fits(c6b));
static_assert(fits(c74) && fits(c75) && fits(c76) && fits(c77));
static_assert(fits(c54) && fits(c55) && fits(c56) && fits(c57));
static_assert(fits(c34) && fits(c35) && fits(c36) && fits(c37));
static_assert(fits(c14) && fits(c15) && fits(c16) && fits(c17));
}  // namespace w

// asr of codec/wide_lanes.h, compiled for AVX2: a 32-byte vector must not be passed to a
// function that is not (clang checks every call before inlining).
[[gnu::always_inline]] kvrn_avx2 inline wide_lanes shifted(wide_lanes value, int bits) {
    return __builtin_bit_cast(wide_lanes, __builtin_bit_cast(signed_wide_lanes, value) >> bits);
}

// One pass of fdct::fdct_1d over eight lines side by side, through 16-bit multiply-adds when
// the multiplicands allow it.
template <fdct::pass which>
[[gnu::always_inline]] kvrn_avx2 inline void pass(wide_lanes (&p)[8]) {
    const wide_lanes t0 = p[0] + p[7], t7 = p[0] - p[7];
    const wide_lanes t1 = p[1] + p[6], t6 = p[1] - p[6];
    const wide_lanes t2 = p[2] + p[5], t5 = p[2] - p[5];
    const wide_lanes t3 = p[3] + p[4], t4 = p[3] - p[4];
    const wide_lanes t10 = t0 + t3, t13 = t0 - t3;
    const wide_lanes t11 = t1 + t2, t12 = t1 - t2;
    // v fits in 16 bits when v + 2^15, taken as unsigned, is below 2^16.
    const wide_lanes any = (t4 + 0x8000U) | (t5 + 0x8000U) | (t6 + 0x8000U) | (t7 + 0x8000U) |
                           (t12 + 0x8000U) | (t13 + 0x8000U);
    const auto high = _mm256_set1_epi32(static_cast<int>(0xFFFF0000U));
    if (_mm256_testz_si256(__builtin_bit_cast(__m256i, any), high) == 0) {
        fdct::fdct_1d<which>(p);
        return;
    }
    constexpr int shift = which == fdct::pass::rows ? 11 : 15;
    constexpr wrap32 round = wrap32{1} << (shift - 1);
    if constexpr (which == fdct::pass::rows) {
        p[0] = (t10 + t11) << 2;
        p[4] = (t10 - t11) << 2;
    } else {
        p[0] = shifted(t10 + t11 + 2, 2);
        p[4] = shifted(t10 - t11 + 2, 2);
    }
    const __m256i even = pair(t12, t13), odd45 = pair(t4, t5), odd67 = pair(t6, t7);
    p[2] = shifted(products(even, w::c2a, w::c2b) + round, shift);
    p[6] = shifted(products(even, w::c6a, w::c6b) + round, shift);
    p[7] =
        shifted(products(odd45, w::c74, w::c75) + products(odd67, w::c76, w::c77) + round, shift);
    p[5] =
        shifted(products(odd45, w::c54, w::c55) + products(odd67, w::c56, w::c57) + round, shift);
    p[3] =
        shifted(products(odd45, w::c34, w::c35) + products(odd67, w::c36, w::c37) + round, shift);
    p[1] =
        shifted(products(odd45, w::c14, w::c15) + products(odd67, w::c16, w::c17) + round, shift);
}

}  // namespace

kvrn_avx2 void avx2::fdct_2d(coef_block& block) {
    wide_lanes v[8];
    load_rows(block, v);
    transpose(v);  // lane r holds row r
    pass<fdct::pass::rows>(v);
    transpose(v);  // lane c holds column c
    pass<fdct::pass::columns>(v);
    store_rows(v, block);
}

}  // namespace kvrn

#endif
