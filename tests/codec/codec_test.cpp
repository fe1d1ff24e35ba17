#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <numeric>
#include <random>
#include <tuple>

#include "codec/block_coding.h"
#include "codec/colour.h"
#include "codec/fdct.h"
#include "codec/idct.h"
#include "support/files.h"
#include "support/float_dct.h"

namespace kvrn::testing {
namespace {

// A block from its DC and (zig-zag position, value) pairs.
coef_block block_of(std::int32_t dc, std::vector<std::pair<int, std::int32_t>> ac = {}) {
    coef_block block{};
    block[0] = dc;
    for (const auto& [position, value] : ac) block[zigzag_order[position]] = value;
    return block;
}

// `head`, `zeros` zero bytes, `tail`.
bytes join(bytes head, std::size_t zeros, const bytes& tail) {
    head.resize(head.size() + zeros);
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

TEST(BlockCoding, WritesTheCodedFormAndReadsItBack) {
    const coef_block clamped = block_of(0, {{1, 126}, {2, 126}, {3, 126}, {4, -127}, {5, -127}});
    // block, its coded form, AC values clamped, the block read back
    const std::vector<std::tuple<coef_block, bytes, int, coef_block>> cases = {
        {block_of(0x1234), {0x34, 0x12, 0x7F}, 0, block_of(0x1234)},
        {block_of(0, {{63, 9}}), join({0, 0}, 62, {9}), 0, block_of(0, {{63, 9}})},
        {block_of(0, {{62, -2}}), join({0, 0}, 61, {0xFE, 0x7F}), 0, block_of(0, {{62, -2}})},
        {block_of(0, {{1, 127}, {2, 200}, {3, 1000}, {4, -127}, {5, -1000}}),
         {0, 0, 0x7E, 0x7E, 0x7E, 0x81, 0x81, 0x7F},
         4,
         clamped},
        {block_of(0, {{1, -128}}), {0, 0, 0x81, 0x7F}, 1, block_of(0, {{1, -127}})},
        {block_of(70000), {0x70, 0x11, 0x7F}, 0, block_of(4464)},
        {block_of(-1), {0xFF, 0xFF, 0x7F}, 0, block_of(-1)},
        {block_of(0, {{1, 5}, {4, 3}}), {0, 0, 5, 0, 0, 3, 0x7F}, 0, block_of(0, {{1, 5}, {4, 3}})},
    };
    for (const auto& [block, form, clipped, back] : cases) {
        int count = -1;
        const bytes written = coded(block, &count);
        EXPECT_EQ(written, form);
        EXPECT_EQ(count, clipped);
        byte_reader in(written.data(), written.size());
        coef_block read;
        EXPECT_EQ(read_block(read, in), block_complete);
        EXPECT_EQ(read, back);
        EXPECT_EQ(in.consumed(), written.size());
    }
}

TEST(BlockCoding, ReadsUpToTheBlockEndOrTheStreamEnd) {
    coef_block full;
    full.fill(1);
    full[0] = 32767;
    // stream, result, block, bytes consumed
    const std::vector<std::tuple<bytes, int, coef_block, std::uint64_t>> cases = {
        {{0x34, 0x12, 0x7F, 0x99}, 1, block_of(0x1234), 3},
        {{0, 0, 0x80, 0xFF, 0x7F}, 1, block_of(0, {{1, -128}, {2, -1}}), 5},
        {join({0xFF, 0x7F}, 0, bytes(64, 1)), 1, full, 65},
        {{16, 0, 1, 2, 3, 4, 0xFB}, -1, block_of(16, {{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, -5}}), 7},
        {{0x05}, -1, block_of(0), 1},
        {{}, -1, block_of(0), 0},
    };
    for (const auto& [stream, result, block, consumed] : cases) {
        byte_reader in(stream.data(), stream.size());
        coef_block read;
        read.fill(99);
        EXPECT_EQ(read_block(read, in), result);
        EXPECT_EQ(read, block);
        EXPECT_EQ(in.consumed(), consumed);
    }
}

// In-range blocks written back to back to a real file come back unchanged, each read taking
// exactly its own bytes.
TEST(BlockCoding, RandomBlocksSurviveAFileRoundTrip) {
    std::mt19937 random(20240601);
    std::uniform_int_distribution<std::int32_t> dc(-32768, 32767), ac(-127, 126), last(0, 63);
    std::vector<coef_block> blocks(5000);
    std::FILE* file = std::tmpfile();
    for (coef_block& block : blocks) {
        block = block_of(dc(random));
        for (int n = 1, end = last(random); n <= end; ++n) {
            block[zigzag_order[n]] = random() % 4 == 0 ? 0 : ac(random);
        }
        EXPECT_EQ(write_block(block, file), 0);
    }
    std::rewind(file);
    byte_reader in(file);
    std::uint64_t end = 0;
    for (const coef_block& block : blocks) {
        end += coded(block).size();
        coef_block read;
        ASSERT_EQ(read_block(read, in), block_complete);
        ASSERT_EQ(read, block);
        ASSERT_EQ(in.consumed(), end);
    }
    EXPECT_EQ(in.next(), -1);
    (void)std::fclose(file);
}

coef_block samples_of(coef_block coefficients) {
    coef_block samples;
    idct_2d(coefficients, samples);
    return samples;
}

template <class Value>
coef_block pattern(Value value) {  // value(y, x) at index y * 8 + x
    coef_block block;
    for (int i = 0; i < 64; ++i) block[i] = value(i / 8, i % 8);
    return block;
}

coef_block flat(std::int32_t value) {
    return pattern([=](int, int) { return value; });
}

coef_block dc_only(std::int32_t dc) {
    return pattern([=](int y, int x) { return x + y == 0 ? dc : 0; });
}

std::int32_t saturate(double value) {
    return static_cast<std::int32_t>(std::clamp(value, -128.0, 127.0)) + 128;
}

// Far past both saturation ends, which also proves the shortcut paths.
TEST(Idct, DcOnlyBlocksGiveFlatRoundedSamples) {
    for (std::int32_t dc = -70000; dc <= 70000; ++dc) {
        ASSERT_EQ(samples_of(dc_only(dc)), flat(saturate(std::floor((dc + 4) / 8.0)))) << dc;
    }
    coef_block bright = dc_only(8000), dark = dc_only(-8000);  // full paths must not wrap either
    bright[9] = dark[9] = 1;
    EXPECT_EQ(samples_of(bright), flat(255));
    EXPECT_EQ(samples_of(dark), flat(0));
}

TEST(Idct, PassesRoundDownAndLeaveTheRowResultsBehind) {
    for (const auto& example : std::map<std::int32_t, std::int32_t>{{-33, 127}, {-32, 128}}) {
        const std::int32_t a0 = example.first, sample = example.second;
        for (int column = 0; column < 8; ++column) {
            coef_block samples = flat(-1);
            idct_column(pattern([&](int y, int x) { return x == column && y == 0 ? a0 : 0; }),
                        samples, column);
            EXPECT_EQ(samples, pattern([&](int, int x) { return x == column ? sample : -1; }));
        }
    }
    for (const std::int32_t b0 : {-3, 1, 1000}) {
        coef_block coefficients = dc_only(b0), samples;
        idct_2d(coefficients, samples);
        EXPECT_EQ(coefficients, pattern([=](int y, int) { return y == 0 ? 8 * b0 : 0; }));
    }
}

// Coefficients of random 8-bit sample blocks, exact or quantised by a random step.
TEST(Idct, StaysWithinOneOfTheFloatInverse) {
    std::mt19937 random(12);
    std::uniform_int_distribution<std::int32_t> sample(-128, 127), step(2, 40);
    for (int trial = 0; trial < 4000; ++trial) {
        const real_block exact =
            float_dct(pattern([&](int, int) { return sample(random); }), false);
        const std::int32_t q = trial % 2 == 0 ? 1 : step(random);
        coef_block coefficients;
        for (int i = 0; i < 64; ++i) coefficients[i] = q * std::lround(exact[i] / q);
        const real_block inverse = float_dct(coefficients, true);
        const coef_block decoded = samples_of(coefficients);
        for (int i = 0; i < 64; ++i) ASSERT_NEAR(decoded[i], saturate(std::round(inverse[i])), 1);
    }
}

// Every position holding INT32_MIN or INT32_MAX, alone or among the other extreme, and random
// 32-bit blocks: the values wrap inside the transform, yet the results must be samples.
TEST(Idct, ExtremeCoefficientsStayInRange) {
    std::mt19937 random(13);
    for (int trial = 0; trial < 2256; ++trial) {
        const std::int32_t one = trial % 2 == 0 ? INT32_MIN : INT32_MAX;
        coef_block block = flat(trial % 4 < 2 ? 0 : ~one);
        block[trial / 4 % 64] = one;
        if (trial >= 256)
            for (std::int32_t& c : block) c = static_cast<std::int32_t>(random());
        for (const std::int32_t s : samples_of(block)) ASSERT_TRUE(s >= 0 && s <= 255) << trial;
    }
}

const coef_block stripes = pattern([](int, int x) { return x % 2 == 0 ? -128 : 127; });
const coef_block checkerboard = pattern([](int y, int x) { return (x + y) % 2 == 0 ? -128 : 127; });

TEST(Fdct, StaysWithinOneAndAHalfOfEightTimesTheFloatTransform) {
    std::vector<coef_block> blocks = {flat(-128), flat(127), stripes, checkerboard};
    std::mt19937 random(21);
    std::uniform_int_distribution<std::int32_t> sample(-128, 127);
    for (int trial = 0; trial < 5000; ++trial) {
        blocks.push_back(pattern([&](int, int) { return sample(random); }));
    }
    for (const coef_block& samples : blocks) {
        coef_block coefficients = samples;
        fdct_2d(coefficients);
        const real_block exact = float_dct(samples, false);
        EXPECT_EQ(coefficients[0], std::accumulate(samples.begin(), samples.end(), 0));
        for (int i = 0; i < 64; ++i) ASSERT_LT(std::abs(coefficients[i] - 8 * exact[i]), 1.5);
    }
}

TEST(Fdct, KnownBlocks) {
    // samples, the coefficients named, whether unnamed ones at odd u and odd v may be non-zero
    const std::vector<std::tuple<coef_block, std::map<int, std::int32_t>, bool>> cases = {
        {flat(0), {}, false},
        {flat(1), {{0, 64}}, false},
        {flat(-128), {{0, -8192}}, false},
        {flat(127), {{0, 8128}}, false},
        {stripes, {{0, -32}, {1, -1470}, {3, -1734}, {5, -2596}, {7, -7394}}, false},
        {checkerboard, {{0, -32}, {63, -6700}, {15, -1333}, {57, -1332}}, true},
    };
    for (const auto& [samples, named, odd_free] : cases) {
        coef_block coefficients = samples;
        fdct_2d(coefficients);
        for (int i = 0; i < 64; ++i) {
            if (named.contains(i)) {
                EXPECT_EQ(coefficients[i], named.at(i)) << i;
            } else if (!odd_free || i / 8 % 2 == 0 || i % 2 == 0) {
                EXPECT_EQ(coefficients[i], 0) << i;
            }
        }
    }
}

using triple = std::array<std::int32_t, 3>;

TEST(Colour, YccToRgb) {
    const std::vector<std::tuple<channel_enables, triple, triple>> cases = {
        {{}, {128, 128, 128}, {128, 128, 128}},
        {{}, {255, 255, 255}, {433, 122, 480}},
        {{}, {0, 0, 0}, {-180, 136, -227}},
        {{}, {128, 127, 128}, {126, 129, 128}},
        {{}, {128, 128, 127}, {128, 129, 126}},
        {{0, 1, 1}, {200, 128, 128}, {0, 0, 0}},
        {{1, 0, 1}, {100, 255, 128}, {100, 100, 100}},
        {{1, 1, 0}, {100, 128, 0}, {100, 100, 100}},
        {{0, 1, 1}, {200, 255, 0}, {178, -46, -227}},
    };
    for (const auto& [enables, ycc, rgb] : cases) {
        coef_block red, green, blue;
        ycc_to_rgb(enables, flat(ycc[0]), flat(ycc[1]), flat(ycc[2]), red, green, blue);
        EXPECT_EQ(red, flat(rgb[0]));
        EXPECT_EQ(green, flat(rgb[1]));
        EXPECT_EQ(blue, flat(rgb[2]));
    }
}

TEST(Colour, RgbToYccTruncatesTowardZero) {
    std::vector<std::pair<triple, triple>> cases = {
        {{0, 0, 0}, {-128, 0, 0}},      {{255, 255, 255}, {127, 0, 0}},
        {{128, 128, 128}, {0, 0, 0}},   {{255, 0, 0}, {-51, 127, -43}},
        {{0, 255, 0}, {21, -106, -84}}, {{0, 0, 255}, {-98, -20, 127}},
    };
    for (std::int32_t v = 0; v < 256; ++v) cases.push_back({{v, v, v}, {v - 128, 0, 0}});
    for (const auto& [rgb, ycc] : cases) {
        const auto [y, cr, cb] =
            rgb_to_ycc(static_cast<std::uint8_t>(rgb[0]), static_cast<std::uint8_t>(rgb[1]),
                       static_cast<std::uint8_t>(rgb[2]));
        EXPECT_EQ((triple{y, cr, cb}), ycc) << rgb[0] << "," << rgb[1] << "," << rgb[2];
    }
}

}  // namespace
}  // namespace kvrn::testing
