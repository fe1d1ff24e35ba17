// The inverse DCT's row and column passes, written once for one value and for a vector of lanes:
// the plain transform (codec/idct.cpp) and the vector one (codec/x86/) run the same arithmetic.
// The templates find the operations of a vector type by ordinary lookup where they are defined,
// so a file that runs them on vectors includes their header (codec/wide_lanes.h) before this
// one.
#pragma once

#include <algorithm>
#include <iterator>
#include <type_traits>

#include "codec/pass_ops.h"
#include "codec/wrapping.h"

namespace kvrn::idct {

// Weights wk = 2048 * sqrt(2) * cos(k * pi / 16), rounded: 11 fractional bits.
constexpr wrap32 w1 = 2841;  // 2048 * 1.387039845
constexpr wrap32 w2 = 2676;  // 2048 * 1.306562965
constexpr wrap32 w3 = 2408;  // 2048 * 1.175875602
constexpr wrap32 w5 = 1609;  // 2048 * 0.785694958
constexpr wrap32 w6 = 1108;  // 2048 * 0.541196100
constexpr wrap32 w7 = 565;   // 2048 * 0.275899379
// 256 / sqrt(2) = 181.019336, rounded: 8 fractional bits.
constexpr wrap32 r2 = 181;

static_assert(w1 - w7 == 2276 && w1 + w7 == 3406);
static_assert(w3 - w5 == 799 && w3 + w5 == 4017);
static_assert(w2 - w6 == 1568 && w2 + w6 == 3784);

// Bit budget. Row pass: |b| <= 1130 gives |x| <= 2^31 (the DC enters as b0 * 2^11 and every
// odd weight sum is below 2^13). Column pass: |a| <= 9041 row-pass results keep every product
// below 2^31. Beyond those bounds the values wrap, as 32-bit arithmetic does.

// Both passes are written once for a value type V: wrap32 transforms one row or column
// (codec/idct.cpp), wide_lanes transforms eight of them side by side (lane i is row or column i;
// codec/x86/idct_avx2.cpp). Each pass computes
// its full path and its shortcut for every lane and keeps the shortcut where it applies, so the
// results are those of the scalar description, shortcut wrap-arounds included.

// The stages both passes share, on the eight loaded values x0..x7. `stage_shift` is 0 in the row
// pass; the column pass drops 3 bits after each rotation (with `stage_round` = 4 to round) to
// keep its values in 32 bits.
template <class V>
struct butterfly {
    V x0, x1, x2, x3, x4, x5, x6, x7, x8;

    [[gnu::always_inline]] void run(int stage_shift, wrap32 stage_round) {
        rotate(stage_shift, stage_round);
        combine();
    }

    // The rotations: every multiplication by a weight but those by r2. As sums of products they
    // are x4 = w1 b1 + w7 b7, x5 = w7 b1 - w1 b7, x6 = w5 b5 + w3 b3, x7 = w3 b5 - w5 b3,
    // x2 = w6 b2 - w2 b6 and x3 = w2 b2 + w6 b6 before the stage shift (b1 standing for the value
    // loaded into x4, and so on), x8 = x0 + x1 and x0 = x0 - x1: the products of
    // codec/x86/idct_avx2.cpp's 16-bit path.
    [[gnu::always_inline]] void rotate(int stage_shift, wrap32 stage_round) {
        // First stage: the odd inputs, rotated by w7/w1 and w3/w5.
        x8 = w7 * (x4 + x5) + stage_round;
        x4 = asr(x8 + (w1 - w7) * x4, stage_shift);
        x5 = asr(x8 - (w1 + w7) * x5, stage_shift);
        x8 = w3 * (x6 + x7) + stage_round;
        x6 = asr(x8 - (w3 - w5) * x6, stage_shift);
        x7 = asr(x8 - (w3 + w5) * x7, stage_shift);
        // Second stage: the even part, rotated by w6/w2.
        x8 = x0 + x1;
        x0 -= x1;
        x1 = w6 * (x3 + x2) + stage_round;
        x2 = asr(x1 - (w2 + w6) * x2, stage_shift);
        x3 = asr(x1 + (w2 - w6) * x3, stage_shift);
    }

    // The rest, from the rotated values: the odd butterflies and the third stage.
    [[gnu::always_inline]] void combine() {
        x1 = x4 + x6;
        x4 -= x6;
        x6 = x5 + x7;
        x5 -= x7;
        // Third stage.
        x7 = x8 + x3;
        x8 -= x3;
        x3 = x0 + x2;
        x0 -= x2;
        x2 = asr(r2 * (x4 + x5) + 128, 8);
        x4 = asr(r2 * (x4 - x5) + 128, 8);
    }

    // The eight outputs, in order, before the final shift.
    [[gnu::always_inline]] void outputs(V (&out)[8]) const {
        out[0] = x7 + x1;
        out[1] = x3 + x2;
        out[2] = x0 + x4;
        out[3] = x8 + x6;
        out[4] = x8 - x6;
        out[5] = x0 - x4;
        out[6] = x3 - x2;
        out[7] = x7 - x1;
    }
};

// True (all ones) in the lanes that hold nothing but a DC term; `ac4_shift` is how far b4 is
// shifted when it is loaded, so that a b4 that wraps to 0 counts as zero.
template <class V>
[[gnu::always_inline]] inline V dc_only(const V (&b)[8], int ac4_shift) {
    return is_zero(b[1] | b[2] | b[3] | b[5] | b[6] | b[7] | (b[4] << ac4_shift));
}

// Scale: the weights carry 11 fractional bits and b0 enters as b0 * 2^11 to match; the final
// shift by 8 keeps 3 of them, so a row leaves at 8 times its 1-D inverse (a DC-only row b0
// becomes eight copies of 8 * b0). The 128 added to x0 rounds that shift.
template <class V>
[[gnu::always_inline]] inline void row_pass(V (&b)[8]) {
    const V flat_lanes = dc_only(b, 11);
    const V flat = b[0] << 3;
    if constexpr (std::is_same_v<V, wrap32>) {
        if (flat_lanes != 0) {
            std::fill(std::begin(b), std::end(b), flat);
            return;
        }
    }
    butterfly<V> x{(b[0] << 11) + 128, b[4] << 11, b[6], b[2], b[1], b[7], b[5], b[3], {}};
    x.run(0, 0);
    V out[8];
    x.outputs(out);
    for (int k = 0; k < 8; ++k) b[k] = select(flat_lanes, flat, asr(out[k], 8));
}

// Scale: a0 enters as a0 * 2^8 and the weighted terms reach the same 2^8 through their 11-bit
// weights less the stage shifts of 3. The final shift by 14 takes out those 8 bits and a factor
// 64: the row pass's 8 and the 8 of the JPEG scale (DC = 8 * s). The 32 added to a0, 2^13 at
// that scale, rounds it to nearest. Leaves the samples, saturated to 0..255, in `a`.
template <class V>
[[gnu::always_inline]] inline void column_pass(V (&a)[8]) {
    const V flat_lanes = dc_only(a, 8);
    const V flat = saturate(asr(a[0] + 32, 6));
    if constexpr (std::is_same_v<V, wrap32>) {
        if (flat_lanes != 0) {
            std::fill(std::begin(a), std::end(a), flat);
            return;
        }
    }
    butterfly<V> x{(a[0] + 32) << 8, a[4] << 8, a[6], a[2], a[1], a[7], a[5], a[3], {}};
    x.run(3, 4);
    V out[8];
    x.outputs(out);
    for (int k = 0; k < 8; ++k) a[k] = select(flat_lanes, flat, saturate(asr(out[k], 14)));
}

}  // namespace kvrn::idct
