#include "cli/formats/format.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>

#include "cli/formats/png.h"
#include "cli/formats/ppm.h"
#include "cli/output_file.h"
#include "cli/report.h"

namespace kvrn::cli {

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

std::FILE* open_picture(const char* path, picture_format& format) {
    const std::optional<picture_format> named = format_of(path);
    if (!named) {
        complain(path, "unknown picture type: the name must end in .ppm or .png");
        return nullptr;
    }
    format = *named;
    std::FILE* in = std::strcmp(path, "-") == 0 ? stdin : std::fopen(path, "rb");
    if (in == nullptr) complain(path, "cannot open: %s", std::strerror(errno));
    return in;
}

void close_picture(std::FILE* in) {
    if (in != stdin) (void)std::fclose(in);
}

bool read_picture(std::FILE* in, picture_format format, const char* path, image& picture) {
    return format == picture_format::png ? read_png(in, path, picture)
                                         : read_ppm(in, path, picture);
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
