// JPEG input: the pixels of every kind of file cjpeg makes held to djpeg's, the eight EXIF
// orientations on a picture whose arrangement is written out by hand, and bad files, each with
// its exact message and result.
#include "cli/formats/jpeg.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "support/files.h"

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
decoded decode(const std::string& path, std::uint64_t max_pixels = 1U << 28) {
    const int sink = memory_file();
    (void)std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    require(dup2(sink, STDERR_FILENO) >= 0, "cannot redirect stderr");
    std::FILE* in = std::fopen(path.c_str(), "rb");
    require(in != nullptr, "cannot open the JPEG file");
    cli::image image;
    const read_status status = cli::read_jpeg(in, "p.jpg", max_pixels, image);
    (void)std::fclose(in);
    (void)dup2(saved, STDERR_FILENO);
    (void)close(saved);
    decoded result{status, {image.width, image.height, {}}, contents(sink)};
    (void)close(sink);
    const auto row = static_cast<std::size_t>(3 * image.width);
    for (int r = image.height - 1; r >= 0; --r) {
        result.shown.rgb.append(reinterpret_cast<const char*>(image.pixels.get()) + r * row, row);
    }
    return result;
}

// A binary PPM or PGM file as djpeg writes them, grey made RGB.
picture from_netpbm(const std::string& file) {
    std::istringstream in(file);
    std::string magic;
    picture p;
    int maxval = 0;
    in >> magic >> p.width >> p.height >> maxval;
    in.get();
    const std::string raster = file.substr(static_cast<std::size_t>(in.tellg()));
    if (magic == "P6") p.rgb = raster;
    for (const char grey : magic == "P5" ? raster : "") p.rgb += std::string(3, grey);
    return p;
}

std::string ppm(const picture& p) {
    return "P6\n" + std::to_string(p.width) + " " + std::to_string(p.height) + "\n255\n" + p.rgb;
}

// Smooth ramps with some noise, so that every coefficient and the upsampling matter.
picture test_picture(int width, int height) {
    picture p{width, height, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            p.rgb += static_cast<char>(x * 255 / width);
            p.rgb += static_cast<char>(y * 255 / height);
            p.rgb += static_cast<char>((x * 7 + y * 13) * (x + y) % 256);
        }
    }
    return p;
}

struct jpeg_test : ::testing::Test {
    // Makes `jpeg` from the picture with cjpeg `options`; true if it worked.
    bool cjpeg(const picture& p, const std::string& options, const std::string& jpeg) const {
        dir.file("in.ppm", ppm(p));
        return shell("cjpeg " + options + " -outfile " + jpeg + " in.ppm") == 0;
    }
    // djpeg's picture from `jpeg`.
    picture djpeg(const std::string& jpeg) const {
        (void)shell("rm -f djpeg.pnm && djpeg -outfile djpeg.pnm " + jpeg + " 2>/dev/null");
        return from_netpbm(dir.read("djpeg.pnm"));
    }
    int shell(const std::string& command) const {
        return run_shell("cd '" + dir.path.string() + "' && " + command).exit_status;
    }
    std::string path(const std::string& name) const { return (dir.path / name).string(); }
    scratch_dir dir;
};

TEST_F(jpeg_test, every_kind_of_jpeg_decodes_to_djpegs_pixels) {
    for (const std::string options :
         {"", "-progressive", "-optimize", "-restart 1", "-sample 1x1", "-sample 2x1",
          "-sample 2x2", "-grayscale", "-progressive -sample 2x1 -restart 2 -quality 40"}) {
        SCOPED_TRACE(options);
        ASSERT_TRUE(cjpeg(test_picture(37, 21), options, "p.jpg"));
        const decoded got = decode(path("p.jpg"));
        EXPECT_EQ(got.status, read_status::ok);
        EXPECT_EQ(got.errors, "");
        EXPECT_TRUE(got.shown == djpeg("p.jpg"));
    }
}

// Big- or little-endian numbers of TIFF data.
std::string u16(unsigned v, bool big) {
    return big ? std::string{char(v >> 8), char(v)} : std::string{char(v), char(v >> 8)};
}
std::string u32(unsigned v, bool big) {
    return big ? u16(v >> 16, big) + u16(v & 0xFFFF, big)
               : u16(v & 0xFFFF, big) + u16(v >> 16, big);
}

// EXIF data whose first IFD, at byte `ifd` of the TIFF data, claims `count` entries and holds
// one: the orientation `value` of TIFF type `type` (3 SHORT, 4 LONG).
std::string exif(bool big, unsigned value, unsigned ifd = 8, unsigned count = 1,
                 unsigned type = 3) {
    const std::string tiff = (big ? "MM" : "II") + u16(42, big) + u32(ifd, big) + u16(count, big) +
                             u16(0x0112, big) + u16(type, big) + u32(1, big) +
                             (type == 3 ? u16(value, big) + u16(0, big) : u32(value, big)) +
                             u32(0, big);
    return std::string("Exif\0\0", 6) + tiff;
}

// `jpeg` with an APP1 segment holding `data` right after its SOI marker.
std::string with_app1(const std::string& jpeg, const std::string& data) {
    return jpeg.substr(0, 2) + "\xFF\xE1" + u16(data.size() + 2, true) + data + jpeg.substr(2);
}

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
        dir.file("o.jpg", with_app1(plain, exif(r.orientation % 2 == 0, r.orientation)));
        const decoded got = decode(path("o.jpg"));
        EXPECT_EQ(got.status, read_status::ok);
        EXPECT_EQ(got.errors, r.message.empty()
                                  ? ""
                                  : "kvrn: p.jpg: EXIF orientation " +
                                        std::to_string(r.orientation) + ": " + r.message + "\n");
        EXPECT_TRUE(got.shown == laid_out(r.rows));
    }
}

// Only an entry that could not be read leaves the picture as stored; an orientation read whole
// from a directory whose entry count runs past the data is used.
TEST_F(jpeg_test, bad_exif_data_is_ignored_with_a_warning) {
    ASSERT_TRUE(cjpeg(test_picture(9, 5), "", "plain.jpg"));
    const std::string plain = dir.read("plain.jpg");
    const picture base = decode(path("plain.jpg")).shown;
    picture turned = base;  // upside down: the pixels in reverse order
    for (std::size_t i = 0; i < base.rgb.size(); i += 3)
        turned.rgb.replace(i, 3, base.rgb, base.rgb.size() - 3 - i, 3);
    const std::string ignored = "; ignored\n";
    const std::string unreadable =
        "the EXIF data has no readable first directory; no orientation "
        "applied\n";
    struct row {
        std::string data;
        std::string message;
        const picture& shown;
    };
    for (const row& r : std::vector<row>{
             {exif(true, 0), "EXIF orientation 0 is not one of 1 to 8" + ignored, base},
             {exif(false, 9), "EXIF orientation 9 is not one of 1 to 8" + ignored, base},
             {exif(true, 65535), "EXIF orientation 65535 is not one of 1 to 8" + ignored, base},
             {exif(true, 6, 8, 1, 4), "the EXIF orientation is not one short number" + ignored,
              base},
             {exif(true, 6, 0x1000), unreadable, base},        // the directory after the end
             {exif(false, 6, 0xFFFFFFF8), unreadable, base},   // ... or before the start
             {exif(true, 6).substr(0, 12), unreadable, base},  // cut inside the entry
             {"Exif\0\0"s, unreadable, base},
             {exif(false, 3, 8, 0x7FFF), "EXIF orientation 3: rotated 180 degrees\n", turned},
         }) {
        SCOPED_TRACE(r.message);
        dir.file("o.jpg", with_app1(plain, r.data));
        const decoded got = decode(path("o.jpg"));
        EXPECT_EQ(got.status, read_status::ok);
        EXPECT_EQ(got.errors, "kvrn: p.jpg: " + r.message);
        EXPECT_TRUE(got.shown == r.shown);
    }
}

// The offset of the first `marker` (0xFF and the marker's code) in `jpeg`, from `from` on.
std::size_t find_marker(const std::string& jpeg, unsigned marker, std::size_t from = 0) {
    return jpeg.find(std::string{'\xFF', static_cast<char>(marker)}, from);
}

TEST_F(jpeg_test, bad_files_are_refused_or_decoded_as_far_as_they_go) {
    ASSERT_TRUE(cjpeg(test_picture(37, 21), "", "good.jpg"));
    ASSERT_TRUE(cjpeg(test_picture(37, 21), "-progressive", "progressive.jpg"));
    const std::string good = dir.read("good.jpg");
    const std::string progressive = dir.read("progressive.jpg");
    const std::size_t sof = find_marker(good, 0xC0);
    const std::size_t dht = find_marker(good, 0xC4);
    const std::size_t sos = find_marker(good, 0xDA);
    const std::string early = "the JPEG data ends early (Premature end of JPEG file); ";
    const std::string from_there = "decoded from what is there\n";
    std::string huge = good;  // height and width 60000 (0xEA60)
    huge.replace(sof + 5, 4, "\xEA\x60\xEA\x60");
    std::string bad_table = good;  // 16 x 255 codes, far more than the 256 a table can have
    bad_table.replace(dht + 5, 16, std::string(16, '\xFF'));
    std::string stray = good;  // a restart marker in the middle of the entropy-coded data
    stray.replace(sos + 40, 2, "\xFF\xD3");
    // The last scan of a progressive file again and again: libjpeg only warns of each.
    const std::size_t last_scan = progressive.rfind("\xFF\xDA");
    std::string many_scans = progressive.substr(0, progressive.size() - 2);
    for (int i = 0; i < 600; ++i)
        many_scans += progressive.substr(last_scan, progressive.size() - 2 - last_scan);
    many_scans += "\xFF\xD9";

    struct row {
        std::string what;
        std::string file;
        read_status status;
        std::string message;
        std::uint64_t max_pixels = 1U << 28;
    };
    for (const row& r : std::vector<row>{
             {"cut short", good.substr(0, (sos + good.size()) / 2), read_status::damaged,
              early + from_there},
             {"cut before the scan", good.substr(0, sos), read_status::failed,
              "Invalid JPEG file structure: missing SOS marker\n"},
             {"progressive cut short", progressive.substr(0, progressive.size() * 2 / 3),
              read_status::damaged, early + from_there},
             {"stray marker", stray, read_status::damaged,
              "the JPEG data is damaged (Corrupt JPEG data: premature end of data segment); " +
                  from_there},
             {"bad Huffman table", bad_table, read_status::failed,
              "Bogus Huffman table definition\n"},
             {"60000 x 60000", huge, read_status::failed,
              "60000 x 60000 is 3600000000 pixels, more than the limit of 268435456 "
              "(--max-pixels)\n"},
             {"one pixel over the limit", good, read_status::failed,
              "37 x 21 is 777 pixels, more than the limit of 776 (--max-pixels)\n", 776},
             {"at the limit", good, read_status::ok, "", 777},
             {"600 scans", many_scans, read_status::failed,
              "more than 500 scans in the JPEG data\n"},
             {"a PPM file", ppm(test_picture(2, 2)), read_status::failed,
              "Not a JPEG file: starts with 0x50 0x36\n"},
             {"empty", "", read_status::failed, "Empty input file\n"},
         }) {
        SCOPED_TRACE(r.what);
        dir.file("bad.jpg", r.file);
        const decoded got = decode(path("bad.jpg"), r.max_pixels);
        EXPECT_EQ(got.status, r.status);
        EXPECT_EQ(got.errors, r.message.empty() ? "" : "kvrn: p.jpg: " + r.message);
        if (r.status == read_status::failed) {
            EXPECT_EQ(got.shown, picture{});
        } else {
            EXPECT_TRUE(got.shown == djpeg("bad.jpg"));
        }
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
