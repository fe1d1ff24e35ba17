#include "cli/formats/png.h"

#include <png.h>

#include <cstdint>

#include "cli/report.h"

namespace kvrn::cli {

bool read_png(std::FILE* in, const char* path, image& picture) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_stdio(&png, in) == 0) {
        complain(path, "not a readable PNG picture: %s", png.message);
        return false;
    }
    if (!check_sides(png.width, png.height, path) ||
        !allocate(picture, static_cast<std::int32_t>(png.width),
                  static_cast<std::int32_t>(png.height), path)) {
        png_image_free(&png);
        return false;
    }
    png.format = PNG_FORMAT_RGB;
    // 16-bit samples without colour-space information are taken as sRGB like 8-bit ones, so
    // they only lose their low byte instead of being re-encoded from linear light.
    png.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
    const png_color white{255, 255, 255};
    // A negative stride stores the bottom row first, the buffer's row 0.
    const png_int_32 stride = -3 * picture.width;
    if (png_image_finish_read(&png, &white, picture.pixels.get(), stride, nullptr) == 0) {
        complain(path, "cannot decode the PNG picture: %s", png.message);
        png_image_free(&png);
        return false;
    }
    return true;
}

bool write_png(const image& picture, std::FILE* out, const char* path) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(picture.width);
    png.height = static_cast<png_uint_32>(picture.height);
    png.format = PNG_FORMAT_RGB;
    const png_int_32 stride = -3 * picture.width;
    if (png_image_write_to_stdio(&png, out, 0, picture.pixels.get(), stride, nullptr) == 0) {
        complain(path, "cannot write the PNG picture: %s", png.message);
        return false;
    }
    return true;
}

}  // namespace kvrn::cli
