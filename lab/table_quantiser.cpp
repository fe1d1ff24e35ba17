#include "lab/table_quantiser.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "codec/block_coding.h"
#include "codec/block_path.h"
#include "codec/byte_reader.h"
#include "codec/channels.h"
#include "codec/coef_block.h"
#include "codec/include/kvrn.h"
#include "codec/kernels.h"

namespace kvrn::lab {
namespace {

using table = std::array<std::int32_t, 64>;

// The encoder's quantisation (codec/block_path.cpp) with a divisor for each frequency: fdct_2d's
// coefficients brought to idct_2d's scale and divided, truncating toward zero.
void quantise_by_table(coef_block& block, const table& divisors) {
    for (std::size_t i = 0; i < 64; ++i) {
        block[i] = static_cast<std::int32_t>(static_cast<double>(block[i] >> 3) /
                                             static_cast<double>(divisors[i]));
    }
}

// Quantised values (a decoder's: a 16-bit DC, AC values within -127..126, or the preview's,
// each at most its coefficient over the divisor) times divisors below 2^16 stay below 2^31.
void dequantise_by_table(coef_block& block, const table& divisors) {
    for (std::size_t i = 0; i < 64; ++i) block[i] *= divisors[i];
}

coef_block& channel(ycc_blocks& blocks, std::size_t c) {
    return c == 0 ? blocks.y : c == 1 ? blocks.cr : blocks.cb;
}

}  // namespace

table_coding quantise_with_tables(const picture_view& picture, const quantisation_tables& tables,
                                  unsigned shown_channels, std::uint8_t* decoded,
                                  std::uint8_t* shown) {
    const kernels& k = active_kernels();
    const channel_enables every{1, 1, 1};
    const channel_enables enables = enables_of(shown_channels);
    table_coding coding;
    coding.bytes = KVRN_HEADER_BYTES;
    coding.position_bytes.reserve(static_cast<std::size_t>(blocks_covering(picture.width)) *
                                  static_cast<std::size_t>(blocks_covering(picture.height)));
    ycc_blocks blocks;
    for (std::int32_t r0 = 0; r0 < picture.height; r0 += 8) {
        for (std::int32_t c0 = 0; c0 < picture.width; c0 += 8) {
            k.rgb_to_ycc_block(picture, r0, c0, blocks);
            std::uint16_t position = 0;
            ycc_blocks samples;
            for (std::size_t c = 0; c < 3; ++c) {
                coef_block& block = channel(blocks, c);
                k.fdct_2d(block);
                quantise_by_table(block, tables[c]);
                std::array<std::uint8_t, put_block_room> coded{};
                std::int64_t clipped = 0;
                const std::size_t length = k.put_block(block, coded.data(), clipped);
                coding.clipped += static_cast<std::uint64_t>(clipped);
                position = static_cast<std::uint16_t>(position + length);
                // The values a decoder reads back: the DC's low 16 bits, the AC values clamped.
                byte_reader reader(coded.data(), length);
                (void)read_block(block, reader);
                dequantise_by_table(block, tables[c]);
                k.idct_2d(block, channel(samples, c));
            }
            coding.bytes += position;
            coding.position_bytes.push_back(position);
            rgb_blocks rgb;
            k.ycc_to_rgb(every, samples, rgb);
            k.store_block(rgb, decoded, picture.width, picture.height, r0, c0);
            if (shown != nullptr) {
                k.ycc_to_rgb(enables, samples, rgb);
                k.store_block(rgb, shown, picture.width, picture.height, r0, c0);
            }
        }
    }
    return coding;
}

void preview_with_tables(const picture_view& picture, const quantisation_tables& tables,
                         unsigned channels, std::uint8_t* shown) {
    const kernels& k = active_kernels();
    const channel_enables enables = enables_of(channels);
    // The window's clear colour where no whole block lies.
    std::memset(shown, 255, pixel_offset(picture.width, picture.height, 0));
    const std::int32_t width = picture.width - picture.width % 8;
    const std::int32_t height = picture.height - picture.height % 8;
    ycc_blocks blocks;
    for (std::int32_t r0 = 0; r0 < height; r0 += 8) {
        for (std::int32_t c0 = 0; c0 < width; c0 += 8) {
            k.rgb_to_ycc_block(picture, r0, c0, blocks);
            ycc_blocks samples;
            for (std::size_t c = 0; c < 3; ++c) {
                coef_block& block = channel(blocks, c);
                k.fdct_2d(block);
                quantise_by_table(block, tables[c]);
                dequantise_by_table(block, tables[c]);
                k.idct_2d(block, channel(samples, c));
            }
            rgb_blocks rgb;
            k.ycc_to_rgb(enables, samples, rgb);
            k.store_block(rgb, shown, picture.width, picture.height, r0, c0);
        }
    }
}

kvrn_status inspect_with_tables(const kvrn_image* image, const quantisation_tables& tables,
                                std::uint32_t column, std::uint32_t row,
                                kvrn_block_report* report) {
    return api::inspect_with_divisors(image, tables, column, row, report);
}

}  // namespace kvrn::lab
