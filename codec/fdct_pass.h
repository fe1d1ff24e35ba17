// The forward DCT's 1-D pass, written once for one value and for a vector of lanes: the plain
// transform (codec/fdct.cpp) and the vector one (codec/x86/) run the same arithmetic. The
// template finds the operations of a vector type by ordinary lookup where it is defined, so a
// file that runs it on vectors includes their header (codec/wide_lanes.h) before this one.
#pragma once

#include "codec/pass_ops.h"
#include "codec/wrapping.h"

namespace kvrn::fdct {

// Constants: the real value times 2^13, rounded (ck = cos(k * pi / 16)).
constexpr wrap32 fix_0_298631336 = 2446;   // sqrt(2) * (-c1 + c3 + c5 - c7)
constexpr wrap32 fix_0_390180644 = 3196;   // sqrt(2) * (c3 - c5)
constexpr wrap32 fix_0_541196100 = 4433;   // sqrt(2) * c6
constexpr wrap32 fix_0_765366865 = 6270;   // sqrt(2) * (c2 - c6)
constexpr wrap32 fix_0_899976223 = 7373;   // sqrt(2) * (c3 - c7)
constexpr wrap32 fix_1_175875602 = 9633;   // sqrt(2) * c3
constexpr wrap32 fix_1_501321110 = 12299;  // sqrt(2) * (c1 + c3 - c5 - c7)
constexpr wrap32 fix_1_847759065 = 15137;  // sqrt(2) * (c2 + c6)
constexpr wrap32 fix_1_961570560 = 16069;  // sqrt(2) * (c3 + c5)
constexpr wrap32 fix_2_053119869 = 16819;  // sqrt(2) * (c1 + c3 - c5 + c7)
constexpr wrap32 fix_2_562915447 = 20995;  // sqrt(2) * (c1 + c3)
constexpr wrap32 fix_3_072711026 = 25172;  // sqrt(2) * (c1 + c3 + c5 - c7)

// The row pass keeps 2 extra bits of precision: its even outputs are multiplied by 4 and its
// rotated outputs drop 13 - 2 = 11 of the constants' fraction bits. The column pass removes the
// 2 bits again: even outputs shift right by 2, rotated ones by 13 + 2 = 15, each with half of
// its divisor added to round. The DC therefore ends as the exact sum of the 64 samples.
enum class pass { rows, columns };

// Bit budget: for samples in -128..127 every row output lies within +-2^13 (eight samples of at
// most 2^7, times 4), the sums and differences of a column within +-2^16, and so every product
// within 2^16 * 25172 < 2^31. Other inputs wrap, as 32-bit arithmetic does.

// One 1-D transform of p[0..7], in place. V is wrap32 for one row or column (codec/fdct.cpp), or
// wide_lanes for eight side by side (codec/x86/fdct_avx2.cpp).
template <pass which, class V>
[[gnu::always_inline]] inline void fdct_1d(V (&p)[8]) {
    const V t0 = p[0] + p[7];
    V t7 = p[0] - p[7];
    const V t1 = p[1] + p[6];
    V t6 = p[1] - p[6];
    const V t2 = p[2] + p[5];
    V t5 = p[2] - p[5];
    const V t3 = p[3] + p[4];
    V t4 = p[3] - p[4];

    // Even part.
    const V t10 = t0 + t3;
    const V t13 = t0 - t3;
    const V t11 = t1 + t2;
    const V t12 = t1 - t2;
    constexpr int shift = which == pass::rows ? 11 : 15;
    constexpr wrap32 round = wrap32{1} << (shift - 1);
    if constexpr (which == pass::rows) {
        p[0] = (t10 + t11) << 2;
        p[4] = (t10 - t11) << 2;
    } else {
        p[0] = asr(t10 + t11 + 2, 2);
        p[4] = asr(t10 - t11 + 2, 2);
    }
    V z1 = (t12 + t13) * fix_0_541196100;
    p[2] = asr(z1 + t13 * fix_0_765366865 + round, shift);
    p[6] = asr(z1 - t12 * fix_1_847759065 + round, shift);

    // Odd part.
    z1 = t4 + t7;
    V z2 = t5 + t6;
    V z3 = t4 + t6;
    V z4 = t5 + t7;
    const V z5 = (z3 + z4) * fix_1_175875602;
    t4 *= fix_0_298631336;
    t5 *= fix_2_053119869;
    t6 *= fix_3_072711026;
    t7 *= fix_1_501321110;
    z1 = 0U - z1 * fix_0_899976223;
    z2 = 0U - z2 * fix_2_562915447;
    z3 = z5 - z3 * fix_1_961570560;
    z4 = z5 - z4 * fix_0_390180644;
    p[7] = asr(t4 + z1 + z3 + round, shift);
    p[5] = asr(t5 + z2 + z4 + round, shift);
    p[3] = asr(t6 + z2 + z3 + round, shift);
    p[1] = asr(t7 + z1 + z4 + round, shift);
}

}  // namespace kvrn::fdct
