// Block coding, the transforms and the colour conversions, through the public functions (the
// fastest version this processor has) and, for the recorded bits, through every version. The
// vector versions are held to the plain ones in kernels_test.cpp. The exact values of the inverse
// colour conversion are held by the scene tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>
#include <random>
#include <tuple>
#include <vector>

#include "codec/block_coding.h"
#include "codec/block_path.h"
#include "codec/colour.h"
#include "codec/fdct.h"
#include "codec/idct.h"
#include "codec/kernels.h"
#include "support/files.h"
#include "support/random_block.h"

namespace kvrn::testing {
namespace {

coef_block flat(std::int32_t value) {
    coef_block block;
    block.fill(value);
    return block;
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

// Blocks with their coded form and how many AC values that clamps; streams with what one read
// makes of them (1 complete, -1 cut short), the block and the bytes it took.
TEST(BlockCoding, WritesAndReadsTheCodedForm) {
    const std::tuple<coef_block, bytes, int> written[] = {
        {coef_block{70000}, {0x70, 0x11, 0x7F}, 0},
        {coef_block{-1}, {0xFF, 0xFF, 0x7F}, 0},
        {sparse({{1, 1}, {8, 2}, {16, 3}, {2, 5}, {3, 6}}), {0, 0, 1, 2, 3, 0, 5, 6, 0x7F}, 0},
        {sparse({{63, 9}}), join({0, 0}, 62, {9}), 0},
        {sparse({{62, -2}}), join({0, 0}, 61, {0xFE, 0x7F}), 0},
        {sparse({{1, 127}, {8, 200}, {16, 1000}, {9, -127}, {2, -1000}, {3, -128}}),
         {0, 0, 0x7E, 0x7E, 0x7E, 0x81, 0x81, 0x81, 0x7F},
         5},
    };
    for (const auto& [block, form, clipped] : written) {
        int count = -1;
        EXPECT_EQ(coded(block, &count), form);
        EXPECT_EQ(count, clipped);
    }
    coef_block full = flat(1);
    full[0] = 32767;
    const std::tuple<bytes, int, coef_block, std::uint64_t> read[] = {
        {{0, 0, 0x80, 0xFF, 0x7F}, 1, sparse({{1, -128}, {8, -1}}), 5},
        {join({0xFF, 0x7F}, 0, bytes(64, 1)), 1, full, 65},
        {{16, 0, 1, 2, 0xFB}, -1, sparse({{0, 16}, {1, 1}, {8, 2}, {16, -5}}), 5},
        {{0x05}, -1, {}, 1},
    };
    for (const auto& [stream, result, block, consumed] : read) {
        byte_reader in(stream.data(), stream.size());
        coef_block got = flat(99);
        EXPECT_EQ(read_block(got, in), result);
        EXPECT_EQ(got, block);
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
using real_block = std::array<double, 64>;

// The JPEG-normalised 8x8 DCT as direct sums in double precision. With C(0) = 1/sqrt(2), C(k) = 1
// otherwise and the samples s(x, y) at index y * 8 + x, the coefficients F(v, u) at index v * 8 +
// u:
//   forward  F(v, u) = 1/4 C(u) C(v) sum over x, y of s(x, y) cos((2x+1)u pi/16) cos((2y+1)v pi/16)
//   inverse  s(x, y) = 1/4 sum over u, v of C(u) C(v) F(v, u) cos((2x+1)u pi/16) cos((2y+1)v pi/16)
real_block float_dct(const coef_block& in, bool inverse) {
    // C(k) cos((2n + 1) k pi / 16) / 2, the 1-D factor of both directions.
    const auto basis = [](int k, int n) {
        return (k == 0 ? std::numbers::sqrt2 / 4 : 0.5) *
               std::cos((2 * n + 1) * k * std::numbers::pi / 16);
    };
    real_block out{};
    for (int a = 0; a < 64; ++a) {
        for (int c = 0; c < 64; ++c) {
            const int k = inverse ? c : a, n = inverse ? a : c;  // frequency and position
            out[a] += in[c] * basis(k % 8, n % 8) * basis(k / 8, n / 8);
        }
    }
    return out;
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

// Random 8-bit sample blocks and, first, the extreme checkerboard: the forward transform stays
// within 1.5 of 8 times the float one, its DC exactly the sum of the samples; the inverse of the
// float coefficients, exact or quantised by a random step, within 1 of the float inverse.
TEST(Dct, StaysCloseToTheFloatTransforms) {
    std::mt19937 random(21);
    std::uniform_int_distribution<std::int32_t> sample(-128, 127), step(2, 40);
    for (int trial = 0; trial < 1000; ++trial) {
        coef_block samples, forward, coefficients;
        for (int i = 0; i < 64; ++i)
            samples[i] = trial != 0 ? sample(random) : (i + i / 8) % 2 == 0 ? -128 : 127;
        const real_block exact = float_dct(forward = samples, false);
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

// Every grey (v, v, v) exactly: v - 128 for Y, 0 for Cr and Cb. The primaries and the truncation
// toward zero are held by the scene tests, through the preview.
TEST(Colour, RgbToYccGivesEveryGreyExactly) {
    for (int v = 0; v < 256; ++v) {
        const auto [y, cr, cb] = rgb_to_ycc(v & 255, v & 255, v & 255);
        EXPECT_EQ((std::array{y, cr, cb}), (std::array{v - 128, 0, 0})) << v;
    }
}

// The block conversion (the vector version inside the picture, where there is one) against
// rgb_to_ycc for all 2^24
// colours, one per pixel of a 4096 x 4096 picture. Takes well under a second in an optimised
// build, a few seconds under the sanitizers.
TEST(Colour, BlockConversionMatchesThePixelConversionForEveryColour) {
    std::vector<std::uint8_t> pixels(3 << 24);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = (i / 3) >> (16 - 8 * (i % 3));
    const picture_view picture{pixels.data(), 4096, 4096};
    ycc_blocks got;
    const auto& [y, cr, cb] = got;
    for (std::int32_t r0 = 0; r0 < 4096; r0 += 8) {
        for (std::int32_t c0 = 0; c0 < 4096; c0 += 8) {
            rgb_to_ycc_block(picture, r0, c0, got);
            for (std::size_t n = 0; n < 64; ++n) {
                const std::uint8_t* p = &pixels[pixel_offset(4096, r0 + n / 8, c0 + n % 8)];
                const ycc_sample want = rgb_to_ycc(p[0], p[1], p[2]);
                ASSERT_TRUE(y[n] == want.y && cr[n] == want.cr && cb[n] == want.cb)
                    << int{p[0]} << ' ' << int{p[1]} << ' ' << int{p[2]};
            }
        }
    }
}

// Pins the exact arithmetic of every version: tolerances against the float transforms let a
// changed rounding constant or weight through, this does not. The figure was taken from the
// transforms as first written, one row or column at a time.
TEST(Dct, SeededBlocksTransformToTheRecordedBits) {
    for (const kernels* table : {&plain_kernels(), vector_kernels()}) {
        if (table == nullptr) continue;
        std::mt19937 random(7);
        std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a over every output
        const auto mix = [&hash](const coef_block& block) {
            for (const std::int32_t v : block)
                hash = (hash ^ static_cast<std::uint32_t>(v)) * 1099511628211ULL;
        };
        for (int trial = 0; trial < 2000; ++trial) {
            coef_block block = random_block(random, trial % 2), samples;
            table->fdct_2d(block);
            mix(block);
            for (std::int32_t& v : block) v = (v >> 3) / (1 + trial % 9);
            table->idct_2d(block, samples);
            mix(samples);
        }
        EXPECT_EQ(hash, 0x1f78d3ac6d269c2dULL) << (table == vector_kernels() ? "vector" : "plain");
    }
}

}  // namespace
}  // namespace kvrn::testing
