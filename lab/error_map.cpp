#include "lab/error_map.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "lab/colour_ramp.h"

namespace kvrn::lab {

std::optional<std::vector<std::uint8_t>> error_map(const picture_view& a, const picture_view& b,
                                                   int gain) {
    if (a.width != b.width || a.height != b.height || a.width < 0 || a.height < 0 || gain < 1)
        return std::nullopt;
    // The ramp has 256 entries; an error of e takes entry min(255, e * gain).
    std::array<rgb8, 256> palette;
    for (std::size_t i = 0; i < palette.size(); ++i) palette[i] = ramp_colour(i / 255.0);
    const std::size_t size = pixel_offset(a.width, a.height, 0);
    std::vector<std::uint8_t> map(size);
    for (std::size_t i = 0; i < size; i += 3) {
        int error = 0;
        for (std::size_t c = 0; c < 3; ++c)
            error = std::max(error, std::abs(a.pixels[i + c] - b.pixels[i + c]));
        const rgb8 colour =
            palette[static_cast<std::size_t>(std::min(255, error * std::min(gain, 255)))];
        map[i] = colour.r;
        map[i + 1] = colour.g;
        map[i + 2] = colour.b;
    }
    return map;
}

int error_map_full(int gain) {
    gain = std::max(gain, 1);
    return (255 + gain - 1) / gain;
}

std::string error_map_scale(int gain) {
    gain = std::max(gain, 1);
    const int full = error_map_full(gain);
    return "black where the pictures agree; otherwise the largest difference of R, G and B times " +
           std::to_string(gain) + ", from violet (small) through red and amber to pale yellow (" +
           std::to_string(full) + (full == 1 ? " level" : " levels") + " or more)";
}

}  // namespace kvrn::lab
