#include "codec/loader.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <random>

#include "codec/block_coding.h"
#include "scene/pixel_group.h"
#include "support/files.h"

namespace kvrn::testing {
namespace {

using colour = std::array<int, 3>;
using colours = std::vector<std::optional<colour>>;  // per position; nullopt: not checked
constexpr colour grey{128, 128, 128};
constexpr colour light{138, 138, 138};  // a Y DC of 80: (80 + 4) / 8 + 128

// Loads `content` from a real file into a fresh image_group with the given enables.
std::unique_ptr<pixel_group> load(const bytes& content, std::string& text,
                                  channel_enables enables = {}) {
    scratch_file file;
    file.write(content);
    auto group = std::make_unique<pixel_group>();  // links itself into display_list
    group->use_y = enables.use_y;
    group->use_cr = enables.use_cr;
    group->use_cb = enables.use_cb;
    image_group = group.get();
    text = capture_stdout([&] { load_image(file.path.c_str()); });
    image_group = nullptr;
    return group;
}

// The console text of loading a file of `h` whose stream ends before coded block `first` (three
// to a position), or is complete when `first` is 3 * block_positions(h).
std::string console(const kvrn_header& h, int first) {
    using std::to_string;
    std::string text =
        "Reader header:\n\tWidth: " + to_string(h.width) + "\n\tHeight: " + to_string(h.height) +
        "\n\tY-scale: " + to_string(h.y_scale) + "\n\tCr-scale: " + to_string(h.cr_scale) +
        "\n\tCb-scale: " + to_string(h.cb_scale) + "\n";
    const int columns = (h.width + 7) / 8;
    const char* const names[] = {"Y", "Crf", "Cbf"};
    for (int block = first; block < 3 * block_positions(h); ++block) {
        const int n = block / 3;
        text += "Unexpected end of file found decoding " + std::string(names[block % 3]) +
                " block nr " + to_string(n) + " at (" + to_string(n % columns) + "," +
                to_string(n / columns) + ")\n";
    }
    return text + "File loaded!\n";
}

void expect_colours(const pixel_group& image, const colours& expected) {
    for (std::int32_t row = 0; row < image.height; ++row) {
        for (std::int32_t column = 0; column < image.width; ++column) {
            const auto& want = expected[row / 8 * ((image.width + 7) / 8) + column / 8];
            const std::uint8_t* got = image.pixels + pixel_offset(image.width, row, column);
            if (!want) continue;
            ASSERT_EQ((colour{got[0], got[1], got[2]}), *want) << row << "," << column;
        }
    }
}

coef_block dc(std::int32_t value) {
    coef_block block{};
    block[0] = value;
    return block;
}

// DC-only blocks give flat colours: a DC of D is the sample (D + 4) / 8 + 128 (rounded down), and
// a chroma sample of 138 adds (10 * 359) >> 8 = 14 to red and takes (10 * 183) >> 8 = 7 from green.
TEST(Loader, CompleteFilesGiveFlatColours) {
    coef_block textured = dc(80);
    textured[1] = textured[8] = textured[63] = 50;
    const std::vector<std::tuple<kvrn_header, std::vector<coef_block>, colours>> cases = {
        {{kvrn_magic, 8, 8, 1, 1, 1}, {dc(80), dc(0), dc(0)}, {light}},
        {{kvrn_magic, 8, 8, 1, 1, 1}, {dc(80), dc(80), dc(-80)}, {colour{152, 135, 120}}},
        {{kvrn_magic, 8, 8, 8, 2, 4}, {dc(10), dc(40), dc(-20)}, {colour{152, 135, 120}}},
        {{kvrn_magic, 16, 8, 1, 1, 1},
         {dc(-800), dc(-800), dc(800), dc(800), dc(800), dc(-800)},
         {colour{0, 66, 205}, colour{255, 192, 50}}},
        {{kvrn_magic, 8, 8, 0, 1, 1}, {textured, dc(80), dc(0)}, {colour{142, 121, 128}}},
    };
    for (const auto& [header, blocks, expected] : cases) {
        std::string text;
        const auto image = load(kvrn_file(header, blocks), text);
        EXPECT_EQ(text, console(header, 3 * static_cast<int>(block_positions(header))));
        expect_colours(*image, expected);
    }
}

// A 24 x 16 picture of six positions, all blocks 3 bytes but the second position's Cr block (stream
// bytes 12 to 20): DC 40, five zeros, 3 at zig-zag 6, the end byte. Cb is all zero: its scale only
// shows in the header print-out.
TEST(Loader, TruncatedFilesDecodeWhatTheyHold) {
    std::vector<coef_block> blocks(18, dc(0));
    blocks[0] = dc(80);
    blocks[3] = dc(-80);
    blocks[4] = dc(40);
    blocks[4][zigzag_order[6]] = 3;
    const kvrn_header header{kvrn_magic, 24, 16, 1, 1, 65535};
    bytes file = kvrn_file(header, blocks);
    file.insert(file.end(), {0x7F, 0x12, 0x00});  // after the last position: never read
    // stream bytes kept, first block missing, the colours of the first two positions
    const std::vector<std::tuple<std::size_t, int, colours>> cases = {
        {0, 0, {grey, grey}},   {9, 3, {light, grey}},
        {10, 3, {light, grey}}, {19, 4, {light, colour{125, 115, 118}}},
        {20, 4, {light, {}}},   {59, 17, {light, {}}},
        {63, 18, {light, {}}},
    };
    for (auto [kept, first, expected] : cases) {
        bytes content(file.begin(),
                      file.begin() + static_cast<std::ptrdiff_t>(header_bytes + kept));
        expected.resize(6, grey);
        std::string text;
        const auto image = load(content, text);
        EXPECT_EQ(text, console(header, first)) << kept;
        expect_colours(*image, expected);
    }
}

// The Y DCs number the positions; the chroma channels are off, so their random blocks (up to 65
// bytes) only fill the stream.
TEST(Loader, EveryPictureSizeConsumesItsBlocksInOrder) {
    std::mt19937 random(31);
    std::uniform_int_distribution<std::int32_t> ac(-127, 126), last(0, 63);
    for (std::uint16_t width = 0; width <= 17; ++width) {
        for (std::uint16_t height = 0; height <= 17; ++height) {
            const kvrn_header header{kvrn_magic, width, height, 1, 1, 1};
            std::vector<coef_block> blocks;
            colours expected;
            for (int k = 0; k < block_positions(header); ++k) {
                blocks.push_back(dc(8 * (5 * k - 20)));
                for (int chroma = 0; chroma < 2; ++chroma) {
                    blocks.push_back(dc(ac(random)));
                    for (int n = 1, end = last(random); n <= end; ++n) {
                        blocks.back()[zigzag_order[n]] = ac(random);
                    }
                }
                expected.push_back(colour{108 + 5 * k, 108 + 5 * k, 108 + 5 * k});
            }
            bytes content = kvrn_file(header, blocks);
            content.insert(content.end(), {0x12, 0x00, 0x7F});
            std::string text;
            const auto image = load(content, text, {1, 0, 0});
            ASSERT_EQ(text, console(header, 3 * static_cast<int>(blocks.size() / 3)));
            expect_colours(*image, expected);
        }
    }
}

TEST(Loader, UnreadableFilesEndTheProcess) {
    const auto valid = format_header({kvrn_magic, 8, 8, 1, 1, 1});
    std::vector<std::pair<std::optional<bytes>, std::string>> cases = {
        {std::nullopt, ""},
        {bytes{1, 2, 3, 4, 8, 0, 8, 0, 1, 0, 1, 0, 1, 0},
         ": magic number != 0x4b56524e, found 0x4030201"}};
    for (std::size_t n = 0; n < header_bytes; ++n) {
        cases.emplace_back(
            bytes(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(n)),
            ": file too short for a KVRN header (" + std::to_string(n) + " of 14 bytes)");
    }
    for (const auto& [content, reason] : cases) {
        scratch_file file;
        if (content) file.write(*content);
        const child_result child = run_in_child([&] { load_image(file.path.c_str()); }, "\n\n");
        EXPECT_EQ(child.exit_status, 255) << reason;
        EXPECT_EQ(child.output, "Error opening file " + file.path + reason);
    }
}

}  // namespace
}  // namespace kvrn::testing
