// Measuring a block stream without decoding it, against the decoder's own reading of the same
// bytes: the block rows of a file can be found first and decoded side by side only if both agree
// on where every block ends, for any bytes at all.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "codec/block_coding.h"
#include "codec/byte_reader.h"
#include "codec/kvrn_format.h"

namespace kvrn {
namespace {

// The bytes the decoder takes for `positions` positions, or nothing when one of them is cut.
std::optional<std::size_t> decoder_bytes(const std::vector<std::uint8_t>& stream,
                                         std::int64_t positions) {
    byte_reader in(stream.data(), stream.size());
    coef_block block;
    for (std::int64_t n = 0; n < 3 * positions; ++n) {
        if (read_block(block, in) != block_complete) return std::nullopt;
    }
    return static_cast<std::size_t>(in.consumed());
}

TEST(coded_bytes, agrees_with_the_decoder_on_random_streams_whole_and_cut) {
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        // Mostly short blocks, now and then a full one: an end byte is rarer as the block grows.
        const int end_odds = 1 + round % 70;
        std::vector<std::uint8_t> stream(1 + random() % 700);
        for (std::uint8_t& byte : stream) {
            const auto other = static_cast<std::uint8_t>(random() % 255);  // any byte but 0x7F
            byte = random() % static_cast<unsigned>(end_odds) == 0 ? end_of_block
                   : other < end_of_block                          ? other
                                                                   : other + 1;
        }
        const std::int64_t positions = 1 + round % 5;
        SCOPED_TRACE(::testing::PrintToString(std::make_tuple(round, stream.size(), positions)));
        EXPECT_EQ(coded_bytes(stream.data(), stream.size(), positions),
                  decoder_bytes(stream, positions));
    }
}

TEST(coded_bytes, measures_the_smallest_and_largest_blocks_exactly) {
    // DC and end byte: 3 bytes a block; a full block: 65 bytes, no end byte.
    const std::vector<std::uint8_t> small{1, 0, 0x7F, 2, 0, 0x7F, 3, 0, 0x7F};
    EXPECT_EQ(coded_bytes(small.data(), small.size(), 1), 9U);
    EXPECT_EQ(coded_bytes(small.data(), small.size() - 1, 1), std::nullopt);
    std::vector<std::uint8_t> full(3 * 65, 5);
    EXPECT_EQ(coded_bytes(full.data(), full.size(), 1), 195U);
    EXPECT_EQ(coded_bytes(full.data(), full.size() - 1, 1), std::nullopt);
    EXPECT_EQ(coded_bytes(full.data(), 0, 0), 0U);
}

}  // namespace
}  // namespace kvrn
