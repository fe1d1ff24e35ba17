// A KVRN file as the tool reads it: opened with its header read and checked, its block stream
// decoded with a report of where it ends early.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/image.h"
#include "codec/kvrn_format.h"

namespace kvrn::cli {

// A KVRN file opened for reading, its header read and checked.
class kvrn_input {
  public:
    kvrn_input() = default;
    ~kvrn_input();
    kvrn_input(const kvrn_input&) = delete;
    kvrn_input& operator=(const kvrn_input&) = delete;

    // Opens `name` ("-": standard input) and reads its header, refusing a picture of more than
    // `max_pixels` pixels; false after complaining.
    bool open(const char* name, std::uint64_t max_pixels);
    // Whether reading the file failed; complains when it did.
    bool read_failed() const;

    const char* path = "";
    std::FILE* file = nullptr;
    kvrn_header header{kvrn_magic, 0, 0, 0, 0, 0};
};

// Where a coded block lies in the stream, for the messages about truncated streams.
struct block_place {
    std::int64_t position = 0;
    channel which = channel::y;
    std::int32_t column = 0;
    std::int32_t row = 0;
};

// "the Cr block of position 7 (block column 3, row 1)"
std::string describe(const block_place& place);

// Keeps the first block the decoder reports missing.
class first_missing_block final : public missing_block_listener {
  public:
    void missing_block(channel which, std::int32_t counter, std::int32_t column,
                       std::int32_t row) override;
    bool seen = false;
    block_place place;
};

// Refuses a picture without pixels, which no output format can hold.
bool has_pixels(const kvrn_input& in);

// The status of a finished decode: the warning for a stream that ended early, and exit_damaged.
int decode_status(const kvrn_input& in, std::int64_t missing, const first_missing_block& listener);

// Decodes the block stream of `in` as the viewer loads a file (every channel on unless `channels`
// says otherwise), the block rows side by side on `threads` threads (0: every core). The pixels
// are the same for any number.
int decode_file(kvrn_input& in, image& picture, unsigned threads,
                const channel_enables& channels = {});

}  // namespace kvrn::cli
