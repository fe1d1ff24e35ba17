#include <cstddef>

#include "codec/block_coding.h"
#include "codec/kvrn_format.h"
#include "lab/lab.h"

namespace kvrn::lab {

block_bytes count_block_bytes(byte_reader& stream, const kvrn_header& header,
                              missing_block_listener* listener) {
    block_bytes counted;
    counted.columns = blocks_covering(header.width);
    counted.rows = blocks_covering(header.height);
    const auto positions = static_cast<std::size_t>(block_positions(header));
    counted.position_bytes.fill(std::vector<std::uint16_t>(positions));
    std::vector<std::uint16_t>& together = counted.position_bytes[all_channels];
    for (std::size_t position = 0; position < positions; ++position) {
        const position_bytes read = read_position_bytes(stream);
        for (std::size_t c = 0; c < 3; ++c) {
            if (!read.complete[c]) {
                ++counted.missing;
                if (listener != nullptr) {
                    const auto counter = static_cast<std::int32_t>(position);
                    listener->missing_block(static_cast<channel>(c), counter,
                                            counter % counted.columns, counter / counted.columns);
                }
            }
            counted.channel_bytes[c] += read.bytes[c];
            counted.position_bytes[c][position] = read.bytes[c];
        }
        together[position] = static_cast<std::uint16_t>(read.total());
    }
    return counted;
}

}  // namespace kvrn::lab
