// Arbitrary bytes as one coded block: every block that reads back in the writer's range must
// survive a write and a second read unchanged.
#include <algorithm>
#include <cstdlib>

#include "codec/block_coding.h"

// NOLINTNEXTLINE(readability-identifier-naming): libFuzzer calls this name
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kvrn::byte_reader in(data, size);
    kvrn::coef_block block{};
    while (kvrn::read_block(block, in) == kvrn::block_complete) {
        // The byte 0x80 reads as -128, which the writer clamps to -127.
        const bool writable = std::none_of(block.begin() + 1, block.end(),
                                           [](std::int32_t v) { return v < -127 || v > 126; });
        const kvrn::coded_block coded = kvrn::code_block(block);
        std::array<std::uint8_t, kvrn::max_coded_block_bytes + 1> bytes{};
        std::copy_n(coded.bytes.begin(), coded.length, bytes.begin());
        bytes[static_cast<std::size_t>(coded.length)] = kvrn::end_of_block;
        kvrn::byte_reader again(bytes.data(), bytes.size());
        kvrn::coef_block copy{};
        if (kvrn::read_block(copy, again) != kvrn::block_complete) std::abort();
        if (writable && copy != block) std::abort();
        if (!writable && coded.clipped == 0) std::abort();
    }
    return 0;
}
