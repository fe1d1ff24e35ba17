// The viewer's loader on real files: the console dialogue and every pixel of what it decodes, and
// in a child process, the files it cannot open, with their message and exit status.
#include "app/loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <sstream>
#include <tuple>

#include "codec/block_coding.h"
#include "codec/picture.h"
#include "scene/pixel_group.h"
#include "support/files.h"

namespace kvrn::testing {
namespace {

using colour = std::array<int, 3>;
constexpr colour grey{128, 128, 128};
constexpr colour light{138, 138, 138};  // a Y DC of 80: (80 + 4) / 8 + 128

struct load_case {
    kvrn_header header;
    std::vector<coef_block> blocks = {};
    // The colour of each position; nullopt: not checked; grey for those not listed.
    std::vector<std::optional<colour>> expected = {};
    std::size_t kept = SIZE_MAX;     // stream bytes left in the file
    std::int64_t first = INT64_MAX;  // the first coded block the stream ends before or inside
    channel_enables enables = {};
};

// The header print-out, a line for every coded block from `first` on, and the end.
std::string console(const kvrn_header& h, std::int64_t first) {
    std::ostringstream text;
    text << "Reader header:\n\tWidth: " << h.width << "\n\tHeight: " << h.height
         << "\n\tY-scale: " << h.y_scale << "\n\tCr-scale: " << h.cr_scale
         << "\n\tCb-scale: " << h.cb_scale << "\n";
    const char* const names[] = {"Y", "Crf", "Cbf"};
    for (std::int64_t n = first, columns = blocks_covering(h.width); n < 3 * block_positions(h);
         ++n) {
        text << "Unexpected end of file found decoding " << names[n % 3] << " block nr " << n / 3
             << " at (" << n / 3 % columns << "," << n / 3 / columns << ")\n";
    }
    return text.str() + "File loaded!\n";
}

// Loads the case's file from disk, with three bytes after the last position that must never be
// read, and checks the console text and every pixel.
void check(load_case c) {
    SCOPED_TRACE(::testing::PrintToString(std::tuple(c.header.width, c.header.height, c.kept)));
    std::string content = kvrn_file(c.header, c.blocks) + std::string("\x7F\x12\0", 3);
    content.resize(header_bytes + std::min(content.size() - header_bytes, c.kept));
    const scratch_dir dir;
    const auto group = std::make_unique<pixel_group>();  // links itself into display_list
    std::tie(group->use_y, group->use_cr, group->use_cb) =
        std::tie(c.enables.use_y, c.enables.use_cr, c.enables.use_cb);
    image_group = group.get();
    EXPECT_EQ(capture_stdout([&] { load_image(dir.file("in.kvrn", content).c_str()); }),
              console(c.header, c.first));
    image_group = nullptr;
    c.expected.resize(static_cast<std::size_t>(block_positions(c.header)), grey);
    for (std::int32_t n = 0; n < group->width * group->height; ++n) {
        const std::int32_t row = n / group->width, column = n % group->width;
        const auto& want = c.expected[row / 8 * blocks_covering(group->width) + column / 8];
        const std::uint8_t* got = group->pixels + pixel_offset(group->width, row, column);
        const colour pixel{got[0], got[1], got[2]};
        ASSERT_EQ(want.value_or(pixel), pixel) << row << "," << column;
    }
}

// DC-only blocks give flat colours: a DC of D is the sample (D + 4) / 8 + 128 (rounded down), and
// a chroma sample of 138 adds (10 * 359) >> 8 = 14 to red and takes (10 * 183) >> 8 = 7 from green.
// The 24 x 16 picture has six positions of 3-byte blocks but the second position's Cr block
// (stream bytes 12 to 20): DC 40, five zeros, 3 at zig-zag 6, the end byte. Then every picture
// size up to 17 x 17, the Y DCs numbering the positions; the chroma channels are off, so their
// blocks only fill the stream. The widest and the tallest picture hold no stream at all.
TEST(loader, decodes_what_the_file_holds) {
    std::vector<coef_block> six(18);
    six[0][0] = 80;
    six[3][0] = -80;
    six[4][0] = 40;
    six[4][3] = 3;  // row-major index 3: zig-zag position 6
    const kvrn_header six_header{kvrn_magic, 24, 16, 1, 1, 65535};
    std::vector<load_case> cases = {
        {{kvrn_magic, 8, 8, 8, 2, 4}, {{10}, {40}, {-20}}, {colour{152, 135, 120}}},
        {{kvrn_magic, 16, 8, 1, 1, 1},
         {{-800}, {-800}, {800}, {800}, {800}, {-800}},
         {colour{0, 66, 205}, colour{255, 192, 50}}},
        {{kvrn_magic, 8, 8, 0, 1, 1}, {six[4], {80}, {0}}, {colour{142, 121, 128}}},
        {six_header, six, {light}, 10, 3},
        {six_header, six, {light, colour{125, 115, 118}}, 19, 4},
        {six_header, six, {light, {}}, 59, 17},
        {six_header, six, {light, {}}, 63},
        {{kvrn_magic, 65535, 1, 1, 1, 1}, {}, {}, 0, 0},
        {{kvrn_magic, 1, 65535, 1, 1, 1}, {}, {}, 0, 0},
    };
    for (std::uint16_t width = 0; width <= 17; ++width) {
        for (std::uint16_t height = 0; height <= 17; ++height) {
            load_case c{
                {kvrn_magic, width, height, 1, 1, 1}, {}, {}, SIZE_MAX, INT64_MAX, {1, 0, 0}};
            for (int k = 0; k < block_positions(c.header); ++k) {
                coef_block full;  // 65 bytes, no end byte (3 bytes for k = 0)
                full.fill(k);
                c.blocks.insert(c.blocks.end(), {{8 * (5 * k - 20)}, full, {k}});
                c.expected.push_back(colour{108 + 5 * k, 108 + 5 * k, 108 + 5 * k});
            }
            cases.push_back(c);
        }
    }
    for (const load_case& c : cases) check(c);
}

// A missing file, a directory, a wrong magic number and every length short of a header (checked
// first).
TEST(loader, unreadable_files_end_the_process) {
    const std::string wrong = kvrn_file({0x04030201, 8, 8, 1, 1, 1});
    std::vector<std::pair<std::optional<std::string>, std::string>> cases = {
        {std::nullopt, ""}, {wrong, ": magic number != 0x4b56524e, found 0x4030201"}};
    for (std::size_t n = 0; n < header_bytes; ++n) {
        cases.emplace_back(wrong.substr(0, n), ": file too short for a KVRN header (" +
                                                   std::to_string(n) + " of 14 bytes)");
    }
    const auto check = [](const std::string& path, const std::string& reason) {
        const child_result child = run_in_child([&] { load_image(path.c_str()); }, "\n\n");
        EXPECT_EQ(child.exit_status, 255) << reason;
        EXPECT_EQ(child.output, "Error opening file " + path + reason);
    };
    const scratch_dir dir;  // the missing file comes first, then each content in its place
    for (const auto& [content, reason] : cases) check(dir.file("in.kvrn", content), reason);
    check(dir.path.string(), "");
}

}  // namespace
}  // namespace kvrn::testing
