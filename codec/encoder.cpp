#include "codec/encoder.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <new>
#include <vector>

#include "codec/block_coding.h"
#include "codec/parallel.h"
#include "codec/picture.h"
#include "codec/reencode.h"

namespace kvrn {
namespace {

// Uninitialised bytes, or null when there is no memory: the library reports that rather than
// throwing through its C interface.
std::unique_ptr<std::uint8_t[]> scratch(std::size_t bytes) {
    return std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[bytes]);
}

// Puts the coded blocks of the positions it is handed one after another into a buffer.
struct coding_sink {
    std::uint8_t* end;
    std::int64_t& clipped;
    void coded(const ycc_blocks& coefficients, std::int32_t /*r0*/, std::int32_t /*c0*/) {
        end += put_block(coefficients.y, end, clipped);
        end += put_block(coefficients.cr, end, clipped);
        end += put_block(coefficients.cb, end, clipped);
    }
};

// The threads a picture of `block_rows` block rows is worked on with.
unsigned workers_for(std::size_t block_rows, unsigned threads) {
    const unsigned asked = threads == 0 ? default_threads() : threads;
    return static_cast<unsigned>(std::clamp<std::size_t>(block_rows, 1, asked));
}

}  // namespace

kvrn_header make_header(std::int32_t width, std::int32_t height, const channel_steps& scales) {
    return {kvrn_magic,
            static_cast<std::uint16_t>(width),
            static_cast<std::uint16_t>(height),
            static_cast<std::uint16_t>(scales.y),
            static_cast<std::uint16_t>(scales.cr),
            static_cast<std::uint16_t>(scales.cb)};
}

std::optional<encoding> encode_stream(const kvrn_header& header, unsigned threads,
                                      band_source& source, byte_sink& sink) {
    const std::int32_t width = header.width;
    const std::int32_t height = header.height;
    const channel_steps scales{header.y_scale, header.cr_scale, header.cb_scale};
    const auto block_rows = static_cast<std::size_t>(blocks_covering(height));
    const std::size_t band_bytes = *picture_bytes(width, 8);
    const std::size_t row_room =
        3 * static_cast<std::size_t>(blocks_covering(width)) * put_block_room;
    const unsigned workers = workers_for(block_rows, threads);
    // Left uninitialised: each row's coder writes the bytes it hands on, and the source fills
    // the band it returns.
    const auto coded = scratch(workers * row_room);
    const auto bands = scratch(workers * std::max<std::size_t>(band_bytes, 1));
    if (!coded || !bands) return std::nullopt;

    encoding result;
    const std::array<std::uint8_t, header_bytes> head = format_header(header);
    if (!sink.write(head)) {
        result.write_failed = true;
        return result;
    }
    result.bytes = head.size();
    std::vector<std::int64_t> clipped(workers);
    std::atomic<std::size_t> next{0};
    std::atomic<bool> read_failed{false};
    std::atomic<bool> write_failed{false};
    in_order_turns turns;
    run_on_threads(workers, [&](unsigned w) {
        std::uint8_t* const row_out = coded.get() + w * row_room;
        std::uint8_t* const band = bands.get() + w * band_bytes;
        for (std::size_t row; (row = next.fetch_add(1, std::memory_order_relaxed)) < block_rows;) {
            const auto r0 = static_cast<std::int32_t>(8 * row);
            const std::int32_t rows = std::min(8, height - r0);
            const bool stopped = read_failed || write_failed;
            const std::uint8_t* pixels = stopped ? nullptr : source.rows(r0, rows, band);
            std::size_t length = 0;
            if (pixels == nullptr) {
                if (!stopped) read_failed = true;
            } else {
                coding_sink coder{row_out, clipped[w]};
                reencode_blocks(picture_view{pixels, width, rows},
                                {scales, {}, block_coverage::every_position}, coder);
                length = static_cast<std::size_t>(coder.end - row_out);
            }
            turns.wait_for(row);
            if (!read_failed && !write_failed) {
                if (sink.write({row_out, length})) {
                    result.bytes += length;
                } else {
                    write_failed = true;
                }
            }
            turns.pass(row);
        }
    });
    result.read_failed = read_failed;
    result.write_failed = write_failed;
    for (const std::int64_t count : clipped) result.clipped += count;
    return result;
}

std::optional<channel_steps> unclipped_scales(std::int32_t width, std::int32_t height,
                                              unsigned threads, band_source& source) {
    const auto block_rows = static_cast<std::size_t>(blocks_covering(height));
    const std::size_t band_bytes = std::max<std::size_t>(*picture_bytes(width, 8), 1);
    const unsigned workers = workers_for(block_rows, threads);
    const auto bands = scratch(workers * band_bytes);
    if (!bands) return std::nullopt;
    std::vector<ac_extremes> found(workers);
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    run_on_threads(workers, [&](unsigned w) {
        std::uint8_t* const band = bands.get() + w * band_bytes;
        for (std::size_t row; (row = next.fetch_add(1, std::memory_order_relaxed)) < block_rows;) {
            const auto r0 = static_cast<std::int32_t>(8 * row);
            const std::int32_t rows = std::min(8, height - r0);
            const std::uint8_t* pixels = failed ? nullptr : source.rows(r0, rows, band);
            if (pixels == nullptr) {
                failed = true;
                return;
            }
            reencode_blocks(picture_view{pixels, width, rows},
                            {{1, 1, 1}, {}, block_coverage::every_position}, found[w]);
        }
    });
    if (failed) return std::nullopt;
    ac_extremes all;
    for (const ac_extremes& each : found) {
        for (std::size_t c = 0; c < 3; ++c) {
            all.most[c] = std::max(all.most[c], each.most[c]);
            all.least[c] = std::max(all.least[c], each.least[c]);
        }
    }
    return channel_steps{unclipped_step(all, 0), unclipped_step(all, 1), unclipped_step(all, 2)};
}

}  // namespace kvrn
