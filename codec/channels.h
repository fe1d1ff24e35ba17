// The three channels as people name them and as the code takes them. Each front end spells a
// choice of channels its own way (the viewer's keys, kvrn's --channels and --channel, the page's
// boxes, Python's strings) and hands it on as the C interface's mask of KVRN_CHANNEL_* bits or
// the decoder's enables; the spellings and both conversions are here once.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "codec/coef_block.h"
#include "codec/include/kvrn.h"

namespace kvrn {

struct channel_naming {
    char letter;       // the viewer's key and a letter of kvrn's --channels: y, r, b
    const char* key;   // kvrn blocks' --channel and kvrn inspect's JSON: y, cr, cb
    const char* name;  // in messages: Y, Cr, Cb
    unsigned bit;      // in the C interface's mask
};

// Y, Cr and Cb, in the order of a block position's three blocks in the stream.
inline constexpr std::array<channel_naming, 3> channel_namings{{
    {'y', "y", "Y", KVRN_CHANNEL_Y},
    {'r', "cr", "Cr", KVRN_CHANNEL_CR},
    {'b', "cb", "Cb", KVRN_CHANNEL_CB},
}};

// The mask of the channels one or more of the letters y, r and b name, in any order and
// repeated at will; nothing for no letter or for any other character, upper case included.
constexpr std::optional<unsigned> channel_mask(std::string_view letters) {
    if (letters.empty()) return std::nullopt;
    unsigned mask = 0;
    for (const char letter : letters) {
        unsigned bit = 0;
        for (const channel_naming& channel : channel_namings)
            if (channel.letter == letter) bit = channel.bit;
        if (bit == 0) return std::nullopt;
        mask |= bit;
    }
    return mask;
}

// The place in channel_namings of the channel whose key is `key`; nothing for any other text.
constexpr std::optional<std::size_t> channel_of_key(std::string_view key) {
    for (std::size_t c = 0; c < channel_namings.size(); ++c)
        if (key == channel_namings[c].key) return c;
    return std::nullopt;
}

// The decoder's enables of the channels in `mask`; bits beyond KVRN_CHANNELS_ALL change nothing.
constexpr channel_enables enables_of(unsigned mask) {
    return {(mask & KVRN_CHANNEL_Y) != 0 ? 1 : 0, (mask & KVRN_CHANNEL_CR) != 0 ? 1 : 0,
            (mask & KVRN_CHANNEL_CB) != 0 ? 1 : 0};
}

}  // namespace kvrn
