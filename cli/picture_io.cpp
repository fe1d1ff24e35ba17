#include "cli/picture_io.h"

#include <png.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "codec/picture.h"

namespace kvrn::cli {

void complain(std::string_view name, const char* format, ...) {
    (void)std::fprintf(stderr, "kvrn: %.*s: ", static_cast<int>(name.size()), name.data());
    va_list arguments;
    va_start(arguments, format);
    (void)std::vfprintf(stderr, format, arguments);  // NOLINT(clang-analyzer-valist.Uninitialized)
    va_end(arguments);
    (void)std::fputc('\n', stderr);
}

bool allocate(image& picture, std::int32_t width, std::int32_t height, std::string_view name) {
    const std::optional<std::size_t> bytes = picture_bytes(width, height);
    if (bytes) picture.pixels.reset(static_cast<std::uint8_t*>(std::calloc(*bytes, 1)));
    if (!bytes || !picture.pixels) {
        complain(name, "cannot allocate memory for a %d x %d picture", width, height);
        return false;
    }
    picture.width = width;
    picture.height = height;
    return true;
}

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

namespace {

bool check_sides(std::uint64_t width, std::uint64_t height, const char* path) {
    if (width >= 1 && height >= 1 && width <= max_side && height <= max_side) return true;
    complain(path, "the picture is %llu x %llu; a KVRN picture is 1 to %d pixels on each side",
             static_cast<unsigned long long>(width), static_cast<unsigned long long>(height),
             max_side);
    return false;
}

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

// Reads the header of a binary PPM picture and checks its sides.
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

void complain_short(const char* path, std::int32_t rows_read, std::int32_t height) {
    complain(path, "the picture data ends after %d of %d rows", rows_read, height);
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

bool read_png(std::FILE* in, const char* path, image& picture) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_stdio(&png, in) == 0) {
        complain(path, "not a readable PNG picture: %s", png.message);
        return false;
    }
    if (!check_sides(png.width, png.height, path) ||
        !allocate(picture, static_cast<std::int32_t>(png.width),
                  static_cast<std::int32_t>(png.height), path)) {
        png_image_free(&png);
        return false;
    }
    png.format = PNG_FORMAT_RGB;
    // 16-bit samples without colour-space information are taken as sRGB like 8-bit ones, so
    // they only lose their low byte instead of being re-encoded from linear light.
    png.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
    const png_color white{255, 255, 255};
    // A negative stride stores the bottom row first, the buffer's row 0.
    const png_int_32 stride = -3 * picture.width;
    if (png_image_finish_read(&png, &white, picture.pixels.get(), stride, nullptr) == 0) {
        complain(path, "cannot decode the PNG picture: %s", png.message);
        png_image_free(&png);
        return false;
    }
    return true;
}

// Stops at the first failed write; the error stays in the stream for the commit to report.
void write_ppm(const image& picture, std::FILE* out) {
    (void)std::fprintf(out, "P6\n%d %d\n255\n", picture.width, picture.height);
    const std::size_t row_bytes = 3 * static_cast<std::size_t>(picture.width);
    for (std::int32_t row = picture.height - 1; row >= 0; --row) {
        const std::uint8_t* source = picture.pixels.get() + pixel_offset(picture.width, row, 0);
        if (std::fwrite(source, 1, row_bytes, out) != row_bytes) return;
    }
}

bool write_png(const image& picture, std::FILE* out, const char* path) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(picture.width);
    png.height = static_cast<png_uint_32>(picture.height);
    png.format = PNG_FORMAT_RGB;
    const png_int_32 stride = -3 * picture.width;
    if (png_image_write_to_stdio(&png, out, 0, picture.pixels.get(), stride, nullptr) == 0) {
        complain(path, "cannot write the PNG picture: %s", png.message);
        return false;
    }
    return true;
}

}  // namespace

namespace {

// Opens a picture for reading ("-": standard input) after checking that its name gives a format.
std::FILE* open_picture(const char* path, std::optional<picture_format>& format) {
    format = format_of(path);
    if (!format) {
        complain(path, "unknown picture type: the name must end in .ppm or .png");
        return nullptr;
    }
    std::FILE* in = std::strcmp(path, "-") == 0 ? stdin : std::fopen(path, "rb");
    if (in == nullptr) complain(path, "cannot open: %s", std::strerror(errno));
    return in;
}

bool check_stream(std::FILE* in, const char* path) {
    if (std::ferror(in) == 0) return true;
    complain(path, "read error");
    return false;
}

void close_picture(std::FILE* in) {
    if (in != stdin) (void)std::fclose(in);
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

// Writes all of `bytes` at `offset` of the file, however many writes that takes.
bool write_all_at(int descriptor, std::span<const std::uint8_t> bytes, std::uint64_t offset) {
    while (!bytes.empty()) {
        const ssize_t put =
            pwrite(descriptor, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            if (put == 0) errno = EIO;
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(put));
        offset += static_cast<std::uint64_t>(put);
    }
    return true;
}

}  // namespace

bool read_picture(const char* path, image& picture) {
    std::optional<picture_format> format;
    std::FILE* in = open_picture(path, format);
    if (in == nullptr) return false;
    const bool ok = (*format == picture_format::png ? read_png(in, path, picture)
                                                    : read_ppm(in, path, picture)) &&
                    check_stream(in, path);
    close_picture(in);
    return ok;
}

picture_bands::~picture_bands() {
    if (file_ != nullptr) close_picture(file_);
}

bool picture_bands::open(const char* path) {
    path_ = path;
    std::optional<picture_format> format;
    std::FILE* in = open_picture(path, format);
    if (in == nullptr) return false;
    struct stat status {};
    const bool by_bands = *format == picture_format::ppm && fstat(fileno(in), &status) == 0 &&
                          S_ISREG(status.st_mode);
    if (!by_bands) {
        const bool ok = (*format == picture_format::png ? read_png(in, path, whole_)
                                                        : read_ppm(in, path, whole_)) &&
                        check_stream(in, path);
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
    if (file_ == nullptr) return whole_.pixels.get() + pixel_offset(width_, first, 0);
    // The rows are consecutive in the file, top row (the band's last) first: one read fills the
    // band from its end, a read per row finishes one that comes back short.
    const std::size_t row_bytes = 3 * static_cast<std::size_t>(width_);
    const auto offset = static_cast<off_t>(data_start_ + static_cast<std::int64_t>(row_bytes) *
                                                             (height_ - first - count));
    std::array<iovec, 8> parts{};
    for (std::int32_t i = 0; i < count; ++i) {
        parts[static_cast<std::size_t>(i)] = {
            band_.get() + row_bytes * static_cast<std::size_t>(count - 1 - i), row_bytes};
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
    return band_.get();
}

output_file::~output_file() {
    if (stream_ != nullptr && stream_ != stdout) (void)std::fclose(stream_);
    if (!temporary_.empty()) (void)std::remove(temporary_.c_str());
}

bool output_file::open(const char* path) {
    path_ = path;
    if (path_ == "-") {
        stream_ = stdout;
        return true;
    }
    std::string name = path_ + ".kvrn-XXXXXX";
    const int descriptor = mkstemp(name.data());
    if (descriptor < 0) {
        complain(path, "cannot create a file next to it: %s", std::strerror(errno));
        return false;
    }
    temporary_ = name;
    // mkstemp makes the file private; give it the permissions a newly created file gets.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(descriptor, 0666 & ~mask);
    stream_ = fdopen(descriptor, "wb");
    if (stream_ == nullptr) {
        complain(path, "cannot write: %s", std::strerror(errno));
        close(descriptor);
        return false;
    }
    return true;
}

bool output_file::commit() {
    if (stream_ == stdout) {
        if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return true;
        complain(path_, "write error on standard output");
        return false;
    }
    // The writers stop or go on failing at a failed write and come straight here, so errno
    // still names its cause (ENOSPC, EFBIG, ...); a failed close names its own.
    const int write_error = write_error_ != 0 ? write_error_ : errno;
    const bool written = std::ferror(stream_) == 0 && write_error_ == 0;
    const bool closed = std::fclose(stream_) == 0;
    const int cause = closed ? write_error : errno;
    stream_ = nullptr;
    if (!written || !closed) {
        complain(path_, "write error: %s", std::strerror(cause != 0 ? cause : EIO));
        return false;
    }
    if (std::rename(temporary_.c_str(), path_.c_str()) != 0) {
        complain(path_, "cannot rename the finished file to this name: %s", std::strerror(errno));
        return false;
    }
    temporary_.clear();
    return true;
}

bool output_file::write_at(std::uint64_t offset,
                           std::span<const std::span<const std::uint8_t>> pieces) {
    if (write_error_ != 0) return false;
    const int descriptor = fileno(stream_);
    // One call for all the pieces; what a short or interrupted write leaves goes piece by piece.
    std::array<iovec, max_write_pieces> vectors{};
    const std::size_t count = std::min(pieces.size(), vectors.size());
    for (std::size_t i = 0; i < count; ++i) {
        // iovec also serves reads, hence its non-const pointer; pwritev only reads the bytes.
        vectors[i] = {const_cast<std::uint8_t*>(  // NOLINT(cppcoreguidelines-pro-type-const-cast)
                          pieces[i].data()),
                      pieces[i].size()};
    }
    const ssize_t written =
        pwritev(descriptor, vectors.data(), static_cast<int>(count), static_cast<off_t>(offset));
    auto skip = static_cast<std::uint64_t>(std::max<ssize_t>(written, 0));
    for (std::span<const std::uint8_t> piece : pieces) {
        const std::uint64_t done = std::min<std::uint64_t>(skip, piece.size());
        skip -= done;
        if (!write_all_at(descriptor, piece.subspan(done), offset + done)) {
            write_error_ = errno != 0 ? errno : EIO;
            return false;
        }
        offset += piece.size();
    }
    return true;
}

bool write_picture(const image& picture, picture_format format, output_file& out) {
    if (format == picture_format::png) {
        return write_png(picture, out.stream(), out.path().c_str());
    }
    write_ppm(picture, out.stream());
    return true;
}

}  // namespace kvrn::cli
