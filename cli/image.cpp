#include "cli/image.h"

#include <optional>

#include "cli/report.h"
#include "codec/picture.h"

namespace kvrn::cli {

bool allocate(image& picture, std::int32_t width, std::int32_t height, std::string_view name) {
    const std::optional<std::size_t> bytes = picture_bytes(width, height);
    if (bytes) picture.pixels.reset(static_cast<std::uint8_t*>(std::calloc(*bytes, 1)));
    if (!bytes || !picture.pixels) {
        complain(name, "cannot allocate memory for a %d x %d picture", width, height);
        return false;
    }
    picture.width = width;
    picture.height = height;
    return true;
}

bool check_sides(std::uint64_t width, std::uint64_t height, const char* path) {
    if (width >= 1 && height >= 1 && width <= max_side && height <= max_side) return true;
    complain(path, "the picture is %llu x %llu; a KVRN picture is 1 to %d pixels on each side",
             static_cast<unsigned long long>(width), static_cast<unsigned long long>(height),
             max_side);
    return false;
}

}  // namespace kvrn::cli
