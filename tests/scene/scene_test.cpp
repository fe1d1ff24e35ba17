// The scene objects: the item list through every change, print_all and the deletions at process
// exit; the exact GL call streams of both drawing modes of a picture, and the blocks its preview
// writes to a stream.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "scene/dlist.h"
#include "scene/pixel_group.h"
#include "scene/preview.h"
#include "scene/view_area.h"
#include "support/files.h"
#include "support/gl_recorder.h"

namespace kvrn {
namespace {

TEST(dlist, links_stay_consistent_through_appends_unlinks_and_deletions) {
    // How many items are made, named by their digits, in construction order; what is done to
    // those whose digits follow the letter (d: delete, a: append again, u: unlink, w: unlink as
    // a walk reaches them; u and w then delete them); the names of the items left.
    const std::vector<std::tuple<int, std::string, std::string>> cases = {
        {4, "-", "0123"}, {1, "d0", ""},    {3, "d0", "12"},  {3, "d1", "02"}, {3, "d2", "01"},
        {1, "a0", "0"},   {3, "a2", "012"}, {3, "a0", "120"}, {3, "u1", "02"}, {4, "w03", "12"}};
    for (const auto& [count, operation, left] : cases) {
        SCOPED_TRACE(operation);
        ASSERT_EQ(display_list.first, nullptr);
        std::vector<item*> items;
        for (int i = 0; i < count; ++i)
            items.emplace_back(new item)->name = strdup(std::to_string(i).c_str());
        const auto doomed = [&targets = operation](const item* member) {
            return targets.find(member->name[0], 1) != std::string::npos;
        };
        if (operation[0] == 'w')
            display_list.walk([&](item& member) { doomed(&member) ? member.unlink() : void(); });
        for (item* member : items) {
            if (!doomed(member)) continue;
            if (operation[0] == 'a') display_list.append(*member);
            if (operation[0] == 'u') member->unlink();
            EXPECT_TRUE(std::strchr("ad", operation[0]) ||
                        (!member->list && !member->next && !member->prev));
            if (operation[0] != 'a') delete member;  // unlinked, it only releases its name
        }
        std::string names;  // from first to last, every link checked on the way
        for (const item *current = display_list.first, *previous = nullptr; current != nullptr;
             previous = current, current = current->next) {
            EXPECT_TRUE(current->prev == previous && current->list == &display_list) << names;
            names += current->name;
        }
        EXPECT_EQ(names, left);
        display_list.walk([](item& member) { delete &member; });
    }
}

// Reports its own deletion on standard output, as its name.
struct counted_item : item {
    ~counted_item() override {
        if (write(STDOUT_FILENO, name, 1) != 1) std::abort();
    }
};

TEST(dlist, print_all_goes_first_to_last_and_exit_deletes_every_remaining_item_once) {
    const testing::child_result child = testing::run_in_child(
        [] {
            for (const char* name : {"a", "b", "c"}) (new counted_item)->name = strdup(name);
            new item;
            delete display_list.first->next;  // b goes now, and must not go again
            display_list.print_all();
            (void)std::fflush(stdout);
            std::exit(-1);
        },
        "");
    EXPECT_EQ(child.exit_status, 255);
    EXPECT_EQ(child.output, "bItem name: a\nItem name: c\nItem name: <NULL>\nac");
}

using rgb = std::array<int, 3>;  // 0..255 stands for 0.0..1.0, as drawn
using colour_map = std::function<rgb(int row, int column)>;

// One batch of points: the width x height rectangles at `origins` (r0, c0) in turn, each row by
// row, the pixel (row, column) at (column + x, row + y) in its colour.
std::string rectangles(const std::vector<std::array<int, 2>>& origins, int width, int height,
                       const colour_map& colour, float x = 0, float y = 0) {
    testing::gl_log.clear();
    glBegin(GL_POINTS);
    for (const auto& [r0, c0] : origins) {
        for (int n = 0; n < width * height; ++n) {
            const rgb c = colour(r0 + n / width, c0 + n % width);
            glColor3f(static_cast<float>(c[0] / 255.0), static_cast<float>(c[1] / 255.0),
                      static_cast<float>(c[2] / 255.0));
            const GLfloat vertex[] = {static_cast<float>(c0 + n % width) + x,
                                      static_cast<float>(r0 + n / width) + y};
            glVertex2fv(vertex);
        }
    }
    glEnd();
    return testing::gl_log;
}

void set_picture(pixel_group& group, int width, int height, const colour_map& colour) {
    std::free(group.pixels);
    group.pixels = static_cast<std::uint8_t*>(std::malloc(3 * std::size_t(width * height)));
    for (int b = 0; b < 3 * width * height; ++b)
        group.pixels[b] = static_cast<std::uint8_t>(colour(b / 3 / width, b / 3 % width)[b % 3]);
    group.width = width;
    group.height = height;
}

std::string draw(pixel_group& group, std::int32_t step) {
    quant_step = step;
    testing::gl_log.clear();
    group.draw();
    return testing::gl_log;
}

// 20 x 12: each 8x8 cell of the whole blocks in its own grey, which the preview gives back
// exactly, so each point shows where it was sampled; the strips beyond in colours of their own.
rgb picture(int row, int column) {
    const int level = 10 + 13 * (column / 8);
    return row < 8 && column < 16 ? rgb{level, level, level} : rgb{20 * row, 12 * column, 9};
}

TEST(pixel_group, draws_nothing_without_pixels_every_pixel_directly_and_whole_blocks_in_preview) {
    pixel_group group;
    EXPECT_EQ(draw(group, 1), "");
    group.preview = 0;
    EXPECT_EQ(draw(group, 1), "");
    set_picture(group, 20, 12, picture);
    group.x = 2.5F;
    group.y = 40.25F;
    EXPECT_EQ(draw(group, 1), rectangles({{0, 0}}, 20, 12, picture, 2.5F, 40.25F));
    group.preview = -1;  // any value but 0 selects the preview
    EXPECT_EQ(draw(group, 1), rectangles({{0, 0}, {0, 8}}, 8, 8, picture, 2.5F, 40.25F));
}

// A window smaller than the picture, or a picture moved partly out of it: only the points that
// land on a pixel of the window are sent, in the order they would have been, in both modes.
TEST(pixel_group, sends_only_the_points_inside_the_window) {
    // Picture 20 x 12 (preview: the whole blocks at columns 0..15, rows 0..7). The window's size,
    // the offsets, and the rows and columns that land inside it, worked out by hand:
    // 0 <= column + x < width and 0 <= row + y < height.
    struct window_case {
        view_area window;
        float x, y;
        index_span rows, columns;
    };
    const std::vector<window_case> cases = {
        {{13, 5}, 0, 0, {0, 5}, {0, 13}},
        {{9, 20}, 0, 0, {0, 12}, {0, 9}},  // the second preview block shows one column
        {{30, 30}, -3.5F, -8, {8, 12}, {4, 20}},
        {{30, 30}, 12.5F, 27.75F, {0, 3}, {0, 18}},
        {{1, 1}, 0, 0, {0, 1}, {0, 1}},
    };
    pixel_group group;
    set_picture(group, 20, 12, picture);
    for (const window_case& c : cases) {
        const auto& [window, x, y, rows, columns] = c;
        SCOPED_TRACE(::testing::PrintToString(std::tuple(window.width, window.height, x, y)));
        visible_area = window;
        group.x = x;
        group.y = y;
        const auto points = [&c](const std::vector<std::array<int, 2>>& origins, int size) {
            std::string log;  // each rectangle's visible points, as rows of one-point rectangles
            for (const auto& [r0, c0] : origins)
                for (int r = std::max(r0, c.rows.first); r < std::min(r0 + size, c.rows.last); ++r)
                    for (int k = std::max(c0, c.columns.first);
                         k < std::min(c0 + size, c.columns.last); ++k)
                        log += rectangles({{r, k}}, 1, 1, picture, c.x, c.y);
            return log;
        };
        const auto strip = [](std::string log) {  // one glBegin/glEnd pair around all points
            std::string points;
            for (std::size_t at = 0; (at = log.find("colour", at)) != std::string::npos;) {
                const std::size_t end = log.find("vertex", at);
                const std::size_t line = log.find('\n', end) + 1;
                points += log.substr(at, line - at);
                at = line;
            }
            return points;
        };
        group.preview = 0;
        EXPECT_EQ(strip(draw(group, 1)), strip(points({{0, 0}}, 20)));
        group.preview = 1;
        EXPECT_EQ(strip(draw(group, 1)), strip(points({{0, 0}, {0, 8}}, 8)));
    }
    visible_area = {};
}

TEST(pixel_group, preview_of_a_uniform_block) {
    const rgb red{255, 0, 0};
    const rgb yellow{255, 255, 0};
    const std::vector<std::tuple<rgb, int, std::tuple<int, int, int>, rgb>> cases = {
        // the stored colour, the step, the enables, the colour drawn
        {red, 1, {1, 1, 1}, {255, 2, 0}},
        {red, 0, {1, 1, 1}, {255, 2, 0}},
        // The DC term -1024 divides to -102 (truncated, not floored), returns as -1020.
        {{0, 0, 0}, 10, {1, 1, 1}, {1, 1, 1}},
        {{0, 0, 0}, -10, {1, 1, 1}, {1, 1, 1}},
        // Yellow's samples are Y 225, Cr 148, Cb 1, cyan's 178, 1, 171; nothing is clamped on the
        // way to GL, and the shifts round toward minus infinity. Each channel can be off alone.
        {yellow, 1, {1, 0, 1}, {225, 269, -1}},
        {yellow, 1, {0, 1, 1}, {28, 30, -226}},
        {yellow, 1, {1, 1, 0}, {253, 211, 225}},
        {yellow, 1, {1, 0, 0}, {225, 225, 225}},
        {{0, 255, 255}, 1, {1, 1, 1}, {-1, 255, 254}},
    };
    pixel_group group;
    for (const auto& [stored, step, enables, drawn] : cases) {
        SCOPED_TRACE(::testing::PrintToString(stored) + " step " + std::to_string(step));
        set_picture(group, 8, 8, [&s = stored](int, int) { return s; });
        std::tie(group.use_y, group.use_cr, group.use_cb) = enables;
        EXPECT_EQ(draw(group, step),
                  rectangles({{0, 0}}, 8, 8, [&d = drawn](int, int) { return d; }));
    }
}

// 16 x 16: stripes of black and white columns, red, grey 200 and grey 128, each a whole block.
// Stripes have Y -128 and 127 (greys map to v - 128) and give DC -32 and -1470, -1734, -2596,
// -7394 at row-major 1, 3, 5, 7 (zig-zag 1, 6, 15, 28); red has Y, Cr, Cb -51, 127, -43; a flat
// block of s gives DC 64 s. Shifted right by 3 and divided by the step (truncating), AC values
// clamped to -127..126: at step 3 the stripes' Y is -1, then -61, -72, -108, -308 -> -127.
TEST(pixel_group, with_a_stream_every_frame_announces_and_writes_each_block) {
    pixel_group group;
    set_picture(group, 16, 16, [](int row, int column) {
        const int block = row / 8 * 2 + column / 8, v = (column % 2) * 255;
        return std::array{rgb{v, v, v}, rgb{255, 0, 0}, rgb{200, 200, 200},
                          rgb{128, 128, 128}}[block];
    });
    const std::string flat = std::string("\0\0\x7F", 3), grey = flat + flat;
    const auto stripes = [](const std::string& dc, const std::string& ac) {
        return dc + ac[0] + std::string(4, '\0') + ac[1] + std::string(8, '\0') + ac[2] +
               std::string(12, '\0') + ac[3] + "\x7F";
    };
    const std::pair<std::int32_t, std::string> steps[] = {
        {3, stripes({"\xFF\xFF", 2}, "\xC3\xB8\x94\x81") + grey +
                std::string("\x78\xFF\x7F\x52\x01\x7F\x8E\xFF\x7F") + std::string("\xC0\0\x7F", 3) +
                grey + flat + grey},
        // A negative step writes its own quotients.
        {-3, stripes({"\x01\0", 2}, "\x3D\x48\x6C\x7E") + grey +
                 std::string("\x88\0\x7F\xAE\xFE\x7F\x72\0\x7F", 9) + std::string("\x40\xFF\x7F") +
                 grey + flat + grey},
    };
    for (const auto& [step, blocks] : steps) {
        const testing::scratch_dir dir;
        group.out = std::fopen(dir.file("out", std::nullopt).c_str(), "wb");
        for (int frame = 0; frame < 2; ++frame) {
            EXPECT_EQ(testing::capture_stdout([&group, s = step] { (void)draw(group, s); }),
                      "writing block 0 (0, 0)\nwriting block 1 (0, 8)\n"
                      "writing block 2 (8, 0)\nwriting block 3 (8, 8)\n");
        }
        (void)std::fclose(group.out);
        EXPECT_EQ(dir.read("out"), blocks + blocks) << step;
    }
}

}  // namespace
}  // namespace kvrn
