#include "codec/band_decoder.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "codec/block_coding.h"
#include "codec/byte_reader.h"
#include "codec/parallel.h"
#include "codec/picture.h"

namespace kvrn {

band_decoding decode_bands(byte_reader& in, const kvrn_header& header,
                           const channel_enables& enables, unsigned threads, band_sink& sink,
                           missing_block_listener* listener) {
    if (threads == 0) threads = default_threads();
    band_decoding result;
    const std::int32_t block_rows = blocks_covering(header.height);
    const std::int32_t positions = blocks_covering(header.width);
    const std::size_t band_bytes = *picture_bytes(header.width, 8);
    // Block rows `row` on, one after another from `source`, reporting the blocks it ends before
    // or in. Bands for a sink that gives no destination are left uninitialised: decode_block_row
    // writes every pixel of a band (zeroing them first cost a few percent of a decode).
    const auto decode_in_order = [&](byte_reader& source, std::int32_t row) {
        const auto scratch = std::make_unique_for_overwrite<std::uint8_t[]>(band_bytes);
        for (; row < block_rows && !result.stopped; ++row) {
            const std::int32_t r0 = 8 * row;
            std::uint8_t* band = sink.destination(r0);
            if (band == nullptr) band = scratch.get();
            result.missing += decode_block_row(source, header, enables, r0, band, listener);
            result.stopped = !sink.decoded(r0, band);
        }
    };
    const auto workers = static_cast<unsigned>(std::clamp<std::int32_t>(
        block_rows, 1, static_cast<std::int32_t>(std::min(threads, 1024U))));
    if (workers == 1) {
        // One thread has nothing to gain from taking the rows apart first: one pass, as it reads.
        decode_in_order(in, 0);
        return result;
    }
    // Each thread takes the next block row, copying its coded bytes out of the stream (one
    // thread at a time, as the rows follow one another), decodes it into a band of its own and
    // hands the band on, when the bands before it have been unless the sink takes any order:
    // copying, decoding and writing overlap, and each thread needs the room of one row.
    const std::size_t row_room =
        static_cast<std::size_t>(positions) * 3 * static_cast<std::size_t>(max_coded_block_bytes);
    // Left uninitialised, as above; only the bytes of a row's blocks are copied and read.
    const auto rows_coded = std::make_unique_for_overwrite<std::uint8_t[]>(workers * row_room);
    const auto bands = std::make_unique_for_overwrite<std::uint8_t[]>(workers * band_bytes);
    std::mutex reading;                   // guards `in`, `next` and `cut`
    std::int32_t next = 0;                // the next block row to take
    std::int32_t cut = -1;                // the row the stream ends in, if it ends early
    std::vector<std::uint8_t> cut_bytes;  // what the stream holds of that row
    std::atomic<bool> stop{false};
    in_order_turns turns;
    const bool in_order = !sink.any_order();
    run_on_threads(workers, [&](unsigned w) {
        std::uint8_t* const coded = rows_coded.get() + w * row_room;
        for (;;) {
            std::int32_t row = 0;
            copied_blocks copied;
            {
                const std::lock_guard<std::mutex> lock(reading);
                if (next == block_rows || cut >= 0 || stop) return;
                row = next++;
                copied = copy_coded_blocks(in, positions, coded);
                if (!copied.complete) {
                    // This row and the rest are decoded in order once the others are done.
                    cut = row;
                    cut_bytes.assign(coded, coded + copied.bytes);
                    return;
                }
            }
            const std::int32_t r0 = 8 * row;
            std::uint8_t* band = sink.destination(r0);
            if (band == nullptr) band = bands.get() + w * band_bytes;
            byte_reader source(coded, copied.bytes);
            (void)decode_block_row(source, header, enables, r0, band, nullptr);
            if (in_order) turns.wait_for(static_cast<std::size_t>(row));
            if (!stop && !sink.decoded(r0, band)) stop = true;
            if (in_order) turns.pass(static_cast<std::size_t>(row));
        }
    });
    result.stopped = stop;
    if (cut >= 0 && !result.stopped) {
        byte_reader rest(cut_bytes.data(), cut_bytes.size());
        decode_in_order(rest, cut);
    }
    return result;
}

}  // namespace kvrn
