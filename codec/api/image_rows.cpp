#include "codec/api/image_rows.h"

#include <cstdlib>
#include <cstring>

namespace kvrn::api {
namespace {

// An 8-bit `value` seen through `alpha` in front of white, in the sample values as browsers
// compose: round((value * alpha + 255 * (255 - alpha)) / 255). At most 255 * 255 + 127.
constexpr std::uint8_t over_white(std::uint32_t value, std::uint32_t alpha) {
    return static_cast<std::uint8_t>((value * alpha + 255 * (255 - alpha) + 127) / 255);
}

}  // namespace

bool holds_row(ptrdiff_t stride, std::uint32_t width) {
    // |stride| without the overflow of negating the most negative value.
    const std::size_t magnitude =
        stride < 0 ? 0 - static_cast<std::size_t>(stride) : static_cast<std::size_t>(stride);
    return magnitude / 3 >= width;
}

kvrn_status check_image(const kvrn_image* image) {
    if (image == nullptr || image->pixels == nullptr) return KVRN_BAD_ARGUMENT;
    if (image->width == 0 || image->height == 0) return KVRN_NO_PIXELS;
    if (image->width > 65535 || image->height > 65535) return KVRN_TOO_LARGE;
    if (image->components != 3 && image->components != 4) return KVRN_BAD_ARGUMENT;
    const std::size_t magnitude = image->stride < 0 ? 0 - static_cast<std::size_t>(image->stride)
                                                    : static_cast<std::size_t>(image->stride);
    if (magnitude / image->components < image->width) return KVRN_BAD_ARGUMENT;
    return KVRN_OK;
}

void copy_band(const kvrn_image& image, std::int32_t r0, std::int32_t rows, std::uint8_t* band) {
    const std::size_t width = image.width;
    for (std::int32_t i = 0; i < rows; ++i) {
        const std::size_t from_top = image.height - 1 - static_cast<std::size_t>(r0 + i);
        const std::uint8_t* in = row_at(image.pixels, image.stride, from_top);
        std::uint8_t* out = band + static_cast<std::size_t>(i) * 3 * width;
        if (image.components == 3) {
            std::memcpy(out, in, 3 * width);
            continue;
        }
        for (std::size_t x = 0; x < width; ++x, in += 4, out += 3) {
            out[0] = over_white(in[0], in[3]);
            out[1] = over_white(in[1], in[3]);
            out[2] = over_white(in[2], in[3]);
        }
    }
}

void store_band(const std::uint8_t* band, std::int32_t width, std::int32_t r0, std::int32_t rows,
                const picture_rows& out, std::int32_t height) {
    const std::size_t row_bytes = 3 * static_cast<std::size_t>(width);
    for (std::int32_t i = 0; i < rows; ++i) {
        const std::uint8_t* in = band + static_cast<std::size_t>(i) * row_bytes;
        std::uint8_t* to = out.row(static_cast<std::size_t>(height - 1 - (r0 + i)));
        if (out.components == 3) {
            std::memcpy(to, in, row_bytes);
            continue;
        }
        for (std::int32_t x = 0; x < width; ++x, in += 3, to += 4) {
            to[0] = in[0];
            to[1] = in[1];
            to[2] = in[2];
            to[3] = 255;
        }
    }
}

}  // namespace kvrn::api
