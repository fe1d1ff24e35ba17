// The kvrn tool end to end, the real binary on files in a scratch directory: exact round trips,
// the encoder and the viewer's preview held to each other, and a catalogue of hostile input and
// every other way to fail, each case with the exact message, exit status and files it must leave,
// with every command once under valgrind. The viewer's answers to hostile files are the loader
// tests' and the window tests' business.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>
#include <tuple>

#include "codec/block_coding.h"
#include "codec/block_path.h"
#include "codec/kvrn_file.h"
#include "codec/reencode.h"
#include "support/files.h"

namespace kvrn::testing {
namespace {

namespace fs = std::filesystem;

// A binary PPM file in the form the tool writes; `raster` is RGB, top row first.
std::string ppm(int width, int height, const std::string& raster) {
    return "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n" + raster;
}

// The raster of a PPM file in the viewer's order: the bottom row first.
std::string bottom_up(const std::string& ppm_file, int width, int height) {
    const auto row = static_cast<std::size_t>(3 * width);
    std::string buffer;
    for (std::size_t r = 1; r <= static_cast<std::size_t>(height); ++r)
        buffer += ppm_file.substr(ppm_file.size() - r * row, row);
    return buffer;
}

// A KVRN file decoded as the viewer loads it, every channel on.
struct loaded_picture final : load_observer {
    explicit loaded_picture(const std::string& path) {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        require(file != nullptr, "cannot open the KVRN file");
        const load_status status = load_kvrn(file, *this).status;
        (void)std::fclose(file);
        require(status == load_status::loaded, "cannot load the KVRN file");
    }
    void header_read(const kvrn_header& header) override {
        width = header.width;
        height = header.height;
    }
    std::uint8_t* picture_buffer(std::size_t bytes) override {
        pixels.assign(bytes, 0);
        return pixels.data();
    }
    void missing_block(channel /*which*/, std::int32_t /*counter*/, std::int32_t /*column*/,
                       std::int32_t /*row*/) override {}
    picture_view view() const { return {pixels.data(), width, height}; }

    std::vector<std::uint8_t> pixels;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// The viewer's preview of a picture: what it draws, clamped as OpenGL clamps it, over white, and
// the coded blocks it writes to an attached stream.
struct preview_sink {
    void coded(const ycc_blocks& coefficients, int /*r0*/, int /*c0*/) {
        for (const coef_block* block : {&coefficients.y, &coefficients.cr, &coefficients.cb}) {
            std::array<std::uint8_t, put_block_room> bytes{};
            std::int64_t clipped = 0;
            written.append(bytes.begin(), bytes.begin() + put_block(*block, bytes.data(), clipped));
        }
    }
    void shown(const rgb_blocks& rgb, int r0, int c0) {
        store_block(rgb, reinterpret_cast<std::uint8_t*>(drawn.data()), width, height, r0, c0);
    }
    preview_sink(int w, int h)
        : width(w), height(h), drawn(3 * static_cast<std::size_t>(w * h), '\xFF') {}
    int width;
    int height;
    std::string drawn;
    std::string written;
};

struct cli_test : ::testing::Test {
    // The tool's status and standard output, run in the scratch directory through the shell.
    child_result kvrn(const std::string& arguments) const {
        return run_shell("cd '" + dir.path.string() + "' && '" KVRN_TOOL "' " + arguments);
    }
    scratch_dir dir;
};

// The source is a KVRN file, s.kvrn, which the viewer loads here; s.ppm is its decoded picture.
// Steps 4 and 5 leave every AC coefficient of these pictures within a byte, so the encoder clips
// nothing.
TEST_F(cli_test, encode_writes_what_the_preview_writes_and_decode_shows_what_it_shows) {
    for (const auto& [width, height, step, channels] :
         std::vector<std::tuple<int, int, int, std::string>>{{32, 24, 5, "yrb"},
                                                             {21, 13, 4, "yb"}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + " " + channels);
        std::string noise(3 * static_cast<std::size_t>(width * height), '\0');  // detail everywhere
        for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>(i * i % 251);
        dir.file("p.ppm", ppm(width, height, noise));
        const std::string n = std::to_string(step);
        for (const std::string& command : std::vector<std::string>{
                 "encode --step 1 p.ppm s.kvrn", "decode s.kvrn s.ppm",
                 "encode --step " + n + " s.ppm e.kvrn", "decode e.kvrn e.ppm",
                 "preview --step " + n + " --channels " + channels + " s.kvrn v.ppm"}) {
            ASSERT_EQ(kvrn(command).exit_status, 0) << command;
        }
        const loaded_picture source(dir.file("s.kvrn", std::nullopt));
        channel_enables enables;
        enables.use_cr = channels.find('r') != std::string::npos;  // y and b are in every case
        preview_sink preview(width, height);
        reencode_blocks(source.view(), {uniform_steps(step), enables, block_coverage::whole_blocks},
                        preview);
        const std::string& shown = preview.drawn;
        const std::string& written = preview.written;

        const std::string previewed = bottom_up(dir.read("v.ppm"), width, height);
        EXPECT_EQ(previewed, shown);
        if (width % 8 != 0 || height % 8 != 0) continue;
        EXPECT_EQ(dir.read("e.kvrn").substr(14), written);
        EXPECT_EQ(bottom_up(dir.read("e.ppm"), width, height), previewed);
    }
}

// Every command that spreads block rows over threads writes the same bytes and says the same
// things for any number of threads: on a picture with partial edge blocks and more block rows than
// threads, and on its stream cut inside a block row, between rows and inside the header's
// neighbourhood.
TEST_F(cli_test, the_number_of_threads_changes_nothing_written) {
    const int width = 61, height = 203;  // 26 block rows, the last 3 pixels high; 8 columns
    std::string noise(3 * static_cast<std::size_t>(width * height), '\0');
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>(i * i % 253);
    dir.file("p.ppm", ppm(width, height, noise));
    ASSERT_EQ(kvrn("encode --step 3 --threads 1 p.ppm s.kvrn").exit_status, 0);
    const std::string stream = dir.read("s.kvrn");
    for (const std::size_t kept :
         {stream.size(), stream.size() - 1, stream.size() / 2, std::size_t{15}}) {
        SCOPED_TRACE(kept);
        dir.file("cut.kvrn", stream.substr(0, kept));
        std::optional<std::string> first;
        for (const char* threads : {"1", "2", "3", "7"}) {
            const std::string t = std::string(" --threads ") + threads + " ";
            std::string all;
            for (const std::string& command :
                 {"encode" + t + "p.ppm e.kvrn", "decode" + t + "cut.kvrn d.ppm",
                  "decode" + t + "cut.kvrn d.png", "decode" + t + "cut.kvrn -",
                  "preview --step 5" + t + "cut.kvrn v.ppm"}) {
                const child_result run = kvrn(command + " 2>&1");
                all += std::to_string(run.exit_status) + run.output;
            }
            for (const char* file : {"e.kvrn", "d.ppm", "d.png", "v.ppm"}) all += dir.read(file);
            if (!first) first = all;
            EXPECT_TRUE(all == *first) << "--threads " << threads;
        }
    }
}

// A 10 x 9 file written out byte by byte, decoded to pixels worked by hand. Dequantised DC-only
// blocks are flat: sample (D + 4) >> 3 + 128. Then R = Y + (cr * 359 >> 8), G = Y - (cr * 183 >> 8)
// - (cb * 11 >> 5), B = Y + (cb * 227 >> 7) with cr = Cr - 128, cb = Cb - 128, clamped to 0..255.
//   position 0 (rows 0-7, columns 0-7): Y DC 5 * 16 and F(1, 0) = 9 * 16 at zig-zag 2, the
//     samples 163, 159, 152, 143, 133, 124, 117, 113 down rows 0 to 7 (the idct tests derive
//     them); Cr 20 * 2: 133, cr 5, +7 red, -3 green; Cb -6 * 4: 125, cb -3, +2 green, -6 blue.
//   position 1 (columns 8-9): Y 6 * 16: 140; Cr 0: 128; Cb 250 * 4: 253, cb 125, -42 green,
//     +221 blue: (140, 98, 361 -> 255).
//   position 2 (row 8): Y 0: 128; Cr -50 * 2: 116, cr -12, -17 red, +9 green: (111, 137, 128).
//   position 3 (row 8, columns 8-9): Y -30 * 16: 68; Cr -200 * 2: 78, cr -50, -71 red, +36
//     green; Cb -8 * 4: 124, cb -4, +2 green, -8 blue: (-3 -> 0, 106, 60).
// Row 0 is the bottom row: the PPM starts with row 8.
TEST_F(cli_test, decode_gives_the_pixels_worked_by_hand_bottom_row_last) {
    const std::string file(
        "NRVK\x0A\0\x09\0\x10\0\x02\0\x04\0"      // 10 x 9, scales 16, 2, 4
        "\x05\0\0\x09\x7F\x14\0\x7F\xFA\xFF\x7F"  // position 0: Y, Cr, Cb
        "\x06\0\x7F\0\0\x7F\xFA\0\x7F"            // position 1
        "\0\0\x7F\xCE\xFF\x7F\0\0\x7F"            // position 2
        "\xE2\xFF\x7F\x38\xFF\x7F\xF8\xFF\x7F",   // position 3
        14 + 11 + 9 + 9 + 9);
    dir.file("a.kvrn", file);
    using rgb = std::array<int, 3>;
    const rgb left[8] = {{170, 162, 157}, {166, 158, 153}, {159, 151, 146}, {150, 142, 137},
                         {140, 132, 127}, {131, 123, 118}, {124, 116, 111}, {120, 112, 107}};
    std::string raster;
    for (int row = 8; row >= 0; --row) {
        for (int column = 0; column < 10; ++column) {
            const rgb c = row == 8 ? (column < 8 ? rgb{111, 137, 128} : rgb{0, 106, 60})
                                   : (column < 8 ? left[row] : rgb{140, 98, 255});
            for (const int v : c) raster += static_cast<char>(v);
        }
    }
    ASSERT_EQ(kvrn("decode a.kvrn d.ppm").exit_status, 0);
    EXPECT_EQ(dir.read("d.ppm"), ppm(10, 9, raster));
}

// 13 x 11, white but for a black 8 x 8 square in the bottom-left corner: the only whole block
// of the picture when rows count from the bottom, and uniform blocks survive step 1 exactly.
// The PNG the tool writes of it and each PNG form the tool converts encode alike.
TEST_F(cli_test, round_trips_keep_the_bottom_row_first_pad_the_edges_and_read_every_png_form) {
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

    // Transparent pixels are composed onto white; 16-bit samples are in native byte order. Other
    // forms differ only inside libpng.
    for (const auto& [name, format, black, white] :
         std::vector<std::tuple<std::string, png_uint_32, std::string, std::string>>{
             {"rgba", PNG_FORMAT_RGBA, {"\0\0\0\xFF", 4}, {"\x9\x9\x9\0", 4}},
             {"grey_16", PNG_FORMAT_LINEAR_Y, {"\0\0", 2}, "\xFF\xFF"}}) {
        std::string pixels;
        for (std::size_t i = 0; i < raster.size(); i += 3) pixels += raster[i] == 0 ? black : white;
        png_image png{nullptr, PNG_IMAGE_VERSION, 13, 11, format, 0, 2, 0, {}};
        const std::string file = dir.file(name + ".png", std::nullopt);
        ASSERT_TRUE(png_image_write_to_file(&png, file.c_str(), 0, pixels.data(), 0, nullptr));
        ASSERT_EQ(kvrn("encode --step 1 " + name + ".png e.kvrn").exit_status, 0) << name;
        EXPECT_EQ(dir.read("e.kvrn"), encoded) << name;
    }
}

// A 37 x 21 PPM file of ramps and noise.
std::string ramps_and_noise() {
    std::string raster;
    for (int i = 0; i < 37 * 21; ++i) {
        raster += {static_cast<char>(i % 37 * 7), static_cast<char>(i / 37 * 12),
                   static_cast<char>(i * i % 251)};
    }
    return ppm(37, 21, raster);
}

// A file made by `command` (cjpeg, say) from in.ppm, ramps_and_noise(), in a scratch directory;
// the command writes out.jpg.
std::string made_from_ppm(const std::string& command) {
    const scratch_dir dir;
    dir.file("in.ppm", ramps_and_noise());
    require(run_shell("cd '" + dir.path.string() + "' && " + command).exit_status == 0,
            "cannot make the JPEG file");
    return dir.read("out.jpg");
}

std::string big_endian(unsigned value, int bytes) {
    std::string text;
    for (int i = bytes - 1; i >= 0; --i) text += static_cast<char>(value >> (8 * i));
    return text;
}

// `jpeg` with an APP1 segment of EXIF data right after its SOI marker: big-endian TIFF data whose
// first directory, at `directory`, holds the orientation `value`; only the first `kept` bytes.
std::string with_exif(const std::string& jpeg, unsigned value, unsigned directory = 8,
                      std::size_t kept = std::string::npos) {
    const std::string exif = std::string("Exif\0\0MM\0\x2a", 10) + big_endian(directory, 4) +
                             big_endian(1, 2) + big_endian(0x0112, 2) + big_endian(3, 2) +
                             big_endian(1, 4) + big_endian(value, 2) + big_endian(0, 2) +
                             big_endian(0, 4);
    const std::string data = exif.substr(0, kept);
    return jpeg.substr(0, 2) + "\xFF\xE1" + big_endian(data.size() + 2, 2) + data + jpeg.substr(2);
}

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
    // The 16-bit PPM round trip is the 8-bit one.
    EXPECT_EQ(kvrn("encode wide.ppm - | '" KVRN_TOOL "' decode - -").output,
              kvrn("encode seen.ppm - | '" KVRN_TOOL "' decode - -").output);

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
    std::string checker;
    for (int i = 0; i < 64; ++i) checker.append(3, (i + i / 8) % 2 != 0 ? '\xFF' : '\0');
    dir.file("checker.ppm", ppm(8, 8, checker));
    dir.file("ramps.ppm", ramps_and_noise());
    for (const std::string name : {"checker.ppm", "ramps.ppm"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(kvrn("encode --step auto " + name + " auto.kvrn 2>&1").output, "");
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

const kvrn_header h8{kvrn_magic, 8, 8, 1, 1, 1};
// 16 x 9 (2 x 2 positions) of full-length blocks: every AC byte `ac`, the DC alternating between
// dc and -1 - dc.
std::string extreme(std::uint16_t ys, std::uint16_t cs, std::uint16_t bs, std::int32_t dc, int ac) {
    std::string file = kvrn_file({kvrn_magic, 16, 9, ys, cs, bs});
    for (std::int32_t n = 0, d = dc; n < 12; ++n, d = -1 - d)
        file += std::string{static_cast<char>(d), static_cast<char>(d >> 8)} +
                std::string(63, static_cast<char>(ac));
    return file;
}

const std::string trailing = kvrn_file(h8, {{5}, {-3}, {7}}) + "garbage";
// Two positions: the first whole, the second cut one byte into its Y block's DC.
const std::string cut_in_dc = kvrn_file({kvrn_magic, 16, 8, 1, 1, 1}, {{}, {}, {}}) + '\0';
const std::string cut_in_ac = kvrn_file(h8) + std::string("\x05\0\x01\x02", 4);
const std::string cut_before_eob = kvrn_file(h8, {{5}, {-3}}) + std::string("\x07\0\x01", 3);
const std::string wide = kvrn_file({kvrn_magic, 65535, 1, 1, 1, 1});
const std::string small_ppm = ppm(2, 2, std::string(12, '\x40'));
// 2 x 2 RGB: the IHDR checksum at 29..32, the IDAT data at 41..58, IEND from 63.
const std::string png(
    "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x02\0\0\0\x02\x08\x02\0\0\0\xfd\xd4\x9a\x73\0\0\0\x12"
    "IDAT\x78\xda\x63\x38\xc1\xc5\xc5\x75\x82\x8b\x01\x42\x01\x00\x19\x9a\x03\x71\xd9\xd7\x36\x86"
    "\0\0\0\0IEND\xae\x42\x60\x82",
    75);
const std::string bad_checksum = png.substr(0, 30) + '\0' + png.substr(31);

// A busy pattern, for pictures with partial blocks at every edge; row 0 the top row.
std::string pattern_ppm(int width, int height) {
    std::string raster;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                raster += static_cast<char>(
                    ((x * x + 2 * y * y + x * y) / 8 + 40 * c + (5 * x + 3 * y + 7 * c) % 13 * 3) %
                    256);
    return ppm(width, height, raster);
}

// A shell command run in a scratch directory holding a read-only directory ro/ and a directory
// dir.ppm/, with kvrn on the PATH. The word "in.*" in it names the file that gets `input` (none
// when nullopt). Standard output and error together must hold `message`. Exit 0 or 2 must add
// the command's last word to the directory when it starts with "out", anything else nothing at
// all, no temporary either.
struct tool_row {
    std::string command;
    std::optional<std::string> input;
    int status;
    std::string message;
    bool valgrind = false;  // also one of the runs under valgrind
    bool exact = false;     // the output is `message` and nothing else; always so for status 64
};

void check_tool(const tool_row& row, const std::string& wrapper = "") {
    SCOPED_TRACE(row.command + " on " + row.input.value_or("nothing").substr(0, 40));
    const scratch_dir dir;
    fs::create_directories(dir.path / "dir.ppm");
    fs::create_directory(dir.path / "ro");
    fs::permissions(dir.path / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    const std::size_t in = row.command.find(" in.");
    dir.file(row.command.substr(in + 1, row.command.find(' ', in + 1) - in - 1), row.input);
    const auto entries = [&dir] {
        return std::set<fs::path>(fs::directory_iterator(dir.path), {});
    };
    std::set<fs::path> want = entries();
    const std::string last = row.command.substr(row.command.rfind(' ') + 1);
    if ((row.status == 0 || row.status == 2) && last.starts_with("out"))
        want.insert(dir.path / last);
    const child_result got = run_shell("cd " + dir.path.string() + " && exec 2>&1 && PATH=" +
                                       fs::path(KVRN_TOOL).parent_path().string() + ":$PATH && " +
                                       wrapper + row.command);
    EXPECT_EQ(got.exit_status, row.status) << got.output;
    if (row.exact || row.status == 64) {
        EXPECT_EQ(got.output, row.message);
    } else {
        EXPECT_NE(got.output.find(row.message), std::string::npos) << got.output;
    }
    EXPECT_EQ(entries(), want);
}

// Every case with what kvrn must make of it. A KVRN file goes to kvrn info, decode and preview.
std::vector<tool_row> hostile_inputs() {
    const std::string no_space = "trap '' XFSZ; ulimit -f 1; ";  // writes fail with EFBIG
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
    const std::string bomb =
        "20000 x 20000 is 400000000 pixels, more than the limit of 268435456 "
        "(--max-pixels)";
    const std::string reads =
        "unknown picture type: kvrn reads JPEG, PNG and netpbm (PBM, PGM, "
        "PPM, PAM) pictures";
    std::string checker;  // each AC coefficient far beyond a byte
    for (int i = 0; i < 64; ++i) checker.append(3, (i + i / 8) % 2 != 0 ? '\xFF' : '\0');
    const std::string try_encode = "Try 'kvrn encode --help'.\n";
    const std::string try_preview = "Try 'kvrn preview --help'.\n";
    std::vector<tool_row> all = {
        {"kvrn --help", std::nullopt, 0, "Usage: kvrn COMMAND"},
        {"kvrn --version", std::nullopt, 0, "kvrn 0."},
        {"kvrn -V", std::nullopt, 0, "kvrn 0."},
        {"kvrn encode --help", std::nullopt, 0, "Usage: kvrn encode"},
        {"kvrn --help encode", std::nullopt, 0, "Usage: kvrn encode"},
        {"kvrn help preview", std::nullopt, 0, "Usage: kvrn preview"},
        {"kvrn info -h", std::nullopt, 0, "--json"},
        {"kvrn --help", std::nullopt, 0, "-q, --quiet"},
        {"kvrn decode --help", std::nullopt, 0, "--max-pixels N"},  // the common options too
        // A usage mistake: one line saying what is wrong, where the help is, status 64, nothing
        // else. Each command checks its own options and operands; the order of the checks stays: a
        // value as it comes, then the options together, the count of operands, the names.
        {"kvrn", std::nullopt, 64, "kvrn: no command given\nTry 'kvrn --help'.\n"},
        {"kvrn frobnicate in.kvrn", std::nullopt, 64,
         "kvrn: frobnicate: unknown command\nTry 'kvrn --help'.\n", true},
        {"kvrn --bogus", std::nullopt, 64,
         "kvrn: --bogus: unknown option; a command comes first\nTry 'kvrn --help'.\n"},
        {"kvrn encode --step 0 in.ppm out.kvrn", small_ppm, 64,
         "kvrn: --step: bad value '0': a whole number from 1 to 65535, or auto\n" + try_encode},
        {"kvrn encode -s 70000 in.ppm out.kvrn", small_ppm, 64,
         "kvrn: --step: bad value '70000': a whole number from 1 to 65535, or auto\n" + try_encode},
        {"kvrn encode -sx in.ppm out.kvrn", small_ppm, 64,
         "kvrn: --step: bad value 'x': a whole number from 1 to 65535, or auto\n" + try_encode},
        {"kvrn encode in.ppm out.kvrn --step", small_ppm, 64,
         "kvrn: --step: needs a value: a whole number from 1 to 65535, or auto\n" + try_encode},
        {"kvrn encode --scales 1,2 in.ppm out.kvrn", small_ppm, 64,
         "kvrn: --scales: bad value '1,2': three of 1 to 65535 or auto, separated by commas\n" +
             try_encode},
        {"kvrn encode --scales 1,2,3,4 in.ppm out.kvrn", small_ppm, 64,
         "kvrn: --scales: bad value '1,2,3,4': three of 1 to 65535 or auto, separated by commas\n" +
             try_encode},
        {"kvrn encode --scales 1,0,3 in.ppm out.kvrn", small_ppm, 64,
         "kvrn: --scales: bad value '1,0,3': three of 1 to 65535 or auto, separated by commas\n" +
             try_encode},
        {"kvrn encode --step 2 --scales 1,2,3 in.ppm out.kvrn", small_ppm, 64,
         "kvrn: encode: give --step or --scales, not both\n" + try_encode},
        {"kvrn encode --step 0 --bogus in.ppm out.kvrn", small_ppm, 64,
         "kvrn: --step: bad value '0': a whole number from 1 to 65535, or auto\n" + try_encode},
        {"kvrn encode --bogus in.ppm out.kvrn", small_ppm, 64,
         "kvrn: encode: unknown option --bogus\n" + try_encode},
        {"kvrn encode in.ppm", small_ppm, 64,
         "kvrn: encode: takes 2 file names (IN OUT), not 1\n" + try_encode},
        {"kvrn encode --threads 0 in.ppm out.kvrn", small_ppm, 64,
         "kvrn: --threads: bad value '0': a whole number from 1 to 1024\n" + try_encode},
        {"kvrn encode --threads=1025 in.ppm out.kvrn", small_ppm, 64,
         "kvrn: --threads: bad value '1025': a whole number from 1 to 1024\n" + try_encode},
        {"kvrn encode --max-pixels 0 in.ppm out.kvrn", small_ppm, 64,
         "kvrn: --max-pixels: bad value '0': a whole number of at least 1\n" + try_encode},
        {"kvrn info --max-pixels=12x in.kvrn", trailing, 64,
         "kvrn: --max-pixels: bad value '12x': a whole number of at least 1\nTry 'kvrn info "
         "--help'.\n"},
        {"kvrn info --json=1 in.kvrn", trailing, 64,
         "kvrn: --json: takes no value\nTry 'kvrn info --help'.\n"},
        {"kvrn info", std::nullopt, 64,
         "kvrn: info: takes at least 1 file name (FILE...), not 0\nTry 'kvrn info --help'.\n"},
        {"kvrn info --step 2 in.kvrn", trailing, 64,
         "kvrn: info: unknown option --step\nTry 'kvrn info --help'.\n"},
        {"kvrn preview --channels '' in.kvrn out.ppm", trailing, 64,
         "kvrn: --channels: bad value '': one or more of the letters y, r and b\n" + try_preview},
        {"kvrn preview --channels yx in.kvrn out.ppm", trailing, 64,
         "kvrn: --channels: bad value 'yx': one or more of the letters y, r and b\n" + try_preview},
        {"kvrn preview -s 0 in.kvrn out.ppm", trailing, 64,
         "kvrn: --step: bad value '0': a whole number from 1 to 2147483647\n" + try_preview},
        {"kvrn preview --step 2147483648 in.kvrn out.ppm", trailing, 64,
         "kvrn: --step: bad value '2147483648': a whole number from 1 to 2147483647\n" +
             try_preview},
        {"kvrn decode in.kvrn out.jpg", trailing, 64,
         "kvrn: out.jpg: unknown picture type: the name must end in .ppm or .png, or be -\nTry "
         "'kvrn decode --help'.\n"},
        {"kvrn decode in.kvrn a.ppm b.ppm", trailing, 64,
         "kvrn: decode: takes 1 to 2 file names (FILE [OUT]), not 3\nTry 'kvrn decode --help'.\n"},
        {"kvrn decode --step 2 in.kvrn out.ppm", trailing, 64,
         "kvrn: decode: unknown option --step\nTry 'kvrn decode --help'.\n"},
        // Standard output a terminal: no picture or KVRN stream is written to it.
        {"script -qec 'kvrn decode in.kvrn' /dev/null", trailing, 64,
         "kvrn: decode: will not write to a terminal: name an output file, or redirect standard "
         "output\r\nTry 'kvrn decode --help'.\r\n"},
        {"script -qec 'kvrn preview in.kvrn -' /dev/null", trailing, 64,
         "kvrn: preview: will not write to a terminal: name an output file, or redirect standard "
         "output\r\nTry 'kvrn preview --help'.\r\n"},
        {"script -qec 'kvrn encode in.ppm -' /dev/null", small_ppm, 64,
         "kvrn: encode: will not write to a terminal: name an output file, or redirect standard "
         "output\r\nTry 'kvrn encode --help'.\r\n"},
        // Left out, OUT is standard output.
        {"kvrn decode in.kvrn | head -c 11", trailing, 0, "P6\n8 8\n255\n"},
        {"kvrn preview in.kvrn | head -c 11", trailing, 0, "P6\n8 8\n255\n"},
        // Errors always, warnings unless -q, notes only with -v.
        {"kvrn encode -q --step 1 in.ppm out.kvrn", ppm(8, 8, checker), 0, "", false, true},
        {"kvrn -q encode --step 1 in.ppm out.kvrn", ppm(8, 8, checker), 0, "", false, true},
        {"kvrn encode --step auto in.ppm out.kvrn", ppm(8, 8, checker), 0, "", false, true},
        {"kvrn -q decode in.kvrn out.ppm", std::nullopt, 1,
         "kvrn: in.kvrn: cannot open: No such file or directory\n", false, true},
        {"kvrn decode -q in.kvrn out.ppm", cut_in_dc, 2, "", false, true},
        {"kvrn info --quiet in.kvrn >/dev/null", cut_in_dc, 2, "", false, true},
        {"kvrn encode --quiet in.jpg out.kvrn", cut_jpeg, 2, "", false, true},
        {"kvrn encode -q in.jpg out.kvrn", with_exif(jpeg, 6), 0, "", false, true},
        {"kvrn preview --step 12 in.kvrn out.ppm", trailing, 0, "", false, true},
        {"kvrn encode -v --threads 1 --step 4 in.ppm out.kvrn", small_ppm, 0,
         // One position of three blocks, each its DC and an end-of-block byte: 14 + 9 bytes, 184
         // bits over 4 pixels.
         "kvrn: out.kvrn: 2 x 2 pixels, scales Y 4, Cr 4, Cb 4\nkvrn: out.kvrn: 23 bytes, 46.000 "
         "bits per pixel; 1 thread, "},
        {"kvrn encode -v --scales auto,5,auto in.ppm out.kvrn", small_ppm, 0,
         "kvrn: out.kvrn: 2 x 2 pixels, scales Y 1, Cr 5, Cb 1 (auto: the smallest that clip no AC "
         "coefficient)\n"},
        {"kvrn decode --verbose --threads 2 in.kvrn out.ppm", trailing, 0,
         "kvrn: out.ppm: 8 x 8 pixels; 2 threads, "},
        {"kvrn preview -v --threads 1 in.kvrn out.ppm", trailing, 0,
         "kvrn: out.ppm: 8 x 8 pixels; 1 thread, "},
        // Several files: one block each, a blank line between; the status of the worst.
        {"kvrn info in.kvrn in.kvrn", trailing, 0,
         "trailing:     7 bytes\n\nfile:         in.kvrn\n"},
        {"kvrn info in.kvrn nosuch.kvrn", trailing, 1, "nosuch.kvrn: cannot open"},
        {"kvrn info in.kvrn nosuch.kvrn", cut_in_dc, 1, "nosuch.kvrn: cannot open"},
        {"kvrn info nosuch.kvrn in.kvrn", cut_in_dc, 1, "complete:     no"},
        {"kvrn info in.kvrn in.kvrn", cut_in_dc, 2, "complete:     no"},
        {"kvrn info --json in.kvrn nosuch.kvrn", trailing, 1,
         "{\"file\": \"in.kvrn\", \"width\": 8, \"height\": 8, \"scales\": {\"y\": 1, \"cr\": 1, "
         "\"cb\": 1}, \"positions\": 1, \"block_columns\": 1, \"block_rows\": 1, \"bytes_needed\": "
         "9, \"bytes_held\": 9, \"complete\": true, \"trailing\": 7}\nkvrn: nosuch.kvrn: cannot "
         "open: No such file or directory\n{\"file\": \"nosuch.kvrn\", \"readable\": false}\n",
         false, true},
        {"kvrn info --json in.kvrn", cut_in_dc, 2,
         "\"bytes_needed\": 18, \"bytes_held\": 10, \"complete\": false, \"ends_in\": \"the Y "
         "block of position 1 (block column 1, row 0)\", \"trailing\": 0}\n"},
        {"kvrn encode in.txt out.kvrn", small_ppm, 0, ""},  // pictures are known by content
        {"kvrn encode in.ppm out.kvrn", jpeg, 0, ""},
        {jpeg_in, png, 0, ""},
        {"kvrn encode in.txt out.kvrn", "hello", 1, "kvrn: in.txt: " + reads},
        {"kvrn encode in.txt out.kvrn", "", 1, "kvrn: in.txt: " + reads},
        {"cat in.txt | kvrn encode - out.kvrn", "P", 1, "kvrn: -: " + reads},
        {"kvrn encode in.ppm out.txt", small_ppm, 0,
         "kvrn: out.txt: warning: the name does not end in .kvrn; writing a KVRN file anyway"},
        {"kvrn encode --step 1 in.ppm out.kvrn", ppm(8, 8, checker), 0,
         "AC coefficients did not fit in -127..126 and were clipped; larger steps (or --step auto) "
         "avoid that"},
        {"kvrn preview -v --step 2147483647 in.kvrn out.png", extreme(0, 65535, 0, -32768, 126), 0,
         "kvrn: in.kvrn: preview at step 2147483647: PSNR"},
        {"kvrn decode in.kvrn missing/out.ppm", trailing, 1,
         "kvrn: missing/out.ppm: cannot create: No such file or directory"},
        {"kvrn preview in.kvrn ro/out.png", trailing, 1, "Permission denied", true},
        {"kvrn decode in.kvrn - >/dev/full", trailing, 1, "-: write error on standard output"},
        {no_space + "kvrn decode in.kvrn out.ppm", wide, 1, "out.ppm: write error: File too large"},
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
        {pam_in, "P7 332\n", 1, "in.pam: malformed PAM header: P7 is not alone on the first line"},
        {pam_in, pam + "DEPTH 3\nMAXVAL 255\n", 1,
         "in.pam: malformed PAM header: the file ends before ENDHDR"},
        {pam_in, pam + "MAXVAL 255\nTUPLTYPE RGB\nENDHDR\n", 1,
         "in.pam: malformed PAM header: no DEPTH line"},
        {pam_in, pam + "DEPTH 3\nMAXVAL 255\nENDHDR\n", 1,
         "in.pam: malformed PAM header: no TUPLTYPE line"},
        {pam_in, pam + "DEPTH 1\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n", 1,
         "in.pam: malformed PAM header: DEPTH 1 does not match TUPLTYPE RGB"},
        {pam_in, pam + "DEPTH 1\nMAXVAL 255\nTUPLTYPE BLACKANDWHITE\nENDHDR\n", 1,
         "in.pam: malformed PAM header: TUPLTYPE BLACKANDWHITE needs MAXVAL 1, not 255"},
        {pam_in, pam + "DEPTH 3\nMAXVAL 0\nTUPLTYPE RGB\nENDHDR\n", 1,
         "in.pam: PAM maxval 0 is not in 1 to 65535"},
        {pam_in, pam + "WIDTH 2\n", 1, "in.pam: malformed PAM header: two WIDTH lines"},
        {pam_in, pam + "DEPTH 3x\n", 1, "in.pam: malformed PAM header: DEPTH is not a number"},
        {pam_in, pam + "TUPLTYPE CMYK\n", 1,
         "in.pam: malformed PAM header: the TUPLTYPE is not BLACKANDWHITE, GRAYSCALE or RGB, "
         "with or without _ALPHA"},
        {pam_in, pam + "COLOURS 3\n", 1,
         "in.pam: malformed PAM header: a line that is not WIDTH, HEIGHT, DEPTH, MAXVAL, TUPLTYPE "
         "or ENDHDR"},
        {pam_in, rgba + "abc", 1, "in.pam: the picture data ends after 0 of 1 rows"},
        // JPEG: a file that ends early or is damaged is decoded as far as it goes.
        {jpeg_in, cut_jpeg, 2, "kvrn: in.jpg: warning: " + early},
        {"cat in.jpg | kvrn encode - out.kvrn", cut_jpeg, 2, "kvrn: -: warning: " + early},
        {jpeg_in, progressive.substr(0, progressive.size() * 2 / 3), 2, early},
        {jpeg_in, stray, 2,
         "in.jpg: warning: the JPEG data is damaged (Corrupt JPEG data: premature end of data "
         "segment); "
         "decoded from what is there"},
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
        {jpeg_in, with_exif(jpeg, 6, 0x1000), 0,
         "in.jpg: warning: the EXIF data has no readable first directory; no orientation applied"},
        {jpeg_in, with_exif(jpeg, 6, 0xFFFFFFF8), 0,
         "in.jpg: warning: the EXIF data has no readable first directory; no orientation applied"},
        {jpeg_in, with_exif(jpeg, 6, 8, 20), 0,  // cut inside the entry
         "in.jpg: warning: the EXIF data has no readable first directory; no orientation applied"},
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
        {"kvrn encode in.ppm ro/out.kvrn", small_ppm, 1,
         "kvrn: ro/out.kvrn: cannot create: Permission denied"},
        {"kvrn encode in.ppm dir.ppm", small_ppm, 1, "kvrn: dir.ppm: is a directory"},
        {"kvrn encode in.ppm in.ppm", small_ppm, 1, "kvrn: in.ppm: is also the input", true},
        {no_space + ppm_in, "P6\n512 64\n255\n" + std::string(98304, 'A'), 1,
         "out.kvrn: write error: File too large"},
    };
    if (KVRN_LAB) {
        const std::string bomb = kvrn_file({kvrn_magic, 65535, 65535, 1, 1, 1});
        const std::string limit =
            "65535 x 65535 is 4294836225 pixels, more than the limit of 268435456 (--max-pixels)";
        const std::string quick = "kvrn sweep --steps 8 --qualities 50 in.ppm ";
        all.insert(
            all.end(),
            {
                {"kvrn sweep --steps 0 in.ppm", small_ppm, 64,
                 "kvrn: --steps: bad value '0': whole numbers from 1 to 65535, separated by "
                 "commas\nTry 'kvrn sweep --help'.\n"},
                {"kvrn sweep --steps 70000 in.ppm", small_ppm, 64,
                 "kvrn: --steps: bad value '70000': whole numbers from 1 to 65535, separated by "
                 "commas\nTry 'kvrn sweep --help'.\n"},
                {"kvrn sweep --steps= in.ppm", small_ppm, 64,
                 "kvrn: --steps: bad value '': whole numbers from 1 to 65535, separated by "
                 "commas\nTry 'kvrn sweep --help'.\n"},
                {"kvrn sweep --steps 1,,2 in.ppm", small_ppm, 64,
                 "kvrn: --steps: bad value '1,,2': whole numbers from 1 to 65535, separated by "
                 "commas\nTry 'kvrn sweep --help'.\n"},
                {"kvrn sweep --steps 1,2, in.ppm", small_ppm, 64,
                 "kvrn: --steps: bad value '1,2,': whole numbers from 1 to 65535, separated by "
                 "commas\nTry 'kvrn sweep --help'.\n"},
                {"kvrn sweep --qualities 0 in.ppm", small_ppm, 64,
                 "kvrn: --qualities: bad value '0': whole numbers from 1 to 100, separated by "
                 "commas\nTry 'kvrn sweep --help'.\n"},
                {"kvrn sweep --qualities 50,101 in.ppm", small_ppm, 64,
                 "kvrn: --qualities: bad value '50,101': whole numbers from 1 to 100, separated by "
                 "commas\nTry 'kvrn sweep --help'.\n"},
                {"kvrn sweep --plot out.jpg in.ppm", small_ppm, 64,
                 "kvrn: out.jpg: unknown plot type: name it .png or .svg\nTry 'kvrn sweep "
                 "--help'.\n"},
                {"kvrn sweep in.ppm in.ppm", small_ppm, 64,
                 "kvrn: sweep: takes 1 file name (PICTURE), not 2\nTry 'kvrn sweep --help'.\n"},
                {quick + "--csv out.csv", small_ppm, 0, "", true},
                {quick + "--plot out.svg", small_ppm, 0, "jpeg420,50,", true},
                {quick + "--plot out.png", small_ppm, 0, "kvrn+zstd,8,"},
                {quick + "--csv ro/out.csv", small_ppm, 1,
                 "ro/out.csv: cannot create: Permission denied"},
                {quick + "--plot ro/out.png", small_ppm, 1,
                 "ro/out.png: cannot create: Permission denied"},
                {quick + "--max-pixels 3", small_ppm, 1,
                 "in.ppm: 2 x 2 is 4 pixels, more than the limit of 3 (--max-pixels)"},
                {"kvrn sweep in.kvrn", bomb, 1, "in.kvrn: " + limit, true},
                {"kvrn sweep --steps 8 in.kvrn", cut_in_ac, 2, "in the Y block of position 0"},
                {"kvrn sweep --max-pixels 3 in.png", png, 1,
                 "in.png: 2 x 2 is 4 pixels, more than the limit of 3 (--max-pixels)"},
                {"kvrn sweep in.txt", small_ppm, 0, "kvrn,1,"},  // pictures are known by content
                {"kvrn sweep in.txt", "hello", 1, "in.txt: unknown picture type"},
                {"kvrn diff in.ppm in.ppm", small_ppm, 0,
                 "psnr_rgb inf  psnr_y inf  ssim_y nan  max_error 0", true},
                {"kvrn diff --gain 255 in.ppm in.ppm out.png", small_ppm, 0, "max_error 0", true},
                {"kvrn diff --gain 0 in.ppm in.ppm", small_ppm, 64,
                 "kvrn: --gain: bad value '0': a whole number from 1 to 255\nTry 'kvrn diff "
                 "--help'.\n"},
                {"kvrn diff --gain 256 in.ppm in.ppm", small_ppm, 64,
                 "kvrn: --gain: bad value '256': a whole number from 1 to 255\nTry 'kvrn diff "
                 "--help'.\n"},
                {"kvrn diff in.ppm in.ppm out.jpg", small_ppm, 64,
                 "kvrn: out.jpg: an error map is a PNG picture: name it .png\nTry 'kvrn diff "
                 "--help'.\n"},
                {"kvrn diff in.ppm", small_ppm, 64,
                 "kvrn: diff: takes 2 to 3 file names (A B [MAP]), not 1\nTry 'kvrn diff "
                 "--help'.\n"},
                {"printf 'P6 1 1 255 abc' | kvrn diff in.ppm - out.png", small_ppm, 1,
                 "kvrn: diff: in.ppm is 2 x 2 pixels and - 1 x 1: only pictures of one size "
                 "compare"},
                {"kvrn diff in.ppm missing.ppm out.png", small_ppm, 1,
                 "missing.ppm: cannot open: No such file or directory"},
                {"kvrn diff in.kvrn in.kvrn ro/out.png", trailing, 1, "ro/out.png: cannot create"},
                {"kvrn diff in.kvrn in.kvrn", bomb, 1, limit},
                {"kvrn diff --max-pixels 63 in.kvrn in.kvrn", trailing, 1, "8 x 8 is 64 pixels"},
                {"kvrn blocks in.kvrn out.png", trailing, 0,
                 "Y bytes:      3\nCr bytes:     3\nCb bytes:     3\n", true},
                {"kvrn blocks in.kvrn out.png", extreme(1, 1, 1, 0, 1), 0, "Y bytes:      260\n"},
                {"kvrn blocks in.kvrn out.png", cut_before_eob, 2,
                 "Cb bytes:     3\nkvrn: in.kvrn: warning: the block stream ends early, in the Cb "
                 "block"},
                {"kvrn blocks in.kvrn out.ppm", trailing, 64,
                 "kvrn: out.ppm: a block map is a PNG picture: name it .png\n"
                 "Try 'kvrn blocks --help'.\n"},
                {"kvrn blocks in.kvrn out.png", bomb, 1, limit},
                {"kvrn blocks in.kvrn out.png", kvrn_file({0x04030201, 8, 8, 1, 1, 1}), 1,
                 "not a KVRN file: magic number 0x04030201"},
                {"kvrn blocks in.kvrn out.png", kvrn_file({kvrn_magic, 0, 8, 1, 1, 1}), 1,
                 "is 0 x 8: it has no pixels"},
                {no_space + "kvrn encode --step 64 in.ppm - 2>/dev/null | kvrn decode - - | "
                            "kvrn diff in.ppm - out.png",
                 pattern_ppm(61, 45), 1, "out.png: cannot write the PNG picture"},
            });
    }
    // kvrn info's status and message, then those of decode and preview.
    const auto each_command = [&all](const std::optional<std::string>& input, int info_status,
                                     const std::string& info_message, int status,
                                     const std::string& message, bool valgrind = false,
                                     const std::string& file = "in.kvrn") {
        all.push_back({"kvrn info " + file, input, info_status, info_message, valgrind});
        all.push_back({"kvrn decode " + file + " out.ppm", input, status, message, valgrind});
        all.push_back({"kvrn preview " + file + " out.png", input, status, message, valgrind});
    };
    const auto refused = [&each_command](const std::optional<std::string>& input,
                                         const std::string& why, bool valgrind = false,
                                         const std::string& file = "in.kvrn") {
        each_command(input, 1, file + ": " + why, 1, file + ": " + why, valgrind, file);
    };
    refused(std::nullopt, "cannot open: No such file or directory");
    refused(std::nullopt, "cannot read: Is a directory", false, "ro");
    for (std::size_t n = 0; n < 14; ++n)
        refused(kvrn_file(h8).substr(0, n), "too short for a KVRN header: " + std::to_string(n));
    refused(kvrn_file({0x4e52564b, 8, 8, 1, 1, 1}), "not a KVRN file: magic number 0x4e52564b",
            true);
    refused(kvrn_file({0x04030201, 8, 8, 1, 1, 1}), "not a KVRN file: magic number 0x04030201");
    refused(kvrn_file({kvrn_magic, 20000, 20000, 1, 1, 1}), bomb);
    for (const std::string command : {"info", "decode", "preview"}) {
        const std::string out = command == "info" ? "" : " out.ppm";
        all.push_back({"kvrn " + command + " --max-pixels 63 in.kvrn" + out, trailing, 1,
                       "in.kvrn: 8 x 8 is 64 pixels, more than the limit of 63 (--max-pixels)"});
        all.push_back({"kvrn " + command + " --max-pixels 64 in.kvrn" + out, trailing, 0, ""});
    }
    each_command(kvrn_file({kvrn_magic, 0, 8, 1, 1, 1}), 0, "positions:    0 (0 x 1 blocks", 1,
                 "is 0 x 8: it has no pixels");
    each_command(kvrn_file({kvrn_magic, 8, 0, 1, 1, 1}), 0, "positions:    0 (1 x 0 blocks", 1,
                 "is 8 x 0: it has no pixels");
    each_command(wide, 2, "at least 73728 needed, 0 held", 2, "24576 coded blocks are missing");
    each_command(kvrn_file({kvrn_magic, 1, 65535, 1, 1, 1}), 2,
                 "complete:     no, the stream ends in the Y block of position 0", 2, "24576");
    each_command(
        cut_in_dc, 2,
        "at least 18 needed, 10 held\ncomplete:     no, the stream ends in the Y block of "
        "position 1 (block column 1, row 0)",
        2, "kvrn: in.kvrn: warning: the block stream ends early, in the Y block of position 1");
    each_command(cut_in_ac, 2, "at least 11 needed, 4 held", 2, "in the Y block of position 0");
    each_command(cut_before_eob, 2, "at least 10 needed, 9 held", 2,
                 "in the Cb block of position 0");
    each_command(trailing, 0, "stream bytes: 9 needed, 9 held\ncomplete:     yes\ntrailing:     7",
                 0, "", true);
    each_command(extreme(65535, 65535, 65535, -32768, -128), 0, "complete:     yes", 0, "");
    each_command(extreme(65535, 0, 65535, 32767, 126), 0, "complete:     yes", 0, "");
    return all;
}

// Each row of the table against the programs that make the same files (kvrn encode, zstd,
// cjpeg) and against scripts/lab-reference.py run once on what kvrn decode and djpeg give back.
TEST(kvrn_tool, sweep_agrees_with_the_encoders_zstd_cjpeg_and_the_reference_figures) {
    if (!KVRN_LAB) GTEST_SKIP() << "built without the lab";
    if (std::system("command -v cjpeg >/dev/null && command -v zstd >/dev/null") != 0)
        GTEST_SKIP() << "cjpeg (libjpeg-turbo-progs) or zstd is not installed";
    struct expected {
        std::string codec;
        int setting;
        double psnr_rgb, psnr_y, ssim_y;
    };
    // scripts/lab-reference.py in.ppm decoded.ppm
    const std::vector<std::tuple<int, int, std::vector<expected>>> pictures = {
        {37,
         23,
         {{"kvrn", 1, 26.501, 30.073, 0.97439},
          {"kvrn", 7, 33.142, 37.381, 0.97937},
          {"kvrn", 24, 23.945, 28.684, 0.89877},
          {"jpeg444", 25, 18.685, 23.781, 0.83484},
          {"jpeg444", 90, 30.496, 37.157, 0.97626},
          {"jpeg420", 25, 16.956, 23.625, 0.83333},
          {"jpeg420", 90, 19.315, 36.381, 0.97551}}},
        {61,
         45,
         {{"kvrn", 1, 23.346, 25.019, 0.93874},
          {"kvrn", 7, 32.544, 36.675, 0.99177},
          {"kvrn", 24, 22.609, 26.794, 0.93908},
          {"jpeg444", 25, 16.560, 21.399, 0.83457},
          {"jpeg444", 90, 30.218, 36.637, 0.99021},
          {"jpeg420", 25, 14.637, 21.305, 0.83334},
          {"jpeg420", 90, 17.180, 35.544, 0.98929}}},
    };
    for (const auto& [width, height, rows] : pictures) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        const scratch_dir dir;
        const std::string in = dir.file("in.ppm", pattern_ppm(width, height));
        const std::string tool = std::string(KVRN_TOOL) + " ";
        const child_result sweep =
            run_shell(tool + "sweep --steps 1,7,24 --qualities 25,90 " + in + " 2>/dev/null");
        ASSERT_EQ(sweep.exit_status, 0);
        std::istringstream table(sweep.output);
        std::string line;
        std::getline(table, line);
        EXPECT_EQ(line, "codec,setting,bytes,bits_per_pixel,psnr_rgb,psnr_y,ssim_y");
        std::size_t seen = 0;
        for (; std::getline(table, line); ++seen) {
            SCOPED_TRACE(line);
            std::istringstream fields(line);
            std::string codec;
            std::array<std::string, 6> f;
            std::getline(fields, codec, ',');
            for (std::string& field : f) std::getline(fields, field, ',');
            const int setting = std::stoi(f[0]);
            const std::string s = std::to_string(setting);
            std::string file_size;
            if (codec.starts_with("kvrn")) {
                const std::string kvrn = dir.path.string() + "/" + s + ".kvrn";
                ASSERT_EQ(
                    run_shell(tool + "encode --step " + s + " " + in + " " + kvrn + " 2>/dev/null")
                        .exit_status,
                    0);
                file_size = run_shell((codec == "kvrn" ? "cat " : "zstd -q -19 --no-check -c ") +
                                      kvrn + " | wc -c")
                                .output;
            } else {
                file_size = run_shell("cjpeg -baseline -dct int -quality " + s + " -sample " +
                                      (codec == "jpeg444" ? "1x1 " : "2x2 ") + in + " | wc -c")
                                .output;
            }
            EXPECT_EQ(std::stoul(f[1]), std::stoul(file_size));
            EXPECT_NEAR(std::stod(f[2]), std::stod(f[1]) * 8 / (width * height), 5e-5);
            const std::string base = codec == "kvrn+zstd" ? "kvrn" : codec;
            const auto want = std::find_if(rows.begin(), rows.end(), [&](const expected& e) {
                return e.codec == base && e.setting == setting;
            });
            ASSERT_NE(want, rows.end());
            EXPECT_NEAR(std::stod(f[3]), want->psnr_rgb, 0.002);
            EXPECT_NEAR(std::stod(f[4]), want->psnr_y, 0.002);
            EXPECT_NEAR(std::stod(f[5]), want->ssim_y, 2e-5);
        }
        EXPECT_EQ(seen, 10U);  // three steps twice, two qualities twice
    }
}

TEST(kvrn_tool, answers_every_case_with_its_message_status_and_no_stray_file) {
    for (const tool_row& row : hostile_inputs()) check_tool(row);
}

// Definite and possible leaks count as errors too, so any of them turns the status into 9.
TEST(kvrn_tool, every_command_runs_clean_under_valgrind) {
    if (KVRN_SANITIZED) GTEST_SKIP() << "valgrind cannot run a sanitized program";
    if (KVRN_EMULATED) GTEST_SKIP() << "valgrind cannot run a program for another processor";
    if (std::system("command -v valgrind >/dev/null") != 0) GTEST_SKIP() << "no valgrind";
    // --trace-children: the lab's commands run in kvrn-lab, which kvrn starts in its place.
    const std::string wrapper =
        "kvrn() { valgrind -q --trace-children=yes --leak-check=full --error-exitcode=9 " +
        std::string(KVRN_VALGRIND_TOOL) + " \"$@\"; } && ";
    for (const tool_row& row : hostile_inputs()) {
        if (row.valgrind) check_tool(row, wrapper);
    }
}

// kvrn hands the lab's commands to kvrn-lab; a kvrn without it says so for them and runs the rest.
TEST(kvrn_tool, without_kvrn_lab_says_so_for_the_labs_commands_only) {
    if (!KVRN_LAB) GTEST_SKIP() << "built without the lab";
    const scratch_dir dir;
    fs::copy_file(KVRN_TOOL, dir.path / "kvrn");
    dir.file("in.ppm", std::string("P6\n1 1\n255\nabc"));
    const std::string here = "cd " + dir.path.string() + " && exec 2>&1 && ./kvrn ";
    const child_result sweep = run_shell(here + "sweep in.ppm");
    EXPECT_EQ(sweep.exit_status, 1);
    EXPECT_EQ(sweep.output, "kvrn: sweep: needs kvrn-lab, which is neither beside " +
                                (dir.path / "kvrn").string() +
                                " nor in ../libexec/kvrn/kvrn-lab\n");
    EXPECT_EQ(run_shell(here + "encode in.ppm out.kvrn").exit_status, 0);
    // What kvrn --help lists, it knows without kvrn-lab: the same as kvrn-lab's own list.
    const std::string listed = run_shell(here + "--help").output;
    EXPECT_NE(listed.find("  blocks FILE MAP "), std::string::npos);
    EXPECT_EQ(
        listed,
        run_shell((fs::path(KVRN_TOOL).parent_path() / "kvrn-lab").string() + " --help").output);
}

// Replacing files that are already there. Each row runs in a scratch directory holding in.ppm
// and in.kvrn, with kvrn on the PATH and without root's licence to ignore permissions: `setup`,
// then `command` (its status and message checked), then `check`, shell tests that must hold;
// fresh.kvrn is what encode writes under a new name, to compare a replaced file with.
struct replace_row {
    std::string setup;
    std::string command;
    int status;
    std::string message;
    std::string check;
};

TEST(kvrn_tool, replaces_a_file_through_its_links_with_its_mode_owner_and_folder_left_alone) {
    const std::string is_fresh = "kvrn encode in.ppm fresh.kvrn && cmp fresh.kvrn ";
    const std::string untouched = "cmp in.ppm saved.ppm && cmp in.kvrn saved.kvrn";
    // Ownership can be given away only by root; anyone else checks the mode alone.
    const std::string give_away = "{ [ $(id -u) -ne 0 ] || chown 65534:65534 out.kvrn; }";
    const std::vector<replace_row> rows = {
        // A relative link is read from its own folder; the link stays, its target is replaced.
        {"mkdir d && echo old > t.kvrn && ln -s ../t.kvrn d/link.kvrn",
         "kvrn encode in.ppm d/link.kvrn", 0, "",
         is_fresh + "t.kvrn && test -L d/link.kvrn && test \"$(ls -A d)\" = link.kvrn"},
        {"echo old > out.kvrn && chmod 640 out.kvrn && " + give_away +
             " && stat -c %a:%u:%g out.kvrn > before",
         "kvrn encode in.ppm out.kvrn", 0, "",
         is_fresh + "out.kvrn && test \"$(stat -c %a:%u:%g out.kvrn)\" = \"$(cat before)\""},
        // Other hard links show the new picture too: the file is rewritten, not replaced.
        {"echo old > out.kvrn && ln out.kvrn other.kvrn", "kvrn encode in.ppm out.kvrn", 0, "",
         is_fresh + "other.kvrn && test $(stat -c %h out.kvrn) = 2"},
        // A folder that takes no new file: a writable file in it is rewritten, another is not.
        {"mkdir ro && echo old > ro/out.kvrn && chmod 555 ro", "kvrn encode in.ppm ro/out.kvrn", 0,
         "",
         is_fresh + "ro/out.kvrn && test \"$(ls -A ro)\" = out.kvrn; s=$?; chmod 755 ro; exit $s"},
        {"mkdir ro && echo old > ro/out.kvrn && chmod 444 ro/out.kvrn && chmod 555 ro",
         "kvrn encode in.ppm ro/out.kvrn", 1, "kvrn: ro/out.kvrn: cannot write: Permission denied",
         "test \"$(cat ro/out.kvrn)\" = old; s=$?; chmod 755 ro; exit $s"},
        // The same file as the input, by its name, through a symbolic link and a hard link.
        {"ln -s in.ppm link.kvrn", "kvrn encode in.ppm link.kvrn", 1,
         "kvrn: link.kvrn: is also the input", untouched + " && test -L link.kvrn"},
        {"ln -s in.kvrn same.ppm", "kvrn decode in.kvrn same.ppm", 1,
         "kvrn: same.ppm: is also the input", untouched},
        {"ln in.kvrn same.png", "kvrn preview in.kvrn same.png", 1,
         "kvrn: same.png: is also the input", untouched},
    };
    for (const replace_row& row : rows) {
        SCOPED_TRACE(row.setup + "; " + row.command);
        const scratch_dir dir;
        dir.file("in.ppm", ppm(2, 2, std::string(12, '\x40')));
        dir.file("in.kvrn", kvrn_file(h8, {{5}, {-3}, {7}}));
        const child_result got = run_shell(
            "cd " + dir.path.string() + " && PATH=" + fs::path(KVRN_TOOL).parent_path().string() +
            ":$PATH && cp in.ppm saved.ppm && cp in.kvrn saved.kvrn && " + row.setup + " && " +
            row.command + " 2>&1; echo \"status $?\"; { " + row.check +
            "; } || echo 'check failed'");
        EXPECT_NE(got.output.find(row.message + (row.message.empty() ? "" : "\n") + "status " +
                                  std::to_string(row.status) + "\n"),
                  std::string::npos)
            << got.output;
        EXPECT_EQ(got.output.find("check failed"), std::string::npos) << got.output;
    }
}

// A decode killed while it writes leaves nothing in the folder: the output has no name until it
// is complete. The picture, 65535 x 65535 pixels without a coded block, takes 12 GB as PPM, so the
// kill always comes in the middle.
TEST(kvrn_tool, a_decode_killed_midway_leaves_no_file) {
    const scratch_dir dir;
    const std::string in = dir.file("in.kvrn", kvrn_file({kvrn_magic, 65535, 65535, 1, 1, 1}));
    process decode(std::vector<std::string>{KVRN_TOOL, "decode", "--max-pixels", "4294836225", in,
                                            (dir.path / "out.ppm").string()});
    // Writing, once the process holds a file in the folder other than its input.
    const auto writing = [&] {
        std::error_code error;
        for (const auto& fd :
             fs::directory_iterator("/proc/" + std::to_string(decode.pid) + "/fd", error)) {
            const std::string target = fs::read_symlink(fd.path(), error).string();
            if (target.starts_with(dir.path.string()) && target != in) return true;
        }
        return false;
    };
    ASSERT_TRUE(poll_until(60, writing));
    ASSERT_EQ(kill(decode.pid, SIGKILL), 0);
    EXPECT_EQ(decode.wait(10), -1);
    EXPECT_EQ(std::set<fs::path>(fs::directory_iterator(dir.path), {}), std::set<fs::path>{in});
}

}  // namespace
}  // namespace kvrn::testing
