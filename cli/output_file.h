// Output files that appear under their names only once they are complete.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

namespace kvrn::cli {

// An output that replaces a file the way users expect, showing up under its name only when it is
// complete. A file is written to a temporary in the folder of its final name, unnamed where the
// file system allows it (so that even a killed process leaves nothing behind), dot-named where
// not, then renamed over the name. A symbolic link is followed and its target replaced; a
// replaced file's permission bits, owner and group (as far as the process may set them) go to the
// new one. "-" is standard output, written directly.
//
// A file the process may not write (by its permission bits and ACLs, as open() judges them; root
// may write any) is refused, as replaceable() refuses it, unless --force was given.
//
// An existing file is written in place, truncated and rewritten, where renaming would do harm or
// cannot be done: when it has other hard links, which would otherwise keep the old picture, and
// when its folder takes no new file but the file itself is writable. A failure midway then leaves
// it incomplete, as it would with any tool that writes in place; wrote_in_place() tells.
class output_file {
  public:
    static constexpr std::size_t max_write_pieces = 8;
    output_file() = default;
    ~output_file();
    output_file(const output_file&) = delete;
    output_file& operator=(const output_file&) = delete;

    bool open(const char* path);
    std::FILE* stream() const { return stream_; }
    // Writes `pieces` one after another at byte `offset` of a file output, up to
    // max_write_pieces of them in one system call, around the stream (flush it first). A failure
    // is kept for commit to report; later calls then do nothing.
    bool write_at(std::uint64_t offset, std::span<const std::span<const std::uint8_t>> pieces);
    // Appends `bytes` to the stream. Threads may take turns at it: a failure is kept, with its
    // cause, for commit to report (errno belongs to the thread that wrote); later calls then do
    // nothing.
    bool write(std::span<const std::uint8_t> bytes);
    const std::string& path() const { return path_; }
    // Flushes, closes and puts the file under its name. Any write error on the way fails it and
    // removes the file (leaves it incomplete when written in place).
    bool commit();
    bool wrote_in_place() const { return in_place_; }

  private:
    bool replace_in_place();

    std::string path_;       // as the user named it, for the messages
    std::string target_;     // the file that gets replaced: path_ with its links followed
    std::string temporary_;  // the name of a named temporary while it exists
    std::FILE* stream_ = nullptr;
    bool unnamed_ = false;  // the stream is an unnamed temporary, linked in at commit
    bool in_place_ = false;
    bool existed_ = false;
    uid_t owner_ = 0;
    gid_t group_ = 0;
    mode_t mode_ = 0;
    std::atomic<int> write_error_ = 0;  // set by write_at, which several threads may call
};

// Whether read-only files are replaced (--force): set once by the command line, before a command
// runs.
void set_force(bool force);

// False, after saying "kvrn: OUT: is read-only; not replaced (--force replaces it)", when the
// output `out_path` is a file that exists and that the process may not write (through symbolic
// links, their target), and --force was not given. Making a file read-only is how users protect
// it: every command asks this of its outputs before it reads anything.
bool replaceable(const char* out_path);

// Whether the two status records are of one file: the same inode number on the same device, since
// each file system numbers its inodes on its own.
bool same_file(const struct stat& a, const struct stat& b);

// False, after saying "kvrn: OUT: is also the input", when the output `out_path` would replace one
// of the `inputs` (the same file, through links too). Standard input and output never count.
bool distinct_output(const char* out_path, std::span<const char* const> inputs);

}  // namespace kvrn::cli
