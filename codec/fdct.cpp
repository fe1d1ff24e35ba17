#include "codec/fdct.h"

#include <cstddef>

#include "codec/wrapping.h"

namespace kvrn {
namespace {

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

// One 1-D transform over the eight values data[0], data[stride], ..., data[7 * stride].
void fdct_1d(std::int32_t* data, std::ptrdiff_t stride, pass which) {
    const auto at = [&](int k) -> std::int32_t& { return data[k * stride]; };
    const wrap32 t0 = wrap(at(0)) + wrap(at(7));
    wrap32 t7 = wrap(at(0)) - wrap(at(7));
    const wrap32 t1 = wrap(at(1)) + wrap(at(6));
    wrap32 t6 = wrap(at(1)) - wrap(at(6));
    const wrap32 t2 = wrap(at(2)) + wrap(at(5));
    wrap32 t5 = wrap(at(2)) - wrap(at(5));
    const wrap32 t3 = wrap(at(3)) + wrap(at(4));
    wrap32 t4 = wrap(at(3)) - wrap(at(4));

    // Even part.
    const wrap32 t10 = t0 + t3;
    const wrap32 t13 = t0 - t3;
    const wrap32 t11 = t1 + t2;
    const wrap32 t12 = t1 - t2;
    int shift = 11;
    if (which == pass::rows) {
        at(0) = unwrap((t10 + t11) << 2);
        at(4) = unwrap((t10 - t11) << 2);
    } else {
        at(0) = shift_right(t10 + t11 + 2, 2);
        at(4) = shift_right(t10 - t11 + 2, 2);
        shift = 15;
    }
    const wrap32 round = wrap32{1} << (shift - 1);
    wrap32 z1 = (t12 + t13) * fix_0_541196100;
    at(2) = shift_right(z1 + t13 * fix_0_765366865 + round, shift);
    at(6) = shift_right(z1 - t12 * fix_1_847759065 + round, shift);

    // Odd part.
    z1 = t4 + t7;
    wrap32 z2 = t5 + t6;
    wrap32 z3 = t4 + t6;
    wrap32 z4 = t5 + t7;
    const wrap32 z5 = (z3 + z4) * fix_1_175875602;
    t4 *= fix_0_298631336;
    t5 *= fix_2_053119869;
    t6 *= fix_3_072711026;
    t7 *= fix_1_501321110;
    z1 = 0U - z1 * fix_0_899976223;
    z2 = 0U - z2 * fix_2_562915447;
    z3 = z5 - z3 * fix_1_961570560;
    z4 = z5 - z4 * fix_0_390180644;
    at(7) = shift_right(t4 + z1 + z3 + round, shift);
    at(5) = shift_right(t5 + z2 + z4 + round, shift);
    at(3) = shift_right(t6 + z2 + z3 + round, shift);
    at(1) = shift_right(t7 + z1 + z4 + round, shift);
}

}  // namespace

void fdct_2d(coef_block& block) {
    for (std::ptrdiff_t r = 0; r < 8; ++r) fdct_1d(block.data() + 8 * r, 1, pass::rows);
    for (std::ptrdiff_t c = 0; c < 8; ++c) fdct_1d(block.data() + c, 8, pass::columns);
}

}  // namespace kvrn
