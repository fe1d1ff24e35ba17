// The picture to encode, read a band of rows at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/image.h"

namespace kvrn::cli {

// A picture read for encoding, a band of rows at a time. A PPM file that can be read at any
// offset (a regular file) is read band by band, so that a large picture is never held whole
// and its buffer never has to be faulted in; anything else is read whole first.
class picture_bands {
  public:
    picture_bands() = default;
    ~picture_bands();
    picture_bands(const picture_bands&) = delete;
    picture_bands& operator=(const picture_bands&) = delete;

    // Opens the picture at `path` ("-": standard input) in the format its name gives and checks
    // its header. PNG pictures in grey, palette or 16-bit form become 8-bit RGB; alpha is
    // composed onto white. Sides of 0 or above max_side are refused.
    bool open(const char* path);
    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    // Rows `first` .. `first` + `count` - 1 of the viewer's row order (row 0 is the bottom) as a
    // picture of width() x `count` pixels, valid until the next call; at most 8 rows. Nothing
    // after a read error, which it reports.
    const std::uint8_t* rows(std::int32_t first, std::int32_t count);
    // The same into `scratch` (room for 8 rows) where the picture is read by bands. It reads with
    // pread alone, so several threads may call it at once, each with a scratch of its own.
    const std::uint8_t* rows(std::int32_t first, std::int32_t count, std::uint8_t* scratch) const;
    // The bytes a scratch for rows() needs.
    std::size_t band_bytes() const { return 8 * 3 * static_cast<std::size_t>(width_); }

  private:
    std::string path_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    image whole_;                // a picture read whole
    std::FILE* file_ = nullptr;  // a PPM file read by bands, its pixels from `data_start_` on
    std::int64_t data_start_ = 0;
    byte_buffer band_;
};

}  // namespace kvrn::cli
