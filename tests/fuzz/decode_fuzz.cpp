// Arbitrary bytes as a KVRN file, decoded in one pass on the calling thread: the result is a
// picture or a refusal, never a fault; every block the decoder reports missing lies in the grid,
// is reported once and in stream order, and their number is what the stream's measure (which
// reads the blocks without decoding them) says is missing. One thread, no allocation beyond the
// picture and pictures the input can mostly fill keep it at tens of thousands of inputs a second;
// bands_fuzz holds the decoding split over threads to this one.
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/byte_reader.h"
#include "codec/kvrn_format.h"
#include "codec/picture.h"

namespace {

// Checks each reported block against the grid and against the one before it.
class order_checker final : public kvrn::missing_block_listener {
  public:
    explicit order_checker(const kvrn::kvrn_header& header)
        : columns_((header.width + 7) / 8), rows_((header.height + 7) / 8) {}
    void missing_block(kvrn::channel which, std::int32_t counter, std::int32_t column,
                       std::int32_t row) override {
        const std::int64_t index = 3 * std::int64_t{counter} + static_cast<int>(which);
        if (column < 0 || column >= columns_ || row < 0 || row >= rows_) std::abort();
        if (counter != row * columns_ + column || index <= last_) std::abort();
        // Once the stream has ended every later block is missing too: no gaps.
        if (last_ >= 0 && index != last_ + 1) std::abort();
        last_ = index;
        ++count_;
    }
    std::int64_t count() const { return count_; }

  private:
    std::int32_t columns_;
    std::int32_t rows_;
    std::int64_t last_ = -1;
    std::int64_t count_ = 0;
};

}  // namespace

// NOLINTNEXTLINE(readability-identifier-naming): libFuzzer calls this name
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kvrn::header_bytes) return 0;
    std::array<std::uint8_t, kvrn::header_bytes> bytes{};
    std::memcpy(bytes.data(), data, bytes.size());
    const kvrn::kvrn_header header = kvrn::parse_header(bytes);
    const auto picture = kvrn::picture_bytes(header.width, header.height);
    // Pictures up to 16384 pixels whose stream could hold all but 16 of their block positions
    // (a complete position takes 9 bytes at least): cut streams of every kind, while the time goes
    // to blocks the input holds rather than to thousands of missing ones decoded as zeros, which
    // would take the fuzzer down to a few hundred inputs a second; and no larger, since a decode
    // of 64 Ki pixels held it under 20,000 inputs a second. bands_fuzz takes the pictures up to
    // 64 Ki pixels and the wide ones with short streams (65535 x 1 among them); larger ones are
    // the loader tests'.
    if (!picture || *picture > 3 * (std::size_t{1} << 14)) return 0;
    if (kvrn::block_positions(header) > 16 + static_cast<std::int64_t>(size / 9)) return 0;
    // One buffer for every input (a fresh one of up to 48 KiB each time, poisoned and filled,
    // cost more than many a decode). The byte past the picture is a guard: the decoder writes
    // width x height x 3 bytes exactly.
    constexpr std::uint8_t guard = 0xA5;
    static std::vector<std::uint8_t> buffer(3 * (std::size_t{1} << 14) + 1);
    buffer[*picture] = guard;
    // The channels switched by the length's low bits: every combination comes up.
    const kvrn::channel_enables enables{static_cast<std::int32_t>(size & 1),
                                        static_cast<std::int32_t>((size >> 1) & 1) ^ 1,
                                        static_cast<std::int32_t>((size >> 2) & 1) ^ 1};
    order_checker checker(header);
    kvrn::byte_reader in(data + kvrn::header_bytes, size - kvrn::header_bytes);
    const std::int64_t missing = kvrn::decode_blocks(in, header, enables, buffer.data(), &checker);
    if (missing != checker.count() || buffer[*picture] != guard) std::abort();

    kvrn::byte_reader again(data + kvrn::header_bytes, size - kvrn::header_bytes);
    const kvrn::stream_measure measure = kvrn::measure_stream(again, header);
    if (missing != measure.blocks_needed - measure.blocks_held) std::abort();
    if (measure.bytes_held > size - kvrn::header_bytes) std::abort();
    return 0;
}
