// The quantisation lab's library against independent sources: the distortion figures against
// numpy and scikit-image (scripts/lab-reference.py --test-pictures), the JPEG encoder and decoder
// against cjpeg and djpeg, and the plots and maps by the properties a reader relies on. The
// figures of whole sweeps, and so the lab's KVRN files against the tool's, and the maps' sizes and
// legends as written are lab_commands_test.cpp's.
#include "lab/lab.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>

#include "lab/block_map.h"
#include "lab/colour_ramp.h"
#include "lab/error_map.h"
#include "lab/jpeg_codec.h"
#include "lab/kvrn_memory.h"
#include "lab/map_legend.h"
#include "lab/metrics.h"
#include "lab/plot.h"
#include "support/files.h"

namespace kvrn::testing {
namespace {

using lab::jpeg_sampling;

// An RGB picture that owns its pixels.
struct rgb_picture {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> pixels;
    picture_view view() const { return {pixels.data(), width, height}; }
    std::string ppm() const {
        return "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n" +
               std::string(pixels.begin(), pixels.end());
    }
};

// The test pictures of scripts/lab-reference.py, from the same formulas: a pattern smooth in
// places and busy in others, and copies with a periodic error of up to 11 levels ("noise") or
// quantised in steps of 40 ("coarse"), or the same. x column, y row (row 0 first), c channel.
rgb_picture test_picture(std::int32_t width, std::int32_t height, const std::string& kind) {
    rgb_picture p{width, height, std::vector<std::uint8_t>(pixel_offset(width, height, 0))};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                int v = ((x * x + 2 * y * y + x * y) / 8 + 40 * c) % 256;
                if (kind == "noise") v = std::clamp(v + (7 * x + 11 * y + 3 * c) % 23 - 11, 0, 255);
                if (kind == "coarse") v = std::min(255, v / 40 * 40 + 20);
                p.pixels[pixel_offset(width, y, x) + static_cast<std::size_t>(c)] =
                    static_cast<std::uint8_t>(v);
            }
    return p;
}

TEST(lab_metrics, agree_with_numpy_and_scikit_image) {
    constexpr double inf = INFINITY;
    constexpr double nan = NAN;
    struct expected {
        std::int32_t width, height;
        const char* kind;
        double psnr_rgb, psnr_y, ssim_y;
        int max_error;
    };
    // scripts/lab-reference.py --test-pictures
    for (const expected& e : std::vector<expected>{
             {37, 23, "noise", 31.762151, 34.048363, 0.94162308, 11},
             {61, 45, "coarse", 26.960595, 27.438666, 0.91010314, 20},
             {11, 11, "noise", 31.831599, 34.275557, 0.82567950, 11},
             {16, 11, "same", inf, inf, 1.00000000, 0},
             {10, 30, "noise", 31.807918, 34.094974, nan, 11},
             {700, 400, "coarse", 26.972217, 27.512409, 0.98007352, 20},
         }) {
        const rgb_picture a = test_picture(e.width, e.height, "");
        const rgb_picture b = test_picture(e.width, e.height, e.kind);
        // One thread, and several, whose bands split the picture (and the 11-row windows).
        for (const unsigned threads : {1U, 4U}) {
            SCOPED_TRACE(std::to_string(e.width) + "x" + std::to_string(e.height) + " " + e.kind +
                         ", " + std::to_string(threads) + " threads");
            const auto d = lab::compare(a.view(), b.view(), threads);
            ASSERT_TRUE(d.has_value());
            for (const auto& [got, want] :
                 {std::pair{d->psnr_rgb, e.psnr_rgb}, std::pair{d->psnr_y, e.psnr_y}}) {
                if (std::isinf(want))
                    EXPECT_EQ(got, want);
                else
                    EXPECT_NEAR(got, want, 0.002);
            }
            if (std::isnan(e.ssim_y))
                EXPECT_TRUE(std::isnan(d->ssim_y));
            else
                EXPECT_NEAR(d->ssim_y, e.ssim_y, 2e-5);
            EXPECT_EQ(d->max_error, e.max_error);
        }
    }
}

// The page's pool measures a picture band by band, each band of whole block rows cut out with a
// block row more on each side: the figures put together from the bands' row sums must be
// compare()'s, to the last bit, however many bands there are.
TEST(lab_metrics, bands_with_a_block_row_around_them_add_up_to_the_whole) {
    for (const auto& [width, height] : {std::pair{37, 23}, std::pair{61, 45}, std::pair{16, 11},
                                        std::pair{12, 9}, std::pair{29, 17}}) {
        const rgb_picture a = test_picture(width, height, "");
        const rgb_picture b = test_picture(width, height, "noise");
        const auto whole = lab::compare(a.view(), b.view(), 1);
        ASSERT_TRUE(whole.has_value());
        const std::int32_t block_rows = (height + 7) / 8;
        for (std::int32_t bands = 1; bands <= block_rows; ++bands) {
            SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + " in " +
                         std::to_string(bands) + " bands");
            std::vector<double> sse_y(static_cast<std::size_t>(height));
            std::vector<double> ssim(static_cast<std::size_t>(height));
            std::uint64_t sse_rgb = 0;
            int max_error = 0;
            for (std::int32_t band = 0; band < bands; ++band) {
                const std::int32_t first = 8 * (block_rows * band / bands);
                const std::int32_t last = std::min(height, 8 * (block_rows * (band + 1) / bands));
                const std::int32_t held = std::max(0, first - 8);
                const std::int32_t held_last = std::min(height, last + 8);
                const std::size_t offset = pixel_offset(width, held, 0);
                const picture_view cut_a{a.pixels.data() + offset, width, held_last - held};
                const picture_view cut_b{b.pixels.data() + offset, width, held_last - held};
                const lab::row_sums sums =
                    lab::sum_rows(cut_a, cut_b, first - held, last - held);
                std::copy(sums.sse_y.begin(), sums.sse_y.end(), sse_y.begin() + first);
                std::copy(sums.ssim.begin(), sums.ssim.end(), ssim.begin() + first);
                sse_rgb += sums.sse_rgb;
                max_error = std::max(max_error, sums.max_error);
            }
            const lab::distortion d = lab::figures_of_sums(width, height, sse_rgb, max_error,
                                                           sse_y.data(), ssim.data());
            EXPECT_EQ(d.sse_rgb, whole->sse_rgb);
            EXPECT_EQ(d.max_error, whole->max_error);
            EXPECT_EQ(d.psnr_rgb, whole->psnr_rgb);
            EXPECT_EQ(d.psnr_y, whole->psnr_y);
            if (std::isnan(whole->ssim_y))
                EXPECT_TRUE(std::isnan(d.ssim_y));
            else
                EXPECT_EQ(d.ssim_y, whole->ssim_y);
        }
    }
}

// The partial MCUs at the right and bottom edges are where 4:2:0 and 4:4:4 differ most.
TEST(lab_jpeg, encoder_writes_cjpegs_bytes_and_decoder_gives_djpegs_pixels) {
    if (run_shell("command -v cjpeg && command -v djpeg").exit_status != 0)
        GTEST_SKIP() << "cjpeg and djpeg (libjpeg-turbo-progs) are not installed";
    scratch_dir dir;
    for (const auto& [width, height] : {std::pair{37, 23}, std::pair{61, 45}}) {
        const rgb_picture picture = test_picture(width, height, "noise");
        const std::string in = dir.file("in.ppm", picture.ppm());
        for (const int quality : {10, 75, 95}) {
            for (const auto& [sampling, option] :
                 {std::pair{jpeg_sampling::full, "1x1"}, std::pair{jpeg_sampling::half, "2x2"}}) {
                SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + " quality " +
                             std::to_string(quality) + " " + option);
                std::vector<std::uint8_t> jpeg;
                std::string error;
                ASSERT_TRUE(lab::encode_jpeg(picture.view(), quality, sampling, jpeg, error))
                    << error;
                const child_result cjpeg =
                    run_shell("cjpeg -baseline -dct int -quality " + std::to_string(quality) +
                              " -sample " + option + " '" + in + "'");
                ASSERT_EQ(cjpeg.exit_status, 0);
                EXPECT_EQ(std::string(jpeg.begin(), jpeg.end()), cjpeg.output);

                lab::decoded_jpeg decoded;
                ASSERT_TRUE(lab::decode_jpeg(jpeg.data(), jpeg.size(), 1 << 20, decoded, error))
                    << error;
                dir.file("out.jpg", std::string(jpeg.begin(), jpeg.end()));
                const child_result djpeg =
                    run_shell("djpeg -ppm '" + dir.file("out.jpg", {}) + "'");
                ASSERT_EQ(djpeg.exit_status, 0);
                const rgb_picture mine{decoded.width, decoded.height, decoded.pixels};
                EXPECT_EQ(mine.ppm(), djpeg.output);
            }
        }
    }
}

TEST(lab_plot, draws_png_and_svg_by_the_extension) {
    lab::plot_contents contents;
    contents.title = "test <picture> 37 x 23";
    contents.series = {{"kvrn", {{12.0, 30.5}, {8.0, 29.0}, {24.0, INFINITY}}},
                       {"jpeg420", {{0.4, 28.0}, {1.5, 35.0}}},
                       {"empty", {}}};
    std::string png;
    std::string error;
    ASSERT_TRUE(lab::render_plot(contents, "plot.PNG", png, error)) << error;
    ASSERT_GT(png.size(), 24U);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    // IHDR's width and height, big-endian, at bytes 16 and 20.
    EXPECT_EQ(png.substr(16, 8), std::string("\0\0\x03\xc0\0\0\x02\x58", 8));  // 960 x 600
    std::string svg;
    ASSERT_TRUE(lab::render_plot(contents, "plot.svg", svg, error)) << error;
    EXPECT_NE(svg.find("<title>test &lt;picture&gt; 37 x 23</title>"), std::string::npos);
    EXPECT_NE(svg.find("kvrn, jpeg420, empty"), std::string::npos);
    EXPECT_FALSE(lab::render_plot(contents, "plot.jpg", svg, error));
    lab::release_plot_fonts();  // and drawing text again after that works
    std::string again;
    ASSERT_TRUE(lab::render_plot(contents, "again.png", again, error)) << error;
    EXPECT_TRUE(again == png);
    lab::release_plot_fonts();
}

// The labels, the line's text and the legend's entries are in the SVG as words, each once, in
// the invisible layer over the outlines; labels that would crowd are left out.
TEST(lab_plot, svg_holds_the_labels_line_and_legend_as_text) {
    lab::plot_contents contents;
    contents.title = "labelled";
    contents.log_x = true;
    // Five points on one spot: four labels take the places around it, the fifth finds none.
    const std::pair<double, double> spot{2.0, 38.0};
    contents.series = {{"kvrn",
                        {{11.0, 40.0}, spot, spot, spot, spot, spot, {1.3, 33.0}},
                        {"101", "102", "103", "104", "105", "106", "132"},
                        {true, true, false, false, false, false, false}},
                       {"jpeg444", {{0.3, 32.0}, {1.0, 42.0}}, {"110", "190"}, {}}};
    contents.x_lines = {{1.125, {"floor: 1.125 bits per pixel", "3 bytes a block"}}};
    contents.marked_name = "AC coefficients clipped";
    contents.notes = {"Numbers: step, quality"};
    std::string svg;
    std::string error;
    ASSERT_TRUE(lab::render_plot(contents, "plot.svg", svg, error)) << error;
    lab::release_plot_fonts();
    const auto count = [&svg](const std::string& text) {
        std::size_t n = 0;
        for (std::size_t at = svg.find(text); at != std::string::npos; at = svg.find(text, at + 1))
            ++n;
        return n;
    };
    for (const char* label :
         {">101</text>", ">102</text>", ">103</text>", ">104</text>", ">105</text>", ">132</text>",
          ">110</text>", ">190</text>", ">floor: 1.125 bits per pixel</text>",
          ">3 bytes a block</text>", ">AC coefficients clipped</text>",
          ">Numbers: step, quality</text>", ">labelled</text>", ">kvrn</text>", ">jpeg444</text>"})
        EXPECT_EQ(count(label), 1U) << label;
    EXPECT_EQ(count(">106</text>"), 0U);
    EXPECT_EQ(count("<g fill-opacity=\"0\" font-family=\"DejaVu Sans\">"), 1U);
    EXPECT_NE(svg.find("<desc>PSNR (RGB), dB against bits per pixel: kvrn, jpeg444; hollow points: "
                       "AC coefficients clipped; floor: 1.125 bits per pixel 3 bytes a block; "
                       "Numbers: step, quality</desc>"),
              std::string::npos);
    // The y axis's name runs upwards.
    EXPECT_NE(svg.find("transform=\"rotate(-90.0 "), std::string::npos);
    EXPECT_LT(svg.rfind("</g>"), svg.rfind("</svg>"));
}

double luma(const lab::rgb8& c) {
    return 0.299 * c.r + 0.587 * c.g + 0.114 * c.b;
}

TEST(lab_maps, error_map_is_black_where_equal_and_brighter_for_larger_errors) {
    // Pixel i of b differs from a by i in green only; gain 8 saturates at 32.
    constexpr int count = 40;
    std::vector<std::uint8_t> a(3 * count, 100);
    std::vector<std::uint8_t> b = a;
    for (int i = 0; i < count; ++i)
        b[3 * static_cast<std::size_t>(i) + 1] = static_cast<std::uint8_t>(100 + i);
    const auto map =
        lab::error_map({a.data(), count, 1}, {b.data(), count, 1}, lab::default_error_gain);
    ASSERT_TRUE(map.has_value());
    auto at = [&](int i) {
        const std::size_t o = 3 * static_cast<std::size_t>(i);
        return lab::rgb8{(*map)[o], (*map)[o + 1], (*map)[o + 2]};
    };
    EXPECT_EQ(luma(at(0)), 0);
    for (int i = 1; i <= 32; ++i) EXPECT_GT(luma(at(i)), luma(at(i - 1))) << i;
    for (int i = 33; i < count; ++i) EXPECT_EQ(luma(at(i)), luma(at(32))) << i;
    EXPECT_GT(luma(at(32)), 200);

    EXPECT_FALSE(lab::error_map({a.data(), count, 1}, {b.data(), count - 1, 1}, 8).has_value());
    EXPECT_FALSE(lab::error_map({a.data(), count, 1}, {b.data(), count, 1}, 0).has_value());
}

TEST(lab_maps, block_map_colours_each_block_by_its_bytes) {
    // 13 x 10 pixels: 2 x 2 blocks, the right ones 5 wide, the bottom ones 2 high.
    const std::vector<std::uint16_t> bytes{9, 195, 60, 120};
    const auto map = lab::block_map(bytes, 2, 2, 13, 10, lab::block_bytes_least,
                                    lab::block_bytes_most, "its Y, Cr and Cb blocks");
    ASSERT_TRUE(map.has_value());
    ASSERT_EQ(map->pixels.size(), 13U * 10 * 3);
    auto at = [&](int x, int y) {
        const std::size_t o = pixel_offset(13, y, x);
        return lab::rgb8{map->pixels[o], map->pixels[o + 1], map->pixels[o + 2]};
    };
    for (const auto& [x0, y0, x1, y1, block] : std::vector<std::tuple<int, int, int, int, int>>{
             {0, 0, 8, 8, 0}, {8, 0, 13, 8, 1}, {0, 8, 8, 10, 2}, {8, 8, 13, 10, 3}})
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                ASSERT_EQ(luma(at(x, y)), luma(at(x0, y0))) << x << "," << y << " block " << block;
    EXPECT_EQ(luma(at(0, 0)), 0);
    EXPECT_LT(luma(at(0, 8)), luma(at(8, 8)));
    EXPECT_LT(luma(at(8, 8)), luma(at(8, 0)));
    // Another scale: 60 bytes at its top is pale yellow, 9 below its bottom black.
    const auto narrow = lab::block_map(bytes, 2, 2, 13, 10, 20, 60, "its Cr block");
    ASSERT_TRUE(narrow.has_value());
    EXPECT_EQ(narrow->pixels[pixel_offset(13, 8, 0)], 255);
    EXPECT_EQ(narrow->pixels[pixel_offset(13, 0, 0)], 0);

    EXPECT_FALSE(lab::block_map(bytes, 2, 2, 17, 10, 9, 195, "").has_value());  // 3 blocks wide
    EXPECT_FALSE(lab::block_map({9, 9, 9}, 2, 2, 13, 10, 9, 195, "").has_value());
    EXPECT_FALSE(lab::block_map(bytes, 2, 2, 13, 10, 9, 9, "").has_value());
}

// The strip below a map: the picture above it unchanged, the bar from black to pale yellow
// between white margins, and figures drawn under both ends of the bar.
TEST(lab_maps, legend_adds_a_bar_with_figures_below_the_picture) {
    for (const auto& [width, height] : {std::pair{5, 3}, std::pair{500, 20}}) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        std::vector<std::uint8_t> picture(pixel_offset(width, height, 0));
        for (std::size_t i = 0; i < picture.size(); ++i)
            picture[i] = static_cast<std::uint8_t>(i * 7);
        const lab::map_with_legend map =
            lab::add_map_legend(picture, width, height, {9, 195, "coded bytes"});
        lab::release_plot_fonts();
        const std::int32_t w = std::max(width, lab::legend_least_width);
        ASSERT_EQ(map.width, w);
        ASSERT_EQ(map.height, height + lab::legend_height);
        ASSERT_EQ(map.pixels.size(), pixel_offset(w, map.height, 0));
        auto at = [&](std::int32_t x, std::int32_t row_from_top) {
            const std::size_t o = pixel_offset(w, map.height - 1 - row_from_top, x);
            return std::tuple{map.pixels[o], map.pixels[o + 1], map.pixels[o + 2]};
        };
        for (std::int32_t y = 0; y < height; ++y) {
            for (std::int32_t x = 0; x < w; ++x) {
                const std::size_t o = pixel_offset(w, lab::legend_height + y, x);
                const std::size_t in = pixel_offset(width, y, x);
                for (std::size_t c = 0; c < 3; ++c)
                    ASSERT_EQ(map.pixels[o + c], x < width ? picture[in + c] : 255)
                        << x << "," << y;
            }
        }
        const std::int32_t bar = height + lab::legend_bar_top;  // its top row, from the top
        const std::int32_t right = w - lab::legend_bar_left - 1;
        for (std::int32_t row = bar; row < bar + lab::legend_bar_rows; ++row) {
            EXPECT_EQ(at(lab::legend_bar_left - 1, row), std::tuple(255, 255, 255));
            EXPECT_EQ(at(lab::legend_bar_left, row), std::tuple(0, 0, 0));
            EXPECT_EQ(at(right, row), std::tuple(255, 250, 210));
            EXPECT_EQ(at(right + 1, row), std::tuple(255, 255, 255));
        }
        EXPECT_EQ(at(0, height), std::tuple(255, 255, 255));  // the gap above the bar
        // "9" under the left end, "195" under the right: dark pixels in the figures' rows.
        auto dark_in = [&](std::int32_t x0, std::int32_t x1) {
            for (std::int32_t row = bar + lab::legend_bar_rows; row < bar + 32; ++row)
                for (std::int32_t x = x0; x < x1; ++x)
                    if (std::get<0>(at(x, row)) < 128) return true;
            return false;
        };
        EXPECT_TRUE(dark_in(lab::legend_bar_left, lab::legend_bar_left + 10));
        EXPECT_TRUE(dark_in(right - 25, right + 1));
    }
    EXPECT_EQ(lab::legend_figure(195), "195");
    EXPECT_EQ(lab::legend_figure(127.5), "127.5");
}

// What the front ends other than the tool can ask of lab.h and the tool cannot: settings out of
// their ranges, empty lists, a stream cut anywhere.
TEST(lab_interface, sweep_refuses_settings_out_of_range_and_takes_empty_lists) {
    const rgb_picture picture = test_picture(21, 13, "noise");
    struct sweep_case {
        lab::sweep_settings settings;
        std::string error;     // the start of the error, or empty
        std::size_t rows = 0;  // otherwise
    };
    for (const auto& [settings, error, rows] : std::vector<sweep_case>{
             {{{0}, {50}, false}, "step 0:", 0},
             {{{8, 65536}, {}, false}, "step 65536:", 0},
             {{{8}, {101}, true}, "quality 101:", 0},
             {{{}, {0}, false}, "quality 0:", 0},
             {{{}, {}, true}, "", 0},
             {{{8}, {}, true}, "", 2},
             {{{}, {75}, false}, "", 2},
             {{{}, {75}, true}, "", 3},
             {{{3, 8}, {20, 90}, true}, "", 10},
         }) {
        SCOPED_TRACE(error + " rows " + std::to_string(rows));
        int finished = 0;
        const lab::sweep_result swept =
            lab::sweep(picture.view(), settings, 3, [&] { ++finished; });
        EXPECT_EQ(swept.error.substr(0, error.size()), error);
        EXPECT_EQ(swept.rows.size(), rows);
        if (!error.empty()) continue;
        EXPECT_EQ(static_cast<std::size_t>(finished), lab::sweep_measurements(settings));
        // The KVRN rows are those of the file encode_kvrn makes at the step.
        for (const lab::sweep_row& row : swept.rows) {
            if (std::string(row.codec) != "kvrn") continue;
            EXPECT_EQ(row.bytes, lab::encode_kvrn(picture.view(), row.setting).size());
            EXPECT_DOUBLE_EQ(lab::bits_per_pixel(row, 21 * 13), row.bytes * 8.0 / (21 * 13));
        }
    }
}

TEST(lab_interface, block_bytes_add_up_to_the_stream_however_it_is_cut) {
    const rgb_picture picture = test_picture(27, 19, "noise");  // 4 x 3 blocks, partial edges
    const std::vector<std::uint8_t> file = lab::encode_kvrn(picture.view(), 5);
    std::array<std::uint8_t, header_bytes> head{};
    std::copy_n(file.begin(), header_bytes, head.begin());
    const kvrn_header header = parse_header(head);
    for (const std::size_t size : {file.size(), file.size() - 1, header_bytes + 40, header_bytes}) {
        SCOPED_TRACE(size);
        byte_reader stream(file.data() + header_bytes, size - header_bytes);
        const lab::block_bytes counted = lab::count_block_bytes(stream, header);
        ASSERT_EQ(counted.columns, 4);
        ASSERT_EQ(counted.rows, 3);
        std::uint64_t total = 0;
        for (int c = 0; c < 3; ++c) {
            std::uint64_t channel_total = 0;
            for (const std::uint16_t bytes : counted.position_bytes[static_cast<std::size_t>(c)])
                channel_total += bytes;
            EXPECT_EQ(channel_total, counted.channel_bytes[static_cast<std::size_t>(c)]);
            total += channel_total;
        }
        EXPECT_EQ(total, size - header_bytes);
        for (std::size_t p = 0; p < 12; ++p) {
            EXPECT_EQ(counted.position_bytes[lab::all_channels][p],
                      counted.position_bytes[0][p] + counted.position_bytes[1][p] +
                          counted.position_bytes[2][p]);
        }
        EXPECT_EQ(counted.missing > 0, size != file.size());
        // Every map of it draws, of the picture's size or with the strip below.
        for (int channel = 0; channel <= lab::all_channels; ++channel) {
            const auto map = lab::draw_block_map(counted, header, channel, channel % 2 == 1, false);
            ASSERT_TRUE(map.has_value());
            EXPECT_EQ(map->width, 27);
            EXPECT_EQ(map->height, 19);
        }
        EXPECT_FALSE(lab::draw_block_map(counted, header, 4, false, false).has_value());
    }
}

}  // namespace
}  // namespace kvrn::testing
