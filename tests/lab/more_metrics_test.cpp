// The metrics beyond PSNR and SSIM on photographs: Butteraugli held to the digits Debian's
// butteraugli_main prints for the same pictures, and MS-SSIM's bounds and its independence of the
// thread count. MS-SSIM's figures are held to numpy in python/tests/test_more_metrics.py.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "lab/butteraugli.h"
#include "lab/jpeg_codec.h"
#include "lab/lab.h"
#include "lab/ms_ssim.h"
#include "support/files.h"

namespace kvrn::testing {
namespace {

// An RGB picture read from a binary PPM file (top row first), kept bottom row first as the lab
// takes it.
struct photo {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> pixels;
    picture_view view() const { return {pixels.data(), width, height}; }
    std::string ppm() const {
        std::string rows;
        for (std::int32_t y = height; y-- > 0;) {
            const auto* row = pixels.data() + pixel_offset(width, y, 0);
            rows.append(reinterpret_cast<const char*>(row), pixel_offset(width, 1, 0));
        }
        return "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n" + rows;
    }
};

photo from_ppm(const std::string& file) {
    photo p;
    int max = 0;
    int used = 0;
    EXPECT_EQ(std::sscanf(file.c_str(), "P6 %d %d %d%n", &p.width, &p.height, &max, &used), 3);
    const std::size_t row = pixel_offset(p.width, 1, 0);
    const std::string raster = file.substr(static_cast<std::size_t>(used) + 1);
    EXPECT_EQ(raster.size(), row * static_cast<std::size_t>(p.height));
    p.pixels.resize(raster.size());
    for (std::int32_t y = 0; y < p.height; ++y)
        std::copy_n(raster.data() + row * static_cast<std::size_t>(y), row,
                    p.pixels.data() + pixel_offset(p.width, p.height - 1 - y, 0));
    return p;
}

// A piece of a photograph, read by ImageMagick: a crop of WxH+X+Y of a sample KVRN file's picture
// (decoded by the tool) or of a background of mate-backgrounds.
photo crop(const std::string& source, const std::string& geometry) {
    scratch_dir dir;
    std::string picture = source;
    if (source.ends_with(".kvrn")) {
        picture = dir.file("decoded.ppm", {});
        const child_result decoded = run_shell(std::string(KVRN_TOOL) + " decode '" + KVRN_SAMPLES +
                                               "/" + source + "' '" + picture + "'");
        EXPECT_EQ(decoded.exit_status, 0) << source;
    }
    const child_result cut =
        run_shell("convert '" + picture + "' -strip -crop " + geometry + " +repage ppm:-");
    EXPECT_EQ(cut.exit_status, 0) << source;
    return from_ppm(cut.output);
}

// `p` through baseline JPEG at `quality` with 4:2:0, decoded again: a real codec's distortion.
photo through_jpeg(const photo& p, int quality) {
    std::vector<std::uint8_t> jpeg;
    std::string error;
    EXPECT_TRUE(lab::encode_jpeg(p.view(), quality, lab::jpeg_sampling::half, jpeg, error));
    lab::decoded_jpeg decoded;
    EXPECT_TRUE(lab::decode_jpeg(jpeg.data(), jpeg.size(), 1 << 24, decoded, error));
    return {decoded.width, decoded.height, decoded.pixels};
}

// What butteraugli_main prints for two pictures: the max norm to 10 decimals, then the 3-norm.
std::string tool_says(const scratch_dir& dir, const photo& reference, const photo& distorted) {
    // Written as PPM and turned into a PNG by ImageMagick without its gAMA and cHRM chunks, which
    // libjxl would honour over sRGB: a plain PNG, which butteraugli_main takes as sRGB, as our
    // samples are.
    const std::string pictures[2] = {dir.file("a.ppm", reference.ppm()),
                                     dir.file("b.ppm", distorted.ppm())};
    for (const std::string& ppm : pictures) {
        const child_result png =
            run_shell("convert '" + ppm + "' -define png:exclude-chunks=all '" + ppm + ".png'");
        EXPECT_EQ(png.exit_status, 0);
    }
    return run_shell("butteraugli_main '" + pictures[0] + ".png' '" + pictures[1] +
                     ".png' 2>/dev/null")
        .output;
}

std::string printed_as_the_tool_does(const lab::distortion& figures) {
    return lab::decimals(figures.butteraugli, 10) +
           "\n3-norm: " + lab::decimals(figures.butteraugli_3norm, 6) + "\n";
}

constexpr lab::metric_set butteraugli_pair = lab::metric_bit(lab::metric_id::butteraugli) |
                                             lab::metric_bit(lab::metric_id::butteraugli_3norm);

lab::distortion butteraugli_of(const photo& a, const photo& b, unsigned threads) {
    lab::distortion figures;
    std::string error;
    EXPECT_TRUE(lab::add_metrics(a.view(), b.view(), butteraugli_pair, threads, figures, error))
        << error;
    return figures;
}

TEST(lab_butteraugli, prints_butteraugli_mains_digits_on_photographs) {
    if (run_shell("command -v butteraugli_main && command -v convert").exit_status != 0)
        GTEST_SKIP() << "butteraugli_main (libjxl-devtools) or convert (imagemagick) is missing";
    const std::string backgrounds = "/usr/share/backgrounds/mate/nature/";
    struct pair_case {
        std::string source, geometry;
        int quality;
    };
    // Odd sizes, a picture of 8 x 8 (the smallest libjxl measures) and a thin one.
    std::vector<pair_case> cases = {
        {"dune-403x251.kvrn", "201x117+100+60", 30}, {"default.kvrn", "173x129+420+300", 60},
        {"test-chart.kvrn", "65x43+200+150", 20},    {"dune-403x251.kvrn", "8x8+40+40", 10},
        {"default.kvrn", "9x31+500+400", 40},
    };
    for (const char* name : {"LadyBird.jpg", "Aqua.jpg"}) {
        if (std::FILE* f = std::fopen((backgrounds + name).c_str(), "rb")) {
            (void)std::fclose(f);
            cases.push_back({backgrounds + name, "95x67+800+500", 15});
        }
    }
    scratch_dir dir;
    for (const pair_case& c : cases) {
        SCOPED_TRACE(c.source + " " + c.geometry + ", JPEG quality " + std::to_string(c.quality));
        const photo a = crop(c.source, c.geometry);
        const photo b = through_jpeg(a, c.quality);
        const lab::distortion forward = butteraugli_of(a, b, 1);
        EXPECT_EQ(printed_as_the_tool_does(forward), tool_says(dir, a, b));
        // The distance is not symmetric: the arguments' order is the tool's.
        const lab::distortion backward = butteraugli_of(b, a, 2);
        EXPECT_EQ(printed_as_the_tool_does(backward), tool_says(dir, b, a));
        EXPECT_NE(forward.butteraugli, backward.butteraugli);
        // The same figures on any number of threads.
        const lab::distortion threaded = butteraugli_of(a, b, 5);
        EXPECT_EQ(threaded.butteraugli, forward.butteraugli);
        EXPECT_EQ(threaded.butteraugli_3norm, forward.butteraugli_3norm);
    }
}

// Pictures whose sides reach or miss the smallest each metric measures: a figure, or NaN, never a
// failure; and a metric not asked for stays NaN.
TEST(lab_more_metrics, too_small_a_picture_gives_nan_and_only_the_metrics_asked_for_are_given) {
    const photo big = crop("dune-403x251.kvrn", "403x251+0+0");
    const photo changed = through_jpeg(big, 50);
    struct size_case {
        std::int32_t width, height;
        bool ms_ssim, butteraugli;
    };
    for (const size_case& s : std::vector<size_case>{{161, 161, true, true},
                                                     {160, 251, false, true},
                                                     {403, 160, false, true},
                                                     {8, 8, false, true},
                                                     {7, 100, false, false},
                                                     {100, 7, false, false},
                                                     {1, 1, false, false}}) {
        SCOPED_TRACE(std::to_string(s.width) + " x " + std::to_string(s.height));
        const auto cut = [&](const photo& p) {
            photo part{s.width, s.height, {}};
            for (std::int32_t y = 0; y < s.height; ++y) {
                const auto* row = p.pixels.data() + pixel_offset(p.width, y, 0);
                part.pixels.insert(part.pixels.end(), row, row + pixel_offset(s.width, 1, 0));
            }
            return part;
        };
        const photo a = cut(big);
        const photo b = cut(changed);
        for (const lab::metric_set wanted : {lab::all_metrics, lab::classic_metrics}) {
            lab::distortion figures = *lab::measure(a.view(), b.view(), 2);
            std::string error;
            ASSERT_TRUE(lab::add_metrics(a.view(), b.view(), wanted, 2, figures, error)) << error;
            const bool all = wanted == lab::all_metrics;
            EXPECT_EQ(std::isnan(figures.ms_ssim_y), !(all && s.ms_ssim));
            EXPECT_EQ(std::isnan(figures.butteraugli), !(all && s.butteraugli));
            EXPECT_EQ(std::isnan(figures.butteraugli_3norm), !(all && s.butteraugli));
            if (all && s.ms_ssim) {
                EXPECT_TRUE(figures.ms_ssim_y > 0.5 && figures.ms_ssim_y < 1);
            }
            if (all && s.butteraugli) {
                EXPECT_GT(figures.butteraugli, figures.butteraugli_3norm);
            }
        }
    }
}

TEST(lab_ms_ssim, is_one_for_equal_pictures_and_the_same_on_any_number_of_threads) {
    const photo a = crop("default.kvrn", "1023x767+1+1");
    const photo b = through_jpeg(a, 20);
    EXPECT_EQ(lab::ms_ssim_y(a.view(), a.view(), 3), 1.0);
    const double one = lab::ms_ssim_y(a.view(), b.view(), 1);
    EXPECT_GT(one, 0.9);
    EXPECT_LT(one, 1.0);
    // Bands of every height, splitting the windows of each scale in other places.
    for (const unsigned threads : {2U, 3U, 7U, 16U}) {
        EXPECT_EQ(lab::ms_ssim_y(a.view(), b.view(), threads), one) << threads << " threads";
    }
}

// Wholly unlike pictures: where the contrast-structure mean of a scale is negative, MS-SSIM is 0,
// not NaN (a fractional power of a negative number).
TEST(lab_ms_ssim, anticorrelated_detail_gives_zero) {
    photo a{200, 180, std::vector<std::uint8_t>(pixel_offset(200, 180, 0))};
    photo b = a;
    for (std::int32_t y = 0; y < a.height; ++y)
        for (std::int32_t x = 0; x < a.width; ++x)
            for (std::size_t c = 0; c < 3; ++c) {
                const bool light = (x + y) % 2 == 0;
                a.pixels[pixel_offset(a.width, y, x) + c] = light ? 200 : 40;
                b.pixels[pixel_offset(b.width, y, x) + c] = light ? 40 : 200;
            }
    EXPECT_EQ(lab::ms_ssim_y(a.view(), b.view(), 2), 0.0);
}

}  // namespace
}  // namespace kvrn::testing
