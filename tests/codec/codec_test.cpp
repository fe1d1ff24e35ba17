// Block coding, the transforms and the colour conversions, through the public functions (the
// fastest version this processor has) and, for the exact transform pairs, through every version.
// The vector versions are held to the plain ones in kernels_test.cpp. The coded form is held to
// the scan of the JPEG standard written out by hand, the transforms to exact pairs worked apart
// from this code and to a floating-point reference. The exact values of the inverse colour
// conversion are held by the scene tests.
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
TEST(block_coding, writes_and_reads_the_coded_form) {
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

// Both ways through the scan of ITU-T T.81, figure A.6, each side written out by hand: a block
// holding its own row-major indices (the DC -300) codes to the DC bytes and then those indices
// in scan order, and the AC bytes 1 to 63 in turn are the figure itself, each cell holding its
// place in the scan. Cut one byte short, the byte-at-a-time path gives the same but the last.
TEST(block_coding, follows_the_zig_zag_scan_of_t81_both_ways) {
    coef_block indices;
    std::iota(indices.begin(), indices.end(), 0);
    indices[0] = -300;
    const bytes scanned = {0xD4, 0xFE, 1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                           12,   19,   26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35,
                           42,   49,   56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51, 58, 59,
                           52,   45,   38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
    const coef_block figure = {0,  1,  5,  6,  14, 15, 27, 28,  //
                               2,  4,  7,  13, 16, 26, 29, 42,  //
                               3,  8,  12, 17, 25, 30, 41, 43,  //
                               9,  11, 18, 24, 31, 40, 44, 53,  //
                               10, 19, 23, 32, 39, 45, 52, 54,  //
                               20, 22, 33, 38, 46, 51, 55, 60,  //
                               21, 34, 37, 47, 50, 56, 59, 61,  //
                               35, 36, 48, 49, 57, 58, 62, 63};
    bytes in_order(65, 0);
    std::iota(in_order.begin() + 2, in_order.end(), 1);
    for (const auto& [block, form] : {std::pair{indices, scanned}, std::pair{figure, in_order}}) {
        EXPECT_EQ(coded(block), form);
        for (const std::size_t size : {form.size(), form.size() - 1}) {
            byte_reader in(form.data(), size);
            coef_block got;
            EXPECT_EQ(read_block(got, in), size == 65 ? block_complete : block_truncated);
            coef_block want = block;
            if (size < 65) want[63] = 0;
            EXPECT_EQ(got, want) << size;
        }
    }
}

// Blocks of every length back to back in a file several times the reader's buffer, coded by the
// tests' own coder: each read takes exactly its own bytes, across every refill.
TEST(block_coding, reads_blocks_back_to_back_from_a_file) {
    std::mt19937 random(20240601);
    std::vector<coef_block> blocks(5000);
    std::vector<std::uint64_t> ends;
    std::FILE* file = std::tmpfile();
    for (coef_block& block : blocks) {
        for (std::uint32_t i = 0, end = random() % 64; i <= end; ++i)
            block[i] = static_cast<std::int32_t>(random() % 254) - 127;
        const bytes form = code(block);
        ASSERT_EQ(std::fwrite(form.data(), 1, form.size(), file), form.size());
        ends.push_back((ends.empty() ? 0 : ends.back()) + form.size());
    }
    std::rewind(file);
    byte_reader in(file);
    for (std::size_t n = 0; n < blocks.size(); ++n) {
        coef_block read;
        ASSERT_EQ(read_block(read, in), block_complete);
        ASSERT_EQ(read, blocks[n]);
        ASSERT_EQ(in.consumed(), ends[n]);
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
TEST(idct, dc_only_blocks_give_flat_rounded_samples) {
    for (std::int32_t dc = -70000; dc <= 70000; ++dc) {
        ASSERT_EQ(samples_of(coef_block{dc}), flat(saturate(std::floor((dc + 4) / 8.0)))) << dc;
        ASSERT_EQ(flat(idct_dc_only(dc)), samples_of(coef_block{dc})) << dc;
    }
    // Where 8 * dc wraps in 32 bits the decoder's shortcut must wrap as the transform does.
    for (const std::int32_t dc : {INT32_MIN, INT32_MIN + 1, -(1 << 28) - 1, -(1 << 28), 1 << 28,
                                  (1 << 28) - 1, 1 << 29, INT32_MAX - 3, INT32_MAX}) {
        ASSERT_EQ(flat(idct_dc_only(dc)), samples_of(coef_block{dc})) << dc;
    }
}

// A decoder that knows which blocks hold only a DC term takes shortcuts: per channel, and one
// colour for a position whose three blocks are such. Both must give the pixels of the full path,
// under every enable, at picture edges (a 10 x 9 picture cuts blocks on both sides) and for DC
// values and steps whose products wrap.
TEST(block_path, dc_only_shortcuts_give_the_full_paths_pixels) {
    std::mt19937 random(12);
    std::uniform_int_distribution<std::int32_t> dc_value(-32768, 32767);
    std::uniform_int_distribution<std::int32_t> ac_value(-127, 126);
    const std::array<channel_steps, 3> steps = {{{1, 1, 1}, {8, 3, 40}, {65535, 65535, 65535}}};
    constexpr std::int32_t width = 10, height = 9;
    for (int round = 0; round < 400; ++round) {
        const channel_enables enables{round % 2, round / 2 % 2, round / 4 % 2};
        const channel_steps& step = steps[static_cast<std::size_t>(round) % steps.size()];
        const dc_only_blocks dc_only{round % 3 != 0, round % 5 != 0, round % 7 != 0};
        ycc_blocks coefficients{};
        for (auto [block, only] : {std::pair{&coefficients.y, dc_only.y},
                                   {&coefficients.cr, dc_only.cr},
                                   {&coefficients.cb, dc_only.cb}}) {
            (*block)[0] = dc_value(random);
            if (!only) {
                for (std::size_t i = 1; i < 64; i += 3) (*block)[i] = ac_value(random);
            }
        }
        ycc_blocks full = coefficients, shortcut = coefficients;
        rgb_blocks expected, got;
        reconstruct_block(full, step, enables, expected);
        reconstruct_block(shortcut, step, enables, dc_only, got);
        ASSERT_EQ(got.red, expected.red) << round;
        ASSERT_EQ(got.green, expected.green) << round;
        ASSERT_EQ(got.blue, expected.blue) << round;
        if (!(dc_only.y && dc_only.cr && dc_only.cb)) continue;
        for (const auto& [r0, c0] : {std::pair{0, 0}, {8, 0}, {0, 8}, {8, 8}}) {
            std::vector<std::uint8_t> want(width * height * 3, 7), have = want;
            store_block(expected, want.data(), width, height, r0, c0);
            store_dc_only_block(coefficients, step, enables, have.data(), width, height, r0, c0);
            ASSERT_EQ(have, want) << round << " at " << r0 << "," << c0;
        }
    }
}

// Eight values, one per row, or (`across`) the same in every row.
coef_block rows(const std::array<std::int32_t, 8>& values, bool across = false) {
    coef_block block;
    for (std::size_t i = 0; i < 64; ++i) block[i] = values[across ? i % 8 : i / 8];
    return block;
}

// Exact pairs, where tolerances let a changed weight or rounding term through. Forward: a flat
// block of s gives DC = 64 s and nothing else; stripes and a checkerboard of -128 and 127 and the
// bowl 2x^2 + 3y^2 - 128 reach every constant of both passes. Their values were worked from the
// integer steps of the LLM transform by a separate script, not by this code; each is within 1.5
// of 8 F(v, u) (stripes: -1470.76 at u = 1; checkerboard: -1332.69 at 15 and 57, -6699.91 at 63).
TEST(dct, transforms_hand_checked_blocks_exactly) {
    coef_block stripes, checkerboard, bowl;
    for (std::int32_t i = 0; i < 64; ++i) {
        const std::int32_t x = i % 8, y = i / 8;
        stripes[i] = x % 2 == 0 ? -128 : 127;
        checkerboard[i] = (x + y) % 2 == 0 ? -128 : 127;
        bowl[i] = 2 * x * x + 3 * y * y - 128;
    }
    const std::pair<coef_block, coef_block> forward[] = {
        {flat(1), {64}},
        {flat(-128), {-8192}},
        {flat(127), {8128}},
        {stripes, sparse({{0, -32}, {1, -1470}, {3, -1734}, {5, -2596}, {7, -7394}})},
        {checkerboard, {-32, 0,     0, 0,     0, 0,     0, 0,      //
                        0,   -265,  0, -313,  0, -468,  0, -1333,  //
                        0,   0,     0, 0,     0, 0,     0, 0,      //
                        0,   -313,  0, -369,  0, -552,  0, -1572,  //
                        0,   0,     0, 0,     0, 0,     0, 0,      //
                        0,   -468,  0, -552,  0, -826,  0, -2353,  //
                        0,   0,     0, 0,     0, 0,     0, 0,      //
                        0,   -1332, 0, -1571, 0, -2352, 0, -6700}},
        {bowl, {-2592, -2040, 570, -214, 128, -64, 40, -16,  //
                -3061, 0,     0,   0,    0,   0,   0,  0,    //
                856,   0,     0,   0,    0,   0,   0,  0,    //
                -320,  0,     0,   0,    0,   0,   0,  0,    //
                192,   0,     0,   0,    0,   0,   0,  0,    //
                -96,   0,     0,   0,    0,   0,   0,  0,    //
                61,    0,     0,   0,    0,   0,   0,  0,    //
                -24,   0,     0,   0,    0,   0,   0,  0}},
    };
    for (const kernels* version : {&plain_kernels(), vector_kernels()}) {
        for (const auto& [samples, coefficients] : forward) {
            coef_block block = samples;
            if (version == nullptr) break;
            version->fdct_2d(block);
            EXPECT_EQ(block, coefficients) << (version == &plain_kernels() ? "plain" : "vector");
        }
    }
}

// Inverse, with s(x, y) = 1/4 sum C(u) C(v) F(v, u) cos((2x+1)u pi/16) cos((2y+1)v pi/16):
// - DC 80 and F(1, 0) = 144: s = 10 + 144 / (4 sqrt 2) cos((2y+1) pi/16) = 10 + 25.456 cos(...),
//   that is 10 + 24.967, 21.166, 14.142, 4.966 and their negatives down the rows; + 128 and
//   rounded: 163, 159, 152, 143, 133, 124, 117, 113. Rounding in the column pass needs its + 32.
// - DC -5 and F(0, 1) = 18: s = 2.496 in column 0, so the exact arithmetic decides. Row 0
//   becomes (-5 * 2048 + 128 + 2841 * 18) >> 8 = 41026 >> 8 = 160 there (159 without the 128),
//   and each column, DC-only now, (160 + 32) >> 6 = 3, the sample 131 (130 without it).
// - DC -1 and F(1, 0) = 14: s = -0.125 + 2.475 cos(...) = 2.30, 1.93, 1.25, 0.36, -0.61, -1.50,
//   -2.18, -2.55: row 5 is a tie, which the integer steps (worked by the script above) take to
//   -2, sample 126, through the 128 added to one rotation of the third stage (127 without it).
// - DC -7 and F(5, 0) = 106: s = -0.875 + 18.738 cos(5(2y+1) pi/16) = 9.54, -19.25, 2.78, 14.71,
//   -16.46, -4.53, 17.50, -11.29; the steps give 17 at row 6 through the 128 added to the other
//   rotation of the third stage (18 without it).
// - Samples beyond -128..127 saturate: DC 8000 with any AC value gives 255, -8000 gives 0.
TEST(idct, transforms_hand_checked_blocks_exactly) {
    const std::pair<coef_block, coef_block> inverse[] = {
        {{}, flat(128)},
        {sparse({{0, 80}, {8, 144}}), rows({163, 159, 152, 143, 133, 124, 117, 113})},
        {sparse({{0, -5}, {1, 18}}), rows({131, 130, 129, 128, 127, 126, 125, 124}, true)},
        {sparse({{0, -1}, {8, 14}}), rows({130, 130, 129, 128, 127, 126, 126, 125})},
        {sparse({{0, -7}, {40, 106}}), rows({138, 109, 131, 143, 112, 123, 145, 117})},
        {sparse({{0, 8000}, {9, 1}}), flat(255)},
        {sparse({{0, -8000}, {9, 1}}), flat(0)},
    };
    for (const kernels* version : {&plain_kernels(), vector_kernels()}) {
        for (const auto& [coefficients, samples] : inverse) {
            coef_block rows = coefficients, got{};
            if (version == nullptr) break;
            version->idct_2d(rows, got);
            EXPECT_EQ(got, samples) << (version == &plain_kernels() ? "plain" : "vector");
        }
    }
}

// Random 8-bit sample blocks and, first, the extreme checkerboard: the forward transform stays
// within 1.5 of 8 times the float one, its DC exactly the sum of the samples; the inverse of the
// float coefficients, exact or quantised by a random step, within 1 of the float inverse.
TEST(dct, stays_close_to_the_float_transforms) {
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
TEST(colour, rgb_to_ycc_gives_every_grey_exactly) {
    for (int v = 0; v < 256; ++v) {
        const auto [y, cr, cb] = rgb_to_ycc(v & 255, v & 255, v & 255);
        EXPECT_EQ((std::array{y, cr, cb}), (std::array{v - 128, 0, 0})) << v;
    }
}

// The block conversion (the vector version inside the picture, where there is one) against
// rgb_to_ycc for all 2^24 colours, one per pixel of a 4096 x 4096 picture. Takes well under a
// second in an optimised build, a few seconds under the sanitizers.
TEST(colour, block_conversion_matches_the_pixel_conversion_for_every_colour) {
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

}  // namespace
}  // namespace kvrn::testing
