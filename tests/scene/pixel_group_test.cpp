#include "scene/pixel_group.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "codec/block_coding.h"
#include "codec/block_path.h"
#include "scene/preview.h"
#include "support/files.h"
#include "support/gl_recorder.h"

namespace kvrn {
namespace {

using testing::gl_call;
using calls = std::vector<gl_call>;
using rgb = std::array<int, 3>;
using origin = std::array<std::int32_t, 2>;  // r0, c0 of a block

struct point {
    rgb colour;  // 0..255 stands for 0.0..1.0, as drawn
    float x, y;
};

// The calls that draw `points`, in order, as one batch of GL points.
calls frame(const std::vector<point>& points) {
    calls expected{{gl_call::begin, GL_POINTS}};
    for (const auto& [colour, x, y] : points) {
        expected.push_back({gl_call::colour, 0, static_cast<float>(colour[0] / 255.0),
                            static_cast<float>(colour[1] / 255.0),
                            static_cast<float>(colour[2] / 255.0)});
        expected.push_back({gl_call::vertex, 0, x, y});
    }
    expected.push_back({gl_call::end});
    return expected;
}

// The points of whole blocks drawn row by row, each block in the one colour `colour_of` gives it.
calls block_frame(const std::vector<origin>& origins,
                  const std::function<rgb(const origin&)>& colour_of, float x = 0, float y = 0) {
    std::vector<point> points;
    for (const auto& [r0, c0] : origins) {
        for (std::int32_t row = r0; row < r0 + 8; ++row) {
            for (std::int32_t column = c0; column < c0 + 8; ++column) {
                points.push_back({colour_of({r0, c0}), static_cast<float>(column) + x,
                                  static_cast<float>(row) + y});
            }
        }
    }
    return frame(points);
}

class pixel_group_test : public ::testing::Test {
  protected:
    void TearDown() override {
        delete group;
        quant_step = 1;
    }
    // Gives the group, in place of any picture it had, one coloured `colour(row, column)`.
    void set_picture(std::int32_t width, std::int32_t height,
                     const std::function<rgb(int, int)>& colour) {
        const std::size_t size = width > 0 && height > 0 ? 3 * std::size_t(width * height) : 0;
        std::free(group->pixels);
        group->pixels = static_cast<std::uint8_t*>(std::malloc(size + 1));
        for (std::size_t b = 0; b < size; ++b) {
            const auto pixel = static_cast<int>(b / 3);
            group->pixels[b] =
                static_cast<std::uint8_t>(colour(pixel / width, pixel % width)[b % 3]);
        }
        group->width = width;
        group->height = height;
    }
    calls draw_at(std::int32_t step) {
        quant_step = step;
        testing::clear_gl_calls();
        group->draw();
        return testing::gl_calls();
    }

    pixel_group* group = new pixel_group;
};

// Varied enough that coarser steps change it, smooth enough that no coded AC value is clamped.
rgb texture(int row, int column) {
    const int base = row * 9 + column * 5 + (row * column) % 7;
    return {base % 200, (base + 60) % 200, (base + 120) % 200};
}

TEST_F(pixel_group_test, without_pixels_nothing_reaches_gl) {
    for (const std::int32_t preview : {0, 1}) {
        group->preview = preview;
        EXPECT_EQ(draw_at(1), calls{});
    }
}

TEST_F(pixel_group_test, direct_mode_draws_the_stored_bytes_point_by_point) {
    // width, height, the pixels, offset x, offset y, the points in the order drawn
    using direct_case = std::tuple<int, int, std::vector<rgb>, float, float, std::vector<float>>;
    for (const auto& [width, height, pixels, x, y, drawn] : std::vector<direct_case>{
             {1, 1, {{255, 0, 128}}, 0, 0, {0, 0}},
             {2, 2, {{0, 1, 2}, {3, 4, 5}, {6, 7, 8}, {9, 10, 11}}, 0, 0, {0, 0, 1, 0, 0, 1, 1, 1}},
             {2, 1, {{1, 2, 3}, {4, 5, 6}}, 100.5F, -0.25F, {100.5F, -0.25F, 101.5F, -0.25F}},
             {0, 3, {}, 0, 0, {}},
             {2, -1, {}, 0, 0, {}},
         }) {
        SCOPED_TRACE(::testing::Message() << width << "x" << height);
        set_picture(width, height,
                    [&p = pixels, w = width](int row, int column) { return p[row * w + column]; });
        group->preview = 0;
        group->x = x;
        group->y = y;
        std::vector<point> points;
        for (std::size_t k = 0; k < pixels.size(); ++k)
            points.push_back({pixels[k], drawn[2 * k], drawn[2 * k + 1]});
        EXPECT_EQ(draw_at(1), frame(points));
    }
}

TEST_F(pixel_group_test, preview_draws_only_whole_blocks_from_their_own_pixels) {
    // Every 8x8 cell of the picture, and every strip beyond the whole blocks, in its own grey:
    // greys come back through the preview exactly, so each point shows where it was sampled.
    const auto grey = [](int row, int column) {
        const int level = 10 + 13 * (column / 8) + 51 * (row / 8);
        return rgb{level, level, level};
    };
    // width, height, preview (any value but 0 selects the preview), x, y, the blocks drawn
    using grid_case = std::tuple<int, int, int, float, float, std::vector<origin>>;
    for (const auto& [width, height, preview, x, y, drawn] : std::vector<grid_case>{
             {7, 100, 1, 0, 0, {}},
             {100, 7, 1, 0, 0, {}},
             {20, 12, 1, 0, 0, {{0, 0}, {0, 8}}},
             {8, 17, 2, 0, 0, {{0, 0}, {8, 0}}},
             {16, 16, -1, 2.5F, -40, {{0, 0}, {0, 8}, {8, 0}, {8, 8}}},
         }) {
        SCOPED_TRACE(::testing::Message() << width << "x" << height);
        set_picture(width, height, grey);
        group->preview = preview;
        group->x = x;
        group->y = y;
        EXPECT_EQ(draw_at(1), block_frame(
                                  drawn, [&](const origin& o) { return grey(o[0], o[1]); }, x, y));
    }
}

TEST_F(pixel_group_test, preview_of_a_uniform_block) {
    const rgb black{0, 0, 0};
    const rgb grey{128, 128, 128};
    const rgb yellow{255, 255, 0};
    const channel_enables all;
    // the stored colour, the step, the enables, the colour drawn
    using uniform_case = std::tuple<rgb, int, channel_enables, rgb>;
    for (const auto& [stored, step, enables, drawn] : std::vector<uniform_case>{
             {black, 1, all, black},
             {{255, 255, 255}, 1, all, {255, 255, 255}},
             {{255, 0, 0}, 1, all, {255, 2, 0}},
             {grey, 1, all, grey},
             {grey, 9, all, grey},
             {grey, 1000, all, grey},
             // The DC term -1024 divides to -102 (truncated, not floored), returns as -1020.
             {black, 10, all, {1, 1, 1}},
             // Every coefficient (the largest is the Y DC term, 776) quantises to 0.
             {yellow, 5000, all, grey},
             {yellow, 5000, {0, 1, 1}, black},
             // Yellow's samples are Y 225, Cr 148, Cb 1, cyan's 178, 1, 171; none is clamped.
             {yellow, 1, all, {253, 255, -1}},
             {yellow, 1, {1, 0, 1}, {225, 269, -1}},
             {yellow, 1, {1, 1, 0}, {253, 211, 225}},
             {yellow, 1, {0, 1, 1}, {28, 30, -226}},
             {yellow, 1, {1, 0, 0}, {225, 225, 225}},
             {yellow, 1, {0, 0, 0}, black},
             {{0, 255, 255}, 1, all, {-1, 255, 254}},
         }) {
        SCOPED_TRACE(::testing::PrintToString(stored) + " step " + std::to_string(step));
        set_picture(8, 8, [&s = stored](int, int) { return s; });
        group->use_y = enables.use_y;
        group->use_cr = enables.use_cr;
        group->use_cb = enables.use_cb;
        EXPECT_EQ(draw_at(step), block_frame({{0, 0}}, [&d = drawn](const origin&) { return d; }));
    }
}

TEST_F(pixel_group_test, negative_and_zero_steps_draw_like_their_magnitude) {
    set_picture(16, 16, texture);
    EXPECT_NE(draw_at(6), draw_at(1));
    for (const auto& [step, like] : {std::pair{-1, 1}, {-6, 6}, {-45, 45}, {0, 1}}) {
        SCOPED_TRACE(step);
        EXPECT_EQ(draw_at(step), draw_at(like));
    }
}

TEST_F(pixel_group_test, with_a_stream_every_frame_writes_and_announces_each_block) {
    const std::string announced =
        "writing block 0 (0, 0)\nwriting block 1 (0, 8)\n"
        "writing block 2 (8, 0)\nwriting block 3 (8, 8)\n";
    set_picture(16, 16, texture);
    for (const std::int32_t step : {3, -3}) {
        SCOPED_TRACE(step);
        std::FILE* const out = group->out = std::tmpfile();
        ASSERT_NE(out, nullptr);
        calls frames[2];
        for (calls& drawn : frames) {
            EXPECT_EQ(testing::capture_stdout([&] { drawn = draw_at(step); }), announced);
        }
        EXPECT_EQ(frames[0], frames[1]);
        std::rewind(out);
        byte_reader in(out);
        for (const int block : {0, 1, 2, 3, 0, 1, 2, 3}) {
            std::array<coef_block, 3> written;
            quantise_block(group->picture(), block / 2 * 8, block % 2 * 8, {step, step, step},
                           written[0], written[1], written[2]);
            for (const coef_block& expected : written) {
                ASSERT_EQ(code_block(expected).clipped, 0);
                coef_block read;
                EXPECT_EQ(read_block(read, in), block_complete);
                EXPECT_EQ(read, expected);
            }
        }
        EXPECT_EQ(in.next(), -1);
        group->out = nullptr;
        (void)std::fclose(out);
    }
}

}  // namespace
}  // namespace kvrn
