// Decoding a KVRN block stream a block row at a time, the rows side by side on several threads.
#pragma once

#include <cstdint>

#include "codec/byte_reader.h"
#include "codec/coef_block.h"
#include "codec/kvrn_format.h"

namespace kvrn {

// Receives the decoded bands of a picture: band r0 is the block row whose lowest picture row is
// r0, band_rows(header, r0) rows of width x 3 bytes, row r0 first.
class band_sink {
  public:
    band_sink() = default;
    virtual ~band_sink() = default;
    band_sink(const band_sink&) = delete;
    band_sink& operator=(const band_sink&) = delete;

    // Where to decode band r0: memory of the sink's own, or null for a buffer of the decoder's,
    // which is only valid during the call of `decoded` that hands it over.
    virtual std::uint8_t* destination(std::int32_t r0) = 0;
    // Band r0 is complete at `pixels`. Called once for every band from any of the decoding
    // threads (the rows are decoded side by side): in order, one call at a time, unless
    // any_order() says otherwise. destination() too may be called from any of them. Returning
    // false stops the decoding.
    virtual bool decoded(std::int32_t r0, const std::uint8_t* pixels) = 0;
    // True for a sink whose `decoded` takes bands in any order and from several threads at once,
    // such as one that writes each band to its own place in a file: then no thread waits for
    // the bands before its own to be handed over.
    virtual bool any_order() const { return false; }
};

struct band_decoding {
    std::int64_t missing = 0;  // coded blocks the stream ended before or inside
    bool stopped = false;      // a call of `decoded` returned false
};

// Decodes the block stream of `header` from `in`, memory or a file (at its first block). Up to
// `threads` threads (0: every core) each take the next block row, copy its coded bytes out of the
// stream (one at a time), decode it and hand its band over, in turn unless the sink takes any
// order. Rows that the stream ends
// before or inside are decoded last, in order, on the calling thread, and each block the stream
// ends before or inside is reported to `listener` (if any) from that thread. The pixels are those
// decode_blocks gives, whatever the number of threads. A read error ends a file's stream there,
// as its end would; the file's error flag tells it apart. With one thread the stream is decoded
// in one pass as it is read. Allocates a band and a row's coded bytes per thread (std::bad_alloc
// when there is no memory for them).
band_decoding decode_bands(byte_reader& in, const kvrn_header& header,
                           const channel_enables& enables, unsigned threads, band_sink& sink,
                           missing_block_listener* listener);

}  // namespace kvrn
