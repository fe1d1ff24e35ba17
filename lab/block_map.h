// Where the bytes of a KVRN file go: the block grid, each 8 x 8 block coloured by the coded bytes
// of its Y, Cr and Cb blocks, or of one channel's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvrn::lab {

// The ends of the fixed scales: a coded block takes 3 bytes at the least and 65 at the most, the
// three of a position 9 and 195.
inline constexpr int block_bytes_least = 9;
inline constexpr int block_bytes_most = 195;
inline constexpr int channel_block_bytes_least = 3;
inline constexpr int channel_block_bytes_most = 65;

struct block_map_picture {
    std::vector<std::uint8_t> pixels;  // RGB, `width` x `height`
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::string legend;  // one line: what the colours mean
};

// `bytes` holds one count per block position, `columns` x `rows` of them row by row; block row
// 0 covers rows 0..7 of the result. The result is `width` x `height` pixels, the picture's size
// (its right and bottom blocks may be cut); `columns` and `rows` must be its width and height in
// blocks, rounded up. Counts are placed on the scale from `least` (black) to `most` (pale
// yellow), `least` < `most`; `counted` says what they count in the legend ("its Y, Cr and Cb
// blocks"). Nothing when the sizes do not agree or the scale is empty.
std::optional<block_map_picture> block_map(const std::vector<std::uint16_t>& bytes,
                                           std::int32_t columns, std::int32_t rows,
                                           std::int32_t width, std::int32_t height, int least,
                                           int most, const std::string& counted);

}  // namespace kvrn::lab
