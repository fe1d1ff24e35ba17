// The inverse colour conversion's arithmetic, written once for one value and for a vector of
// lanes: the plain conversion (codec/colour.cpp) and the vector one (codec/x86/) run the same
// formula. The template finds the operations of a vector type by ordinary lookup where it is
// defined, so a file that runs it on vectors includes their header (codec/wide_lanes.h)
// before this one.
#pragma once

#include "codec/coef_block.h"
#include "codec/pass_ops.h"
#include "codec/wrapping.h"

namespace kvrn {

// Fixed-point JFIF weights of the inverse conversion, each as factor >> shift:
//   R from Cr: 359 / 2^8 = 1.40234  (1.402)
//   G from Cr: 183 / 2^8 = 0.71484  (0.714136)
//   G from Cb:  11 / 2^5 = 0.34375  (0.344136)
//   B from Cb: 227 / 2^7 = 1.77344  (1.772)
// The chroma differences lie in -128..127, so every product fits easily in 32 bits; the shifts
// are arithmetic and round toward minus infinity. V is one value or several lanes.
template <class V>
[[gnu::always_inline]] inline void to_rgb(const channel_enables& enables, const V& y, const V& cr,
                                          const V& cb, V& red, V& green, V& blue) {
    const V luma = y * wrap(enables.use_y);
    const V red_diff = wrap(enables.use_cr) * (cr - 128);
    const V blue_diff = wrap(enables.use_cb) * (cb - 128);
    red = luma + asr(red_diff * 359, 8);
    green = luma - asr(red_diff * 183, 8) - asr(blue_diff * 11, 5);
    blue = luma + asr(blue_diff * 227, 7);
}

}  // namespace kvrn
