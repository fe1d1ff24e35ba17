// A picture a yardstick codec gave back.
#pragma once

#include <cstdint>
#include <vector>

namespace kvrn::lab {

struct decoded_rgb {
    std::vector<std::uint8_t> pixels;  // RGB, rows from the top of the picture
    std::int32_t width = 0;
    std::int32_t height = 0;
};

}  // namespace kvrn::lab
