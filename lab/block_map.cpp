#include "lab/block_map.h"

#include <cstddef>
#include <vector>

#include "codec/picture.h"
#include "lab/colour_ramp.h"

namespace kvrn::lab {

std::optional<block_map_picture> block_map(const std::vector<std::uint16_t>& bytes,
                                           std::int32_t columns, std::int32_t rows,
                                           std::int32_t width, std::int32_t height, int least,
                                           int most, const std::string& counted) {
    if (width <= 0 || height <= 0 || columns != (width + 7) / 8 || rows != (height + 7) / 8 ||
        bytes.size() != static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows) ||
        least >= most)
        return std::nullopt;
    block_map_picture map;
    map.width = width;
    map.height = height;
    map.pixels.resize(pixel_offset(width, height, 0));
    // The colours of a row of blocks, worked out once for its eight rows of pixels.
    std::vector<rgb8> colours(static_cast<std::size_t>(columns));
    for (std::int32_t y = 0; y < height; ++y) {
        if (y % 8 == 0) {
            const std::size_t row_of_blocks =
                static_cast<std::size_t>(y / 8) * static_cast<std::size_t>(columns);
            for (std::size_t c = 0; c < colours.size(); ++c) {
                colours[c] = ramp_colour(static_cast<double>(bytes[row_of_blocks + c] - least) /
                                         static_cast<double>(most - least));
            }
        }
        std::uint8_t* out = map.pixels.data() + pixel_offset(width, y, 0);
        for (std::int32_t x = 0; x < width; ++x, out += 3) {
            const rgb8& colour = colours[static_cast<std::size_t>(x / 8)];
            out[0] = colour.r;
            out[1] = colour.g;
            out[2] = colour.b;
        }
    }
    map.legend = "each 8 x 8 block coloured by the coded bytes of " + counted + ": " +
                 std::to_string(least) + " black, through violet, red and amber, to " +
                 std::to_string(most) + " pale yellow";
    return map;
}

}  // namespace kvrn::lab
