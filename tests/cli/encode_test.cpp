// kvrn encode: the pictures it reads, every form and every fault of each, encoded as the viewer's
// preview quantises; the step it picks.
#include <png.h>

#include <array>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "support/kvrn_tool.h"

namespace kvrn::testing {
namespace {

using namespace std::string_literals;

// An RGBA PNG file of one row of `samples`, 8 or 16 bits each (big-endian, as PNG stores them).
void write_rgba_png(const std::string& path, int depth, const std::string& samples) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    require(file != nullptr, "cannot create the PNG file");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    const auto width =
        static_cast<png_uint_32>(samples.size() / static_cast<std::size_t>(depth / 2));
    png_set_IHDR(png, info, width, 1, depth, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::string row = samples;
    png_write_row(png, reinterpret_cast<png_bytep>(row.data()));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    (void)std::fclose(file);
}

// 13 x 11, white but for a black 8 x 8 square in the bottom-left corner: the only whole block
// of the picture when rows count from the bottom, and uniform blocks survive step 1 exactly.
// The PNG the tool writes of it and a 16-bit grey PNG of it encode alike.
TEST_F(cli_test, round_trips_keep_the_bottom_row_first_pad_the_edges_and_read_grey_png) {
    std::string raster(13 * 11 * 3, '\xFF');
    for (int y = 3; y < 11; ++y) raster.replace(static_cast<std::size_t>(39 * y), 24, 24, '\0');
    const std::string source = ppm(13, 11, raster);
    dir.file("src.ppm", source);
    const std::string encoded = kvrn("encode --step 1 - - < src.ppm").output;
    // The first block is the black one: Y DC (-128 * 64) >> 3 = -1024 = 0xFC00.
    EXPECT_EQ(encoded.substr(14, 3), std::string("\x00\xFC\x7F", 3));
    // A file is read a band of rows at a time, a pipe whole: the same stream.
    EXPECT_EQ(run_shell("cd '" + dir.path.string() +
                        "' && cat src.ppm | '" KVRN_TOOL "' encode --step 1 - -")
                  .output,
              encoded);
    dir.file("a.kvrn", encoded);
    EXPECT_EQ(kvrn("decode - - < a.kvrn").output, source);
    ASSERT_EQ(kvrn("decode a.kvrn d.ppm").exit_status, 0);  // written band by band
    EXPECT_EQ(dir.read("d.ppm"), source);
    ASSERT_EQ(kvrn("decode a.kvrn d.png").exit_status, 0);
    ASSERT_EQ(kvrn("encode --step 1 d.png b.kvrn").exit_status, 0);
    EXPECT_EQ(dir.read("b.kvrn"), encoded);

    // A 16-bit grey PNG (its samples here in native byte order), and an 8-bit grey one with
    // alpha, all black, the white made of transparent black over white; the next test has
    // colours with alpha.
    std::string grey;
    std::string grey_alpha;
    for (std::size_t i = 0; i < raster.size(); i += 3) {
        grey += raster[i] == 0 ? "\0\0"s : "\xFF\xFF";
        grey_alpha += {'\0', raster[i] == 0 ? '\xFF' : '\0'};
    }
    png_image png{nullptr, PNG_IMAGE_VERSION, 13, 11, PNG_FORMAT_LINEAR_Y, 0, 2, 0, {}};
    ASSERT_TRUE(png_image_write_to_file(&png, dir.file("grey.png", std::nullopt).c_str(), 0,
                                        grey.data(), 0, nullptr));
    png_image with_alpha{nullptr, PNG_IMAGE_VERSION, 13, 11, PNG_FORMAT_GA, 0, 2, 0, {}};
    ASSERT_TRUE(png_image_write_to_file(&with_alpha, dir.file("ga.png", std::nullopt).c_str(), 0,
                                        grey_alpha.data(), 0, nullptr));
    for (const std::string name : {"grey.png", "ga.png"}) {
        EXPECT_EQ(kvrn("encode --step 1 " + name + " -").output, encoded) << name;
    }
}

// What people see: half-transparent red over white is 255,127,127. At 8 bits, out = round((v a +
// 255 (255 - a)) / 255): red (255 * 128 + 255 * 127) / 255 = 255, green and blue 255 * 127 / 255
// = 127; black at alpha 64 is 255 * 191 / 255 = 191. At 16 bits, alpha 32768 leaves
// round(65535 * 32767 / 65535) = 32767, and (32767 * 255 + 32767) / 65535 = 127.99 gives 127;
// black at 16384: 49151, then (49151 * 255 + 32767) / 65535 = 191.75 gives 191. Every form of
// these pixels, and every JPEG against djpeg's PPM of it, encodes to the same bytes.
TEST_F(cli_test, every_form_encodes_as_the_8_bit_ppm_of_what_people_see) {
    const std::string seen = ppm(4, 1, "\xFF\x7F\x7F\xFF\xFF\xFF\x0A\x14\x1E\xBF\xBF\xBF");
    dir.file("seen.ppm", seen);
    ASSERT_EQ(kvrn("encode --step 1 seen.ppm seen.kvrn").exit_status, 0);
    const std::string want = dir.read("seen.kvrn");
    const std::string rgba8(
        "\xFF\0\0\x80"
        "\0\0\xFF\0"
        "\x0A\x14\x1E\xFF"
        "\0\0\0\x40",
        16);
    std::string rgba16;  // the same, 16 bits: colours times 257, alpha as worked out above
    for (const unsigned v : {65535U, 0U, 0U, 32768U, 0U, 0U, 65535U, 0U, 2570U, 5140U, 7710U,
                             65535U, 0U, 0U, 0U, 16384U})
        rgba16 += {static_cast<char>(v >> 8), static_cast<char>(v)};
    write_rgba_png(dir.file("a8.png", std::nullopt), 8, rgba8);
    write_rgba_png(dir.file("a16.jpg", std::nullopt), 16, rgba16);  // known by content
    dir.file("a8.pam",
             "P7\nWIDTH 4\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n" + rgba8);
    dir.file("a16.pam",
             "P7\nWIDTH 4\nHEIGHT 1\nDEPTH 4\nMAXVAL 65535\nTUPLTYPE RGB_ALPHA\nENDHDR\n" + rgba16);
    std::string wide;  // seen.ppm at 16 bits: each sample v * 257
    for (const char v : seen.substr(seen.size() - 12)) wide += std::string(2, v);
    dir.file("wide.ppm", "P6\n4 1\n65535\n" + wide);
    for (const std::string name : {"a8.png", "a16.jpg", "a8.pam", "a16.pam", "wide.ppm"}) {
        EXPECT_EQ(kvrn("encode --step 1 " + name + " - 2>/dev/null").output, want) << name;
        EXPECT_EQ(kvrn("encode --step 1 - - < " + name + " 2>/dev/null").output, want) << name;
    }

    // Every kind of JPEG file cjpeg makes, and one cut short (status 2).
    dir.file("in.ppm", ramps_and_noise());
    for (const auto& [options, cut] : std::vector<std::pair<std::string, std::string>>{
             {"", ""},
             {"-progressive", ""},
             {"-optimize", ""},
             {"-restart 1", ""},
             {"-sample 1x1", ""},
             {"-sample 2x1", ""},
             {"-sample 2x2", ""},
             {"-grayscale", ""},
             {"-progressive -sample 2x1 -restart 2 -quality 40", ""},
             {"-sample 2x1 -restart 1", " && truncate -s -150 p.jpg"}}) {
        SCOPED_TRACE(options + cut);
        ASSERT_EQ(run_shell("cd '" + dir.path.string() + "' && cjpeg " + options +
                            " -outfile p.jpg in.ppm" + cut)
                      .exit_status,
                  0);
        const child_result direct = kvrn("encode p.jpg - 2>/dev/null");
        EXPECT_EQ(direct.output,
                  run_shell("cd '" + dir.path.string() +
                            "' && djpeg p.jpg 2>/dev/null | '" KVRN_TOOL "' encode - -")
                      .output);
        EXPECT_EQ(direct.exit_status, cut.empty() ? 0 : 2);
        EXPECT_NE(direct.output.size(), 0U);
    }
}

// --step auto picks for each channel the smallest scale at which the encoder clips no AC
// coefficient: the encoder's own count of clipped values, on the chosen scales and on each one
// less, holds it to that. A checkerboard (all in Y) and ramps with noise and partial edge blocks.
TEST_F(cli_test, step_auto_is_the_smallest_step_that_clips_nothing) {
    dir.file("checker.ppm", checker_ppm());
    dir.file("ramps.ppm", ramps_and_noise());
    for (const std::string name : {"checker.ppm", "ramps.ppm"}) {
        SCOPED_TRACE(name);
        const child_result chosen = kvrn("encode --step auto " + name + " auto.kvrn 2>&1");
        ASSERT_EQ(chosen.exit_status, 0);
        ASSERT_EQ(chosen.output, "");
        const std::string header = dir.read("auto.kvrn").substr(0, 14);
        std::array<int, 3> scales{};
        for (std::size_t c = 0; c < 3; ++c) {
            scales[c] = static_cast<unsigned char>(header[8 + 2 * c]) |
                        static_cast<unsigned char>(header[9 + 2 * c]) << 8;
        }
        EXPECT_GT(scales[0], 1);  // both pictures clip in Y at step 1
        const auto clips = [&](const std::array<int, 3>& steps) {
            const std::string list = std::to_string(steps[0]) + "," + std::to_string(steps[1]) +
                                     "," + std::to_string(steps[2]);
            const child_result run = kvrn("encode --scales " + list + " " + name + " x.kvrn 2>&1");
            EXPECT_EQ(run.exit_status, 0);
            return run.output.find("were clipped") != std::string::npos;
        };
        EXPECT_FALSE(clips(scales));
        for (std::size_t c = 0; c < 3; ++c) {
            if (scales[c] == 1) continue;
            std::array<int, 3> less = scales;
            --less[c];
            EXPECT_TRUE(clips(less)) << "channel " << c;
        }
    }
}

}  // namespace

std::vector<tool_row> encode_cases() {
    const std::string ppm_in = "kvrn encode in.ppm out.kvrn";
    const std::string png_in = "kvrn encode in.png out.kvrn";
    const std::string jpeg_in = "kvrn encode in.jpg out.kvrn";
    const std::string pam_in = "kvrn encode in.pam out.kvrn";
    const std::string jpeg = made_from_ppm("cjpeg -outfile out.jpg in.ppm");
    const std::string progressive = made_from_ppm("cjpeg -progressive -outfile out.jpg in.ppm");
    const std::size_t sof = jpeg.find("\xFF\xC0");
    const std::size_t sos = jpeg.find("\xFF\xDA");
    std::string huge = jpeg;  // 60000 x 60000 (0xEA60) in the frame header
    huge.replace(sof + 5, 4, "\xEA\x60\xEA\x60");
    std::string bad_table = jpeg;  // 16 x 255 codes, far more than the 256 a table can have
    bad_table.replace(jpeg.find("\xFF\xC4") + 5, 16, std::string(16, '\xFF'));
    std::string stray = jpeg;  // a restart marker in the middle of the entropy-coded data
    stray.replace(sos + 40, 2, "\xFF\xD3");
    // The last scan of a progressive file again and again: libjpeg only warns of each.
    const std::size_t last_scan = progressive.rfind("\xFF\xDA");
    std::string many_scans = progressive.substr(0, progressive.size() - 2);
    for (int i = 0; i < 600; ++i)
        many_scans += progressive.substr(last_scan, progressive.size() - 2 - last_scan);
    const std::string cut_jpeg = jpeg.substr(0, (sos + jpeg.size()) / 2);
    const std::string early =
        "the JPEG data ends early (Premature end of JPEG file); decoded from what is there";
    const std::string pam = "P7\nWIDTH 2\nHEIGHT 1\n";
    const std::string rgba = pam + "DEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    const std::string bad_pam = "in.pam: malformed PAM header: ";
    const std::string no_directory =
        "in.jpg: warning: the EXIF data has no readable first directory; no orientation applied";
    const std::string bomb =
        "20000 x 20000 is 400000000 pixels, more than the limit of 268435456 "
        "(--max-pixels)";
    const std::string reads =
        "unknown picture type: kvrn reads JPEG, PNG and netpbm (PBM, PGM, "
        "PPM, PAM) pictures";
    return {
        {"kvrn encode in.txt out.kvrn", small_ppm, 0, ""},  // pictures are known by content
        {"kvrn encode in.ppm out.kvrn", jpeg, 0, ""},
        {jpeg_in, png, 0, ""},
        {"kvrn encode in.txt out.kvrn", "hello", 1, "kvrn: in.txt: " + reads},
        {"kvrn encode in.txt out.kvrn", "", 1, "kvrn: in.txt: " + reads},
        {"cat in.txt | kvrn encode - out.kvrn", "P", 1, "kvrn: -: " + reads},
        {"kvrn encode in.ppm out.txt", small_ppm, 0,
         "kvrn: out.txt: warning: the name does not end in .kvrn; writing a KVRN file anyway"},
        {"kvrn encode --step 1 in.ppm out.kvrn", checker_ppm(), 0,
         "AC coefficients did not fit in -127..126 and were clipped; larger steps (or --step auto) "
         "avoid that"},
        // Netpbm: each form is read, and what is wrong with one is said.
        {ppm_in, "P5\n1 1\n255\nabc", 0, ""},
        {ppm_in, "P6\n1 1\n65535\nabcdef", 0, ""},
        {ppm_in, "P6\n1 1\n", 1, "in.ppm: malformed PPM header"},
        {ppm_in, "P6\n2 ", 1, "in.ppm: malformed PPM header"},
        {ppm_in, "P5\n2 1\n25", 1, "in.ppm: malformed PGM header"},
        {ppm_in, "P4\n8 1x", 1, "in.ppm: malformed PBM header"},
        {ppm_in, "P6\n99999999999 1\n255\n", 1, "in.ppm: malformed PPM header"},
        {ppm_in, "P6\n2 1\n0\n", 1, "in.ppm: PPM maxval 0 is not in 1 to 65535"},
        {ppm_in, "P2\n2 1\n65536\n0 0", 1, "in.ppm: PGM maxval 65536 is not in 1 to 65535"},
        {ppm_in, "P2\n2 1\n10\n5 11\n", 1, "in.ppm: PGM sample 11 is above the maxval 10"},
        {ppm_in, "P3\n1 1\n255\n0 256 0", 1, "in.ppm: PPM sample 256 is above the maxval 255"},
        {ppm_in, "P1\n3 1\n012", 1, "in.ppm: malformed plain PBM data"},
        {ppm_in, "P3\n1 1\n255\n0 x 0", 1, "in.ppm: malformed plain PPM data"},
        {ppm_in, small_ppm.substr(0, 20), 1, "in.ppm: the picture data ends after 1 of 2 rows"},
        {"cat in.ppm | kvrn encode - out.kvrn", small_ppm.substr(0, 20), 1,
         "-: the picture data ends after 1 of 2 rows"},
        {ppm_in, "P4\n9 2\n\1\2\3", 1, "in.ppm: the picture data ends after 1 of 2 rows"},
        {ppm_in, "P3\n1 2\n255\n1 2 3\n4 #c", 1, "the picture data ends after 1 of 2 rows"},
        {ppm_in, "P6\n70000 1\n255\n", 1, "is 70000 x 1; a KVRN picture is 1 to 65535 pixels"},
        {ppm_in, "P5\n0 1\n255\n", 1, "the picture is 0 x 1; a KVRN picture is 1 to 65535"},
        {ppm_in, "P6\n20000 20000\n255\n", 1, "kvrn: in.ppm: " + bomb},
        {pam_in, rgba + "abcdefgh", 0, "", true},
        {"kvrn encode --max-pixels 1 in.pam out.kvrn", rgba + "abcdefgh", 1,
         "in.pam: 2 x 1 is 2 pixels, more than the limit of 1 (--max-pixels)"},
        {"kvrn encode --max-pixels 2 in.pam out.kvrn", rgba + "abcdefgh", 0, ""},
        {pam_in, "P7 332\n", 1, bad_pam + "P7 is not alone on the first line"},
        {pam_in, pam + "DEPTH 3\nMAXVAL 255\n", 1, bad_pam + "the file ends before ENDHDR"},
        {pam_in, pam + "MAXVAL 255\nTUPLTYPE RGB\nENDHDR\n", 1, bad_pam + "no DEPTH line"},
        {pam_in, pam + "DEPTH 3\nMAXVAL 255\nENDHDR\n", 1, bad_pam + "no TUPLTYPE line"},
        {pam_in, pam + "DEPTH 1\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n", 1,
         bad_pam + "DEPTH 1 does not match TUPLTYPE RGB"},
        {pam_in, pam + "DEPTH 1\nMAXVAL 255\nTUPLTYPE BLACKANDWHITE\nENDHDR\n", 1,
         bad_pam + "TUPLTYPE BLACKANDWHITE needs MAXVAL 1, not 255"},
        {pam_in, pam + "DEPTH 3\nMAXVAL 0\nTUPLTYPE RGB\nENDHDR\n", 1,
         "in.pam: PAM maxval 0 is not in 1 to 65535"},
        {pam_in, pam + "WIDTH 2\n", 1, bad_pam + "two WIDTH lines"},
        {pam_in, pam + "DEPTH 3x\n", 1, bad_pam + "DEPTH is not a number"},
        {pam_in, pam + "TUPLTYPE CMYK\n", 1,
         bad_pam + "the TUPLTYPE is not BLACKANDWHITE, GRAYSCALE or RGB, with or without _ALPHA"},
        {pam_in, pam + "COLOURS 3\n", 1,
         bad_pam + "a line that is not WIDTH, HEIGHT, DEPTH, MAXVAL, TUPLTYPE or ENDHDR"},
        {pam_in, rgba + "abc", 1, "in.pam: the picture data ends after 0 of 1 rows"},
        // JPEG: a file that ends early or is damaged is decoded as far as it goes.
        {jpeg_in, cut_jpeg, 2, "kvrn: in.jpg: warning: " + early},
        {"cat in.jpg | kvrn encode - out.kvrn", cut_jpeg, 2, "kvrn: -: warning: " + early},
        {jpeg_in, progressive.substr(0, progressive.size() * 2 / 3), 2, early},
        {jpeg_in, stray, 2,
         "in.jpg: warning: the JPEG data is damaged (Corrupt JPEG data: premature end of data "
         "segment); decoded from what is there"},
        {jpeg_in, jpeg.substr(0, sos), 1,
         "in.jpg: Invalid JPEG file structure: missing SOS marker"},
        {jpeg_in, jpeg.substr(0, 3), 1, "in.jpg: JPEG datastream contains no image"},
        {jpeg_in, bad_table, 1, "kvrn: in.jpg: Bogus Huffman table definition"},
        {jpeg_in, huge, 1,
         "kvrn: in.jpg: 60000 x 60000 is 3600000000 pixels, more than the limit of 268435456 "
         "(--max-pixels)"},
        {"kvrn encode --max-pixels 776 in.jpg out.kvrn", jpeg, 1,
         "in.jpg: 37 x 21 is 777 pixels, more than the limit of 776 (--max-pixels)"},
        {"kvrn encode --max-pixels 777 in.jpg out.kvrn", jpeg, 0, ""},
        {jpeg_in, many_scans, 1, "in.jpg: more than 500 scans in the JPEG data"},
        {jpeg_in, with_exif(jpeg, 6), 0,
         "kvrn: in.jpg: warning: EXIF orientation 6: rotated 90 degrees clockwise", true},
        {jpeg_in, with_exif(jpeg, 0), 0,
         "in.jpg: warning: EXIF orientation 0 is not one of 1 to 8; ignored"},
        {jpeg_in, with_exif(jpeg, 9), 0,
         "in.jpg: warning: EXIF orientation 9 is not one of 1 to 8; ignored"},
        {jpeg_in, with_exif(jpeg, 6, 0x1000), 0, no_directory},
        {jpeg_in, with_exif(jpeg, 6, 0xFFFFFFF8), 0, no_directory},
        {jpeg_in, with_exif(jpeg, 6, 8, 20), 0, no_directory},  // cut inside the entry
        {ppm_in, small_ppm, 0, "", true},
        {png_in, png, 0, "", true},
        // What is wrong with a PNG file, in words.
        {png_in, png.substr(0, 20), 1, "kvrn: in.png: the PNG data ends early\n", false, true},
        {png_in, png.substr(0, 50), 1, "kvrn: in.png: the PNG data ends early\n", true, true},
        {png_in, bad_checksum, 1, "kvrn: in.png: bad CRC in chunk IHDR\n", false, true},
        {png_in, png.substr(0, 60) + static_cast<char>(png[60] ^ 1) + png.substr(61), 1,
         "kvrn: in.png: bad CRC in chunk IDAT\n", false, true},
        // A bit flipped inside the deflate data (bytes 43 on, after the zlib header).
        {png_in, png.substr(0, 46) + static_cast<char>(png[46] ^ 0x40) + png.substr(47), 1,
         "kvrn: in.png: the compressed PNG image data is damaged (invalid distance too far "
         "back)\n",
         false, true},
        // A text chunk claiming 400 MB is skipped, not allocated.
        {png_in, png.substr(0, 33) + std::string("\x18\x70\x00\x25tEXtabc", 11), 1,
         "in.png: the PNG data ends early"},
        {"kvrn encode --max-pixels 3 in.png out.kvrn", png, 1,
         "in.png: 2 x 2 is 4 pixels, more than the limit of 3 (--max-pixels)"},
    };
}

}  // namespace kvrn::testing
