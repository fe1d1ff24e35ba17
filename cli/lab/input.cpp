#include "cli/lab/input.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "cli/kvrn_input.h"
#include "cli/picture_bands.h"
#include "cli/report.h"
#include "codec/kvrn_format.h"
#include "codec/picture.h"

namespace kvrn::cli {
namespace {

int read_kvrn(const char* path, std::uint64_t max_pixels, image& picture, unsigned threads,
              std::array<std::uint16_t, 3>* scales) {
    kvrn_input in;
    if (!in.open(path, max_pixels)) return exit_failed;
    if (scales != nullptr) *scales = {in.header.y_scale, in.header.cr_scale, in.header.cb_scale};
    return decode_file(in, picture, threads);
}

// Any picture encode reads, whole; the reader checks the limit from the header first.
int read_other(const char* path, std::uint64_t max_pixels, image& picture) {
    picture_bands bands;
    if (!bands.open(path, max_pixels) || !allocate(picture, bands.width(), bands.height(), path)) {
        return exit_failed;
    }
    if (!bands.read_rows(0, bands.height(), picture.pixels.get())) return exit_failed;
    return bands.report_damage() ? exit_damaged : exit_ok;
}

// Whether the file at `path` starts with the KVRN magic number. Only a regular file is looked
// at before it is read: the bytes of a pipe or a device named by a path (`<(command)`), like
// those of standard input, can be read once only, so such a file is never a KVRN file here.
bool is_kvrn_file(const char* path) {
    std::array<std::uint8_t, header_bytes> bytes{};
    struct stat status {};
    const bool regular = stat(path, &status) == 0 && S_ISREG(status.st_mode);
    std::FILE* file = !regular || std::strcmp(path, "-") == 0 ? nullptr : std::fopen(path, "rb");
    if (file == nullptr) return false;
    constexpr std::size_t magic_bytes = sizeof kvrn_magic;
    const bool kvrn = std::fread(bytes.data(), 1, magic_bytes, file) == magic_bytes &&
                      parse_header(bytes).magic == kvrn_magic;
    (void)std::fclose(file);
    return kvrn;
}

}  // namespace

int read_lab_picture(const char* path, std::uint64_t max_pixels, image& picture, unsigned threads,
                     bool* kvrn_file, std::array<std::uint16_t, 3>* scales) {
    const bool kvrn = is_kvrn_file(path);
    if (kvrn_file != nullptr) *kvrn_file = kvrn;
    return kvrn ? read_kvrn(path, max_pixels, picture, threads, scales)
                : read_other(path, max_pixels, picture);
}

std::string file_name(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace kvrn::cli
