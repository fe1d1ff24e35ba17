// The C interface held by the library's own suite at the edges a caller relies on to stay inside
// its buffers: block positions at the last column and row and one past them, strides of exactly a
// row and a byte short, either way, for three and four components, capacities of exactly the
// file and a byte short; and the figures threads add up (clipped coefficients, the scales that
// clip none, missing blocks) on pictures with rows for every worker, at 1, 2 and 4 threads, held
// to the same figures gathered a block at a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codec/include/kvrn.h"

namespace {

// A picture of detail everywhere, `components` bytes a pixel (alpha opaque), rows `stride` bytes
// apart top first, or bottom first for a negative stride; the padding holds 0xA5.
struct held_picture {
    std::vector<std::uint8_t> bytes;
    kvrn_image image{};
};

held_picture noise(std::uint32_t width, std::uint32_t height, unsigned components,
                   ptrdiff_t stride) {
    held_picture held;
    const std::size_t step = static_cast<std::size_t>(stride < 0 ? -stride : stride);
    held.bytes.assign(step * (height - 1) + components * std::size_t{width}, 0xA5);
    std::uint8_t* top = held.bytes.data() + (stride < 0 ? step * (height - 1) : 0);
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* row = top + static_cast<ptrdiff_t>(y) * stride;
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t i = y * width + x;
            for (unsigned c = 0; c < 3; ++c) {
                row[components * x + c] =
                    static_cast<std::uint8_t>((3 * i + c) * (3 * i + c) % 251);
            }
            if (components == 4) row[4 * x + 3] = 255;
        }
    }
    held.image = {top, width, height, stride, components};
    return held;
}

std::vector<std::uint8_t> encoded(const kvrn_image& image, kvrn_scales scales, unsigned threads,
                                  std::uint64_t* clipped = nullptr) {
    std::size_t most = 0;
    EXPECT_EQ(kvrn_encoded_bytes_max(image.width, image.height, &most), KVRN_OK);
    std::vector<std::uint8_t> file(most);
    std::size_t size = 0;
    EXPECT_EQ(
        kvrn_encode_to_memory(&image, scales, threads, file.data(), file.size(), &size, clipped),
        KVRN_OK);
    file.resize(size);
    return file;
}

// Each entry point at the edges of its picture's layout: a stride of exactly a row and a byte
// short of one, downwards and upwards, RGB and RGBA; a block at the grid's last column and row
// and one past either; a step at its least.
TEST(c_interface_edges, takes_exactly_a_row_and_the_last_block_and_refuses_a_byte_less) {
    const std::uint32_t width = 13;   // two block columns, the second cut
    const std::uint32_t height = 10;  // two block rows, the top one cut
    struct layout {
        const char* what;
        unsigned components;
        ptrdiff_t stride;
        kvrn_status expected;
    };
    const layout layouts[] = {
        {"RGB, exactly a row", 3, 39, KVRN_OK},
        {"RGB, a byte short", 3, 38, KVRN_BAD_ARGUMENT},
        {"RGB upwards, exactly a row", 3, -39, KVRN_OK},
        {"RGB upwards, a byte short", 3, -38, KVRN_BAD_ARGUMENT},
        {"RGBA, exactly a row", 4, 52, KVRN_OK},
        {"RGBA, a byte short", 4, 51, KVRN_BAD_ARGUMENT},
        {"RGBA, an RGB row's stride", 4, 39, KVRN_BAD_ARGUMENT},
        {"RGBA upwards, exactly a row", 4, -52, KVRN_OK},
        {"RGBA upwards, a byte short", 4, -51, KVRN_BAD_ARGUMENT},
        {"RGBA, padded", 4, 60, KVRN_OK},
    };
    const held_picture reference = noise(width, height, 3, 39);
    kvrn_block_report expected_report{};
    ASSERT_EQ(kvrn_inspect(&reference.image, {3, 3, 3}, 1, 1, &expected_report), KVRN_OK);
    const std::vector<std::uint8_t> expected_file = encoded(reference.image, {3, 3, 3}, 1);
    for (const layout& each : layouts) {
        // A picture of the layout's own stride when that holds a row, else one that fits the
        // bytes the call is told of, so that a call that reads on anyway reads the sanitizer's
        // red zone.
        const held_picture held =
            each.expected == KVRN_OK
                ? noise(width, height, each.components, each.stride)
                : noise(width, height, each.components, each.stride < 0 ? -52 : 52);
        kvrn_image image = held.image;
        image.stride = each.stride;
        if (each.expected != KVRN_OK && each.stride < 0) {
            image.pixels = held.bytes.data() + (-each.stride) * (height - 1);
        }
        kvrn_block_report report{};
        EXPECT_EQ(kvrn_inspect(&image, {3, 3, 3}, 1, 1, &report), each.expected) << each.what;
        std::vector<std::uint8_t> file(4096);
        std::size_t size = 0;
        EXPECT_EQ(
            kvrn_encode_to_memory(&image, {3, 3, 3}, 2, file.data(), file.size(), &size, nullptr),
            each.expected)
            << each.what;
        std::vector<std::uint8_t> shown(3 * width * height);
        EXPECT_EQ(kvrn_preview(&image, 2, KVRN_CHANNELS_ALL, 2, shown.data(), 3 * width),
                  each.expected)
            << each.what;
        kvrn_scales scales{};
        EXPECT_EQ(kvrn_unclipped_scales(&image, 2, &scales), each.expected) << each.what;
        if (each.expected != KVRN_OK) continue;
        // The same pixels, however they are held: the same block and the same file.
        EXPECT_EQ(0, std::memcmp(&report, &expected_report, sizeof report)) << each.what;
        file.resize(size);
        EXPECT_EQ(file, expected_file) << each.what;
    }

    // Blocks at the grid's last column and row (counted from the top, where the cut row is) and
    // one past either.
    struct position {
        std::uint32_t column;
        std::uint32_t row;
        kvrn_status expected;
        std::uint32_t pixel_columns;
        std::uint32_t pixel_rows;
    };
    const position positions[] = {
        {0, 0, KVRN_OK, 8, 2},
        {1, 0, KVRN_OK, 5, 2},
        {1, 1, KVRN_OK, 5, 8},
        {2, 0, KVRN_BAD_ARGUMENT, 0, 0},
        {0, 2, KVRN_BAD_ARGUMENT, 0, 0},
        {2, 2, KVRN_BAD_ARGUMENT, 0, 0},
        {0xFFFFFFFF, 0, KVRN_BAD_ARGUMENT, 0, 0},
        {0, 0xFFFFFFFF, KVRN_BAD_ARGUMENT, 0, 0},
    };
    for (const position& each : positions) {
        kvrn_block_report report{};
        report.column = 77;
        const kvrn_status status =
            kvrn_inspect(&reference.image, {3, 3, 3}, each.column, each.row, &report);
        EXPECT_EQ(status, each.expected) << each.column << "," << each.row;
        if (status != KVRN_OK) {
            EXPECT_EQ(report.column, 77U) << "a refused call wrote the report";
            continue;
        }
        EXPECT_EQ(report.pixel_columns, each.pixel_columns) << each.column << "," << each.row;
        EXPECT_EQ(report.pixel_rows, each.pixel_rows) << each.column << "," << each.row;
        EXPECT_EQ(report.first_pixel_column, 8 * each.column);
        EXPECT_EQ(report.first_pixel_row, each.row == 0 ? 0U : 2U);
    }

    // Steps and scales at their least, and one below.
    std::vector<std::uint8_t> shown(3 * width * height);
    EXPECT_EQ(kvrn_preview(&reference.image, 1, 7, 1, shown.data(), 3 * width), KVRN_OK);
    EXPECT_EQ(kvrn_preview(&reference.image, 0, 7, 1, shown.data(), 3 * width), KVRN_BAD_ARGUMENT);
    EXPECT_EQ(kvrn_preview(&reference.image, -1, 7, 1, shown.data(), 3 * width), KVRN_BAD_ARGUMENT);
    EXPECT_EQ(kvrn_preview(&reference.image, 1, 7, 1, shown.data(), 3 * width - 1),
              KVRN_BAD_ARGUMENT);
    kvrn_block_report report{};
    EXPECT_EQ(kvrn_inspect(&reference.image, {1, 1, 1}, 0, 0, &report), KVRN_OK);
    EXPECT_EQ(kvrn_inspect(&reference.image, {1, 0, 1}, 0, 0, &report), KVRN_BAD_ARGUMENT);
    EXPECT_EQ(kvrn_inspect(&reference.image, {1, 1, 1}, 0, 0, nullptr), KVRN_BAD_ARGUMENT);
}

// The file into exactly its bytes, a byte fewer, and none; and the sizes the interface computes
// at the format's largest picture.
TEST(c_interface_edges, encodes_into_exactly_the_files_bytes_and_refuses_a_byte_fewer) {
    const held_picture held = noise(21, 11, 3, 63);
    const std::vector<std::uint8_t> whole = encoded(held.image, {2, 5, 7}, 1);
    for (const std::size_t capacity :
         {whole.size(), whole.size() - 1, std::size_t{14}, std::size_t{13}, std::size_t{0}}) {
        std::vector<std::uint8_t> out(capacity + 1, 0xA5);  // one byte past the capacity
        std::size_t size = 99;
        const kvrn_status status =
            kvrn_encode_to_memory(&held.image, {2, 5, 7}, 2, out.data(), capacity, &size, nullptr);
        const bool fits = capacity >= whole.size();
        EXPECT_EQ(status, fits ? KVRN_OK : KVRN_TOO_LARGE) << capacity;
        EXPECT_EQ(size, fits ? whole.size() : 0U) << capacity;
        EXPECT_EQ(out[capacity], 0xA5) << capacity << ": written past the capacity";
        if (fits) {
            EXPECT_TRUE(std::equal(whole.begin(), whole.end(), out.begin())) << capacity;
        }
    }
    struct size_case {
        std::uint32_t width;
        std::uint32_t height;
        kvrn_status expected;
        std::uint64_t bytes;
    };
    // 14 + 65 bytes for each of 3 blocks of every position: 8192 x 8192 positions at 65535.
    const size_case sizes[] = {
        {1, 1, KVRN_OK, 14 + 3 * 65},
        {9, 8, KVRN_OK, 14 + 2 * 3 * 65},
        {65535, 65535, KVRN_OK, 14 + std::uint64_t{8192} * 8192 * 3 * 65},
        {65536, 1, KVRN_TOO_LARGE, 0},
        {1, 65536, KVRN_TOO_LARGE, 0},
    };
    for (const size_case& each : sizes) {
        std::size_t bytes = 0;
        EXPECT_EQ(kvrn_encoded_bytes_max(each.width, each.height, &bytes), each.expected)
            << each.width << " x " << each.height;
        if (each.expected == KVRN_OK) {
            EXPECT_EQ(bytes, each.bytes);
        }
    }
    EXPECT_EQ(kvrn_block_positions(65535, 65535), std::uint64_t{8192} * 8192);
    EXPECT_EQ(kvrn_block_positions(9, 17), 6U);
    EXPECT_EQ(kvrn_block_positions(0, 17), 0U);
    std::size_t rgb = 0;
    EXPECT_EQ(kvrn_rgb_bytes(65535, 65535, &rgb), KVRN_OK);
    EXPECT_EQ(rgb, std::size_t{3} * 65535 * 65535);
}

// Figures that threads add up, on a picture of 20 block rows, so that each of 4 workers codes
// several: the clipped coefficients of the file against those of its blocks one by one (the
// block report, which no thread touches), the scales that clip none against the clipping they
// cause and the next smaller ones, and a cut stream's missing blocks against its measure.
TEST(c_interface_edges, figures_gathered_from_threads_are_those_of_every_row) {
    const std::uint32_t width = 40;
    const std::uint32_t height = 157;  // 20 block rows, the top one cut
    const held_picture held = noise(width, height, 3, 3 * width);
    const kvrn_scales scales{1, 2, 3};
    std::uint64_t by_blocks = 0;
    for (std::uint32_t row = 0; row < (height + 7) / 8; ++row) {
        for (std::uint32_t column = 0; column < (width + 7) / 8; ++column) {
            kvrn_block_report report{};
            ASSERT_EQ(kvrn_inspect(&held.image, scales, column, row, &report), KVRN_OK);
            by_blocks += report.clipped[0] + report.clipped[1] + report.clipped[2];
        }
    }
    ASSERT_GT(by_blocks, 0U);
    std::vector<std::uint8_t> one_thread;
    for (const unsigned threads : {1U, 2U, 4U}) {
        std::uint64_t clipped = 0;
        const std::vector<std::uint8_t> file = encoded(held.image, scales, threads, &clipped);
        EXPECT_EQ(clipped, by_blocks) << threads << " threads";
        if (threads == 1) one_thread = file;
        EXPECT_EQ(file, one_thread) << threads << " threads";

        kvrn_scales unclipped{};
        ASSERT_EQ(kvrn_unclipped_scales(&held.image, threads, &unclipped), KVRN_OK);
        std::uint64_t none = 99;
        (void)encoded(held.image, unclipped, threads, &none);
        EXPECT_EQ(none, 0U) << threads << " threads";
        // Each scale is the least: one smaller clips in its channel.
        const std::array<std::uint16_t, 3> found = {unclipped.y, unclipped.cr, unclipped.cb};
        for (std::size_t c = 0; c < 3; ++c) {
            if (found[c] == 1) continue;
            std::array<std::uint16_t, 3> smaller = found;
            --smaller[c];
            std::uint64_t some = 0;
            (void)encoded(held.image, {smaller[0], smaller[1], smaller[2]}, threads, &some);
            EXPECT_GT(some, 0U) << threads << " threads, channel " << c;
        }
    }

    // The file cut in its first block row (the picture's bottom): every later block is missing,
    // whichever worker would have decoded it.
    const std::vector<std::uint8_t> file = one_thread;
    const std::size_t cut = 14 + 100;
    kvrn_stream_info info{};
    ASSERT_EQ(kvrn_check_stream(file.data(), cut, &info), KVRN_OK);
    const std::uint64_t expected_missing = info.blocks_needed - info.blocks_held;
    ASSERT_GT(expected_missing, 3U * 5 * 19);
    std::vector<std::uint8_t> first;
    for (const unsigned threads : {1U, 2U, 4U}) {
        std::vector<std::uint8_t> rgb(3 * width * height);
        std::uint64_t missing = 0;
        ASSERT_EQ(kvrn_decode(file.data(), cut, 7, 0, threads, rgb.data(), 3 * width, &missing),
                  KVRN_OK);
        EXPECT_EQ(missing, expected_missing) << threads << " threads";
        if (threads == 1) first = rgb;
        EXPECT_EQ(rgb, first) << threads << " threads";
        // The whole file: nothing missing, on any number of threads.
        ASSERT_EQ(
            kvrn_decode(file.data(), file.size(), 7, 0, threads, rgb.data(), 3 * width, &missing),
            KVRN_OK);
        EXPECT_EQ(missing, 0U) << threads << " threads";
    }
}

}  // namespace
