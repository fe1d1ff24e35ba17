// 32-bit two's-complement arithmetic with a defined wrap-around.
//
// The transforms are specified on 32-bit integers. For image data their intermediates stay far
// inside 32 bits, but a hostile file can pair extreme coefficients with large scales. Doing the
// additions and multiplications on uint32_t gives the same bits as 32-bit hardware would, with
// the wrap defined instead of undefined; converting back to int32_t is modular (C++20) and the
// right shift of a negative int32_t is arithmetic (C++20), rounding toward minus infinity.
#pragma once

#include <cstdint>

namespace kvrn {

using wrap32 = std::uint32_t;

constexpr wrap32 wrap(std::int32_t value) {
    return static_cast<wrap32>(value);
}

constexpr std::int32_t unwrap(wrap32 value) {
    return static_cast<std::int32_t>(value);
}

// Arithmetic right shift of the signed value held in `value`.
constexpr std::int32_t shift_right(wrap32 value, int bits) {
    return unwrap(value) >> bits;
}

static_assert(shift_right(wrap(-9), 3) == -2, "right shifts must round toward minus infinity");
static_assert(shift_right(wrap(-1), 3) == -1, "right shifts must round toward minus infinity");

}  // namespace kvrn
