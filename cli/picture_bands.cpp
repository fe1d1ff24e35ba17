#include "cli/picture_bands.h"

#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include "cli/formats/format.h"
#include "cli/formats/row_order.h"
#include "cli/report.h"
#include "codec/picture.h"

namespace kvrn::cli {
namespace {

bool check_stream(std::FILE* in, const std::string& path) {
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

bool picture_bands::open(const char* path, std::uint64_t max_pixels) {
    path_ = path;
    const picture_format* format = nullptr;
    file_ = open_picture(path, format);
    if (file_ == nullptr) return false;
    if (format == &netpbm_format) return open_netpbm(max_pixels);
    const read_status status = format->read(file_, {path, max_pixels}, whole_);
    if (status == read_status::failed || !check_stream(file_, path_)) return false;
    damaged_ = status == read_status::damaged;
    width_ = whole_.width;
    height_ = whole_.height;
    return true;
}

bool picture_bands::open_netpbm(std::uint64_t max_pixels) {
    if (!read_netpbm_header(file_, path_, max_pixels, header_) || !check_stream(file_, path_)) {
        return false;
    }
    width_ = static_cast<std::int32_t>(header_.width);
    height_ = static_cast<std::int32_t>(header_.height);
    struct stat status {};
    // A pipe gives no offset to read at; plain rows have no fixed length.
    if (header_.plain || header_.data_start < 0 || fstat(fileno(file_), &status) != 0 ||
        !S_ISREG(status.st_mode)) {
        if (!allocate(whole_, width_, height_, path_)) return false;
        const read_status status = read_netpbm_rows(file_, path_, header_, whole_);
        damaged_ = status == read_status::damaged;
        return status != read_status::failed && check_stream(file_, path_);
    }
    descriptor_ = fileno(file_);
    const std::size_t row_bytes = netpbm_row_bytes(header_);
    const std::int64_t held = status.st_size - header_.data_start;
    const auto needed = static_cast<std::int64_t>(row_bytes) * height_;
    if (held < needed) {
        complain_short(path_.c_str(),
                       static_cast<std::int32_t>(std::max<std::int64_t>(held, 0) /
                                                 static_cast<std::int64_t>(row_bytes)),
                       height_);
        return false;
    }
    if (!header_.bitmap && header_.maxval != 255 && header_.maxval != 65535) {
        clamped_rows_ =
            std::make_unique<std::atomic<std::uint32_t>[]>(static_cast<std::size_t>(height_));
    }
    band_.reset(static_cast<std::uint8_t*>(
        std::malloc(std::size_t{8} * 3 * static_cast<std::size_t>(width_))));
    if (!band_) {
        complain(path_, "cannot allocate memory for a %d x %d picture", width_, height_);
        return false;
    }
    return true;
}

const std::uint8_t* picture_bands::rows(std::int32_t first, std::int32_t count) {
    return rows(first, count, band_.get());
}

const std::uint8_t* picture_bands::rows(std::int32_t first, std::int32_t count,
                                        std::uint8_t* scratch) const {
    if (descriptor_ < 0) return whole_.pixels.get() + pixel_offset(width_, first, 0);
    return read_rows(first, count, scratch) ? scratch : nullptr;
}

bool picture_bands::read_rows(std::int32_t first, std::int32_t count,
                              std::uint8_t* destination) const {
    const std::size_t rgb_bytes = 3 * static_cast<std::size_t>(width_);
    if (descriptor_ < 0) {
        std::memcpy(destination, whole_.pixels.get() + pixel_offset(width_, first, 0),
                    rgb_bytes * static_cast<std::size_t>(count));
        return true;
    }
    // The rows are consecutive in the file, top row (the band's last) first.
    const std::size_t row_bytes = netpbm_row_bytes(header_);
    const auto offset =
        static_cast<off_t>(header_.data_start +
                           static_cast<std::int64_t>(row_bytes) * band_top(first, count, height_));
    const auto rows = static_cast<std::size_t>(count);
    const auto target = [&](std::size_t i) {
        return file_row(destination, width_, count, static_cast<std::int32_t>(i));
    };
    if (header_.samples.rgb_8_bits()) {
        // 8-bit RGB as stored: one read fills the band from its end, a read per row finishes
        // one that comes back short.
        std::array<iovec, 8> parts{};
        const std::size_t vectored = std::min(rows, parts.size());
        for (std::size_t i = 0; i < vectored; ++i) parts[i] = {target(i), row_bytes};
        const ssize_t got = preadv(descriptor_, parts.data(), static_cast<int>(vectored), offset);
        for (std::size_t i = got < 0 ? 0 : static_cast<std::size_t>(got) / row_bytes; i < rows;
             ++i) {
            if (!read_at(descriptor_, target(i), row_bytes,
                         offset + static_cast<off_t>(i * row_bytes))) {
                complain(path_, "read error");
                return false;
            }
        }
        return true;
    }
    // Other samples are read as stored, then converted row by row.
    std::vector<std::uint8_t> raw(row_bytes * rows);
    if (!read_at(descriptor_, raw.data(), raw.size(), offset)) {
        complain(path_, "read error");
        return false;
    }
    for (std::size_t i = 0; i < rows; ++i) {
        const std::size_t clamped =
            convert_netpbm_row(header_, raw.data() + row_bytes * i, target(i));
        if (clamped_rows_) {
            clamped_rows_[static_cast<std::size_t>(first) + rows - 1 - i].store(
                static_cast<std::uint32_t>(clamped), std::memory_order_relaxed);
        }
    }
    return true;
}

bool picture_bands::report_damage() const {
    std::uint64_t clamped = 0;
    for (std::size_t row = 0; clamped_rows_ && row < static_cast<std::size_t>(height_); ++row)
        clamped += clamped_rows_[row].load(std::memory_order_relaxed);
    if (clamped == 0) return damaged_;
    warn_clamped(path_, header_, clamped);
    return true;
}

}  // namespace kvrn::cli
