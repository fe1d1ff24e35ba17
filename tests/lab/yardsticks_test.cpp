// The yardstick codecs held to the codecs' own command-line tools, not to our reading of their
// libraries: for each codec, setting and picture, the bytes the lab writes are the bytes the
// encoder tool writes with the settings the codec table names, and the pixels the lab reads back
// from them are what the decoder tool gives. The pictures are photographs cut to odd sizes, with
// partial blocks and macroblocks, and a single pixel.
#include "lab/yardsticks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "lab/lab.h"
#include "support/files.h"

namespace kvrn::testing {
namespace {

// An RGB picture, rows from the top, as the codecs' files start.
struct rgb_picture {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::string pixels;
    picture_view view() const {
        return {reinterpret_cast<const std::uint8_t*>(pixels.data()), width, height};
    }
};

// The raster of a binary PPM file as ImageMagick and the codecs' tools write it: "P6", width,
// height and 255, separated by white space, then one byte of white space and the samples.
rgb_picture read_ppm(const std::string& file) {
    rgb_picture picture;
    std::size_t at = 2;
    int fields[3] = {};
    for (int& field : fields) {
        while (at < file.size() && std::isspace(static_cast<unsigned char>(file[at]))) ++at;
        std::size_t used = 0;
        field = std::stoi(file.substr(at), &used);
        at += used;
    }
    picture.width = fields[0];
    picture.height = fields[1];
    EXPECT_TRUE(file.starts_with("P6") && fields[2] == 255) << file.substr(0, 20);
    picture.pixels = file.substr(at + 1, pixel_offset(picture.width, picture.height, 0));
    return picture;
}

std::string ppm_file(const rgb_picture& picture) {
    return "P6\n" + std::to_string(picture.width) + " " + std::to_string(picture.height) +
           "\n255\n" + picture.pixels;
}

// Runs a shell command in `dir`, which must succeed.
void run(const scratch_dir& dir, const std::string& command) {
    const child_result result = run_shell("cd " + dir.path.string() + " && " + command + " 2>&1");
    ASSERT_EQ(result.exit_status, 0) << command << "\n" << result.output;
}

// A photograph cut from `source` (anything ImageMagick reads) at `x`, `y`.
rgb_picture photograph(const std::string& source, int width, int height, int x, int y) {
    const scratch_dir dir;
    run(dir, "convert '" + source + "' -crop " + std::to_string(width) + "x" +
                 std::to_string(height) + "+" + std::to_string(x) + "+" + std::to_string(y) +
                 " +repage -strip -depth 8 -type TrueColor cut.ppm");
    const rgb_picture picture = read_ppm(dir.read("cut.ppm"));
    EXPECT_EQ(picture.width, width);
    EXPECT_EQ(picture.height, height);
    return picture;
}

// The photographs: the ladybird of samples/default.kvrn, as the tool decodes it, and a dune of
// Debian's backgrounds, straight from its JPEG.
const std::vector<rgb_picture>& photographs() {
    static const std::vector<rgb_picture> all = [] {
        const scratch_dir dir;
        run(dir, std::string(KVRN_TOOL) + " decode " + KVRN_SAMPLES + "/default.kvrn ladybird.ppm");
        const std::string ladybird = (dir.path / "ladybird.ppm").string();
        const std::string dune = "/usr/share/backgrounds/mate/nature/Dune.jpg";
        return std::vector<rgb_picture>{
            photograph(ladybird, 203, 151, 301, 207), photograph(ladybird, 1, 1, 500, 400),
            photograph(dune, 57, 37, 900, 700), photograph(dune, 130, 9, 40, 30)};
    }();
    return all;
}

struct tool_case {
    lab::codec_id codec;
    std::vector<double> settings;
    // The encoder tool's command from in.ppm or in.png to out.FILE, at {}, and the decoder tool's
    // from out.FILE to back.ppm.
    std::string encode;
    std::string decode;
};

// The encoder tools' settings are those of the codec table's made_as; avifenc and cjxl read the
// picture as a PNG without colour chunks, as a program that knows nothing of colour spaces
// writes it (ImageMagick's defaults add gAMA and cHRM, which the tools would carry over).
const std::vector<tool_case> tool_cases = {
    {lab::codec_id::webp,
     {0, 37, 75, 100},
     "cwebp -quiet -q {} in.ppm -o out.webp",
     "dwebp -quiet out.webp -ppm -o back.ppm"},
    {lab::codec_id::avif444,
     {0, 21, 63},
     "avifenc -j 1 -s 6 -y 444 --min {} --max {} in.png out.avif",
     "avifdec out.avif back.png && convert back.png back.ppm"},
    {lab::codec_id::avif420,
     {0, 21, 63},
     "avifenc -j 1 -s 6 -y 420 --min {} --max {} in.png out.avif",
     "avifdec out.avif back.png && convert back.png back.ppm"},
    {lab::codec_id::jxl, {0.1, 1.3, 25}, "cjxl -d {} -e 7 in.png out.jxl", "djxl out.jxl back.ppm"},
    {lab::codec_id::jpeg420,
     {1, 50, 100},
     "cjpeg -baseline -dct int -quality {} -sample 2x2 in.ppm > out.jpg",
     "djpeg -pnm out.jpg > back.ppm"},
};

std::string with_setting(std::string command, double setting) {
    for (std::size_t at; (at = command.find("{}")) != std::string::npos;)
        command.replace(at, 2, lab::setting_text(setting));
    return command;
}

TEST(yardsticks, write_the_encoder_tools_bytes_and_read_the_decoder_tools_pixels) {
    for (const tool_case& test : tool_cases) {
        const lab::yardstick& codec = *lab::yardstick_of(test.codec);
        const std::string file = test.encode.substr(test.encode.rfind("out."));
        for (const rgb_picture& picture : photographs()) {
            const scratch_dir dir;
            dir.file("in.ppm", ppm_file(picture));
            run(dir, "convert in.ppm -define png:exclude-chunk=all in.png");
            for (const double setting : test.settings) {
                SCOPED_TRACE(std::string(lab::entry_of(test.codec).name) + " at " +
                             lab::setting_text(setting) + ", " + std::to_string(picture.width) +
                             " x " + std::to_string(picture.height));
                std::vector<std::uint8_t> ours;
                std::string error;
                ASSERT_TRUE(codec.encode(picture.view(), setting, ours, error)) << error;
                run(dir, with_setting(test.encode, setting));
                const std::string theirs = dir.read(file);
                EXPECT_EQ(std::string(ours.begin(), ours.end()), theirs)
                    << ours.size() << " bytes, the tool's " << theirs.size();

                // What the decoder tool makes of our file is what the lab reads from it.
                dir.file(file, std::string(ours.begin(), ours.end()));
                run(dir, test.decode);
                lab::decoded_rgb back;
                ASSERT_TRUE(codec.decode(ours.data(), ours.size(), back, error)) << error;
                const rgb_picture tool_back = read_ppm(dir.read("back.ppm"));
                EXPECT_EQ(back.width, picture.width);
                EXPECT_EQ(back.height, picture.height);
                EXPECT_TRUE(std::string(back.pixels.begin(), back.pixels.end()) ==
                            tool_back.pixels);
            }
        }
    }
}

TEST(yardsticks, refuse_what_is_not_their_file_with_a_reason) {
    const std::vector<std::uint8_t> junk = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P'};
    for (const lab::codec_entry& entry : lab::codec_table) {
        const lab::yardstick* codec = lab::yardstick_of(entry.id);
        if (codec == nullptr) continue;
        SCOPED_TRACE(entry.name);
        for (std::size_t size : {std::size_t{0}, std::size_t{1}, junk.size()}) {
            lab::decoded_rgb back;
            std::string error;
            EXPECT_FALSE(codec->decode(junk.data(), size, back, error));
            EXPECT_FALSE(error.empty());
        }
    }
}

// The libraries say who they are, so that a table says what made it.
TEST(yardsticks, name_their_libraries_with_versions) {
    const std::vector<std::pair<lab::codec_id, std::string>> named = {
        {lab::codec_id::jpeg444, "libjpeg"},  {lab::codec_id::webp, "libwebp "},
        {lab::codec_id::avif420, "libavif "}, {lab::codec_id::jxl, "libjxl "},
        {lab::codec_id::kvrn_zstd, "zstd "},
    };
    for (const auto& [codec, start] : named) {
        const std::string library = lab::codec_library(codec);
        EXPECT_NE(library.find(start), std::string::npos) << library;
        EXPECT_NE(library.find_first_of("0123456789"), std::string::npos) << library;
    }
    EXPECT_NE(lab::codec_library(lab::codec_id::avif444).find("aom"), std::string::npos);
    EXPECT_NE(lab::codec_library(lab::codec_id::avif444).find("dav1d"), std::string::npos);
}

}  // namespace
}  // namespace kvrn::testing
