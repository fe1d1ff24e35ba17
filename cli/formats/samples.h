// Samples of any depth brought to the 8 bits the tool encodes, and samples with an alpha composed
// onto white the way people see them: in the sample values themselves (sRGB), as browsers and
// image tools compose, not in linear light. Netpbm's and PNG's rows of grey or RGB pixels, with or
// without alpha, become 8-bit RGB here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvrn::cli {

// `value` of 0 .. `maxval` (1 .. 65535) as 0 .. 255, rounded to nearest as netpbm scales:
// (value * 255 + maxval / 2) / maxval.
constexpr std::uint8_t to_8_bits(std::uint32_t value, std::uint32_t maxval) {
    return static_cast<std::uint8_t>((value * 255 + maxval / 2) / maxval);
}

// `value` seen through `alpha` (both 0 .. `maxval`) in front of white, in the same scale:
// round((value * alpha + maxval * (maxval - alpha)) / maxval). 8-bit samples compose at
// maxval 255, 16-bit ones at 65535, each before any scaling, so that an opaque pixel keeps its
// value exactly.
std::uint32_t over_white(std::uint32_t value, std::uint32_t alpha, std::uint32_t maxval);

// Rows of `depth` samples a pixel: grey, or red, green and blue, then the opacity when `alpha`
// says so (PAM's GRAYSCALE, RGB and their _ALPHA forms; PNG's rows once expanded). Each sample is
// 0 .. maxval, one byte for a maxval up to 255, else two with the high byte first.
class sample_rows {
  public:
    sample_rows() = default;
    sample_rows(std::uint32_t width, std::uint32_t depth, bool alpha, std::uint32_t maxval);

    // The bytes of one row as stored.
    std::size_t row_bytes() const;
    // Whether rows are stored as the tool holds them, 8-bit RGB, and need no converting.
    bool rgb_8_bits() const { return depth_ == 3 && maxval_ == 255 && !alpha_; }
    // One row, row_bytes() long, as width RGB pixels of 8 bits: grey becomes R = G = B, alpha is
    // composed onto white, and values above maxval count as maxval. Returns how many did.
    std::size_t convert(const std::uint8_t* raw, std::uint8_t* rgb) const;

  private:
    std::uint32_t width_ = 0;
    std::uint32_t depth_ = 0;
    bool alpha_ = false;
    std::uint32_t maxval_ = 0;
    std::vector<std::uint8_t> to_8_bits_;  // every value 0 .. maxval as 8 bits
};

}  // namespace kvrn::cli
