#include "cli/formats/format.h"

#include <sys/types.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <span>
#include <string>

#include "cli/formats/jpeg.h"
#include "cli/formats/netpbm.h"
#include "cli/formats/png.h"
#include "cli/formats/ppm.h"
#include "cli/output_file.h"
#include "cli/report.h"

namespace kvrn::cli {
namespace {

// Enough of the start of a file to tell every format read: the PNG signature is the longest.
constexpr std::size_t sniff_bytes = 8;
constexpr std::array<std::uint8_t, 8> png_signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::optional<input_format> recognise(std::span<const std::uint8_t> start) {
    if (start.size() >= 3 && start[0] == 0xFF && start[1] == 0xD8 && start[2] == 0xFF) {
        return input_format::jpeg;
    }
    if (std::ranges::equal(start, png_signature)) return input_format::png;
    if (is_netpbm(start)) return input_format::netpbm;
    return std::nullopt;
}

// A pipe cannot be rewound: the bytes read to recognise it are handed back before the rest.
struct replayed_start {
    std::array<std::uint8_t, sniff_bytes> bytes{};
    std::size_t size = 0;
    std::size_t next = 0;
    std::FILE* rest = nullptr;
};

ssize_t read_replayed(void* cookie, char* target, std::size_t size) {
    auto& stream = *static_cast<replayed_start*>(cookie);
    if (stream.next < stream.size) {
        const std::size_t count = std::min(size, stream.size - stream.next);
        std::memcpy(target, stream.bytes.data() + stream.next, count);
        stream.next += count;
        return static_cast<ssize_t>(count);
    }
    const std::size_t got = std::fread(target, 1, size, stream.rest);
    return got == 0 && std::ferror(stream.rest) != 0 ? -1 : static_cast<ssize_t>(got);
}

int close_replayed(void* cookie) {
    auto* stream = static_cast<replayed_start*>(cookie);
    const int closed = stream->rest == stdin ? 0 : std::fclose(stream->rest);
    delete stream;  // NOLINT(cppcoreguidelines-owning-memory)
    return closed;
}

}  // namespace

std::optional<picture_format> format_of(std::string_view path) {
    if (path == "-") return picture_format::ppm;
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos) return std::nullopt;
    std::string extension(path.substr(dot + 1));
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == "ppm") return picture_format::ppm;
    if (extension == "png") return picture_format::png;
    return std::nullopt;
}

bool names_picture(const char* path) {
    if (format_of(path)) return true;
    complain(path, "unknown picture type: the name must end in .ppm or .png, or be -");
    return false;
}

std::FILE* open_picture(const char* path, input_format& format) {
    const bool standard = std::strcmp(path, "-") == 0;
    std::FILE* in = standard ? stdin : std::fopen(path, "rb");
    if (in == nullptr) {
        complain(path, "cannot open: %s", std::strerror(errno));
        return nullptr;
    }
    // Standard input may be a file opened at any offset.
    const long start = std::ftell(in);
    std::array<std::uint8_t, sniff_bytes> first{};
    const std::size_t got = std::fread(first.data(), 1, first.size(), in);
    if (std::ferror(in) != 0) {
        complain(path, "cannot read: %s", std::strerror(errno));
        close_picture(in);
        return nullptr;
    }
    const std::optional<input_format> known = recognise(std::span(first).first(got));
    if (!known) {
        complain(path,
                 "unknown picture type: kvrn reads JPEG, PNG and netpbm (PBM, PGM, PPM, PAM) "
                 "pictures");
        close_picture(in);
        return nullptr;
    }
    format = *known;
    if (start >= 0 && std::fseek(in, start, SEEK_SET) == 0) return in;
    // NOLINTNEXTLINE(cppcoreguidelines-owning-memory): close_replayed deletes it
    auto* cookie = new replayed_start{first, got, 0, in};
    std::FILE* replayed =
        fopencookie(cookie, "rb", {read_replayed, nullptr, nullptr, close_replayed});
    if (replayed == nullptr) {
        complain(path, "cannot read: %s", std::strerror(errno));
        (void)close_replayed(cookie);
    }
    return replayed;
}

void close_picture(std::FILE* in) {
    if (in != stdin) (void)std::fclose(in);
}

read_status read_picture(std::FILE* in, input_format format, const char* path,
                         std::uint64_t max_pixels, image& picture) {
    switch (format) {
        case input_format::jpeg:
            return read_jpeg(in, path, max_pixels, picture);
        case input_format::png:
            return read_png(in, path, max_pixels, picture) ? read_status::ok : read_status::failed;
        case input_format::netpbm:
            return read_netpbm(in, path, picture, max_pixels);
    }
    return read_status::failed;
}

bool write_picture(const image& picture, const char* path) {
    output_file out;
    if (!out.open(path)) return false;
    if (*format_of(path) == picture_format::png) {
        if (!write_png(picture, out.stream(), path)) return false;
    } else {
        write_ppm(picture, out.stream());
    }
    return out.commit();
}

}  // namespace kvrn::cli
