// A byte source for the block decoder: a span of memory, or a file read in large chunks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace kvrn {

// Hands out one byte at a time, -1 at the end. Decoding works on bytes; reading a file is only
// a matter of refilling the span from it. The reader never reads the file before it is asked
// for a byte, and `consumed` tells how many bytes the decoder has taken so far.
class byte_reader {
  public:
    byte_reader(const std::uint8_t* data, std::size_t size)
        : pos_(data), end_(data + size), refilled_(size) {}
    explicit byte_reader(std::FILE* file) : file_(file) {}

    byte_reader(const byte_reader&) = delete;
    byte_reader& operator=(const byte_reader&) = delete;

    // The next byte (0..255), or -1 once the source is exhausted.
    int next() {
        if (pos_ == end_) return refill();  // also while pos_ is still null
        return *pos_++;  // NOLINT(clang-analyzer-core.NullDereference): refill() set pos_
    }

    // A pointer to the next `count` bytes (count <= 1024), or null when the source holds fewer;
    // `skip` then takes the bytes used. For decoding a block without a check per byte.
    const std::uint8_t* contiguous(std::size_t count) {
        if (static_cast<std::size_t>(end_ - pos_) >= count) return pos_;
        return top_up(count);
    }
    void skip(std::size_t count) { pos_ += count; }

    // Bytes handed out so far.
    std::uint64_t consumed() const { return refilled_ - static_cast<std::uint64_t>(end_ - pos_); }

  private:
    int refill();
    const std::uint8_t* top_up(std::size_t count);

    std::FILE* file_ = nullptr;
    const std::uint8_t* pos_ = nullptr;
    const std::uint8_t* end_ = nullptr;
    // Total bytes ever placed in [pos_, end_); for a memory source that is its size.
    std::uint64_t refilled_ = 0;
    bool ended_ = false;
    // Left uninitialised: only a file source fills it, and only what it filled is read.
    std::array<std::uint8_t, 1 << 16> buffer_;
};

}  // namespace kvrn
