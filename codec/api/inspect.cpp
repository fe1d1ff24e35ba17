// One block position through the encoder and back, every stage kept for the reader.
#include "codec/api/inspect.h"

#include <algorithm>
#include <array>

#include "codec/api/image_rows.h"
#include "codec/block_coding.h"
#include "codec/byte_reader.h"
#include "codec/colour.h"
#include "codec/fdct.h"
#include "codec/idct.h"
#include "codec/include/kvrn.h"
#include "codec/picture.h"

extern "C" int kvrn_zigzag_index(int n) {
    return n >= 0 && n < 64 ? kvrn::zigzag_order[static_cast<std::size_t>(n)] : -1;
}

kvrn_status kvrn::api::inspect_with_divisors(const kvrn_image* image,
                                             const divisor_tables& divisors, uint32_t column,
                                             uint32_t row, kvrn_block_report* report) {
    const kvrn_status status = kvrn::api::check_image(image);
    if (status != KVRN_OK) return status;
    if (report == nullptr) return KVRN_BAD_ARGUMENT;
    for (const auto& table : divisors) {
        for (const std::int32_t divisor : table) {
            if (divisor < 1 || divisor > 65535) return KVRN_BAD_ARGUMENT;
        }
    }
    const std::uint32_t columns = (image->width + 7) / 8;
    const std::uint32_t rows = (image->height + 7) / 8;
    if (column >= columns || row >= rows) return KVRN_BAD_ARGUMENT;
    *report = {};
    // Block rows start from the bottom: the top block row from the top is the last of the stream.
    const std::uint32_t r0 = 8 * (rows - 1 - row);
    const std::uint32_t c0 = 8 * column;
    report->column = column;
    report->row = row;
    report->pixel_columns = std::min<std::uint32_t>(8, image->width - c0);
    report->pixel_rows = std::min<std::uint32_t>(8, image->height - r0);
    report->first_pixel_column = c0;
    report->first_pixel_row = image->height - r0 - report->pixel_rows;

    // The block's pixels as a picture of their own: the encoder repeats its last column and row
    // for positions beyond the picture, and so does a picture that ends where the block does.
    std::array<std::uint8_t, 8 * 8 * 3> pixels{};
    const auto cut_width = static_cast<std::int32_t>(report->pixel_columns);
    const auto cut_height = static_cast<std::int32_t>(report->pixel_rows);
    for (std::int32_t y = 0; y < cut_height; ++y) {
        const std::size_t from_top = image->height - 1 - (r0 + static_cast<std::uint32_t>(y));
        const std::uint8_t* in =
            kvrn::api::row_at(image->pixels, image->stride, from_top) + c0 * image->components;
        for (std::int32_t x = 0; x < cut_width; ++x, in += image->components) {
            // One pixel's row through the same conversion the encoder reads with.
            const kvrn_image one{in, 1, 1, 0, image->components};
            kvrn::api::copy_band(one, 0, 1, &pixels[kvrn::pixel_offset(cut_width, y, x)]);
        }
    }
    const kvrn::picture_view block{pixels.data(), cut_width, cut_height};

    kvrn::ycc_blocks samples;
    kvrn::rgb_to_ycc_block(block, 0, 0, samples);
    const std::array<kvrn::coef_block*, 3> channels = {&samples.y, &samples.cr, &samples.cb};
    kvrn::ycc_blocks decoded;
    const std::array<kvrn::coef_block*, 3> decoded_channels = {&decoded.y, &decoded.cr,
                                                               &decoded.cb};
    for (std::size_t c = 0; c < 3; ++c) {
        kvrn::coef_block& values = *channels[c];
        for (std::size_t i = 0; i < 64; ++i) {
            const std::size_t y = i / 8;
            const std::size_t x = i % 8;
            const std::uint8_t* pixel = &pixels[kvrn::pixel_offset(
                cut_width, std::min<std::int32_t>(static_cast<std::int32_t>(y), cut_height - 1),
                std::min<std::int32_t>(static_cast<std::int32_t>(x), cut_width - 1))];
            report->rgb[c][i] = pixel[c];
            report->samples[c][i] = values[i] + 128;
        }
        kvrn::fdct_2d(values);
        for (std::size_t i = 0; i < 64; ++i) {
            // fdct_2d leaves 8 times the scale the decoder works at; the shift is floor division.
            report->coefficients[c][i] = values[i] >> 3;
            report->quantised[c][i] = static_cast<std::int32_t>(
                static_cast<double>(values[i] >> 3) / static_cast<double>(divisors[c][i]));
        }
        // The stored values are what a decoder reads back from the coded block.
        kvrn::coef_block quantised;
        std::copy_n(report->quantised[c], 64, quantised.begin());
        std::array<std::uint8_t, kvrn::put_block_room> coded{};
        std::int64_t clipped = 0;
        const std::size_t length = kvrn::put_block(quantised, coded.data(), clipped);
        report->coded_bytes[c] = static_cast<std::uint32_t>(length);
        report->clipped[c] = static_cast<std::uint32_t>(clipped);
        kvrn::byte_reader reader(coded.data(), length);
        kvrn::coef_block stored;
        (void)kvrn::read_block(stored, reader);
        // The values stored: the DC and the AC bytes before the end-of-block byte, if any. 65
        // bytes are either 63 AC values or 62 and the end of block, which no value is (0x7F).
        const bool all_63 = length == kvrn::max_coded_block_bytes &&
                            coded[kvrn::max_coded_block_bytes - 1] != kvrn::end_of_block;
        report->stored_count[c] = static_cast<std::uint32_t>(all_63 ? 64 : length - 2);
        for (std::size_t n = 0; n < 64; ++n) {
            report->stored[c][n] = stored[kvrn::zigzag_order[n]];
        }
        for (std::size_t i = 0; i < 64; ++i) stored[i] *= divisors[c][i];
        kvrn::idct_2d(stored, *decoded_channels[c]);
        for (std::size_t i = 0; i < 64; ++i) {
            report->reconstruction[c][i] = (*decoded_channels[c])[i];
            report->error[c][i] = report->reconstruction[c][i] - report->samples[c][i];
        }
    }
    kvrn::rgb_blocks colours;
    kvrn::ycc_to_rgb({}, decoded, colours);
    const std::array<const kvrn::coef_block*, 3> rgb = {&colours.red, &colours.green,
                                                        &colours.blue};
    for (std::size_t c = 0; c < 3; ++c) {
        for (std::size_t i = 0; i < 64; ++i) {
            report->decoded_rgb[c][i] = std::clamp((*rgb[c])[i], 0, 255);
        }
    }
    return KVRN_OK;
}

extern "C" kvrn_status kvrn_inspect(const kvrn_image* image, kvrn_scales scales, uint32_t column,
                                    uint32_t row, kvrn_block_report* report) {
    // A scale is a table whose 64 entries are all that scale.
    kvrn::api::divisor_tables divisors{};
    divisors[0].fill(scales.y);
    divisors[1].fill(scales.cr);
    divisors[2].fill(scales.cb);
    return kvrn::api::inspect_with_divisors(image, divisors, column, row, report);
}
