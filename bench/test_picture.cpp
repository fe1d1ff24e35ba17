#include "bench/test_picture.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "codec/picture.h"

namespace kvrn::bench {

std::vector<std::uint8_t> test_picture(std::int32_t width, std::int32_t height) {
    std::vector<std::uint8_t> pixels(*picture_bytes(width, height));
    std::mt19937 random(42);
    std::uniform_int_distribution<int> noise(-6, 6);
    std::size_t i = 0;
    for (std::int32_t row = 0; row < height; ++row) {
        for (std::int32_t column = 0; column < width; ++column) {
            // The content repeats every 1024 pixels, so every size has the same detail per pixel
            // and the cost per pixel can be compared across sizes.
            const double u = static_cast<double>(column % 1024) / 1024.0;
            const double v = static_cast<double>(row % 1024) / 1024.0;
            const double rings =
                127.5 +
                127.5 * std::sin(40.0 * ((u - 0.5) * (u - 0.5) + (v - 0.5) * (v - 0.5)) * 60.0);
            const double texture = ((column / 3) ^ (row / 5)) & 63;
            const double base[3] = {255.0 * u, 0.5 * rings + texture, 255.0 * v};
            for (const double b : base) {
                pixels[i++] = static_cast<std::uint8_t>(
                    std::clamp(static_cast<int>(b) + noise(random), 0, 255));
            }
        }
    }
    return pixels;
}

}  // namespace kvrn::bench
