// The transforms and the colour conversion have a lane version (processors with AVX2) and a
// scalar one (the others). A machine runs only one of them through the public functions, so the
// two are held to each other directly, on image data and on the extreme inputs of hostile files.
#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "codec/colour.h"
#include "codec/fdct.h"
#include "codec/idct.h"

namespace kvrn {
namespace {

// Blocks of every kind the transforms meet: samples, sparse coefficients, and any 32-bit values.
coef_block random_block(std::mt19937& random, int kind) {
    std::uniform_int_distribution<int> sample(-128, 127), small(-1100, 1100), sparse(0, 7);
    coef_block block;
    for (std::int32_t& v : block) {
        switch (kind) {
            case 0:
                v = sample(random);
                break;
            case 1:
                v = sparse(random) < 5 ? 0 : small(random);
                break;
            default:
                v = static_cast<std::int32_t>(random()) >> (random() % 32);
                break;
        }
    }
    if (kind == 3) block[4] = INT_MIN >> (random() % 11);  // a row whose b4 * 2048 wraps to 0
    return block;
}

TEST(Variants, LaneAndScalarVersionsAgreeOnEveryKindOfInput) {
    std::mt19937 random(2024);
    for (int trial = 0; trial < 20000; ++trial) {
        const coef_block input = random_block(random, trial % 4);

        coef_block lane = input, scalar = input, lane_out{}, scalar_out{};
        idct_2d(lane, lane_out);
        idct_2d_scalar(scalar, scalar_out);
        ASSERT_EQ(lane, scalar) << "idct row pass, trial " << trial;
        ASSERT_EQ(lane_out, scalar_out) << "idct, trial " << trial;

        lane = input;
        scalar = input;
        fdct_2d(lane);
        fdct_2d_scalar(scalar);
        ASSERT_EQ(lane, scalar) << "fdct, trial " << trial;

        const channel_enables enables{trial & 1, (trial >> 1) & 1, (trial >> 2) & 1};
        coef_block y = lane_out, cr = scalar_out, cb = input, r1, g1, b1, r2, g2, b2;
        for (std::int32_t& v : cb) v &= 255;
        ycc_to_rgb(enables, y, cr, cb, r1, g1, b1);
        ycc_to_rgb_scalar(enables, y, cr, cb, r2, g2, b2);
        ASSERT_TRUE(r1 == r2 && g1 == g2 && b1 == b2) << "ycc_to_rgb, trial " << trial;
    }
}

// Pins the exact arithmetic: tolerances against the float transforms let a changed rounding
// constant or weight through, this does not. The figure was taken from the transforms as first
// written, one row or column at a time.
TEST(Variants, SeededBlocksTransformToTheRecordedBits) {
    std::mt19937 random(7);
    std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a over every output
    const auto mix = [&hash](const coef_block& block) {
        for (const std::int32_t v : block)
            hash = (hash ^ static_cast<std::uint32_t>(v)) * 1099511628211ULL;
    };
    for (int trial = 0; trial < 2000; ++trial) {
        coef_block block = random_block(random, trial % 2), samples;
        fdct_2d(block);
        mix(block);
        for (std::int32_t& v : block) v = (v >> 3) / (1 + trial % 9);
        idct_2d(block, samples);
        mix(samples);
    }
    EXPECT_EQ(hash, 0x1f78d3ac6d269c2dULL);
}

}  // namespace
}  // namespace kvrn
