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
#include <string>
#include <tuple>
#include <vector>

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
    std::string buffer;
    for (std::size_t r = 1; r <= static_cast<std::size_t>(height); ++r)
        buffer += ppm_file.substr(ppm_file.size() - r * row, row);
    return buffer;
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

    fs::path dir;
};

// The source is a KVRN file, s.kvrn; the viewer holds its decoded picture, s.ppm. Steps 4 and
// 5 leave every AC coefficient of these pictures within a byte, so the encoder clips nothing.
TEST_F(cli_test, encode_writes_what_the_preview_writes_and_decode_shows_what_it_shows) {
    for (const auto& [width, height, step, channels] :
         std::vector<std::tuple<int, int, int, std::string>>{{32, 24, 5, "yrb"},
                                                             {21, 13, 4, "yb"}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + " " + channels);
        std::string noise(3 * static_cast<std::size_t>(width * height), '\0');  // detail everywhere
        for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>(i * i % 251);
        write_file(at("p.ppm"), ppm(width, height, noise));
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
        group.use_cr = channels.find('r') != std::string::npos;  // y and b are in every case
        char* data = nullptr;
        std::size_t size = 0;
        group.out = open_memstream(&data, &size);
        std::string shown(buffer.size(), '\xFF');
        kvrn::run_preview(
            group, step, [&](const auto& r, const auto& g, const auto& b, int c0, int r0) {
                kvrn::store_block(r, g, b, reinterpret_cast<std::uint8_t*>(shown.data()),
                                  group.width, group.height, r0, c0);
            });
        (void)std::fclose(group.out);
        const std::string written(data, size);
        std::free(data);

        const std::string previewed = bottom_up(read_file(at("v.ppm")), width, height);
        EXPECT_EQ(previewed, shown);
        if (width % 8 != 0 || height % 8 != 0) continue;
        EXPECT_EQ(read_file(at("e.kvrn")).substr(14), written);
        EXPECT_EQ(bottom_up(read_file(at("e.ppm")), width, height), previewed);
    }
}

// 13 x 11, white but for a black 8 x 8 square in the bottom-left corner: the only whole block
// of the picture when rows count from the bottom, and uniform blocks survive step 1 exactly.
// Each PNG form of it that the tool converts encodes alike.
TEST_F(cli_test, round_trips_keep_the_bottom_row_first_pad_the_edges_and_read_every_png_form) {
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

    const std::uint8_t colour_map[] = {0, 0, 0, 255, 255, 255};
    // Transparent pixels are composed onto white; 16-bit samples are in native byte order.
    for (const auto& [name, format, black, white] :
         std::vector<std::tuple<std::string, png_uint_32, std::string, std::string>>{
             {"grey", PNG_FORMAT_GRAY, {"\0", 1}, "\xFF"},
             {"grey_alpha", PNG_FORMAT_GA, {"\0\xFF", 2}, {"\0\0", 2}},
             {"rgba", PNG_FORMAT_RGBA, {"\0\0\0\xFF", 4}, {"\x9\x9\x9\0", 4}},
             {"palette", PNG_FORMAT_RGB_COLORMAP, {"\0", 1}, "\x01"},
             {"grey_16", PNG_FORMAT_LINEAR_Y, {"\0\0", 2}, "\xFF\xFF"}}) {
        std::string pixels;
        for (std::size_t i = 0; i < raster.size(); i += 3) pixels += raster[i] == 0 ? black : white;
        png_image png{nullptr, PNG_IMAGE_VERSION, 13, 11, format, 0, 2, 0, {}};
        const std::string file = at(name + ".png");
        ASSERT_TRUE(png_image_write_to_file(&png, file.c_str(), 0, pixels.data(), 0, colour_map));
        ASSERT_EQ(kvrn("encode --step 1 " + name + ".png e.kvrn").status, 0) << name;
        EXPECT_EQ(read_file(at("e.kvrn")), kvrn_file) << name;
    }
}

// One row per distinct outcome. Failures (1, 64) leave nothing behind; output from damaged
// input (2) is still written. The hostile-input table of tests/robustness covers the rest.
TEST_F(cli_test, exit_status_message_and_output_file) {
    // 16 x 8, scales 1: two positions of three blocks of DC 0 and no AC value.
    std::string flat_16x8("NRVK\x10\0\x08\0\1\0\1\0\1\0", 14);
    for (int i = 0; i < 6; ++i) flat_16x8 += std::string("\0\0\x7F", 3);
    std::string checker;
    for (int i = 0; i < 64; ++i) checker.append(3, (i + i / 8) % 2 != 0 ? '\xFF' : '\0');
    for (const auto& [arguments, status, message] :
         std::vector<std::tuple<std::string, int, std::string>>{
             {"--help", 0, "Usage: kvrn COMMAND"},
             {"--version", 0, "kvrn 0."},
             {"encode --help", 0, "Usage: kvrn encode"},
             {"info trailing.kvrn", 0,
              "stream bytes: 18 needed, 18 held\ncomplete:     yes\ntrailing:     5 bytes"},
             {"info cut.kvrn", 2,
              "at least 18 needed, 10 held\ncomplete:     no, the stream ends in the Y block of "
              "position 1 (block column 1, row 0)"},
             {"decode cut.kvrn out.ppm", 2, "kvrn: cut.kvrn: the block stream ends early"},
             {"encode --step 1 checker.ppm out.kvrn", 0,
              "AC coefficients did not fit in -127..126"},
             {"decode checker.ppm out.ppm", 1, "kvrn: checker.ppm: not a KVRN file"},
             {"", 64, "Usage: kvrn COMMAND"},
             {"encode --step 0 checker.ppm out.kvrn", 64, "kvrn: --step: bad value '0'"},
             {"encode --step 2 --scales 1,2,3 checker.ppm out.kvrn", 64, "not both"},
             {"preview --channels yx cut.kvrn out.ppm", 64, "kvrn: --channels: bad value"},
             {"decode trailing.kvrn out.jpg", 64, "kvrn: out.jpg: unknown picture type"},
             {"info cut.kvrn extra", 64, "kvrn: info: takes 1 file name, not 2"}}) {
        SCOPED_TRACE("kvrn " + arguments);
        fs::remove_all(dir);
        fs::create_directory(dir);
        write_file(at("checker.ppm"), ppm(8, 8, checker));
        write_file(at("trailing.kvrn"), flat_16x8 + "extra");
        write_file(at("cut.kvrn"), flat_16x8.substr(0, 14 + 10));
        const run_result result = kvrn(arguments);
        EXPECT_EQ(result.status, status);
        EXPECT_NE((result.out + result.err).find(message), std::string::npos)
            << result.out << result.err;
        // What remains: the inputs, the tool's standard output and error, and what it wrote.
        const bool writes =
            arguments.find(" out.") != std::string::npos && (status == 0 || status == 2);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 5 + (writes ? 1 : 0));
    }
}

}  // namespace
