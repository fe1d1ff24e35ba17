// The figures the lab draws, read back and held to the figures they stand for, worked out here:
// a plot's tick labels from the SVG's words, for ranges whose step, decimals and rounded ends
// matter; a map's colour bar from its PNG Description and from its pixels, against a bar drawn
// for the expected figures, for gains whose division rounds and for a file's own range of bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include "codec/byte_reader.h"
#include "codec/include/kvrn.h"
#include "codec/kvrn_format.h"
#include "codec/picture.h"
#include "lab/block_map.h"
#include "lab/error_map.h"
#include "lab/lab.h"
#include "lab/map_legend.h"
#include "lab/map_scales.h"
#include "lab/plot.h"

namespace kvrn::testing {
namespace {

// The words of every <text> element of an SVG that read as a number, sorted.
std::vector<std::string> numbers_in(const std::string& svg) {
    static const std::regex text(R"(<text[^>]*>([^<]*)</text>)");
    static const std::regex number(R"(-?[0-9]+(\.[0-9]+)?)");
    std::vector<std::string> found;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), text); it != std::sregex_iterator();
         ++it) {
        const std::string words = (*it)[1];
        if (std::regex_match(words, number)) found.push_back(words);
    }
    std::sort(found.begin(), found.end());
    return found;
}

// Each axis runs from the multiple of its step at or below the least value to the one at or above
// the largest, the step 1, 2 or 5 times a power of ten, its labels with the decimals of the step;
// a logarithmic axis has ticks at 1, 2 and 5 times the powers of ten.
TEST(drawn_figures, plot_tick_labels_are_the_axes_nice_numbers) {
    struct plot_case {
        const char* what;
        std::vector<std::pair<double, double>> points;
        bool log_x;
        std::vector<std::string> labels;  // x's and y's together
    };
    const plot_case cases[] = {
        {"steps of 0.5 and 0.05, the y ends off the steps",
         {{0.3, 30.13}, {2.4, 30.52}},
         false,
         {"0.0", "0.5", "1.0", "1.5", "2.0", "2.5", "30.10", "30.15", "30.20", "30.25", "30.30",
          "30.35", "30.40", "30.45", "30.50", "30.55"}},
        {"one point: y widened by a tenth either way, x from 0 in tenths",
         {{1.0, 33.0}},
         false,
         {"0.0", "0.1", "0.2", "0.3", "0.4", "0.5", "0.6", "0.7", "0.8", "0.9",
          "1.0", "29",  "30",  "31",  "32",  "33",  "34",  "35",  "36",  "37"}},
        {"whole numbers of dB, a logarithmic x",
         {{0.4, 28.0}, {1.5, 35.0}},
         true,
         {"0.2", "0.5", "1", "2", "28", "29", "30", "31", "32", "33", "34", "35"}},
        {"a negative y, steps of 20",
         {{12.0, -61.0}, {3.0, 89.0}},
         false,
         {"0", "2", "4", "6", "8", "10", "12", "-80", "-60", "-40", "-20", "0", "20", "40", "60",
          "80", "100"}},
    };
    for (const plot_case& each : cases) {
        lab::plot_contents contents;
        contents.title = "ticks";
        contents.log_x = each.log_x;
        contents.series = {{"kvrn", each.points}};
        std::string svg;
        std::string error;
        ASSERT_TRUE(lab::render_plot(contents, "plot.svg", svg, error)) << error;
        std::vector<std::string> expected = each.labels;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(numbers_in(svg), expected) << each.what;
    }
    lab::release_plot_fonts();
}

// A picture of `width` x `height` whose samples are `at(i)`.
template <typename F>
std::vector<std::uint8_t> samples(std::int32_t width, std::int32_t height, F at) {
    std::vector<std::uint8_t> pixels(3 * static_cast<std::size_t>(width * height));
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(at(i));
    return pixels;
}

// The error map's bar runs from 0 to the least difference the gain saturates, 255 / gain rounded
// up: the Description names it, and the bar drawn carries the figures of a bar drawn for it.
TEST(drawn_figures, error_map_bar_reaches_the_difference_the_gain_saturates) {
    const std::int32_t width = 40;
    const std::int32_t height = 9;
    const std::vector<std::uint8_t> a =
        samples(width, height, [](std::size_t i) { return i % 251; });
    const std::vector<std::uint8_t> b =
        samples(width, height, [](std::size_t i) { return (i * i) % 256; });
    const picture_view first{a.data(), width, height};
    const picture_view second{b.data(), width, height};
    for (const int gain : {1, 2, 3, 7, 8, 100, 254, 255}) {
        SCOPED_TRACE("gain " + std::to_string(gain));
        const int full = static_cast<int>(std::ceil(255.0 / gain));
        const auto drawn = lab::draw_error_map(first, second, gain, true);
        ASSERT_TRUE(drawn.has_value());
        EXPECT_NE(drawn->description.find("times " + std::to_string(gain) + ","), std::string::npos)
            << drawn->description;
        const std::string levels = full == 1 ? "(1 level or more)"  // at gain 255
                                             : "(" + std::to_string(full) + " levels or more)";
        EXPECT_NE(drawn->description.find(levels), std::string::npos) << drawn->description;
        const auto bare = lab::draw_error_map(first, second, gain, false);
        ASSERT_TRUE(bare.has_value());
        const lab::map_with_legend expected = lab::add_map_legend(
            bare->pixels, width, height,
            {0, static_cast<double>(full),
             "largest difference of R, G and B, in levels; pale yellow: " + std::to_string(full) +
                 " or more"});
        EXPECT_EQ(drawn->width, expected.width);
        EXPECT_EQ(drawn->height, expected.height);
        EXPECT_TRUE(drawn->pixels == expected.pixels) << "the bar's figures are not " << full;
    }
    lab::release_plot_fonts();
}

// The block map on the file's own range: the fewest and the most coded bytes of a block position,
// counted here by the C interface's block report, name its ends in the Description and on the
// bar; the fixed scale's ends otherwise.
TEST(drawn_figures, block_map_bar_spans_the_files_fewest_and_most_bytes) {
    const std::uint32_t width = 29;  // 4 x 3 positions, cut at the right and the top
    const std::uint32_t height = 19;
    const std::vector<std::uint8_t> pixels =
        samples(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
                [](std::size_t i) { return i / 3 % 29 < 14 ? (i * 7) % 256 : 128 + i % 3; });
    const kvrn_image image{pixels.data(), width, height, 3 * static_cast<ptrdiff_t>(width), 3};
    const kvrn_scales scales{6, 9, 40};
    std::vector<std::uint8_t> file(20000);
    std::size_t size = 0;
    ASSERT_EQ(kvrn_encode_to_memory(&image, scales, 1, file.data(), file.size(), &size, nullptr),
              KVRN_OK);
    std::array<int, 4> fewest{1 << 20, 1 << 20, 1 << 20, 1 << 20};
    std::array<int, 4> most{};
    for (std::uint32_t row = 0; row < (height + 7) / 8; ++row) {
        for (std::uint32_t column = 0; column < (width + 7) / 8; ++column) {
            kvrn_block_report report{};
            ASSERT_EQ(kvrn_inspect(&image, scales, column, row, &report), KVRN_OK);
            int all = 0;
            for (std::size_t c = 0; c < 3; ++c) {
                const int bytes = static_cast<int>(report.coded_bytes[c]);
                fewest[c] = std::min(fewest[c], bytes);
                most[c] = std::max(most[c], bytes);
                all += bytes;
            }
            fewest[3] = std::min(fewest[3], all);
            most[3] = std::max(most[3], all);
        }
    }
    ASSERT_LT(fewest[3], most[3]);

    std::array<std::uint8_t, kvrn::header_bytes> header_bytes{};
    std::copy_n(file.begin(), header_bytes.size(), header_bytes.begin());
    const kvrn::kvrn_header header = kvrn::parse_header(header_bytes);
    byte_reader stream(file.data() + kvrn::header_bytes, size - kvrn::header_bytes);
    const lab::block_bytes counted = lab::count_block_bytes(stream, header);
    const char* captions[] = {"coded bytes of each 8x8 Y block", "coded bytes of each 8x8 Cr block",
                              "coded bytes of each 8x8 Cb block",
                              "coded bytes of each 8x8 block, Y + Cr + Cb"};
    for (int channel = 0; channel <= lab::all_channels; ++channel) {
        for (const bool own_range : {true, false}) {
            SCOPED_TRACE("channel " + std::to_string(channel) + (own_range ? ", own range" : ""));
            const auto c = static_cast<std::size_t>(channel);
            const bool all = channel == lab::all_channels;
            const int least = own_range ? fewest[c]
                              : all     ? lab::block_bytes_least
                                        : lab::channel_block_bytes_least;
            const int largest = own_range ? std::max(most[c], least + 1)
                                : all     ? lab::block_bytes_most
                                          : lab::channel_block_bytes_most;
            const auto drawn = lab::draw_block_map(counted, header, channel, own_range, true);
            ASSERT_TRUE(drawn.has_value());
            EXPECT_NE(drawn->description.find(": " + std::to_string(least) + " black"),
                      std::string::npos)
                << drawn->description;
            EXPECT_NE(drawn->description.find("to " + std::to_string(largest) + " pale yellow"),
                      std::string::npos)
                << drawn->description;
            const auto bare = lab::draw_block_map(counted, header, channel, own_range, false);
            ASSERT_TRUE(bare.has_value());
            const lab::map_with_legend expected = lab::add_map_legend(
                bare->pixels, bare->width, bare->height,
                {static_cast<double>(least), static_cast<double>(largest),
                 std::string(captions[c]) + (own_range ? ", this file's range" : "")});
            EXPECT_TRUE(drawn->pixels == expected.pixels)
                << "the bar's figures are not " << least << " and " << largest;
        }
    }
    lab::release_plot_fonts();
}

// The strip's middle figure as drawn: the pixels of its row of figures between the end figures,
// cut to the box of the dark ones, so that the same words drawn elsewhere along the bar compare
// equal (cairo puts glyphs of an image surface on whole pixels).
std::vector<std::uint8_t> middle_figure(double least, double most) {
    const std::vector<std::uint8_t> picture(3 * 8 * 8, 255);
    const lab::map_with_legend map = lab::add_map_legend(picture, 8, 8, {least, most, ""});
    const std::int32_t first_row = lab::legend_bar_top + lab::legend_bar_rows + 1;  // from the top
    const std::int32_t rows = 18;
    const std::int32_t left = 64;
    const std::int32_t right = map.width - 64;
    // Row `y` of the strip, counted from its top: map row legend_height - 1 - y from the bottom.
    const auto red = [&](std::int32_t x, std::int32_t y) {
        return map.pixels[pixel_offset(map.width, lab::legend_height - 1 - y, x)];
    };
    std::int32_t x0 = right;
    std::int32_t x1 = left;
    std::int32_t y0 = first_row + rows;
    std::int32_t y1 = first_row;
    for (std::int32_t y = first_row; y < first_row + rows; ++y) {
        for (std::int32_t x = left; x < right; ++x) {
            if (red(x, y) < 200) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x + 1);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y + 1);
            }
        }
    }
    std::vector<std::uint8_t> drawn;
    for (std::int32_t y = y0; y < y1; ++y)
        for (std::int32_t x = x0; x < x1; ++x) drawn.push_back(red(x, y));
    drawn.push_back(static_cast<std::uint8_t>(x1 - x0));  // the box's width too
    return drawn;
}

// The middle figure of a bar: over a range of 10 or more the whole number nearest the middle, so
// 0..37 shows 19 (18.5 rounded), as a bar whose middle is 19 exactly shows it; below 10 the middle
// itself with one decimal, so 0..7 shows 3.5, as 3..4 does, and not 4.
TEST(drawn_figures, a_bars_middle_figure_is_the_rounded_middle_over_a_wide_range) {
    const std::vector<std::uint8_t> nineteen = middle_figure(1, 37);
    ASSERT_GT(nineteen.size(), 20U) << "no figure found between the ends";
    EXPECT_EQ(middle_figure(0, 37), nineteen);
    EXPECT_NE(middle_figure(0, 36), nineteen);  // 18: the comparison tells figures apart
    const std::vector<std::uint8_t> three_and_a_half = middle_figure(3, 4);
    EXPECT_EQ(middle_figure(0, 7), three_and_a_half);
    EXPECT_NE(middle_figure(0, 8), three_and_a_half);  // 4
    lab::release_plot_fonts();
}

// The bar's figures in words, which the page sets under its own bar: the ends, and the middle
// where it lies along the bar, rounded over a range of 10 or more; the bars the maps get, for a
// gain whose division rounds up and for a file's own range of bytes, one byte apart at least.
TEST(drawn_figures, a_bars_figures_and_where_they_lie) {
    struct bar_case {
        const char* what;
        lab::map_scale scale;
        std::array<const char*, 3> texts;
        double middle_along;
    };
    const std::vector<std::uint16_t> one_size(6, 12);
    const std::vector<std::uint16_t> spread = {40, 11, 97, 12, 60};
    const bar_case cases[] = {
        {"0..37, the middle rounded", {0, 37, ""}, {"0", "19", "37"}, 19.0 / 37},
        {"3..4, the middle with a decimal", {3, 4, ""}, {"3", "3.5", "4"}, 0.5},
        {"10..19, under 10 wide", {10, 19, ""}, {"10", "14.5", "19"}, 0.5},
        {"gain 8", lab::error_map_scale_bar(8), {"0", "16", "32"}, 0.5},
        {"gain 7: 255 / 7 rounded up", lab::error_map_scale_bar(7), {"0", "19", "37"}, 19.0 / 37},
        {"gain 255", lab::error_map_scale_bar(255), {"0", "0.5", "1"}, 0.5},
        {"blocks, fixed",
         lab::block_map_scale_bar(spread, lab::all_channels, false),
         {"9", "102", "195"},
         0.5},
        {"a channel's blocks, fixed",
         lab::block_map_scale_bar(spread, 1, false),
         {"3", "34", "65"},
         0.5},
        {"blocks, the file's range",
         lab::block_map_scale_bar(spread, lab::all_channels, true),
         {"11", "54", "97"},
         43.0 / 86},
        {"one size of block",
         lab::block_map_scale_bar(one_size, 0, true),
         {"12", "12.5", "13"},
         0.5},
    };
    for (const bar_case& each : cases) {
        SCOPED_TRACE(each.what);
        const std::array<lab::legend_tick, 3> ticks = lab::legend_ticks(each.scale);
        for (std::size_t i = 0; i < ticks.size(); ++i) EXPECT_EQ(ticks[i].text, each.texts[i]);
        EXPECT_EQ(ticks[0].along, 0);
        EXPECT_DOUBLE_EQ(ticks[1].along, each.middle_along);
        EXPECT_EQ(ticks[2].along, 1);
    }
    EXPECT_EQ(lab::block_map_scale_bar(spread, lab::all_channels, true).caption,
              "coded bytes of each 8x8 block, Y + Cr + Cb, this file's range");
    EXPECT_EQ(lab::block_map_scale_bar(spread, 2, false).caption,
              "coded bytes of each 8x8 Cb block");
}

}  // namespace
}  // namespace kvrn::testing
