// A whole KVRN file decoded into a picture, with what went wrong when it could not be.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "codec/coef_block.h"
#include "codec/kvrn_format.h"

namespace kvrn {

enum class load_status {
    loaded,       // the picture is decoded; `missing` blocks were cut short by the stream's end
    unreadable,   // the header could not be read (errno says why)
    too_short,    // fewer than 14 bytes
    wrong_magic,  // not a KVRN file
    no_memory,    // no buffer for the picture
};

// Told of the steps of a load as they happen, so that the caller can report each as it comes,
// and asked for the memory the picture goes into.
class load_observer : public missing_block_listener {
  public:
    // The header, once it has passed its checks, before the picture's buffer is asked for.
    virtual void header_read(const kvrn_header& header) = 0;
    // The channels the picture is decoded with, asked after header_read.
    virtual channel_enables channels() const { return {}; }
    // Zeroed memory of `bytes` bytes (width x height x 3, one at the least) that the caller
    // owns and the picture is decoded into, or null when there is none.
    virtual std::uint8_t* picture_buffer(std::size_t bytes) = 0;
};

struct load_result {
    load_status status = load_status::loaded;
    std::size_t header_got = 0;  // header bytes read
    kvrn_header header;          // as read, once all 14 bytes were there
    // The bytes asked of picture_buffer; SIZE_MAX when width x height x 3 does not fit a size_t.
    std::size_t buffer_bytes = 0;
    std::int64_t missing = 0;  // coded blocks the stream ended before or inside
};

// Reads the header at the current position of `file`, then decodes every block position into
// the buffer the observer gives, with the channels it names. A stream that ends early is no
// failure: each block it ends before or inside is reported and decoded from what it holds.
load_result load_kvrn(std::FILE* file, load_observer& observer);

}  // namespace kvrn
