// Pictures as the C interface hands them over (rows top first, any stride, RGB or RGBA) turned
// into the codec's bands (rows bottom first, packed RGB), and bands turned back.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/encoder.h"
#include "codec/include/kvrn.h"

namespace kvrn::api {

// Whether `image` can be read: not null, 1..65535 pixels a side, 3 or 4 components, and a
// stride that holds a row.
kvrn_status check_image(const kvrn_image* image);

// Whether a stride of `stride` bytes holds rows of `width` RGB pixels.
bool holds_row(ptrdiff_t stride, std::uint32_t width);

// The address of row `row` (counted from the top) of a picture at `pixels`, rows `stride` apart.
inline const std::uint8_t* row_at(const std::uint8_t* pixels, ptrdiff_t stride, std::size_t row) {
    return pixels + static_cast<ptrdiff_t>(row) * stride;
}
inline std::uint8_t* row_at(std::uint8_t* pixels, ptrdiff_t stride, std::size_t row) {
    return pixels + static_cast<ptrdiff_t>(row) * stride;
}

// Copies picture rows r0 .. r0 + rows - 1 of `image` (row 0 its bottom row) into `band`, the
// lowest first, packed RGB; alpha, when there is one, composed onto white.
void copy_band(const kvrn_image& image, std::int32_t r0, std::int32_t rows, std::uint8_t* band);

// A picture in the caller's memory that rows are written to: its top row's first byte, the step
// from a row to the one below it (negative for rows stored bottom first) and the bytes of a
// pixel, 3 (R, G, B) or 4 (R, G, B, alpha).
struct picture_rows {
    std::uint8_t* top;
    ptrdiff_t down;
    unsigned components;
    std::uint8_t* row(std::size_t from_top) const { return row_at(top, down, from_top); }
};

// Copies `rows` packed rows of `width` RGB pixels at `band`, the lowest of them picture row r0
// (row 0 the bottom row), into the picture `out` of `height` rows; alpha, when it has one, 255.
void store_band(const std::uint8_t* band, std::int32_t width, std::int32_t r0, std::int32_t rows,
                const picture_rows& out, std::int32_t height);

// An image handed to the encoder a band at a time.
class image_source final : public band_source {
  public:
    explicit image_source(const kvrn_image& image) : image_(image) {}
    const std::uint8_t* rows(std::int32_t r0, std::int32_t rows, std::uint8_t* band) override {
        copy_band(image_, r0, rows, band);
        return band;
    }

  private:
    const kvrn_image& image_;
};

}  // namespace kvrn::api
