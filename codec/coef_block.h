// The one working type of the codec: an 8x8 block of signed 32-bit integers.
#pragma once

#include <array>
#include <cstdint>

namespace kvrn {

// 64 values in row-major order, index = row * 8 + column. Coefficient blocks keep the DC term
// at index 0; sample blocks (Y, Cr, Cb) and colour blocks (R, G, B) use the same layout.
// Callers own their blocks, normally on the stack; nothing in the codec allocates one.
using coef_block = std::array<std::int32_t, 64>;

// The three channel blocks of one block position, which always travel together: samples or
// coefficients of Y, Cr and Cb in stream order, or the R, G and B values made from them.
struct ycc_blocks {
    coef_block y;
    coef_block cr;
    coef_block cb;
};

struct rgb_blocks {
    coef_block red;
    coef_block green;
    coef_block blue;
};

// The three channel dividers or multipliers of one block position, in stream order.
struct channel_steps {
    std::int32_t y;
    std::int32_t cr;
    std::int32_t cb;
};

// Which channels contribute to the RGB result; each is 0 or 1 and is used as a multiplier.
struct channel_enables {
    std::int32_t use_y = 1;
    std::int32_t use_cr = 1;
    std::int32_t use_cb = 1;
};

}  // namespace kvrn
