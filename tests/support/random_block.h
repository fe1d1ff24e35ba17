// Random blocks for the transform tests.
#pragma once

#include <climits>
#include <cstdint>
#include <random>

#include "codec/coef_block.h"

namespace kvrn::testing {

// Blocks of every kind the transforms meet: samples, sparse coefficients, any 32-bit values, a
// row whose b4 * 2048 wraps to 0, and one extreme value among zeros or its complement.
inline coef_block random_block(std::mt19937& random, int kind) {
    std::uniform_int_distribution<int> sample(-128, 127), small(-1100, 1100), sparse(0, 7);
    coef_block block;
    for (std::int32_t& v : block) {
        v = kind == 0   ? sample(random)
            : kind == 1 ? (sparse(random) < 5 ? 0 : small(random))
                        : static_cast<std::int32_t>(random()) >> (random() % 32);
    }
    if (kind == 3) block[4] = INT_MIN >> (random() % 11);
    if (kind == 4) {
        const std::int32_t one = random() % 2 != 0 ? INT_MIN : INT_MAX;
        block.fill(random() % 2 != 0 ? 0 : ~one);
        block[random() % 64] = one;
    }
    return block;
}

}  // namespace kvrn::testing
