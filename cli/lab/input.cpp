#include "cli/lab/input.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "cli/kvrn_input.h"
#include "cli/picture_bands.h"
#include "cli/report.h"
#include "codec/picture.h"

namespace kvrn::cli {
namespace {

// The first 24 bytes of a file, fewer when it is shorter; nothing read from standard input.
std::array<std::uint8_t, 24> first_bytes(const char* path, std::size_t& got) {
    std::array<std::uint8_t, 24> bytes{};
    got = 0;
    if (std::strcmp(path, "-") == 0) return bytes;
    if (std::FILE* file = std::fopen(path, "rb")) {
        got = std::fread(bytes.data(), 1, bytes.size(), file);
        (void)std::fclose(file);
    }
    return bytes;
}

std::uint32_t big_endian(const std::uint8_t* bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | bytes[3];
}

int read_kvrn(const char* path, std::uint64_t max_pixels, image& picture, unsigned threads) {
    kvrn_input in;
    if (!in.open(path) || !check_pixel_count(in.header.width, in.header.height, max_pixels, path)) {
        return exit_failed;
    }
    return decode_file(in, picture, threads);
}

// A PNG file's sides are in its IHDR chunk, at bytes 16..23; the reader allocates the whole
// picture as soon as it has them, so they are checked here first.
bool png_within(const std::array<std::uint8_t, 24>& bytes, std::size_t got,
                std::uint64_t max_pixels, const char* path) {
    constexpr std::array<std::uint8_t, 8> signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (got < bytes.size() || !std::equal(signature.begin(), signature.end(), bytes.begin()) ||
        std::memcmp(bytes.data() + 12, "IHDR", 4) != 0) {
        return true;  // the reader says what is wrong with it
    }
    return check_pixel_count(big_endian(bytes.data() + 16), big_endian(bytes.data() + 20),
                             max_pixels, path);
}

// A PPM file from a file is read a band at a time, so its header is checked before anything
// the size of the picture is allocated; from standard input it is read whole first.
int read_other(const char* path, std::uint64_t max_pixels, image& picture) {
    picture_bands bands;
    if (!bands.open(path) ||
        !check_pixel_count(static_cast<std::uint64_t>(bands.width()),
                           static_cast<std::uint64_t>(bands.height()), max_pixels, path) ||
        !allocate(picture, bands.width(), bands.height(), path)) {
        return exit_failed;
    }
    for (std::int32_t r0 = 0; r0 < bands.height(); r0 += 8) {
        const std::int32_t rows = std::min(8, bands.height() - r0);
        const std::uint8_t* pixels = bands.rows(r0, rows);
        if (pixels == nullptr) return exit_failed;
        std::copy_n(pixels, pixel_offset(bands.width(), rows, 0),
                    picture.pixels.get() + pixel_offset(bands.width(), r0, 0));
    }
    return exit_ok;
}

}  // namespace

std::optional<std::uint64_t> parse_max_pixels(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < 1) return std::nullopt;
    return value;
}

bool check_pixel_count(std::uint64_t width, std::uint64_t height, std::uint64_t max_pixels,
                       std::string_view name) {
    // Sides come from headers of at most 32-bit numbers: the product fits.
    const std::uint64_t pixels = width * height;
    if (pixels <= max_pixels) return true;
    complain(name, "%llu x %llu is %llu pixels, more than the limit of %llu (--max-pixels)",
             static_cast<unsigned long long>(width), static_cast<unsigned long long>(height),
             static_cast<unsigned long long>(pixels), static_cast<unsigned long long>(max_pixels));
    return false;
}

int read_lab_picture(const char* path, std::uint64_t max_pixels, image& picture, unsigned threads) {
    std::size_t got = 0;
    const std::array<std::uint8_t, 24> bytes = first_bytes(path, got);
    // The magic number 0x4B56524E, little-endian.
    if (got >= 4 && std::memcmp(bytes.data(), "NRVK", 4) == 0) {
        return read_kvrn(path, max_pixels, picture, threads);
    }
    if (!png_within(bytes, got, max_pixels, path)) return exit_failed;
    return read_other(path, max_pixels, picture);
}

std::string file_name(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace kvrn::cli
