// The kvrn tool end to end: the real binary on files in a scratch directory.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "codec/block_coding.h"
#include "codec/block_path.h"
#include "scene/pixel_group.h"
#include "scene/preview.h"

namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A binary PPM file in the form the tool writes; `raster` is RGB, top row first.
std::string ppm(int width, int height, const std::string& raster) {
    return "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n" + raster;
}

// The raster of a PPM file in the viewer's order: the bottom row first.
std::string bottom_up(const std::string& ppm_file, int width, int height) {
    const auto row = static_cast<std::size_t>(3 * width);
    const std::string raster =
        ppm_file.substr(ppm_file.size() - row * static_cast<std::size_t>(height));
    std::string buffer;
    for (int r = height - 1; r >= 0; --r)
        buffer += raster.substr(static_cast<std::size_t>(r) * row, row);
    return buffer;
}

// Gradients under noise: smooth enough for most coefficients to fit a byte, rough enough for
// some not to at step 1.
std::string random_raster(int width, int height, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> noise(-96, 96);
    std::string raster;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (const int base : {x * 255 / width, y * 255 / height, (x + y) * 127 / width}) {
                raster += static_cast<char>(std::clamp(base + noise(random), 0, 255));
            }
        }
    }
    return raster;
}

struct run_result {
    int status;
    std::string out;
    std::string err;
};

class cli_test : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string name = (fs::temp_directory_path() / "kvrn-cli-XXXXXX").string();
        ASSERT_NE(mkdtemp(name.data()), nullptr);
        dir = name;
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path at(const std::string& name) const { return dir / name; }

    // Runs the tool in the scratch directory through the shell, so arguments may redirect.
    run_result kvrn(const std::string& arguments) const {
        const std::string command =
            "cd '" + dir.string() + "' && '" KVRN_TOOL "' " + arguments + " >stdout 2>stderr";
        const int raw = std::system(command.c_str());
        return {WEXITSTATUS(raw), read_file(at("stdout")), read_file(at("stderr"))};
    }

    long files() const { return std::distance(fs::directory_iterator(dir), {}); }

    fs::path dir;
};

struct invariant_case {
    int width, height, step;
    unsigned seed;
    std::string channels;
};

class invariant : public cli_test, public ::testing::WithParamInterface<invariant_case> {};

// The source is a KVRN file, s.kvrn; the viewer holds its decoded picture, s.ppm.
TEST_P(invariant, encode_writes_what_the_preview_writes_and_decode_shows_what_it_shows) {
    const auto& [width, height, step, seed, channels] = GetParam();
    write_file(at("p.ppm"), ppm(width, height, random_raster(width, height, seed)));
    const std::string n = std::to_string(step);
    for (const std::string& command : std::vector<std::string>{
             "encode --step 1 p.ppm s.kvrn", "decode s.kvrn s.ppm",
             "encode --step " + n + " s.ppm e.kvrn", "decode e.kvrn e.ppm",
             "preview --step " + n + " --channels " + channels + " s.kvrn v.ppm"}) {
        ASSERT_EQ(kvrn(command).status, 0) << command;
    }

    // The viewer's own preview of the decoded picture, with a stream attached.
    const std::string buffer = bottom_up(read_file(at("s.ppm")), width, height);
    kvrn::pixel_group group;
    group.pixels = static_cast<std::uint8_t*>(std::malloc(buffer.size()));  // group frees it
    std::memcpy(group.pixels, buffer.data(), buffer.size());
    group.width = width;
    group.height = height;
    group.use_y = channels.find('y') != std::string::npos;
    group.use_cr = channels.find('r') != std::string::npos;
    group.use_cb = channels.find('b') != std::string::npos;
    group.out = std::tmpfile();
    std::string shown(buffer.size(), '\xFF');
    kvrn::run_preview(group, step,
                      [&](const auto& r, const auto& g, const auto& b, int c0, int r0) {
                          kvrn::store_block(r, g, b, reinterpret_cast<std::uint8_t*>(shown.data()),
                                            group.width, group.height, r0, c0);
                      });
    std::string written(static_cast<std::size_t>(std::ftell(group.out)), '\0');
    std::rewind(group.out);
    ASSERT_EQ(std::fread(written.data(), 1, written.size(), group.out), written.size());
    std::fclose(group.out);

    if (width % 8 == 0 && height % 8 == 0) {
        EXPECT_EQ(read_file(at("e.kvrn")).substr(14), written);
    }
    const std::string previewed = bottom_up(read_file(at("v.ppm")), width, height);
    EXPECT_EQ(previewed, shown);
    if (channels != "yrb") return;

    const std::string decoded = bottom_up(read_file(at("e.ppm")), width, height);
    int compared = 0;
    for (int r0 = 0; r0 + 8 <= height; r0 += 8) {
        for (int c0 = 0; c0 + 8 <= width; c0 += 8) {
            kvrn::coef_block y, cr, cb;
            kvrn::quantise_block(group.picture(), r0, c0, {step, step, step}, y, cr, cb);
            using kvrn::code_block;
            const int clipped =
                code_block(y).clipped + code_block(cr).clipped + code_block(cb).clipped;
            if (clipped > 0) continue;
            ++compared;
            for (int row = r0; row < r0 + 8; ++row) {
                const auto first = static_cast<std::size_t>(3 * (row * width + c0));
                EXPECT_EQ(decoded.substr(first, 24), previewed.substr(first, 24))
                    << "block (" << r0 << ", " << c0 << ")";
            }
        }
    }
    EXPECT_GT(compared, 0);
}

INSTANTIATE_TEST_SUITE_P(seeded, invariant,
                         ::testing::Values(invariant_case{16, 16, 1, 1, "yrb"},
                                           invariant_case{32, 24, 5, 2, "yrb"},
                                           invariant_case{24, 16, 12, 3, "yrb"},
                                           invariant_case{21, 13, 4, 4, "yrb"},
                                           invariant_case{16, 8, 3, 5, "yb"}));

// 13 x 11, white but for a black 8 x 8 square in the bottom-left corner: the only whole block
// of the picture when rows count from the bottom, and uniform blocks survive step 1 exactly.
TEST_F(cli_test, round_trips_keep_the_bottom_row_first_and_pad_the_edges) {
    std::string raster(13 * 11 * 3, '\xFF');
    for (int y = 3; y < 11; ++y) raster.replace(static_cast<std::size_t>(39 * y), 24, 24, '\0');
    const std::string source = ppm(13, 11, raster);
    write_file(at("src.ppm"), source);
    ASSERT_EQ(kvrn("encode --step 1 src.ppm a.kvrn").status, 0);
    const std::string kvrn_file = read_file(at("a.kvrn"));
    // The first block is the black one: Y DC (-128 * 64) >> 3 = -1024 = 0xFC00.
    EXPECT_EQ(kvrn_file.substr(14, 3), std::string("\x00\xFC\x7F", 3));

    ASSERT_EQ(kvrn("decode a.kvrn d.ppm").status, 0);
    EXPECT_EQ(read_file(at("d.ppm")), source);
    ASSERT_EQ(kvrn("decode a.kvrn d.png").status, 0);
    ASSERT_EQ(kvrn("encode --step 1 d.png b.kvrn").status, 0);
    EXPECT_EQ(read_file(at("b.kvrn")), kvrn_file);
    EXPECT_EQ(kvrn("decode - - < a.kvrn").out, source);
    EXPECT_EQ(kvrn("encode --step 1 - - < src.ppm").out, kvrn_file);
}

// A 16 x 8 picture, black block then white block, in the PNG forms the tool converts.
TEST_F(cli_test, png_in_grey_palette_16_bit_and_alpha_encodes_like_rgb) {
    std::string raster;
    for (int i = 0; i < 16 * 8; ++i) raster.append(3, i % 16 < 8 ? '\0' : '\xFF');
    write_file(at("ref.ppm"), ppm(16, 8, raster));
    ASSERT_EQ(kvrn("encode --step 1 ref.ppm ref.kvrn").status, 0);

    struct form {
        std::string name;
        png_uint_32 format;
        std::string black, white;  // one pixel's bytes
    };
    const std::uint8_t colour_map[] = {0, 0, 0, 255, 255, 255};
    // Transparent pixels are composed onto white; 16-bit samples are in native byte order.
    for (const form& f : {form{"grey", PNG_FORMAT_GRAY, {"\0", 1}, "\xFF"},
                          form{"grey_alpha", PNG_FORMAT_GA, {"\0\xFF", 2}, {"\0\0", 2}},
                          form{"rgba", PNG_FORMAT_RGBA, {"\0\0\0\xFF", 4}, {"\x9\x9\x9\0", 4}},
                          form{"palette", PNG_FORMAT_RGB_COLORMAP, {"\0", 1}, "\x01"},
                          form{"grey_16", PNG_FORMAT_LINEAR_Y, {"\0\0", 2}, "\xFF\xFF"}}) {
        std::string pixels;
        for (int i = 0; i < 16 * 8; ++i) pixels += i % 16 < 8 ? f.black : f.white;
        png_image png{};
        png.version = PNG_IMAGE_VERSION;
        png.width = 16;
        png.height = 8;
        png.format = f.format;
        png.colormap_entries = 2;
        ASSERT_NE(png_image_write_to_file(&png, at(f.name + ".png").c_str(), 0, pixels.data(), 0,
                                          colour_map),
                  0);
        ASSERT_EQ(kvrn("encode --step 1 " + f.name + ".png out.kvrn").status, 0) << f.name;
        EXPECT_EQ(read_file(at("out.kvrn")), read_file(at("ref.kvrn"))) << f.name;
    }
}

struct outcome_case {
    std::string arguments;
    int status;
    std::string message;  // expected in standard output or error
};

void PrintTo(const invariant_case& c, std::ostream* out) {
    *out << c.width << "x" << c.height << " step " << c.step << " seed " << c.seed << " "
         << c.channels;
}

void PrintTo(const outcome_case& c, std::ostream* out) {
    *out << "kvrn " << c.arguments;
}

class outcome : public cli_test, public ::testing::WithParamInterface<outcome_case> {};

// Failures (1) leave nothing behind; output from damaged input (2) is still written.
TEST_P(outcome, exit_status_message_and_output_file) {
    write_file(at("good.ppm"), ppm(16, 8, random_raster(16, 8, 7)));
    std::string checker;
    for (int i = 0; i < 64; ++i) checker.append(3, (i + i / 8) % 2 != 0 ? '\xFF' : '\0');
    write_file(at("checker.ppm"), ppm(8, 8, checker));
    // 16 x 8, scales 1: two positions of three blocks of DC 0 and no AC value.
    std::string flat_16x8("NRVK\x10\0\x08\0\1\0\1\0\1\0", 14);
    for (int i = 0; i < 6; ++i) flat_16x8 += std::string("\0\0\x7F", 3);
    write_file(at("trailing.kvrn"), flat_16x8 + "extra");
    write_file(at("cut.kvrn"), flat_16x8.substr(0, 14 + 10));
    write_file(at("empty.kvrn"), std::string("NRVK\0\0\0\0\1\0\1\0\1\0", 14));
    write_file(at("magic.kvrn"), std::string("\x01\x02\x03\x04", 4) + flat_16x8.substr(4));
    write_file(at("short.kvrn"), "NRVK\x10");
    write_file(at("wide.ppm"), "P6\n65536 1\n255\n");
    write_file(at("cut.ppm"), "P6\n8 8\n255\n" + std::string(30, '\x40'));
    const long before = files();

    const outcome_case& c = GetParam();
    const run_result result = kvrn(c.arguments);
    EXPECT_EQ(result.status, c.status);
    EXPECT_NE((result.out + result.err).find(c.message), std::string::npos)
        << result.out << result.err;
    // The tool's standard output and error are kept in the directory, and what it wrote.
    const bool writes = c.arguments.find(" out.") != std::string::npos;
    EXPECT_EQ(files(), before + 2 + (writes && c.status != 1 && c.status != 64 ? 1 : 0));
}

INSTANTIATE_TEST_SUITE_P(
    table, outcome,
    ::testing::Values(
        outcome_case{"--help", 0, "Usage: kvrn COMMAND"}, outcome_case{"--version", 0, "kvrn 0."},
        outcome_case{"encode --help", 0, "Usage: kvrn encode"},
        outcome_case{"info trailing.kvrn", 0,
                     "stream bytes: 18 needed, 18 held\ncomplete:     yes\ntrailing:     5 bytes"},
        outcome_case{"info cut.kvrn", 2,
                     "at least 18 needed, 10 held\ncomplete:     no, the stream ends in the Y "
                     "block of position 1 (block column 1, row 0)"},
        outcome_case{"decode cut.kvrn out.ppm", 2, "kvrn: cut.kvrn: the block stream ends early"},
        outcome_case{"preview cut.kvrn out.png", 2, "the block stream ends early"},
        outcome_case{"preview --step 4 good.ppm out.ppm", 1, "kvrn: good.ppm: not a KVRN file"},
        outcome_case{"encode --step 1 checker.ppm out.kvrn", 0,
                     "AC coefficients did not fit in -127..126"},
        outcome_case{"", 64, "Usage: kvrn COMMAND"},
        outcome_case{"frob", 64, "kvrn: frob: unknown command"},
        outcome_case{"encode --step 0 good.ppm out.kvrn", 64, "kvrn: --step: bad value '0'"},
        outcome_case{"encode --step 2 --scales 1,2,3 good.ppm out.kvrn", 64, "not both"},
        outcome_case{"preview --channels yx cut.kvrn out.ppm", 64, "kvrn: --channels: bad value"},
        outcome_case{"decode trailing.kvrn out.jpg", 64, "kvrn: out.jpg: unknown picture type"},
        outcome_case{"info cut.kvrn extra", 64, "kvrn: info: takes 1 file name, not 2"},
        outcome_case{"decode missing.kvrn out.ppm", 1, "kvrn: missing.kvrn: cannot open"},
        outcome_case{"decode magic.kvrn out.ppm", 1, "not a KVRN file: magic number 0x04030201"},
        outcome_case{"info short.kvrn", 1, "too short for a KVRN header: 5 of 14 bytes"},
        outcome_case{"decode empty.kvrn out.png", 1, "the picture is 0 x 0"},
        outcome_case{"encode wide.ppm out.kvrn", 1, "kvrn: wide.ppm: the picture is 65536 x 1"},
        outcome_case{"encode cut.ppm out.kvrn", 1, "the picture data ends after 1 of 8 rows"},
        outcome_case{"encode good.ppm no/out.kvrn", 1, "kvrn: no/out.kvrn: cannot create"}));

}  // namespace
