// Pictures on disk for the kvrn tool: binary PPM and PNG in, binary PPM and PNG out, and output
// files that appear only once they are complete.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kvrn::cli {

// Writes "kvrn: <name>: <message>\n" to standard error.
void complain(std::string_view name, const char* format, ...) __attribute__((format(printf, 2, 3)));

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

enum class picture_format { ppm, png };

// The format a picture path asks for: ".ppm" or ".png" in any case; "-" is PPM on a standard
// stream. Nothing for other names.
std::optional<picture_format> format_of(std::string_view path);

// The largest side a KVRN header can carry.
inline constexpr std::int32_t max_side = 65535;

// Reads the picture at `path` ("-": standard input) in the format its name gives. PNG pictures
// in grey, palette or 16-bit form become 8-bit RGB; alpha is composed onto white, the colour the
// viewer's window shows around a picture. Sizes of 0 or above max_side are refused.
bool read_picture(const char* path, image& picture);

// A picture read for encoding, a band of rows at a time. A PPM file that can be read at any
// offset (a regular file) is read band by band, so that a large picture is never held whole
// and its buffer never has to be faulted in; anything else is read whole first.
class picture_bands {
  public:
    picture_bands() = default;
    ~picture_bands();
    picture_bands(const picture_bands&) = delete;
    picture_bands& operator=(const picture_bands&) = delete;

    // Opens and checks the picture at `path` as read_picture does, with the same messages.
    bool open(const char* path);
    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    // Rows `first` .. `first` + `count` - 1 of the viewer's row order (row 0 is the bottom) as a
    // picture of width() x `count` pixels, valid until the next call; at most 8 rows. Nothing
    // after a read error, which it reports.
    const std::uint8_t* rows(std::int32_t first, std::int32_t count);

  private:
    std::string path_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    image whole_;                // a picture read whole
    std::FILE* file_ = nullptr;  // a PPM file read by bands, its pixels from `data_start_` on
    std::int64_t data_start_ = 0;
    byte_buffer band_;
};

// An output that shows up under its name only when it is complete. A file is written to a
// temporary next to its final name, then renamed; "-" is standard output, written directly.
class output_file {
  public:
    static constexpr std::size_t max_write_pieces = 8;
    output_file() = default;
    ~output_file();
    output_file(const output_file&) = delete;
    output_file& operator=(const output_file&) = delete;

    bool open(const char* path);
    std::FILE* stream() const { return stream_; }
    // Writes `pieces` one after another at byte `offset` of a file output, up to
    // max_write_pieces of them in one system call, around the stream (flush it first). A failure
    // is kept for commit to report; later calls then do nothing.
    bool write_at(std::uint64_t offset, std::span<const std::span<const std::uint8_t>> pieces);
    const std::string& path() const { return path_; }
    // Flushes, closes and renames. Any write error on the way fails it and removes the file.
    bool commit();

  private:
    std::string path_;
    std::string temporary_;
    std::FILE* stream_ = nullptr;
    int write_error_ = 0;
};

// Writes `picture` top row first, in the format the output's name asks for.
bool write_picture(const image& picture, picture_format format, output_file& out);

}  // namespace kvrn::cli
