#include "cli/formats/orientation.h"

#include <array>
#include <utility>

#include "cli/formats/row_order.h"

namespace kvrn::cli {

namespace {

// Every orientation is a transposition of the stored picture (or none), followed by mirroring
// left to right and/or top to bottom: the picture shown at (x, y), counted from its top left, is
// the transposed one's at (flip_x ? width - 1 - x : x, flip_y ? height - 1 - y : y).
struct orientation_steps {
    bool transpose;
    bool flip_x;
    bool flip_y;
    std::string_view change;
};

constexpr std::array<orientation_steps, 8> steps{{
    {false, false, false, ""},
    {false, true, false, "mirrored left to right"},
    {false, true, true, "rotated 180 degrees"},
    {false, false, true, "mirrored top to bottom"},
    {true, false, false, "transposed (rotated 90 degrees clockwise, then mirrored left to right)"},
    {true, true, false, "rotated 90 degrees clockwise"},
    {true, true, true,
     "transversed (rotated 90 degrees counterclockwise, then mirrored left to right)"},
    {true, false, true, "rotated 90 degrees counterclockwise"},
}};

}  // namespace

std::string_view orientation_change(int orientation) {
    return steps.at(orientation - 1).change;
}

bool apply_orientation(image& picture, int orientation, std::string_view name) {
    const orientation_steps& how = steps.at(orientation - 1);
    if (orientation == 1) return true;
    const std::int32_t w = picture.width;
    const std::int32_t h = picture.height;
    image shown;
    if (!allocate(shown, how.transpose ? h : w, how.transpose ? w : h, name)) return false;
    // Rows are counted from the top here, as the orientations count them.
    for (std::int32_t y = 0; y < shown.height; ++y) {
        const std::int32_t ty = how.flip_y ? other_end(y, shown.height) : y;
        std::uint8_t* target = file_row(shown.pixels.get(), shown.width, shown.height, y);
        for (std::int32_t x = 0; x < shown.width; ++x, target += 3) {
            const std::int32_t tx = how.flip_x ? shown.width - 1 - x : x;
            const std::int32_t column = how.transpose ? ty : tx;
            const std::int32_t row = how.transpose ? tx : ty;
            const std::uint8_t* source =
                file_row(picture.pixels.get(), w, h, row) + pixel_offset(w, 0, column);
            target[0] = source[0];
            target[1] = source[1];
            target[2] = source[2];
        }
    }
    picture = std::move(shown);
    return true;
}

}  // namespace kvrn::cli
