// Copying a block stream's rows without decoding them, against the decoder's own reading of the
// same bytes: the block rows of a file can be taken apart and decoded side by side only if both
// agree on where every block ends, for any bytes at all. And the bytes of each block position as
// the decoder reads them, against the encoder's count.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <random>
#include <vector>

#include "codec/block_coding.h"
#include "codec/byte_reader.h"
#include "codec/include/kvrn.h"
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

// What copy_coded_blocks makes of `stream`, read through a memory source or (`from_file`) a file,
// whose window it meets at other places: the bytes copied, or nothing when it found the stream cut.
std::optional<std::vector<std::uint8_t>> copied(const std::vector<std::uint8_t>& stream,
                                                std::int64_t positions, bool from_file) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(3 * positions) * max_coded_block_bytes);
    std::FILE* file = from_file ? std::tmpfile() : nullptr;
    if (file != nullptr) {
        (void)std::fwrite(stream.data(), 1, stream.size(), file);
        std::rewind(file);
    }
    copied_blocks got;
    {
        byte_reader in =
            file != nullptr ? byte_reader(file) : byte_reader(stream.data(), stream.size());
        got = copy_coded_blocks(in, positions, out.data());
    }
    if (file != nullptr) (void)std::fclose(file);
    out.resize(got.bytes);
    if (!got.complete) {
        EXPECT_EQ(out, stream) << "a cut stream is copied whole";
        return std::nullopt;
    }
    return out;
}

TEST(copy_coded_blocks, agrees_with_the_decoder_on_random_streams_whole_and_cut) {
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
        const std::optional<std::size_t> expected = decoder_bytes(stream, positions);
        for (const bool from_file : {false, true}) {
            const auto got = copied(stream, positions, from_file);
            ASSERT_EQ(got.has_value(), expected.has_value());
            if (got) {
                EXPECT_EQ(*got, std::vector(stream.begin(), stream.begin() + *expected));
            }
        }
    }
}

TEST(copy_coded_blocks, measures_the_smallest_and_largest_blocks_exactly) {
    // DC and end byte: 3 bytes a block; a full block: 65 bytes, no end byte. The end byte counts
    // only after the two DC bytes.
    const std::vector<std::uint8_t> small{1, 0, 0x7F, 0x7F, 0x7F, 0x7F, 3, 0, 0x7F};
    EXPECT_EQ(copied(small, 1, false), small);
    EXPECT_EQ(copied({small.begin(), small.end() - 1}, 1, false), std::nullopt);
    const std::vector<std::uint8_t> full(3 * 65, 5);
    EXPECT_EQ(copied(full, 1, false), full);
    EXPECT_EQ(copied({full.begin(), full.end() - 1}, 1, false), std::nullopt);
    EXPECT_EQ(copied(full, 0, false), std::vector<std::uint8_t>{});
}

// Every position's bytes as read from a real file are those the encoder counts for its blocks
// (kvrn_inspect); read from every cut of it, they add up to what the cut holds, and the blocks
// the cut leaves incomplete are those measure_stream finds missing.
TEST(read_position_bytes, reads_the_bytes_the_encoder_wrote_for_each_block) {
    constexpr std::uint32_t width = 21;  // 3 x 2 positions, the right and top ones cut
    constexpr std::uint32_t height = 13;
    std::vector<std::uint8_t> rgb(3 * width * height);
    std::mt19937 random(3);
    for (std::size_t i = 0; i < rgb.size(); ++i) {
        rgb[i] = static_cast<std::uint8_t>(i / 3 % width * 12 + random() % 40);
    }
    const kvrn_image image{rgb.data(), width, height, 3 * width, 3};
    std::vector<std::uint8_t> file(4096);
    std::size_t size = 0;
    ASSERT_EQ(
        kvrn_encode_to_memory(&image, {2, 9, 30}, 1, file.data(), file.size(), &size, nullptr),
        KVRN_OK);
    file.resize(size);
    constexpr std::uint32_t columns = 3;
    constexpr std::uint32_t rows = 2;
    byte_reader whole(file.data() + header_bytes, file.size() - header_bytes);
    for (std::uint32_t position = 0; position < columns * rows; ++position) {
        const position_bytes read = read_position_bytes(whole);
        kvrn_block_report report;
        // The stream counts block rows from the bottom, the report from the top.
        ASSERT_EQ(kvrn_inspect(&image, {2, 9, 30}, position % columns,
                               rows - 1 - position / columns, &report),
                  KVRN_OK);
        for (std::size_t c = 0; c < 3; ++c) {
            EXPECT_EQ(read.bytes[c], report.coded_bytes[c]) << position << ", channel " << c;
            EXPECT_TRUE(read.complete[c]);
        }
    }
    std::array<std::uint8_t, header_bytes> head{};
    std::copy_n(file.begin(), header_bytes, head.begin());
    const kvrn_header header = parse_header(head);
    for (std::size_t keep = header_bytes; keep < file.size(); ++keep) {
        SCOPED_TRACE(keep);
        byte_reader cut(file.data() + header_bytes, keep - header_bytes);
        std::size_t bytes = 0;
        std::int64_t incomplete = 0;
        for (std::uint32_t position = 0; position < columns * rows; ++position) {
            const position_bytes read = read_position_bytes(cut);
            bytes += static_cast<std::size_t>(read.total());
            for (const bool complete : read.complete) incomplete += complete ? 0 : 1;
        }
        EXPECT_EQ(bytes, keep - header_bytes);
        byte_reader again(file.data() + header_bytes, keep - header_bytes);
        const stream_measure measure = measure_stream(again, header);
        EXPECT_EQ(incomplete, measure.blocks_needed - measure.blocks_held);
        EXPECT_EQ(measure.bytes_held, keep - header_bytes);
        EXPECT_GT(measure.bytes_needed, measure.bytes_held);
    }
}

}  // namespace
}  // namespace kvrn
