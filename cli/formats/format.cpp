#include "cli/formats/format.h"

#include <sys/types.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "cli/formats/format_help.h"
#include "cli/formats/jpeg.h"
#include "cli/formats/netpbm.h"
#include "cli/formats/png.h"
#include "cli/output_file.h"
#include "cli/report.h"

namespace kvrn::cli {
namespace {

// A new format is a file of its own and a row here.
constexpr std::array<const picture_format*, 3> table = {&jpeg_format, &png_format, &netpbm_format};

// What "-" writes: binary PPM, which any program reading pictures from a pipe takes.
constexpr const picture_format* standard_output_format = &netpbm_format;

const picture_format* recognise(std::span<const std::uint8_t> start) {
    for (const picture_format* format : table) {
        if (format->recognise(start)) return format;
    }
    return nullptr;
}

// The extensions written, for the message about a name that has none of them.
std::string extensions_written() {
    std::vector<std::string> extensions;
    for (const picture_format* format : formats_written()) {
        extensions.push_back("." + std::string(format->extension));
    }
    return listed(extensions, " or ");
}

std::string formats_read() {
    std::vector<std::string_view> names;
    names.reserve(table.size());
    for (const picture_format* format : table) names.push_back(format->name_and_forms);
    return listed(names, " and ");
}

// A pipe cannot be rewound: the bytes read to recognise it are handed back before the rest.
struct replayed_start {
    std::array<std::uint8_t, recognised_bytes> bytes{};
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

std::span<const picture_format* const> picture_formats() {
    return table;
}

std::vector<const picture_format*> formats_written() {
    std::vector<const picture_format*> written{standard_output_format};
    for (const picture_format* format : table) {
        if (format->write != nullptr && format != standard_output_format) {
            written.push_back(format);
        }
    }
    return written;
}

const picture_format* format_written_to(std::string_view path) {
    if (path == "-") return standard_output_format;
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos) return nullptr;
    std::string extension(path.substr(dot + 1));
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const picture_format* format : table) {
        if (format->write != nullptr && format->extension == extension) return format;
    }
    return nullptr;
}

bool names_picture(const char* path) {
    if (format_written_to(path) != nullptr) return true;
    complain(path, "unknown picture type: the name must end in %s, or be -",
             extensions_written().c_str());
    return false;
}

std::FILE* open_picture(const char* path, const picture_format*& format) {
    const bool standard = std::strcmp(path, "-") == 0;
    std::FILE* in = standard ? stdin : std::fopen(path, "rb");
    if (in == nullptr) {
        complain(path, "cannot open: %s", std::strerror(errno));
        return nullptr;
    }
    // Standard input may be a file opened at any offset.
    const long start = std::ftell(in);
    std::array<std::uint8_t, recognised_bytes> first{};
    const std::size_t got = std::fread(first.data(), 1, first.size(), in);
    if (std::ferror(in) != 0) {
        complain(path, "cannot read: %s", std::strerror(errno));
        close_picture(in);
        return nullptr;
    }
    format = recognise(std::span(first).first(got));
    if (format == nullptr) {
        complain(path, "unknown picture type: kvrn reads %s pictures", formats_read().c_str());
        close_picture(in);
        return nullptr;
    }
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

bool write_picture(const image& picture, const char* path) {
    output_file out;
    return out.open(path) && format_written_to(path)->write(picture, out.stream(), path) &&
           out.commit();
}

}  // namespace kvrn::cli
