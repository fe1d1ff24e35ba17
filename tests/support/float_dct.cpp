#include "support/float_dct.h"

#include <cmath>
#include <numbers>

namespace kvrn::testing {

real_block float_dct(const coef_block& in, bool inverse) {
    // basis[k * 8 + n] = C(k) cos((2n + 1) k pi / 16) / 2, the 1-D factor of both directions.
    static const real_block basis = [] {
        real_block table{};
        for (int i = 0; i < 64; ++i)
            table[i] = (i < 8 ? std::numbers::sqrt2 / 4 : 0.5) *
                       std::cos((2 * (i % 8) + 1) * (i / 8) * std::numbers::pi / 16);
        return table;
    }();
    real_block out{};
    for (int a = 0; a < 64; ++a) {
        for (int c = 0; c < 64; ++c) {
            const int k = inverse ? c : a, n = inverse ? a : c;  // frequency and position
            out[a] += in[c] * basis[k % 8 * 8 + n % 8] * basis[k / 8 * 8 + n / 8];
        }
    }
    return out;
}

}  // namespace kvrn::testing
