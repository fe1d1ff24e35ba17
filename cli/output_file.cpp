#include "cli/output_file.h"

#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "cli/report.h"

namespace kvrn::cli {
namespace {

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
    const int band_error = write_error_.load();
    const int write_error = band_error != 0 ? band_error : errno;
    const bool written = std::ferror(stream_) == 0 && band_error == 0;
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

}  // namespace kvrn::cli
