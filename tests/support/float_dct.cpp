#include "support/float_dct.h"

#include <cmath>
#include <numbers>

namespace kvrn::testing {

real_block float_dct(const coef_block& in, bool inverse) {
    // basis[k * 8 + n] = C(k) cos((2n + 1) k pi / 16) / 2, the 1-D factor of both directions.
    static const real_block basis = [] {
        real_block table{};
        for (int i = 0; i < 64; ++i) {
            const double scale = i < 8 ? std::numbers::sqrt2 / 4.0 : 0.5;
            table[i] = scale * std::cos((2 * (i % 8) + 1) * (i / 8) * std::numbers::pi / 16.0);
        }
        return table;
    }();
    real_block out{};
    for (int a = 0; a < 64; ++a) {
        for (int c = 0; c < 64; ++c) {
            const int frequency = inverse ? c : a;
            const int position = inverse ? a : c;
            out[a] += in[c] * basis[frequency % 8 * 8 + position % 8] *
                      basis[frequency / 8 * 8 + position / 8];
        }
    }
    return out;
}

}  // namespace kvrn::testing
