#include <cstddef>

#include "codec/block_coding.h"
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
    // Each block is read as the decoder reads it; the bytes it took are the reader's count.
    coef_block block{};
    for (std::size_t position = 0; position < positions; ++position) {
        for (std::size_t c = 0; c < 3; ++c) {
            const std::uint64_t before = stream.consumed();
            if (read_block(block, stream) != block_complete) {
                ++counted.missing;
                if (listener != nullptr) {
                    const auto counter = static_cast<std::int32_t>(position);
                    listener->missing_block(static_cast<channel>(c), counter,
                                            counter % counted.columns, counter / counted.columns);
                }
            }
            const std::uint64_t taken = stream.consumed() - before;
            counted.channel_bytes[c] += taken;
            counted.position_bytes[c][position] = static_cast<std::uint16_t>(taken);
            together[position] = static_cast<std::uint16_t>(together[position] + taken);
        }
    }
    return counted;
}

}  // namespace kvrn::lab
