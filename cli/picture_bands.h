// The picture to encode, read a band of rows at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "cli/formats/netpbm.h"
#include "cli/image.h"

namespace kvrn::cli {

// A picture read for encoding, a band of rows at a time. A raw netpbm file that can be read at
// any offset (a regular file) is read band by band, so that a large picture is never held whole
// and its buffer never has to be faulted in; anything else is read whole first.
class picture_bands {
  public:
    picture_bands() = default;
    ~picture_bands();
    picture_bands(const picture_bands&) = delete;
    picture_bands& operator=(const picture_bands&) = delete;

    // Opens the picture at `path` ("-": standard input), recognised from its first bytes, and
    // checks its header: sides of 0 or above max_side, or more than `max_pixels` pixels, are
    // refused before anything the size of the picture is allocated. Every form comes as 8-bit
    // RGB, alpha composed onto white.
    bool open(const char* path, std::uint64_t max_pixels);
    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    // Whether the picture was damaged: decoded from data that ends early, as a JPEG file can be,
    // or holding raw netpbm samples above the maxval, which were clamped. Said on standard error:
    // the clamped samples of a picture read by bands here, so ask once every row has been read.
    bool report_damage() const;
    // Rows `first` .. `first` + `count` - 1 of the viewer's row order (row 0 is the bottom) as a
    // picture of width() x `count` pixels, valid until the next call; at most 8 rows. Nothing
    // after a read error, which it reports.
    const std::uint8_t* rows(std::int32_t first, std::int32_t count);
    // The same into `scratch` (room for 8 rows) where the picture is read by bands. It reads with
    // pread alone, so several threads may call it at once, each with a scratch of its own.
    const std::uint8_t* rows(std::int32_t first, std::int32_t count, std::uint8_t* scratch) const;
    // The bytes a scratch for rows() needs.
    std::size_t band_bytes() const { return std::size_t{8} * 3 * static_cast<std::size_t>(width_); }
    // The same rows, any number of them, copied to `destination`. It only reads the file at
    // offsets and shares no buffer, so several threads can call it at once. False after a read
    // error, which it reports.
    bool read_rows(std::int32_t first, std::int32_t count, std::uint8_t* destination) const;

  private:
    bool open_netpbm(std::uint64_t max_pixels);

    std::string path_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    bool damaged_ = false;
    image whole_;                // a picture read whole
    std::FILE* file_ = nullptr;  // the picture as opened; a netpbm file read by bands
    int descriptor_ = -1;        // its descriptor when read by bands
    netpbm_header header_;       // whose raster starts at header_.data_start
    byte_buffer band_;
    // For each row read by bands, its samples above the maxval; null where there can be none.
    // A row may be read more than once, by one thread at a time.
    std::unique_ptr<std::atomic<std::uint32_t>[]> clamped_rows_;
};

}  // namespace kvrn::cli
