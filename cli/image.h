// The picture the kvrn tool holds in memory, and the sides a KVRN picture may have.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace kvrn::cli {

struct free_deleter {
    void operator()(std::uint8_t* bytes) const { std::free(bytes); }
};
using byte_buffer = std::unique_ptr<std::uint8_t[], free_deleter>;

// An RGB picture in the viewer's row order: buffer row 0 is the bottom row of the picture, the
// row that image files store last.
struct image {
    std::int32_t width = 0;
    std::int32_t height = 0;
    byte_buffer pixels;
};

// Gives `picture` a zeroed buffer for `width` x `height` pixels. `name` is the file the picture
// belongs to, for the message when the buffer cannot be had.
bool allocate(image& picture, std::int32_t width, std::int32_t height, std::string_view name);

// The largest side a KVRN header can carry.
inline constexpr std::int32_t max_side = 65535;

// Whether a picture of `width` x `height` read from `name` can become a KVRN picture: 1 to
// max_side pixels on each side. Complains when it cannot.
bool check_sides(std::uint64_t width, std::uint64_t height, std::string_view name);

// The most pixels a picture may have unless --max-pixels says otherwise: 16384 x 16384, 768 MiB
// of RGB. A KVRN or netpbm header of a few bytes can promise 65535 x 65535, 12.9 GB.
inline constexpr std::uint64_t default_max_pixels = std::uint64_t{1} << 28;

// Whether a picture of `width` x `height` from `name` has at most `max_pixels` pixels. Checked on
// headers, before anything the size of the picture is allocated or written. Complains when not.
bool check_pixels(std::uint64_t width, std::uint64_t height, std::uint64_t max_pixels,
                  std::string_view name);

// How a reader finished.
enum class read_status {
    ok,
    damaged,  // read as far as the data allowed, and said so on standard error
    failed,   // said why on standard error
};

}  // namespace kvrn::cli
