#include "codec/band_decoder.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "codec/block_coding.h"
#include "codec/byte_reader.h"
#include "codec/parallel.h"
#include "codec/picture.h"

namespace kvrn {
namespace {

// The stream's bytes from the start of the piece being decoded on, read as they are needed.
class stream_buffer {
  public:
    explicit stream_buffer(std::FILE* file) : file_(file) {}

    // Makes at least `count` bytes from `offset` (relative to the piece's start) available, or as
    // many as the stream still holds. Returns how many are available there.
    std::size_t available(std::size_t offset, std::size_t count) {
        while (end_ - start_ < offset + count && !ended_) {
            if (start_ > 0) {  // the bytes before the piece are done with
                std::memmove(bytes_.data(), bytes_.data() + start_, end_ - start_);
                end_ -= start_;
                start_ = 0;
            }
            if (bytes_.size() < offset + count)
                bytes_.resize(std::max(offset + count, 2 * bytes_.size()));
            const std::size_t got =
                std::fread(bytes_.data() + end_, 1, bytes_.size() - end_, file_);
            end_ += got;
            if (got == 0) ended_ = true;
        }
        return end_ - start_ > offset ? end_ - start_ - offset : 0;
    }
    const std::uint8_t* at(std::size_t offset) const { return bytes_.data() + start_ + offset; }
    // The piece now starts `count` bytes further on.
    void advance(std::size_t count) { start_ += count; }

  private:
    std::FILE* file_;
    std::vector<std::uint8_t> bytes_ = std::vector<std::uint8_t>(std::size_t{1} << 16);
    std::size_t start_ = 0;
    std::size_t end_ = 0;
    bool ended_ = false;
};

}  // namespace

band_decoding decode_bands(std::FILE* file, const kvrn_header& header,
                           const channel_enables& enables, unsigned threads, band_sink& sink,
                           missing_block_listener* listener) {
    if (threads == 0) threads = default_threads();
    band_decoding result;
    const std::int32_t block_rows = blocks_covering(header.height);
    const std::int32_t positions = blocks_covering(header.width);
    const std::size_t row_bytes_most =
        static_cast<std::size_t>(positions) * 3 * max_coded_block_bytes;
    const std::size_t band_bytes = *picture_bytes(header.width, 8);
    // Rows per piece: a few per thread to even out uneven rows, as long as a piece of the longest
    // rows stays within 8 MiB.
    const std::size_t piece_rows = std::max<std::size_t>(
        threads,
        std::min<std::size_t>(4 * std::size_t{threads},
                              (std::size_t{8} << 20) / std::max<std::size_t>(row_bytes_most, 1)));
    // Bands for a sink that gives no destination, left uninitialised: decode_block_row writes
    // every pixel of a band (zeroing them first cost a few percent of a decode).
    std::unique_ptr<std::uint8_t[]> scratch;
    std::size_t scratch_bytes = 0;
    const auto make_room = [&](std::size_t bytes) {
        if (scratch_bytes >= bytes) return;
        scratch = std::make_unique_for_overwrite<std::uint8_t[]>(bytes);
        scratch_bytes = bytes;
    };
    // Block rows `row` on, one after another, reporting the blocks the stream ends before or in.
    const auto decode_in_order = [&](byte_reader& in, std::int32_t row) {
        make_room(band_bytes);
        for (; row < block_rows && !result.stopped; ++row) {
            const std::int32_t r0 = 8 * row;
            std::uint8_t* band = sink.destination(r0);
            if (band == nullptr) band = scratch.get();
            result.missing += decode_block_row(in, header, enables, r0, band, listener);
            result.stopped = !sink.decoded(r0, band);
        }
    };
    if (threads == 1) {
        // One thread has nothing to gain from finding the rows first: one pass, as it reads.
        byte_reader in(file);
        decode_in_order(in, 0);
        return result;
    }
    stream_buffer stream(file);

    struct row_extent {
        std::size_t offset;
        std::size_t bytes;
    };
    std::vector<row_extent> rows;
    std::int32_t row = 0;
    bool cut = false;
    while (row < block_rows && !cut && !result.stopped) {
        // Where each complete row of the piece lies.
        rows.clear();
        std::size_t offset = 0;
        while (rows.size() < piece_rows &&
               row + static_cast<std::int32_t>(rows.size()) < block_rows) {
            const std::size_t held = stream.available(offset, row_bytes_most);
            const std::optional<std::size_t> bytes =
                coded_bytes(stream.at(offset), held, positions);
            if (!bytes) {
                cut = true;
                break;
            }
            rows.push_back({offset, *bytes});
            offset += *bytes;
        }
        make_room(rows.size() * band_bytes);
        const auto band_of = [&](std::size_t k) {
            const std::int32_t r0 = 8 * (row + static_cast<std::int32_t>(k));
            std::uint8_t* band = sink.destination(r0);
            return band != nullptr ? band : scratch.get() + k * band_bytes;
        };
        run_parallel(rows.size(), threads, [&](std::size_t k) {
            byte_reader in(stream.at(rows[k].offset), rows[k].bytes);
            (void)decode_block_row(in, header, enables, 8 * (row + static_cast<std::int32_t>(k)),
                                   band_of(k), nullptr);
        });
        // Handed over in order, from this thread: writers of one file take turns anyway, and
        // in order the file grows from its start.
        for (std::size_t k = 0; k < rows.size() && !result.stopped; ++k) {
            result.stopped = !sink.decoded(8 * (row + static_cast<std::int32_t>(k)), band_of(k));
        }
        row += static_cast<std::int32_t>(rows.size());
        stream.advance(offset);
    }
    // The rows the stream ends before or inside, in order, from what it still holds.
    if (row < block_rows && !result.stopped) {
        const std::size_t held = stream.available(0, 0);
        byte_reader in(stream.at(0), held);
        decode_in_order(in, row);
    }
    return result;
}

}  // namespace kvrn
