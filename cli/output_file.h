// Output files that appear under their names only once they are complete.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

namespace kvrn::cli {

// An output that shows up under its name only when it is complete. A file is written to a
// temporary next to its final name, then renamed; "-" is standard output, written directly.
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
    const std::string& path() const { return path_; }
    // Flushes, closes and renames. Any write error on the way fails it and removes the file.
    bool commit();

  private:
    std::string path_;
    std::string temporary_;
    std::FILE* stream_ = nullptr;
    std::atomic<int> write_error_ = 0;  // set by write_at, which several threads may call
};

}  // namespace kvrn::cli
