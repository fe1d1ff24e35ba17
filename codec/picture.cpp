#include "codec/picture.h"

#include <limits>

namespace kvrn {

std::optional<std::size_t> picture_bytes(std::int64_t width, std::int64_t height) {
    if (width < 0 || height < 0) return std::nullopt;
    const auto w = static_cast<std::uint64_t>(width);
    const auto h = static_cast<std::uint64_t>(height);
    constexpr std::uint64_t limit = std::numeric_limits<std::size_t>::max();
    if (w != 0 && h > limit / 3 / w) return std::nullopt;
    return static_cast<std::size_t>(w * h * 3);
}

}  // namespace kvrn
