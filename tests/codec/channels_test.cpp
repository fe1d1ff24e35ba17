// The channels' letters, keys and names that every front end reads and prints, against the C
// interface's mask bits, the decoder's enables and the stream's order of the channels.
#include "codec/channels.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "codec/kvrn_format.h"

namespace kvrn {
namespace {

TEST(channels, letters_make_a_mask_or_are_refused) {
    const struct {
        std::string_view letters;
        std::optional<unsigned> mask;
    } cases[] = {
        {"y", KVRN_CHANNEL_Y},
        {"r", KVRN_CHANNEL_CR},
        {"b", KVRN_CHANNEL_CB},
        {"rb", KVRN_CHANNEL_CR | KVRN_CHANNEL_CB},
        {"byr", KVRN_CHANNELS_ALL},
        {"yy", KVRN_CHANNEL_Y},  // a letter twice is the same channel
        {"", std::nullopt},
        {"Y", std::nullopt},  // the keys are lower case
        {"x", std::nullopt},
        {"y,r", std::nullopt},
        {"y ", std::nullopt},
        {"cr", std::nullopt},  // a channel's key, not letters
        {std::string_view("y\0b", 3), std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.letters));
        EXPECT_EQ(channel_mask(c.letters), c.mask);
    }
}

TEST(channels, keys_name_the_channels_in_stream_order) {
    const struct {
        std::string_view key;
        std::optional<std::size_t> which;
    } cases[] = {
        {"y", static_cast<std::size_t>(channel::y)},
        {"cr", static_cast<std::size_t>(channel::cr)},
        {"cb", static_cast<std::size_t>(channel::cb)},
        {"r", std::nullopt},
        {"Cr", std::nullopt},
        {"", std::nullopt},
        {"yrb", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key));
        EXPECT_EQ(channel_of_key(c.key), c.which);
    }
    EXPECT_STREQ(channel_namings[static_cast<std::size_t>(channel::y)].name, "Y");
    EXPECT_STREQ(channel_namings[static_cast<std::size_t>(channel::cr)].name, "Cr");
    EXPECT_STREQ(channel_namings[static_cast<std::size_t>(channel::cb)].name, "Cb");
}

// A letter, through the mask, turns on its own channel of the decoder's and no other, the way
// kvrn decode hands --channels on; bits beyond the three change nothing.
TEST(channels, each_letter_enables_its_own_channel) {
    for (std::size_t c = 0; c < channel_namings.size(); ++c) {
        const char letter = channel_namings[c].letter;
        SCOPED_TRACE(letter);
        const std::optional<unsigned> mask = channel_mask(std::string_view(&letter, 1));
        ASSERT_TRUE(mask.has_value());
        const channel_enables on = enables_of(*mask);
        const std::array<std::int32_t, 3> in_stream_order{on.use_y, on.use_cr, on.use_cb};
        for (std::size_t other = 0; other < in_stream_order.size(); ++other)
            EXPECT_EQ(in_stream_order[other], other == c ? 1 : 0) << other;
    }
    const channel_enables all = enables_of(KVRN_CHANNELS_ALL | 8U);
    EXPECT_EQ(all.use_y + all.use_cr + all.use_cb, 3);
}

}  // namespace
}  // namespace kvrn
