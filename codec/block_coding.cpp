#include "codec/block_coding.h"

#include <algorithm>
#include <cstring>

#include "codec/kernel_versions.h"
#include "codec/kernels.h"

namespace kvrn {

std::size_t plain::decode_block(const std::uint8_t* bytes, coef_block& block) {
    block.fill(0);
    block[0] = dc_value(bytes[0], bytes[1]);
    for (std::size_t n = 1; n < 64; ++n) {
        const int byte = bytes[n + 1];
        if (byte == end_of_block) return n + 2;
        block[static_cast<std::size_t>(zigzag_order[n])] = ac_value(byte);
    }
    return max_coded_block_bytes;
}

std::size_t decode_block(const std::uint8_t* bytes, coef_block& block) {
    return active_kernels().decode_block(bytes, block);
}

int read_block(coef_block& block, byte_reader& in) {
    // A whole block is at hand: no end of the source to look out for.
    if (const std::uint8_t* bytes = in.contiguous(max_coded_block_bytes)) {
        in.skip(decode_block(bytes, block));
        return block_complete;
    }
    block.fill(0);
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

std::size_t put_block(const coef_block& block, std::uint8_t* out, std::int64_t& clipped) {
    return active_kernels().put_block(block, out, clipped);
}

std::size_t plain::put_block(const coef_block& block, std::uint8_t* out, std::int64_t& clipped) {
    const coded_block coded = code_block(block);
    const auto length = static_cast<std::size_t>(coded.length);
    std::memcpy(out, coded.bytes.data(), length);
    out[length] = end_of_block;
    clipped += coded.clipped;
    return length + (length < max_coded_block_bytes ? 1 : 0);
}

int write_block(const coef_block& block, std::FILE* out) {
    std::array<std::uint8_t, put_block_room> bytes;
    std::int64_t clipped = 0;
    const std::size_t length = put_block(block, bytes.data(), clipped);
    // Write failures stay in the stream's error flag for the owner of the stream to check.
    (void)std::fwrite(bytes.data(), 1, length, out);
    return static_cast<int>(clipped);
}

}  // namespace kvrn
