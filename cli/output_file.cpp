#include "cli/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <random>
#include <utility>

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

// The folder part of `name` with its final slash; empty for a name in the current folder.
std::string folder_of(const std::string& name) {
    const std::size_t slash = name.rfind('/');
    return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

// Follows the symbolic links `name` ends in, as opening it would: a relative link is read from
// the link's folder. 0, or the error number.
int follow_links(std::string& name) {
    for (int hops = 0; hops < 40; ++hops) {  // the kernel's own limit
        struct stat status {};
        // A name that is not there (yet) is created; one that cannot be looked up fails later,
        // when the folder is opened, with the reason.
        if (lstat(name.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return 0;
        std::string link(PATH_MAX, '\0');
        const ssize_t length = readlink(name.c_str(), link.data(), link.size());
        if (length < 0) return errno;
        if (static_cast<std::size_t>(length) == link.size()) return ENAMETOOLONG;
        link.resize(static_cast<std::size_t>(length));
        if (!link.starts_with('/')) link.insert(0, folder_of(name));
        name = std::move(link);
    }
    return ELOOP;
}

// Calls `make` with fresh names ".NAME.kvrn-XXXXXX" next to `target` until one is not taken,
// leaving the last in `name`; what `make` returns (negative with errno on failure).
template <typename Make>
int with_fresh_name(const std::string& target, std::string& name, const Make& make) {
    static constexpr std::string_view letters = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    const std::string folder = folder_of(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = folder + '.' + target.substr(folder.size()) + ".kvrn-";
        for (int i = 0; i < 6; ++i) name += letters[random() % letters.size()];
        const int result = make(name.c_str());
        if (result >= 0 || errno != EEXIST) return result;
    }
    return -1;
}

bool force_replace = false;

// Whether the existing file `path` (through its links) is one this process may not write.
// access() judges as open() would, ACLs and root's licence included; a read-only file system or
// an immutable file are not the user's protection and fail later with their own reason.
bool read_only(const char* path) {
    return access(path, W_OK) != 0 && errno == EACCES;
}

// The name through which an open descriptor can be linked into a folder.
std::string descriptor_name(int descriptor) {
    return "/proc/self/fd/" + std::to_string(descriptor);
}

}  // namespace

output_file::~output_file() {
    if (stream_ != nullptr && stream_ != stdout) (void)std::fclose(stream_);
    if (!temporary_.empty()) (void)unlink(temporary_.c_str());
}

bool output_file::open(const char* path) {
    path_ = path;
    if (path_ == "-") {
        stream_ = stdout;
        return true;
    }
    // The kernel follows the links to what the name stands for; only a regular file is replaced,
    // and for that the links are followed here too, to find its folder.
    target_ = path_;
    struct stat status {};
    existed_ = stat(path, &status) == 0;
    if (existed_) {
        if (S_ISDIR(status.st_mode)) {
            complain(path, "is a directory");
            return false;
        }
        if (!replaceable(path)) return false;
        owner_ = status.st_uid;
        group_ = status.st_gid;
        mode_ = status.st_mode & 07777;
        // A device or a pipe (/dev/null, /dev/stdout) is written, never replaced; a file with
        // other hard links is rewritten so that they show the new picture too, as cp and a
        // shell's > do. A read-only one (--force) cannot be: it is replaced, as cp --force
        // replaces it, and its other names keep the old picture.
        if (!S_ISREG(status.st_mode) || (status.st_nlink > 1 && !read_only(path)))
            return replace_in_place();
    }
    if (const int error = follow_links(target_); error != 0) {
        complain(path, "cannot follow the symbolic link: %s", std::strerror(error));
        return false;
    }
    // The kernel applies the umask to a new file's 0666.
    const std::string folder = folder_of(target_);
    int descriptor =
        ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    unnamed_ = descriptor >= 0 && access(descriptor_name(descriptor).c_str(), F_OK) == 0;
    if (descriptor >= 0 && !unnamed_) {
        (void)close(descriptor);  // no /proc to link it in through
        descriptor = -1;
        errno = EOPNOTSUPP;
    }
    if (descriptor < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        descriptor = with_fresh_name(target_, temporary_, [](const char* name) {
            return ::open(name, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        });
        if (descriptor < 0) temporary_.clear();
    }
    if (descriptor < 0) {
        const int error = errno;
        if (existed_ && (error == EACCES || error == EPERM || error == EROFS))
            return replace_in_place();
        complain(path, "cannot create: %s", std::strerror(error));
        return false;
    }
    if (existed_) {
        // Whoever may not give the file away may still keep its group; chown clears set-ID
        // bits, so the mode comes last.
        if (fchown(descriptor, owner_, group_) != 0)
            (void)fchown(descriptor, static_cast<uid_t>(-1), group_);
        (void)fchmod(descriptor, mode_);
    }
    stream_ = fdopen(descriptor, "wb");
    if (stream_ == nullptr) {
        complain(path, "cannot write: %s", std::strerror(errno));
        (void)close(descriptor);
        return false;
    }
    return true;
}

// Opens the existing target itself for writing, emptied.
bool output_file::replace_in_place() {
    const int descriptor = ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (descriptor < 0) {
        complain(path_, "cannot write: %s", std::strerror(errno));
        return false;
    }
    stream_ = fdopen(descriptor, "wb");
    if (stream_ == nullptr) {
        complain(path_, "cannot write: %s", std::strerror(errno));
        (void)close(descriptor);
        return false;
    }
    in_place_ = true;
    return true;
}

bool output_file::commit() {
    if (stream_ == stdout) {
        if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return true;
        complain(path_, "write error on standard output");
        return false;
    }
    // The writers stop or go on failing at a failed write and come straight here, so errno
    // still names its cause (ENOSPC, EFBIG, ...); a failed flush or close names its own.
    const int band_error = write_error_.load();
    const bool flushed = std::fflush(stream_) == 0;
    const int write_error = band_error != 0 ? band_error : errno;
    const bool written = flushed && std::ferror(stream_) == 0 && band_error == 0;
    // An unnamed file gets a name while it is still open, the only way to reach it.
    int link_error = 0;
    if (written && unnamed_) {
        const std::string from = descriptor_name(fileno(stream_));
        if (with_fresh_name(target_, temporary_, [&from](const char* name) {
                return linkat(AT_FDCWD, from.c_str(), AT_FDCWD, name, AT_SYMLINK_FOLLOW);
            }) != 0) {
            link_error = errno;
            temporary_.clear();
        }
    }
    const bool closed = std::fclose(stream_) == 0;
    const int cause = closed ? write_error : errno;
    stream_ = nullptr;
    if (!written || !closed) {
        complain(path_, "write error: %s%s", std::strerror(cause != 0 ? cause : EIO),
                 in_place_ ? "; the file, written in place, is incomplete" : "");
        return false;
    }
    if (link_error != 0) {
        complain(path_, "cannot create: %s", std::strerror(link_error));
        return false;
    }
    if (in_place_) return true;
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        complain(path_, "cannot replace: %s", std::strerror(errno));
        return false;
    }
    temporary_.clear();
    return true;
}

bool output_file::write(std::span<const std::uint8_t> bytes) {
    if (write_error_ != 0) return false;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stream_) == bytes.size()) return true;
    write_error_ = errno != 0 ? errno : EIO;
    return false;
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

void set_force(bool force) {
    force_replace = force;
}

bool replaceable(const char* out_path) {
    struct stat status {};
    if (force_replace || std::strcmp(out_path, "-") == 0 || stat(out_path, &status) != 0 ||
        S_ISDIR(status.st_mode) || !read_only(out_path)) {
        return true;
    }
    complain(out_path, "is read-only; not replaced (--force replaces it)");
    return false;
}

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool distinct_output(const char* out_path, std::span<const char* const> inputs) {
    struct stat out {};
    if (std::strcmp(out_path, "-") == 0 || stat(out_path, &out) != 0) return true;
    for (const char* input : inputs) {
        struct stat in {};
        if (std::strcmp(input, "-") != 0 && stat(input, &in) == 0 && same_file(in, out)) {
            complain(out_path, "is also the input");
            return false;
        }
    }
    return true;
}

}  // namespace kvrn::cli
