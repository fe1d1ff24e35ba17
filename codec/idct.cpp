#include "codec/idct.h"

#include <algorithm>

#include "codec/wrapping.h"

namespace kvrn {
namespace {

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

std::int32_t saturate(std::int32_t value) {
    return std::clamp(value, -128, 127) + 128;
}

// The odd part and the rotation shared by both passes, on values already loaded. Leaves in
// x7, x3, x0, x8 the even sums and in x1, x2, x4, x6 the odd terms to add and subtract.
struct butterfly {
    wrap32 x0, x1, x2, x3, x4, x5, x6, x7, x8;

    void third_stage() {
        x7 = x8 + x3;
        x8 -= x3;
        x3 = x0 + x2;
        x0 -= x2;
        x2 = wrap(shift_right(r2 * (x4 + x5) + 128, 8));
        x4 = wrap(shift_right(r2 * (x4 - x5) + 128, 8));
    }
};

}  // namespace

// Scale: the weights carry 11 fractional bits and b0 enters as b0 * 2^11 to match; the final
// shift by 8 keeps 3 of them, so a row leaves at 8 times its 1-D inverse (a DC-only row b0
// becomes eight copies of 8 * b0). The 128 added to x0 rounds that shift.
void idct_row(std::span<std::int32_t, 8> row) {
    const std::span<std::int32_t, 8> b = row;
    // A row with only a DC term (b4 counting as zero when its 2^11 multiple wraps to 0) is flat.
    if (b[1] == 0 && b[2] == 0 && b[3] == 0 && b[5] == 0 && b[6] == 0 && b[7] == 0 &&
        (wrap(b[4]) << 11) == 0) {
        const std::int32_t flat = unwrap(wrap(b[0]) << 3);
        std::fill(b.begin(), b.end(), flat);
        return;
    }
    butterfly x{};
    x.x0 = (wrap(b[0]) << 11) + 128;
    x.x1 = wrap(b[4]) << 11;
    x.x2 = wrap(b[6]);
    x.x3 = wrap(b[2]);
    x.x4 = wrap(b[1]);
    x.x5 = wrap(b[7]);
    x.x6 = wrap(b[5]);
    x.x7 = wrap(b[3]);

    // First stage: the odd inputs, rotated by w7/w1 and w3/w5.
    x.x8 = w7 * (x.x4 + x.x5);
    x.x4 = x.x8 + (w1 - w7) * x.x4;
    x.x5 = x.x8 - (w1 + w7) * x.x5;
    x.x8 = w3 * (x.x6 + x.x7);
    x.x6 = x.x8 - (w3 - w5) * x.x6;
    x.x7 = x.x8 - (w3 + w5) * x.x7;

    // Second stage: the even part, rotated by w6/w2, and the odd butterflies.
    x.x8 = x.x0 + x.x1;
    x.x0 -= x.x1;
    x.x1 = w6 * (x.x3 + x.x2);
    x.x2 = x.x1 - (w2 + w6) * x.x2;
    x.x3 = x.x1 + (w2 - w6) * x.x3;
    x.x1 = x.x4 + x.x6;
    x.x4 -= x.x6;
    x.x6 = x.x5 + x.x7;
    x.x5 -= x.x7;

    x.third_stage();

    b[0] = shift_right(x.x7 + x.x1, 8);
    b[1] = shift_right(x.x3 + x.x2, 8);
    b[2] = shift_right(x.x0 + x.x4, 8);
    b[3] = shift_right(x.x8 + x.x6, 8);
    b[4] = shift_right(x.x8 - x.x6, 8);
    b[5] = shift_right(x.x0 - x.x4, 8);
    b[6] = shift_right(x.x3 - x.x2, 8);
    b[7] = shift_right(x.x7 - x.x1, 8);
}

// Scale: a0 enters as a0 * 2^8 and the weighted terms reach the same 2^8 through their 11-bit
// weights less the stage shifts of 3. The final shift by 14 takes out those 8 bits and a factor
// 64: the row pass's 8 and the 8 of the JPEG scale (DC = 8 * s). The 32 added to a0, 2^13 at
// that scale, rounds it to nearest.
void idct_column(const coef_block& rows, coef_block& samples, int column) {
    const auto at = [column](int k) {
        return static_cast<std::size_t>(k) * 8 + static_cast<std::size_t>(column);
    };
    const auto a = [&](int k) { return rows[at(k)]; };
    const auto put = [&](int k, std::int32_t value) { samples[at(k)] = saturate(value); };
    if (a(1) == 0 && a(2) == 0 && a(3) == 0 && a(5) == 0 && a(6) == 0 && a(7) == 0 &&
        (wrap(a(4)) << 8) == 0) {
        const std::int32_t flat = shift_right(wrap(a(0)) + 32, 6);
        for (int k = 0; k < 8; ++k) put(k, flat);
        return;
    }
    butterfly x{};
    x.x0 = (wrap(a(0)) + 32) << 8;
    x.x1 = wrap(a(4)) << 8;
    x.x2 = wrap(a(6));
    x.x3 = wrap(a(2));
    x.x4 = wrap(a(1));
    x.x5 = wrap(a(7));
    x.x6 = wrap(a(5));
    x.x7 = wrap(a(3));

    // First stage, dropping 3 bits (with 4 to round) to keep the column in 32 bits.
    x.x8 = w7 * (x.x4 + x.x5) + 4;
    x.x4 = wrap(shift_right(x.x8 + (w1 - w7) * x.x4, 3));
    x.x5 = wrap(shift_right(x.x8 - (w1 + w7) * x.x5, 3));
    x.x8 = w3 * (x.x6 + x.x7) + 4;
    x.x6 = wrap(shift_right(x.x8 - (w3 - w5) * x.x6, 3));
    x.x7 = wrap(shift_right(x.x8 - (w3 + w5) * x.x7, 3));

    // Second stage, likewise.
    x.x8 = x.x0 + x.x1;
    x.x0 -= x.x1;
    x.x1 = w6 * (x.x3 + x.x2) + 4;
    x.x2 = wrap(shift_right(x.x1 - (w2 + w6) * x.x2, 3));
    x.x3 = wrap(shift_right(x.x1 + (w2 - w6) * x.x3, 3));
    x.x1 = x.x4 + x.x6;
    x.x4 -= x.x6;
    x.x6 = x.x5 + x.x7;
    x.x5 -= x.x7;

    x.third_stage();

    put(0, shift_right(x.x7 + x.x1, 14));
    put(1, shift_right(x.x3 + x.x2, 14));
    put(2, shift_right(x.x0 + x.x4, 14));
    put(3, shift_right(x.x8 + x.x6, 14));
    put(4, shift_right(x.x8 - x.x6, 14));
    put(5, shift_right(x.x0 - x.x4, 14));
    put(6, shift_right(x.x3 - x.x2, 14));
    put(7, shift_right(x.x7 - x.x1, 14));
}

void idct_2d(coef_block& coefficients, coef_block& samples) {
    for (std::size_t r = 0; r < 8; ++r) {
        idct_row(std::span<std::int32_t, 8>(coefficients.data() + 8 * r, 8));
    }
    for (int c = 0; c < 8; ++c) idct_column(coefficients, samples, c);
}

}  // namespace kvrn
