#include "cli/picture_bands.h"

#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "cli/formats/format.h"
#include "cli/formats/ppm.h"
#include "cli/report.h"
#include "codec/picture.h"

namespace kvrn::cli {
namespace {

bool check_stream(std::FILE* in, const char* path) {
    if (std::ferror(in) == 0) return true;
    complain(path, "read error");
    return false;
}

// Reads `bytes` at `offset` of the file, however many reads that takes.
bool read_at(int descriptor, std::uint8_t* target, std::size_t bytes, off_t offset) {
    while (bytes > 0) {
        const ssize_t got = pread(descriptor, target, bytes, offset);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        target += got;
        bytes -= static_cast<std::size_t>(got);
        offset += got;
    }
    return true;
}

}  // namespace

picture_bands::~picture_bands() {
    if (file_ != nullptr) close_picture(file_);
}

bool picture_bands::open(const char* path) {
    path_ = path;
    picture_format format{};
    std::FILE* in = open_picture(path, format);
    if (in == nullptr) return false;
    struct stat status {};
    const bool by_bands =
        format == picture_format::ppm && fstat(fileno(in), &status) == 0 && S_ISREG(status.st_mode);
    if (!by_bands) {
        const bool ok = read_picture(in, format, path, whole_) && check_stream(in, path);
        close_picture(in);
        width_ = whole_.width;
        height_ = whole_.height;
        return ok;
    }
    file_ = in;
    if (!read_ppm_header(in, path, width_, height_) || !check_stream(in, path)) return false;
    // The header was read through the stream's buffer; its position is where the pixels start.
    data_start_ = std::ftell(in);
    const std::size_t row_bytes = 3 * static_cast<std::size_t>(width_);
    const std::int64_t held = status.st_size - data_start_;
    const auto needed = static_cast<std::int64_t>(row_bytes) * height_;
    if (data_start_ < 0 || held < needed) {
        complain_short(path,
                       static_cast<std::int32_t>(std::max<std::int64_t>(held, 0) /
                                                 static_cast<std::int64_t>(row_bytes)),
                       height_);
        return false;
    }
    band_.reset(static_cast<std::uint8_t*>(std::malloc(8 * row_bytes)));
    if (!band_) {
        complain(path, "cannot allocate memory for a %d x %d picture", width_, height_);
        return false;
    }
    return true;
}

const std::uint8_t* picture_bands::rows(std::int32_t first, std::int32_t count) {
    return rows(first, count, band_.get());
}

const std::uint8_t* picture_bands::rows(std::int32_t first, std::int32_t count,
                                        std::uint8_t* scratch) const {
    if (file_ == nullptr) return whole_.pixels.get() + pixel_offset(width_, first, 0);
    // The rows are consecutive in the file, top row (the band's last) first: one read fills the
    // band from its end, a read per row finishes one that comes back short.
    const std::size_t row_bytes = 3 * static_cast<std::size_t>(width_);
    const auto offset = static_cast<off_t>(data_start_ + static_cast<std::int64_t>(row_bytes) *
                                                             (height_ - first - count));
    std::array<iovec, 8> parts{};
    for (std::int32_t i = 0; i < count; ++i) {
        parts[static_cast<std::size_t>(i)] = {
            scratch + row_bytes * static_cast<std::size_t>(count - 1 - i), row_bytes};
    }
    const ssize_t got = preadv(fileno(file_), parts.data(), count, offset);
    const std::size_t rows_read = got < 0 ? 0 : static_cast<std::size_t>(got) / row_bytes;
    for (std::size_t i = rows_read; i < static_cast<std::size_t>(count); ++i) {
        if (!read_at(fileno(file_), static_cast<std::uint8_t*>(parts[i].iov_base), row_bytes,
                     offset + static_cast<off_t>(i * row_bytes))) {
            complain(path_, "read error");
            return nullptr;
        }
    }
    return scratch;
}

}  // namespace kvrn::cli
