#include "codec/block_coding.h"

#include <algorithm>

namespace kvrn {

namespace {

// Two's complement: the DC is signed 16-bit, each AC byte signed 8-bit.
std::int32_t dc_value(int low, int high) {
    const int dc = low | (high << 8);
    return dc < 0x8000 ? dc : dc - 0x10000;
}

std::int32_t ac_value(int byte) {
    return byte < 0x80 ? byte : byte - 0x100;
}

}  // namespace

int read_block(coef_block& block, byte_reader& in) {
    block.fill(0);
    // A whole block is at hand: no end of the source to look out for.
    if (const std::uint8_t* bytes = in.contiguous(max_coded_block_bytes)) {
        block[0] = dc_value(bytes[0], bytes[1]);
        for (int n = 1; n < 64; ++n) {
            const int byte = bytes[n + 1];
            if (byte == end_of_block) {
                in.skip(static_cast<std::size_t>(n) + 2);
                return block_complete;
            }
            block[zigzag_order[n]] = ac_value(byte);
        }
        in.skip(max_coded_block_bytes);
        return block_complete;
    }
    const int low = in.next();
    if (low < 0) return block_truncated;
    const int high = in.next();
    if (high < 0) return block_truncated;
    block[0] = dc_value(low, high);
    for (int n = 1; n < 64; ++n) {
        const int byte = in.next();
        if (byte < 0) return block_truncated;
        if (byte == end_of_block) return block_complete;
        block[zigzag_order[n]] = ac_value(byte);
    }
    // After 63 AC bytes the block is full and no end-of-block byte follows.
    return block_complete;
}

coded_block code_block(const coef_block& block) {
    coded_block coded;
    const auto dc = static_cast<std::uint32_t>(block[0]);
    coded.bytes[0] = static_cast<std::uint8_t>(dc & 0xFFU);
    coded.bytes[1] = static_cast<std::uint8_t>((dc >> 8) & 0xFFU);
    coded.length = 2;
    for (int n = 1; n < 64; ++n) {
        const std::int32_t value = block[zigzag_order[n]];
        // 127 is the end-of-block byte, so the positive side stops at 126; the negative side
        // stops at -127 to keep the range symmetric.
        const std::int32_t clamped = std::clamp(value, -127, 126);
        coded.clipped += static_cast<int>(clamped != value);
        coded.bytes[n + 1] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(clamped) & 0xFFU);
        // Clamping never turns a non-zero value into 0, so this finds the last non-zero one.
        if (clamped != 0) coded.length = n + 2;
    }
    return coded;
}

int write_block(const coef_block& block, std::FILE* out) {
    const coded_block coded = code_block(block);
    // Write failures stay in the stream's error flag for the owner of the stream to check.
    (void)std::fwrite(coded.bytes.data(), 1, static_cast<std::size_t>(coded.length), out);
    if (coded.length < max_coded_block_bytes) (void)std::fputc(end_of_block, out);
    return coded.clipped;
}

}  // namespace kvrn
