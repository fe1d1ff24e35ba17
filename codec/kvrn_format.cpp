#include "codec/kvrn_format.h"

#include <algorithm>
#include <cstring>

#include "codec/block_coding.h"
#include "codec/block_path.h"
#include "codec/picture.h"

namespace kvrn {
namespace {

std::uint16_t get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

void put16(std::uint8_t* p, std::uint16_t value) {
    p[0] = static_cast<std::uint8_t>(value & 0xFFU);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace

kvrn_header parse_header(const std::array<std::uint8_t, header_bytes>& bytes) {
    kvrn_header header{};
    header.magic =
        static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
        (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
    header.width = get16(&bytes[4]);
    header.height = get16(&bytes[6]);
    header.y_scale = get16(&bytes[8]);
    header.cr_scale = get16(&bytes[10]);
    header.cb_scale = get16(&bytes[12]);
    return header;
}

std::array<std::uint8_t, header_bytes> format_header(const kvrn_header& header) {
    std::array<std::uint8_t, header_bytes> bytes{};
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[i] = static_cast<std::uint8_t>((header.magic >> (8 * i)) & 0xFFU);
    }
    put16(&bytes[4], header.width);
    put16(&bytes[6], header.height);
    put16(&bytes[8], header.y_scale);
    put16(&bytes[10], header.cr_scale);
    put16(&bytes[12], header.cb_scale);
    return bytes;
}

header_reading read_header(std::FILE* file) {
    header_reading reading;
    std::array<std::uint8_t, header_bytes> bytes{};
    reading.got = std::fread(bytes.data(), 1, bytes.size(), file);
    if (reading.got < header_bytes) {
        reading.status =
            std::ferror(file) != 0 ? header_status::unreadable : header_status::too_short;
        return reading;
    }
    reading.header = parse_header(bytes);
    if (reading.header.magic != kvrn_magic) reading.status = header_status::wrong_magic;
    return reading;
}

copied_blocks copy_coded_blocks(byte_reader& in, std::int64_t positions, std::uint8_t* out) {
    copied_blocks copied;
    for (std::int64_t block = 0; block < 3 * positions; ++block) {
        std::uint8_t* const start = out + copied.bytes;
        if (const std::uint8_t* bytes = in.contiguous(max_coded_block_bytes)) {
            // The AC bytes and the end-of-block byte follow the two DC bytes; a block without an
            // end-of-block byte among its 63 AC bytes is full. Most blocks are a DC alone.
            // Copies of a fixed size, which compile to a few moves: `out` has the room of a whole
            // block for each, and what lies past a block is overwritten by the next.
            std::size_t length = 3;
            if (bytes[2] == end_of_block) {
                std::memcpy(start, bytes, 3);
            } else {
                const void* end = std::memchr(bytes + 2, end_of_block, max_coded_block_bytes - 2);
                length =
                    end == nullptr
                        ? max_coded_block_bytes
                        : static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - bytes) +
                              1;
                std::memcpy(start, bytes, max_coded_block_bytes);
            }
            in.skip(length);
            copied.bytes += length;
            continue;
        }
        // Near the end of the source, a byte at a time: the DC, then AC bytes up to the end of
        // the block.
        std::size_t length = 0;
        for (; length < max_coded_block_bytes; ++length) {
            const int byte = in.next();
            if (byte < 0) {
                copied.bytes += length;
                copied.complete = false;
                return copied;
            }
            start[length] = static_cast<std::uint8_t>(byte);
            if (length >= 2 && byte == end_of_block) {
                ++length;
                break;
            }
        }
        copied.bytes += length;
    }
    return copied;
}

std::int64_t block_positions(const kvrn_header& header) {
    return static_cast<std::int64_t>(blocks_covering(header.width)) *
           blocks_covering(header.height);
}

stream_measure measure_stream(byte_reader& in, const kvrn_header& header) {
    stream_measure measure;
    measure.blocks_needed = 3 * block_positions(header);
    coef_block block;
    std::uint64_t block_start = 0;
    for (; measure.blocks_held < measure.blocks_needed; ++measure.blocks_held) {
        block_start = in.consumed();
        if (read_block(block, in) != block_complete) break;
    }
    measure.bytes_held = in.consumed();
    if (measure.complete()) {
        measure.bytes_needed = measure.bytes_held;
        return measure;
    }
    // The shortest completion: the cut block ends with its DC and an end-of-block byte (one byte
    // when the DC is there), every later block is 3 bytes.
    const std::uint64_t cut = measure.bytes_held - block_start;
    const auto later = static_cast<std::uint64_t>(measure.blocks_needed - measure.blocks_held - 1);
    measure.bytes_needed = measure.bytes_held + (cut < 2 ? 3 - cut : 1) + 3 * later;
    return measure;
}

position_bytes read_position_bytes(byte_reader& in) {
    position_bytes position;
    coef_block block;
    for (std::size_t c = 0; c < 3; ++c) {
        const std::uint64_t before = in.consumed();
        position.complete[c] = read_block(block, in) == block_complete;
        position.bytes[c] = static_cast<std::uint8_t>(in.consumed() - before);
    }
    return position;
}

std::int64_t decode_block_row(byte_reader& in, const kvrn_header& header,
                              const channel_enables& enables, std::int32_t r0, std::uint8_t* band,
                              missing_block_listener* listener) {
    const std::int32_t width = header.width;
    const std::int32_t rows = band_rows(header, r0);
    // A coefficient is a signed 16-bit DC or 8-bit AC value and a scale at most 65535, so every
    // product fits in 32 bits: 32768 * 65535 < 2^31.
    const channel_steps scales{header.y_scale, header.cr_scale, header.cb_scale};
    std::int64_t missing = 0;
    std::int32_t counter = r0 / 8 * blocks_covering(width);
    ycc_blocks coefficients;
    rgb_blocks rgb;
    for (std::int32_t c0 = 0; c0 < width; c0 += 8) {
        const std::array<std::pair<coef_block*, channel>, 3> blocks = {
            {{&coefficients.y, channel::y},
             {&coefficients.cr, channel::cr},
             {&coefficients.cb, channel::cb}}};
        std::array<bool, 3> dc_only{};
        for (std::size_t k = 0; k < blocks.size(); ++k) {
            const auto& [block, which] = blocks[k];
            const std::uint64_t start = in.consumed();
            if (read_block(*block, in) == block_complete) {
                // The DC and the end-of-block byte: every AC coefficient is 0.
                dc_only[k] = in.consumed() - start == 3;
                continue;
            }
            ++missing;
            if (listener != nullptr) listener->missing_block(which, counter, c0 / 8, r0 / 8);
        }
        ++counter;
        if (dc_only[0] && dc_only[1] && dc_only[2]) {
            store_dc_only_block(coefficients, scales, enables, band, width, rows, 0, c0);
            continue;
        }
        reconstruct_block(coefficients, scales, enables, {dc_only[0], dc_only[1], dc_only[2]}, rgb);
        store_block(rgb, band, width, rows, 0, c0);
    }
    return missing;
}

std::int64_t decode_blocks(byte_reader& in, const kvrn_header& header,
                           const channel_enables& enables, std::uint8_t* pixels,
                           missing_block_listener* listener) {
    std::int64_t missing = 0;
    for (std::int32_t r0 = 0; r0 < header.height; r0 += 8) {
        missing += decode_block_row(in, header, enables, r0,
                                    pixels + pixel_offset(header.width, r0, 0), listener);
    }
    return missing;
}

}  // namespace kvrn
