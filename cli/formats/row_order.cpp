#include "cli/formats/row_order.h"

#include <algorithm>

namespace kvrn::cli {

void copy_top_first(const picture_view& picture, std::uint8_t* target) {
    const std::size_t row_bytes = pixel_offset(picture.width, 1, 0);
    for (std::int32_t y = 0; y < picture.height; ++y) {
        std::copy_n(file_row(picture, y), row_bytes, target + pixel_offset(picture.width, y, 0));
    }
}

}  // namespace kvrn::cli
