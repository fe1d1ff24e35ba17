// JPEG input: the eight EXIF orientations on a picture whose arrangement is written out by hand,
// and CMYK files. Every kind of file cjpeg makes is encode_test.cpp's, held to djpeg.
#include "cli/formats/jpeg.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "support/kvrn_tool.h"

namespace kvrn::testing {
namespace {

using cli::read_status;
using namespace std::string_literals;

// RGB, top row first.
struct picture {
    int width = 0;
    int height = 0;
    std::string rgb;
    bool operator==(const picture&) const = default;
};

struct decoded {
    read_status status;
    picture shown;  // nothing unless decoded
    std::string errors;
};

// read_jpeg on the file at `path`, called "p.jpg" in its messages.
decoded decode(const std::string& path) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    require(in != nullptr, "cannot open the JPEG file");
    cli::image image;
    read_status status{};
    std::string errors = capture(
        [&] {
            status = cli::read_jpeg(in, {"p.jpg", 1U << 28}, image);
        },
        STDERR_FILENO);
    (void)std::fclose(in);
    const std::string rows(reinterpret_cast<const char*>(image.pixels.get()),
                           3 * static_cast<std::size_t>(image.width * image.height));
    return {status, {image.width, image.height, upside_down(rows, image.width)}, std::move(errors)};
}

struct jpeg_test : ::testing::Test {
    // Makes `jpeg` from the picture with cjpeg `options`; true if it worked.
    bool cjpeg(const picture& p, const std::string& options, const std::string& jpeg) const {
        dir.file("in.ppm", ppm(p.width, p.height, p.rgb));
        return shell("cjpeg " + options + " -outfile " + jpeg + " in.ppm") == 0;
    }
    int shell(const std::string& command) const {
        return run_shell("cd '" + dir.path.string() + "' && " + command).exit_status;
    }
    std::string path(const std::string& name) const { return (dir.path / name).string(); }
    scratch_dir dir;
};

TEST_F(jpeg_test, the_exif_orientation_turns_the_picture_upright) {
    // Six flat colours, each far from the others, at quality 100 without subsampling.
    //   a b c
    //   d e f
    const std::string colours =
        "a\xFF\0\0b\0\xFF\0c\0\0\xFF"
        "d\xFF\xFF\0e\0\xFF\xFF"
        "f\xFF\0\xFF"s;
    picture stored{3, 2, {}};
    for (std::size_t i = 0; i < 6; ++i) stored.rgb += colours.substr(4 * i + 1, 3);
    ASSERT_TRUE(cjpeg(stored, "-quality 100 -sample 1x1", "plain.jpg"));
    const std::string plain = dir.read("plain.jpg");
    const picture base = decode(path("plain.jpg")).shown;
    ASSERT_EQ(base.width, 3);
    // The picture laid out as `rows` of letters, separated by '/'.
    const auto laid_out = [&](const std::string& rows) {
        picture p{static_cast<int>(rows.find('/')), 0, {}};
        for (const char letter : rows) {
            if (letter == '/') continue;
            const std::size_t i = colours.find(letter) / 4;
            p.rgb += base.rgb.substr(3 * i, 3);
        }
        p.height = static_cast<int>(p.rgb.size() / 3) / p.width;
        return p;
    };
    struct row {
        unsigned orientation;
        std::string rows;
        std::string message;
    };
    for (const row& r : std::vector<row>{
             {1, "abc/def", ""},
             {2, "cba/fed", "mirrored left to right"},
             {3, "fed/cba", "rotated 180 degrees"},
             {4, "def/abc", "mirrored top to bottom"},
             {5, "ad/be/cf",
              "transposed (rotated 90 degrees clockwise, then mirrored left to right)"},
             {6, "da/eb/fc", "rotated 90 degrees clockwise"},
             {7, "fc/eb/da",
              "transversed (rotated 90 degrees counterclockwise, then mirrored left to right)"},
             {8, "cf/be/ad", "rotated 90 degrees counterclockwise"},
         }) {
        SCOPED_TRACE(r.orientation);
        // Odd orientations in little-endian TIFF data.
        dir.file("o.jpg",
                 with_exif(plain, r.orientation, 8, std::string::npos, r.orientation % 2 != 0));
        const decoded got = decode(path("o.jpg"));
        EXPECT_EQ(got.status, read_status::ok);
        EXPECT_EQ(got.errors, r.message.empty()
                                  ? ""
                                  : "kvrn: p.jpg: warning: EXIF orientation " +
                                        std::to_string(r.orientation) + ": " + r.message + "\n");
        EXPECT_TRUE(got.shown == laid_out(r.rows));
    }
}

// CMYK (here YCCK) files as ImageMagick writes them, of two flat colours in whole blocks at
// quality 100: they come back as the colours they were made from, give or take one.
TEST_F(jpeg_test, cmyk_comes_out_as_the_rgb_it_was_made_from) {
    ASSERT_EQ(shell("convert -size 8x8 xc:'rgb(100,50,0)' -size 8x8 xc:'rgb(30,200,90)' +append "
                    "-colorspace CMYK -quality 100 cmyk.jpg"),
              0);
    const decoded got = decode(path("cmyk.jpg"));
    EXPECT_EQ(got.status, read_status::ok);
    EXPECT_EQ(got.errors, "");
    ASSERT_EQ(got.shown.width, 16);
    ASSERT_EQ(got.shown.height, 8);
    for (std::size_t i = 0; i < got.shown.rgb.size(); ++i) {
        const int x = static_cast<int>(i / 3 % 16);
        const int want = (x < 8 ? std::array{100, 50, 0} : std::array{30, 200, 90})[i % 3];
        EXPECT_NEAR(static_cast<std::uint8_t>(got.shown.rgb[i]), want, 1) << i;
    }
}

}  // namespace
}  // namespace kvrn::testing
