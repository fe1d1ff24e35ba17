#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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

template <class Value>
coef_block pattern(Value value) {  // value(y, x) at index y * 8 + x
    coef_block block;
    for (int i = 0; i < 64; ++i) block[i] = value(i / 8, i % 8);
    return block;
}

coef_block flat(std::int32_t value) {
    return pattern([=](int, int) { return value; });
}

// The given (row-major index, value) pairs, the rest 0: the tables spell out the zig-zag order.
coef_block sparse(std::initializer_list<std::pair<int, std::int32_t>> values) {
    coef_block block{};
    for (const auto& [index, value] : values) block[index] = value;
    return block;
}

bytes join(bytes head, std::size_t zeros, const bytes& tail) {  // head, zero bytes, tail
    head.resize(head.size() + zeros);
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

TEST(BlockCoding, WritesTheCodedForm) {
    // block, its coded form, AC values clamped
    const std::tuple<coef_block, bytes, int> cases[] = {
        {coef_block{70000}, {0x70, 0x11, 0x7F}, 0},
        {coef_block{-1}, {0xFF, 0xFF, 0x7F}, 0},
        {sparse({{1, 1}, {8, 2}, {16, 3}, {2, 5}, {3, 6}}), {0, 0, 1, 2, 3, 0, 5, 6, 0x7F}, 0},
        {sparse({{63, 9}}), join({0, 0}, 62, {9}), 0},
        {sparse({{62, -2}}), join({0, 0}, 61, {0xFE, 0x7F}), 0},
        {sparse({{1, 127}, {8, 200}, {16, 1000}, {9, -127}, {2, -1000}, {3, -128}}),
         {0, 0, 0x7E, 0x7E, 0x7E, 0x81, 0x81, 0x81, 0x7F},
         5},
    };
    for (const auto& [block, form, clipped] : cases) {
        int count = -1;
        EXPECT_EQ(coded(block, &count), form);
        EXPECT_EQ(count, clipped);
    }
}

TEST(BlockCoding, ReadsUpToTheBlockEndOrTheStreamEnd) {
    coef_block full = flat(1);
    full[0] = 32767;
    // stream, result, block, bytes consumed
    const std::tuple<bytes, int, coef_block, std::uint64_t> cases[] = {
        {{0, 0, 0x80, 0xFF, 0x7F}, 1, sparse({{1, -128}, {8, -1}}), 5},
        {join({0xFF, 0x7F}, 0, bytes(64, 1)), 1, full, 65},
        {{16, 0, 1, 2, 0xFB}, -1, sparse({{0, 16}, {1, 1}, {8, 2}, {16, -5}}), 5},
        {{0x05}, -1, {}, 1},
    };
    for (const auto& [stream, result, block, consumed] : cases) {
        byte_reader in(stream.data(), stream.size());
        coef_block read = flat(99);
        EXPECT_EQ(read_block(read, in), result);
        EXPECT_EQ(read, block);
        EXPECT_EQ(in.consumed(), consumed);
    }
}

// Blocks of every length back to back in a file several times the reader's buffer: each read
// takes exactly its own bytes, across every refill.
TEST(BlockCoding, ReadsBlocksBackToBackFromAFile) {
    std::mt19937 random(20240601);
    std::vector<coef_block> blocks(5000);
    std::FILE* file = std::tmpfile();
    for (coef_block& block : blocks) {
        for (std::uint32_t i = 0, end = random() % 64; i <= end; ++i)
            block[i] = static_cast<std::int32_t>(random() % 254) - 127;
        write_block(block, file);
    }
    std::rewind(file);
    byte_reader in(file);
    std::uint64_t end = 0;
    for (const coef_block& block : blocks) {
        coef_block read;
        ASSERT_EQ(read_block(read, in), block_complete);
        ASSERT_EQ(read, block);
        ASSERT_EQ(in.consumed(), end += coded(block).size());
    }
    EXPECT_EQ(in.next(), -1);
    (void)std::fclose(file);
}

coef_block samples_of(coef_block coefficients) {
    coef_block samples;
    idct_2d(coefficients, samples);
    return samples;
}

std::int32_t saturate(double value) {
    return static_cast<std::int32_t>(std::clamp(value, -128.0, 127.0)) + 128;
}

// Far past both saturation ends, which also proves the shortcut paths; the full paths must not
// wrap either.
TEST(Idct, DcOnlyBlocksGiveFlatRoundedSamples) {
    for (std::int32_t dc = -70000; dc <= 70000; ++dc) {
        ASSERT_EQ(samples_of(coef_block{dc}), flat(saturate(std::floor((dc + 4) / 8.0)))) << dc;
    }
    EXPECT_EQ(samples_of(sparse({{0, 8000}, {9, 1}})), flat(255));
    EXPECT_EQ(samples_of(sparse({{0, -8000}, {9, 1}})), flat(0));
}

// Even columns get -33, odd ones -32: the column pass rounds those to -1 and 0.
TEST(Idct, ColumnPassRoundsDownIntoItsOwnColumn) {
    const coef_block rows = pattern([](int y, int x) { return y == 0 ? -33 + x % 2 : 0; });
    coef_block samples = flat(-1);
    for (int column = 0; column < 8; ++column) idct_column(rows, samples, column);
    EXPECT_EQ(samples, pattern([](int, int x) { return 127 + x % 2; }));
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
            block = pattern([&](int, int) { return static_cast<std::int32_t>(random()); });
        for (const std::int32_t s : samples_of(block)) ASSERT_TRUE(s >= 0 && s <= 255) << trial;
    }
}

const coef_block checkerboard = pattern([](int y, int x) { return (x + y) % 2 == 0 ? -128 : 127; });

// Random 8-bit sample blocks and the extreme checkerboard: the forward transform stays within 1.5
// of 8 times the float one, its DC exactly the sum of the samples; the inverse of the float
// coefficients, exact or quantised by a random step, within 1 of the float inverse.
TEST(Dct, StaysCloseToTheFloatTransforms) {
    std::mt19937 random(21);
    std::uniform_int_distribution<std::int32_t> sample(-128, 127), step(2, 40);
    for (int trial = 0; trial < 3000; ++trial) {
        const coef_block samples =
            trial == 0 ? checkerboard : pattern([&](int, int) { return sample(random); });
        const real_block exact = float_dct(samples, false);
        coef_block forward = samples, coefficients;
        fdct_2d(forward);
        EXPECT_EQ(forward[0], std::accumulate(samples.begin(), samples.end(), 0));
        const std::int32_t q = trial % 2 == 0 ? 1 : step(random);
        for (int i = 0; i < 64; ++i) {
            ASSERT_LT(std::abs(forward[i] - 8 * exact[i]), 1.5) << trial << " " << i;
            coefficients[i] = q * static_cast<std::int32_t>(std::lround(exact[i] / q));
        }
        const real_block inverse = float_dct(coefficients, true);
        const coef_block decoded = samples_of(coefficients);
        for (int i = 0; i < 64; ++i) ASSERT_NEAR(decoded[i], saturate(std::round(inverse[i])), 1);
    }
}

// Stripes and the checkerboard pin the rounding of every stage, the pass order included: the
// checkerboard's coefficients at (1, 7) and (7, 1) differ by one.
TEST(Fdct, KnownBlocks) {
    coef_block stripes = pattern([](int, int x) { return x % 2 == 0 ? -128 : 127; });
    coef_block board = checkerboard;
    fdct_2d(stripes);
    fdct_2d(board);
    EXPECT_EQ(stripes, sparse({{0, -32}, {1, -1470}, {3, -1734}, {5, -2596}, {7, -7394}}));
    const std::int32_t odd[4][4] = {{-265, -313, -468, -1333},
                                    {-313, -369, -552, -1572},
                                    {-468, -552, -826, -2353},
                                    {-1332, -1571, -2352, -6700}};  // at odd v (rows), odd u
    EXPECT_EQ(board, pattern([&](int v, int u) {
                  return u + v == 0 ? -32 : u % 2 == 1 && v % 2 == 1 ? odd[v / 2][u / 2] : 0;
              }));
}

using triple = std::array<std::int32_t, 3>;

// The extremes, a chroma difference of -1 (the shifts round it down), and each channel off.
TEST(Colour, YccToRgb) {
    const std::tuple<channel_enables, triple, triple> cases[] = {
        {{}, {255, 255, 255}, {433, 122, 480}},       {{}, {0, 0, 0}, {-180, 136, -227}},
        {{}, {128, 127, 128}, {126, 129, 128}},       {{}, {128, 128, 127}, {128, 129, 126}},
        {{0, 1, 1}, {200, 255, 0}, {178, -46, -227}}, {{1, 0, 1}, {100, 255, 128}, {100, 100, 100}},
        {{1, 1, 0}, {100, 128, 0}, {100, 100, 100}},
    };
    for (const auto& [enables, ycc, rgb] : cases) {
        coef_block red, green, blue;
        ycc_to_rgb(enables, flat(ycc[0]), flat(ycc[1]), flat(ycc[2]), red, green, blue);
        EXPECT_EQ((std::array{red, green, blue}),
                  (std::array{flat(rgb[0]), flat(rgb[1]), flat(rgb[2])}));
    }
}

// The primaries, and every grey (v, v, v) exactly: v - 128 for Y, 0 for Cr and Cb.
TEST(Colour, RgbToYccTruncatesTowardZero) {
    std::vector<std::pair<triple, triple>> cases = {{{255, 0, 0}, {-51, 127, -43}},
                                                    {{0, 255, 0}, {21, -106, -84}},
                                                    {{0, 0, 255}, {-98, -20, 127}}};
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
