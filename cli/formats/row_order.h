// Image files store a picture top row first; the tool holds it bottom row first, as the viewer
// draws it and KVRN stores it (codec/kvrn_format.h). Every crossing between the two orders goes
// through here.
#pragma once

#include <cstdint>

#include "codec/picture.h"

namespace kvrn::cli {

// Row `row` counted from one end of a picture `height` rows high, counted from the other end: a
// file's row from the top is the picture's row from the bottom, and back.
constexpr std::int32_t other_end(std::int32_t row, std::int32_t height) {
    return height - 1 - row;
}

// The row from the top of the file at which the band of `rows` picture rows from `first` (counted
// from the bottom) begins: the band's last row.
constexpr std::int32_t band_top(std::int32_t first, std::int32_t rows, std::int32_t height) {
    return other_end(first + rows - 1, height);
}

// The pixels of row `top_row` from the top of a picture of `width` x `height` pixels held bottom
// row first at `pixels`.
template <class byte>
byte* file_row(byte* pixels, std::int32_t width, std::int32_t height, std::int32_t top_row) {
    return pixels + pixel_offset(width, other_end(top_row, height), 0);
}
inline const std::uint8_t* file_row(const picture_view& picture, std::int32_t top_row) {
    return file_row(picture.pixels, picture.width, picture.height, top_row);
}

// Copies `picture` to `target` (room for all of it) top row first, as files hold it.
void copy_top_first(const picture_view& picture, std::uint8_t* target);

}  // namespace kvrn::cli
