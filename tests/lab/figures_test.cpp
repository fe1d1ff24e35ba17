// Figures the lab gathers over a picture, held to their definitions on pictures that tell the
// ways of gathering apart: the error map's entry for differences in several channels at once and
// beyond saturation, and a table quantisation's counts against the KVRN file its tables stand for
// when every entry is one scale.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <tuple>
#include <vector>

#include "codec/include/kvrn.h"
#include "lab/colour_ramp.h"
#include "lab/error_map.h"
#include "lab/table_quantiser.h"

namespace kvrn::testing {
namespace {

// Each pixel takes the ramp's entry min(255, e * gain) / 255, e the largest of its three
// channels' differences: differences in one, two or all three channels, the largest in any of
// them, and far past saturation.
TEST(lab_figures, error_map_takes_the_largest_channel_difference_times_the_gain) {
    const std::vector<std::array<int, 3>> differences = {
        {0, 0, 0},    {3, 0, 0},   {0, 5, 0},          {0, 0, 7},  {4, 4, 4},  {2, 9, 5},
        {9, 2, 5},    {5, 2, 9},   {-6, 3, -1},        {31, 1, 1}, {32, 0, 0}, {33, 33, 33},
        {0, -100, 0}, {255, 0, 0}, {-255, -255, -255}, {1, 1, 31},
    };
    const auto width = static_cast<std::int32_t>(differences.size());
    std::vector<std::uint8_t> a(3 * differences.size());
    std::vector<std::uint8_t> b(a.size());
    for (std::size_t i = 0; i < differences.size(); ++i) {
        for (std::size_t c = 0; c < 3; ++c) {
            const int d = differences[i][c];
            a[3 * i + c] = static_cast<std::uint8_t>(d >= 0 ? 0 : -d);
            b[3 * i + c] = static_cast<std::uint8_t>(d >= 0 ? d : 0);
        }
    }
    for (const int gain : {1, 8, 255}) {
        const auto map = lab::error_map({a.data(), width, 1}, {b.data(), width, 1}, gain);
        ASSERT_TRUE(map.has_value());
        for (std::size_t i = 0; i < differences.size(); ++i) {
            int largest = 0;
            for (const int d : differences[i]) largest = std::max(largest, std::abs(d));
            const lab::rgb8 expected = lab::ramp_colour(std::min(255, largest * gain) / 255.0);
            EXPECT_EQ((*map)[3 * i], expected.r) << "pixel " << i << ", gain " << gain;
            EXPECT_EQ((*map)[3 * i + 1], expected.g) << "pixel " << i << ", gain " << gain;
            EXPECT_EQ((*map)[3 * i + 2], expected.b) << "pixel " << i << ", gain " << gain;
        }
    }
    // Saturation is the ramp's very end, the bar's pale yellow.
    const lab::rgb8 end = lab::ramp_colour(1.0);
    EXPECT_EQ(std::tuple(end.r, end.g, end.b), std::tuple(255, 250, 210));
}

// Tables of one entry each are the scales of a KVRN file: the bytes, the clipped coefficients
// and each position's bytes are the encoder's, on a picture of many blocks that clip.
TEST(lab_figures, tables_of_one_scale_count_what_the_kvrn_file_holds) {
    const std::int32_t width = 43;
    const std::int32_t height = 29;
    std::vector<std::uint8_t> pixels(3 * static_cast<std::size_t>(width * height));
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<std::uint8_t>(i * i % 251);
    }
    const kvrn_scales scales{1, 1, 2};
    // The C interface takes rows top first; the lab, bottom first. A negative stride hands it the
    // same rows.
    const kvrn_image image{pixels.data() + 3 * static_cast<std::size_t>(width) * (height - 1),
                           static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                           -3 * static_cast<ptrdiff_t>(width), 3};
    std::vector<std::uint8_t> file(200000);
    std::size_t size = 0;
    std::uint64_t clipped = 0;
    ASSERT_EQ(kvrn_encode_to_memory(&image, scales, 1, file.data(), file.size(), &size, &clipped),
              KVRN_OK);
    ASSERT_GT(clipped, 10U);
    lab::quantisation_tables tables{};
    tables[0].fill(scales.y);
    tables[1].fill(scales.cr);
    tables[2].fill(scales.cb);
    std::vector<std::uint8_t> decoded(pixels.size());
    const lab::table_coding coding = lab::quantise_with_tables({pixels.data(), width, height},
                                                               tables, 7, decoded.data(), nullptr);
    EXPECT_EQ(coding.bytes, size);
    EXPECT_EQ(coding.clipped, clipped);
    std::uint64_t positions = 0;
    for (const std::uint16_t bytes : coding.position_bytes) positions += bytes;
    EXPECT_EQ(positions + KVRN_HEADER_BYTES, size);
    EXPECT_EQ(coding.position_bytes.size(), 6U * 4);
}

}  // namespace
}  // namespace kvrn::testing
