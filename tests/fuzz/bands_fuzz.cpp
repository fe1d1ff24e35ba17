// Arbitrary bytes as a KVRN file decoded in block rows side by side on three threads: the same
// missing blocks and the same pixels as one pass gives, whatever the split.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/band_decoder.h"
#include "codec/byte_reader.h"
#include "codec/kvrn_format.h"
#include "codec/picture.h"

// NOLINTNEXTLINE(readability-identifier-naming): libFuzzer calls this name
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kvrn::header_bytes) return 0;
    std::array<std::uint8_t, kvrn::header_bytes> bytes{};
    std::memcpy(bytes.data(), data, bytes.size());
    const kvrn::kvrn_header header = kvrn::parse_header(bytes);
    const auto picture = kvrn::picture_bytes(header.width, header.height);
    // Pictures up to 65536 pixels (65535 x 1 among them): every edge case, at a size that keeps
    // the fuzzer fast. Larger pictures are the loader tests' business.
    if (!picture || *picture > 3 * (std::size_t{1} << 16)) return 0;
    std::vector<std::uint8_t> pixels(*picture + 1);
    kvrn::byte_reader in(data + kvrn::header_bytes, size - kvrn::header_bytes);
    const std::int64_t missing = kvrn::decode_blocks(in, header, {}, pixels.data(), nullptr);
    if (missing < 0 || missing > 3 * kvrn::block_positions(header)) std::abort();

    // The same stream through the band decoder with three threads.
    struct into_picture final : kvrn::band_sink {
        explicit into_picture(std::vector<std::uint8_t>& pixels, std::int32_t width)
            : pixels(pixels), width(width) {}
        std::uint8_t* destination(std::int32_t r0) override {
            return pixels.data() + kvrn::pixel_offset(width, r0, 0);
        }
        bool decoded(std::int32_t /*r0*/, const std::uint8_t* /*pixels*/) override { return true; }
        std::vector<std::uint8_t>& pixels;
        std::int32_t width;
    };
    std::vector<std::uint8_t> banded(pixels.size());
    into_picture sink(banded, header.width);
    kvrn::byte_reader again(data + kvrn::header_bytes, size - kvrn::header_bytes);
    const kvrn::band_decoding bands = kvrn::decode_bands(again, header, {}, 3, sink, nullptr);
    if (bands.missing != missing || banded != pixels) std::abort();
    return 0;
}
