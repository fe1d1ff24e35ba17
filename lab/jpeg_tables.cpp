#include "lab/jpeg_tables.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace kvrn::lab {
namespace {

// Row-major by frequency, as quantisation_tables holds them.
constexpr std::array<std::int32_t, 64> luma = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};

constexpr std::array<std::int32_t, 64> chroma = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

std::array<std::int32_t, 64> scaled(const std::array<std::int32_t, 64>& base, std::int32_t scale) {
    std::array<std::int32_t, 64> table{};
    for (std::size_t i = 0; i < table.size(); ++i) {
        table[i] = std::clamp((base[i] * scale + 50) / 100, 1, 255);
    }
    return table;
}

}  // namespace

quantisation_tables jpeg_tables(std::int32_t quality) {
    quality = std::clamp(quality, 1, 100);
    const std::int32_t scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    const std::array<std::int32_t, 64> c = scaled(chroma, scale);
    return {scaled(luma, scale), c, c};
}

}  // namespace kvrn::lab
