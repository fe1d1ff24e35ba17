#include "cli/formats/alpha.h"

namespace kvrn::cli {

std::uint32_t over_white(std::uint32_t value, std::uint32_t alpha, std::uint32_t maxval) {
    // At most maxval^2 + maxval / 2 < 2^32 for maxval 65535, but wider is no dearer.
    const std::uint64_t sum =
        std::uint64_t{value} * alpha + std::uint64_t{maxval} * (maxval - alpha);
    return static_cast<std::uint32_t>((sum + maxval / 2) / maxval);
}

}  // namespace kvrn::cli
