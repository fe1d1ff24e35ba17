// Pictures held bottom row first, packed RGB (as the codec writes them) turned into what a canvas
// takes: RGBA, top row first, opaque.
#ifndef KVRN_WEB_CANVAS_ROWS_H
#define KVRN_WEB_CANVAS_ROWS_H

#include <cstddef>
#include <cstdint>

namespace kvrn::web {

// Rows `first` to `first + count - 1` of `rgb` (bottom row first, `width` pixels a row) into
// `out`, which holds 4 * width * count bytes: the topmost of those rows first.
inline void rgb_rows_to_rgba(const std::uint8_t* rgb, std::size_t width, std::size_t first,
                             std::size_t count, std::uint8_t* out) {
    for (std::size_t row = first + count; row-- > first;) {
        const std::uint8_t* in = rgb + 3 * width * row;
        for (std::size_t x = 0; x < width; ++x, in += 3, out += 4) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            out[3] = 255;
        }
    }
}

}  // namespace kvrn::web

#endif
