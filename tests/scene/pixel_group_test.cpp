// The exact GL call streams of both drawing modes, and the blocks the preview writes to a stream.
#include "scene/pixel_group.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "codec/block_path.h"
#include "scene/preview.h"
#include "support/files.h"
#include "support/gl_recorder.h"

namespace kvrn {
namespace {

using rgb = std::array<int, 3>;  // 0..255 stands for 0.0..1.0, as drawn
using colour_map = std::function<rgb(int row, int column)>;

// One batch of points: the width x height rectangles at `origins` (r0, c0) in turn, each row by
// row, the pixel (row, column) at (column + x, row + y) in its colour.
std::string rectangles(const std::vector<std::array<int, 2>>& origins, int width, int height,
                       const colour_map& colour, float x = 0, float y = 0) {
    testing::gl_log().clear();
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
    return testing::gl_log();
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
    testing::gl_log().clear();
    group.draw();
    return testing::gl_log();
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
    group.y = -40.25F;
    EXPECT_EQ(draw(group, 1), rectangles({{0, 0}}, 20, 12, picture, 2.5F, -40.25F));
    group.preview = -1;  // any value but 0 selects the preview
    EXPECT_EQ(draw(group, 1), rectangles({{0, 0}, {0, 8}}, 8, 8, picture, 2.5F, -40.25F));
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
        // way to GL.
        {yellow, 1, {1, 0, 1}, {225, 269, -1}},
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

TEST(pixel_group, with_a_stream_every_frame_announces_and_writes_each_block) {
    pixel_group group;
    set_picture(group, 16, 16, [](int row, int column) { return rgb{row * 15, column * 15, 99}; });
    for (const std::int32_t step : {3, -3}) {  // a negative step writes its own quotients
        char* data = nullptr;
        std::size_t size = 0;
        group.out = open_memstream(&data, &size);
        std::string expected;
        for (int frame = 0; frame < 2; ++frame) {
            EXPECT_EQ(testing::capture_stdout([&] { (void)draw(group, step); }),
                      "writing block 0 (0, 0)\nwriting block 1 (0, 8)\n"
                      "writing block 2 (8, 0)\nwriting block 3 (8, 8)\n");
            for (int block = 0; block < 4; ++block) {
                std::array<coef_block, 3> ycc;
                quantise_block(group.picture(), block / 2 * 8, block % 2 * 8, {step, step, step},
                               ycc[0], ycc[1], ycc[2]);
                for (const coef_block& b : ycc)
                    for (const std::uint8_t byte : testing::coded(b)) expected += char(byte);
            }
        }
        (void)std::fclose(group.out);
        EXPECT_EQ(std::string(data, size), expected) << step;
        std::free(data);
    }
    group.out = nullptr;
}

}  // namespace
}  // namespace kvrn
