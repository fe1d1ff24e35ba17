#include "cli/formats/ppm.h"

#include <cctype>

#include "cli/report.h"
#include "codec/picture.h"

namespace kvrn::cli {
namespace {

// Reads one number of a PPM header: white space and '#' comments before it, one white space
// character after it. Values beyond 2^32 count as malformed rather than as a size.
bool read_header_number(std::FILE* in, std::uint64_t& value) {
    int c = std::getc(in);
    while (c == '#' || std::isspace(c)) {
        if (c == '#') {
            while (c != '\n' && c != EOF) c = std::getc(in);
        }
        c = std::getc(in);
    }
    if (!std::isdigit(c)) return false;
    value = 0;
    for (; std::isdigit(c); c = std::getc(in)) {
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > 0xFFFFFFFFU) return false;
    }
    return std::isspace(c) != 0;
}

}  // namespace

bool read_ppm_header(std::FILE* in, const char* path, std::int32_t& width, std::int32_t& height) {
    // Two reads: the first byte must be 'P', the second '6'.
    if (std::getc(in) != 'P' || std::getc(in) != '6') {  // NOLINT(misc-redundant-expression)
        complain(path, "not a binary PPM picture (no P6 at the start)");
        return false;
    }
    std::uint64_t columns = 0;
    std::uint64_t rows = 0;
    std::uint64_t maxval = 0;
    if (!read_header_number(in, columns) || !read_header_number(in, rows) ||
        !read_header_number(in, maxval)) {
        complain(path, "malformed PPM header");
        return false;
    }
    if (maxval != 255) {
        complain(path, "PPM maxval %llu is not supported; only 255 is",
                 static_cast<unsigned long long>(maxval));
        return false;
    }
    if (!check_sides(columns, rows, path)) return false;
    width = static_cast<std::int32_t>(columns);
    height = static_cast<std::int32_t>(rows);
    return true;
}

bool read_ppm(std::FILE* in, const char* path, image& picture) {
    std::int32_t w = 0;
    std::int32_t h = 0;
    if (!read_ppm_header(in, path, w, h) || !allocate(picture, w, h, path)) return false;
    const std::size_t row_bytes = 3 * static_cast<std::size_t>(w);
    // The file's first row is the top of the picture: the last row of the buffer.
    for (std::int32_t row = h - 1; row >= 0; --row) {
        std::uint8_t* target = picture.pixels.get() + pixel_offset(w, row, 0);
        if (std::fread(target, 1, row_bytes, in) != row_bytes) {
            complain_short(path, h - 1 - row, h);
            return false;
        }
    }
    return true;
}

void write_ppm_header(std::FILE* out, std::int32_t width, std::int32_t height) {
    (void)std::fprintf(out, "P6\n%d %d\n255\n", width, height);
}

void write_ppm(const image& picture, std::FILE* out) {
    write_ppm_header(out, picture.width, picture.height);
    const std::size_t row_bytes = 3 * static_cast<std::size_t>(picture.width);
    for (std::int32_t row = picture.height - 1; row >= 0; --row) {
        const std::uint8_t* source = picture.pixels.get() + pixel_offset(picture.width, row, 0);
        if (std::fwrite(source, 1, row_bytes, out) != row_bytes) return;
    }
}

}  // namespace kvrn::cli
