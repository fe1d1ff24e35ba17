// A view of an RGB picture held by somebody else, and the checked size of its buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace kvrn {

// Rows follow one another from row 0, each `width` pixels of three bytes (red, green, blue) with
// nothing between rows. Offsets are computed in size_t: a 65535 x 65535 picture is 12 GiB.
struct picture_view {
    const std::uint8_t* pixels = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Byte offset of the pixel in `row`, `column`.
inline std::size_t pixel_offset(std::int32_t width, std::int32_t row, std::int32_t column) {
    return 3 * (static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
                static_cast<std::size_t>(column));
}

// The number of 8-pixel blocks that cover `pixels` pixels across or down, the last perhaps in part.
constexpr std::int32_t blocks_covering(std::int32_t pixels) {
    return (pixels + 7) / 8;
}

// width * height * 3, or nothing when either size is negative or the product does not fit.
std::optional<std::size_t> picture_bytes(std::int64_t width, std::int64_t height);

}  // namespace kvrn
