// The step `kvrn encode --step auto` gives each channel: the smallest at which no AC coefficient
// of the picture is clipped. The encoder collects the extremes over every block position at
// step 1 and asks for the step they need.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "codec/coef_block.h"

namespace kvrn::cli {

// The largest AC coefficients of each channel at step 1, on each side of zero.
struct ac_extremes {
    std::array<std::int32_t, 3> most{};   // the largest positive value, or 0
    std::array<std::int32_t, 3> least{};  // the magnitude of the most negative value, or 0
    void coded(const ycc_blocks& coefficients, std::int32_t /*r0*/, std::int32_t /*c0*/) {
        const std::array<const coef_block*, 3> blocks = {&coefficients.y, &coefficients.cr,
                                                         &coefficients.cb};
        for (std::size_t c = 0; c < blocks.size(); ++c) {
            // Index 0 is the DC, stored in 16 bits, never clipped.
            for (std::size_t i = 1; i < 64; ++i) {
                const std::int32_t value = (*blocks[c])[i];
                most[c] = std::max(most[c], value);
                least[c] = std::max(least[c], -value);
            }
        }
    }
};

// The smallest step at which no AC value of `extremes`' channel `c` leaves -127..126. A value v
// at step 1 becomes trunc(v / s): v >= 0 fits while v / s < 127, that is s > v / 127, so
// s = v / 127 + 1 in whole numbers; -v fits while v / s < 128, s = v / 128 + 1.
inline std::int32_t unclipped_step(const ac_extremes& extremes, std::size_t c) {
    return std::min(65535, std::max(extremes.most[c] / 127 + 1, extremes.least[c] / 128 + 1));
}

}  // namespace kvrn::cli
