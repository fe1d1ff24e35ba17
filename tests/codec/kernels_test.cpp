// The vector versions of the block functions against the plain ones, one test per entry of the
// tables in codec/kernels.h. A machine runs only one version through the public functions, so
// the two are held to each other directly, on image data and on the extreme inputs of hostile
// files. Where the processor has no vector versions there is nothing to compare: the tests skip.
#include "codec/kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <random>
#include <vector>

#include "codec/block_coding.h"
#include "support/random_block.h"

namespace kvrn::testing {
namespace {

class kernel_versions : public ::testing::Test {
  protected:
    void SetUp() override {
        if (vector_kernels() == nullptr) GTEST_SKIP() << "no vector version on this processor";
    }
    const kernels& plain = plain_kernels();
    const kernels& vector = vector_kernels() != nullptr ? *vector_kernels() : plain_kernels();
};

constexpr int trials = 20000;

// The values wrap inside the inverse transform, yet its results must be samples; the row pass's
// results, left in the coefficient block, must agree too.
TEST_F(kernel_versions, idct_2d_agrees_on_every_kind_of_input) {
    std::mt19937 random(2024);
    for (int trial = 0; trial < trials; ++trial) {
        coef_block plain_rows = random_block(random, trial % 5), vector_rows = plain_rows;
        coef_block plain_samples{}, vector_samples{};
        plain.idct_2d(plain_rows, plain_samples);
        vector.idct_2d(vector_rows, vector_samples);
        ASSERT_EQ(plain_rows, vector_rows) << "row pass, trial " << trial;
        ASSERT_EQ(plain_samples, vector_samples) << "trial " << trial;
        for (const std::int32_t v : vector_samples) ASSERT_TRUE(v >= 0 && v <= 255) << trial;
    }
}

// The vector version forms the products of blocks whose values (and whose row pass's results)
// lie in -2^15..2^15 - 1 with 16-bit multiply-adds, and keeps the 32-bit path for the others:
// blocks of such values with the edges themselves, with one value just beyond them, and with
// DC terms whose rows leave at 8 * b0 on either side of -2^15 and 2^15 - 1.
TEST_F(kernel_versions, idct_2d_agrees_at_the_edges_of_16_bits) {
    std::mt19937 random(2030);
    std::uniform_int_distribution<std::int32_t> any16(-32768, 32767), small(-40, 40);
    std::uniform_int_distribution<std::size_t> place(0, 63);
    const std::int32_t edges[] = {-32768, 32767, -32769, 32768};
    const std::int32_t row_dc[] = {4095, -4096, 4096, -4097};
    for (int trial = 0; trial < trials; ++trial) {
        coef_block plain_rows{};
        switch (trial % 3) {
            case 0:  // within the bound, edges included
                for (std::int32_t& v : plain_rows) v = any16(random);
                plain_rows[place(random)] = edges[trial / 3 % 2];
                break;
            case 1:  // one value beyond it
                for (std::int32_t& v : plain_rows) v = any16(random) >> (trial / 3 % 16);
                plain_rows[place(random)] = edges[2 + trial / 3 % 2];
                break;
            default:  // rows at the bound after the row pass
                for (std::int32_t& v : plain_rows) v = trial / 3 % 2 != 0 ? small(random) : 0;
                for (std::size_t r = 0; r < 8; ++r) plain_rows[8 * r] = row_dc[random() % 4];
        }
        coef_block vector_rows = plain_rows, plain_samples{}, vector_samples{};
        plain.idct_2d(plain_rows, plain_samples);
        vector.idct_2d(vector_rows, vector_samples);
        ASSERT_EQ(plain_rows, vector_rows) << "row pass, trial " << trial;
        ASSERT_EQ(plain_samples, vector_samples) << "trial " << trial;
    }
}

TEST_F(kernel_versions, fdct_2d_agrees_on_every_kind_of_input) {
    std::mt19937 random(2025);
    for (int trial = 0; trial < trials; ++trial) {
        coef_block plain_block = random_block(random, trial % 5), vector_block = plain_block;
        plain.fdct_2d(plain_block);
        vector.fdct_2d(vector_block);
        ASSERT_EQ(plain_block, vector_block) << "trial " << trial;
    }
}

// The vector version forms a pass's products with 16-bit multiply-adds when its differences
// t4..t7, t12 and t13 lie in -2^15..2^15 - 1, and keeps the 32-bit pass otherwise: values whose
// sums straddle that bound in the row pass (magnitudes near 2^13..2^15) or only in the column
// pass (near 2^10..2^12), and rows whose difference p0 - p7 is the bound or one beyond it.
TEST_F(kernel_versions, fdct_2d_agrees_at_the_edges_of_16_bits) {
    std::mt19937 random(2031);
    const std::int32_t differences[] = {-32768, 32767, -32769, 32768};
    for (int trial = 0; trial < trials; ++trial) {
        coef_block plain_block{};
        const int bits = 10 + trial % 6;
        std::uniform_int_distribution<std::int32_t> value(-(1 << bits), (1 << bits) - 1);
        for (std::int32_t& v : plain_block) v = value(random);
        if (trial % 2 != 0) {
            const std::size_t r = random() % 8;
            plain_block[8 * r + 7] = plain_block[8 * r] - differences[trial / 2 % 4];
        }
        coef_block vector_block = plain_block;
        plain.fdct_2d(plain_block);
        vector.fdct_2d(vector_block);
        ASSERT_EQ(plain_block, vector_block) << "trial " << trial;
    }
}

// Samples of 0..255 under every combination of the channel enables.
TEST_F(kernel_versions, ycc_to_rgb_agrees_under_every_enable) {
    std::mt19937 random(2026);
    std::uniform_int_distribution<std::int32_t> sample(0, 255);
    for (int trial = 0; trial < trials; ++trial) {
        const channel_enables enables{trial & 1, (trial >> 1) & 1, (trial >> 2) & 1};
        ycc_blocks samples;
        for (coef_block* block : {&samples.y, &samples.cr, &samples.cb})
            for (std::int32_t& v : *block) v = sample(random);
        rgb_blocks from_plain, from_vector;
        plain.ycc_to_rgb(enables, samples, from_plain);
        vector.ycc_to_rgb(enables, samples, from_vector);
        ASSERT_TRUE(from_plain.red == from_vector.red && from_plain.green == from_vector.green &&
                    from_plain.blue == from_vector.blue)
            << "trial " << trial;
    }
}

// A 45 x 27 picture of noise, or of the patterns with the largest coefficients: checkers and
// stripes of 0 and 255.
std::vector<std::uint8_t> test_picture(int kind, std::mt19937& random) {
    std::vector<std::uint8_t> pixels(3 * 45 * 27);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const std::size_t column = i / 3 % 45, row = i / 3 / 45;
        const std::size_t bits[] = {random(), column + row, column, row};
        pixels[i] = kind == 0 ? bits[0] & 255 : (bits[kind] + i % 3) % 2 * 255;
    }
    return pixels;
}

// Every block position, the ones the right and bottom edges cut included.
TEST_F(kernel_versions, rgb_to_ycc_block_agrees_on_every_block_of_a_picture) {
    std::mt19937 random(11);
    for (int kind = 0; kind < 4; ++kind) {
        const std::vector<std::uint8_t> pixels = test_picture(kind, random);
        for (std::int32_t r0 = 0; r0 < 27; r0 += 8) {
            for (std::int32_t c0 = 0; c0 < 45; c0 += 8) {
                ycc_blocks from_plain, from_vector;
                plain.rgb_to_ycc_block({pixels.data(), 45, 27}, r0, c0, from_plain);
                vector.rgb_to_ycc_block({pixels.data(), 45, 27}, r0, c0, from_vector);
                ASSERT_TRUE(from_plain.y == from_vector.y && from_plain.cr == from_vector.cr &&
                            from_plain.cb == from_vector.cb)
                    << kind << ' ' << r0 << ' ' << c0;
            }
        }
    }
}

// Decoded values (a 16-bit DC, AC values within -127..126) times every kind of 16-bit scale.
TEST_F(kernel_versions, dequantise_agrees_on_decoded_values) {
    std::mt19937 random(2032);
    std::uniform_int_distribution<std::int32_t> dc(-32768, 32767), ac(-127, 126);
    const std::int32_t steps[] = {1, 8, 255, 65535};
    for (int trial = 0; trial < trials; ++trial) {
        coef_block from_plain;
        for (std::int32_t& v : from_plain) v = ac(random);
        from_plain[0] = trial % 7 == 0 ? -32768 : dc(random);
        const std::int32_t step = trial % 5 < 4 ? steps[trial % 5] : 1 + random() % 65535;
        coef_block from_vector = from_plain;
        plain.dequantise(from_plain, step);
        vector.dequantise(from_vector, step);
        ASSERT_EQ(from_plain, from_vector) << "trial " << trial;
    }
}

// The coefficients of every channel of those pictures, at steps for both divisions (single
// precision below 2^24), negative ones (the preview's) included.
TEST_F(kernel_versions, quantise_agrees_on_the_coefficients_of_pictures) {
    std::mt19937 random(11);
    for (int kind = 0; kind < 4; ++kind) {
        const std::vector<std::uint8_t> pixels = test_picture(kind, random);
        for (std::int32_t r0 = 0; r0 < 27; r0 += 8) {
            for (std::int32_t c0 = 0; c0 < 45; c0 += 8) {
                ycc_blocks samples;
                plain.rgb_to_ycc_block({pixels.data(), 45, 27}, r0, c0, samples);
                for (coef_block* block : {&samples.y, &samples.cr, &samples.cb}) {
                    plain.fdct_2d(*block);
                    for (const std::int32_t step :
                         {1, 2, 3, 7, 255, 65535, (1 << 24) - 1, (1 << 24) + 1, -7, INT_MIN}) {
                        coef_block from_plain = *block, from_vector = *block;
                        plain.quantise(from_plain, step);
                        vector.quantise(from_vector, step);
                        ASSERT_EQ(from_plain, from_vector) << kind << ' ' << step;
                    }
                }
            }
        }
    }
}

// Coded blocks with their end at every place or none, 0x7F also as the DC's high byte.
TEST_F(kernel_versions, decode_block_agrees_with_the_end_anywhere) {
    std::mt19937 random(2027);
    for (int trial = 0; trial < trials; ++trial) {
        std::array<std::uint8_t, max_coded_block_bytes> form{};
        for (std::uint8_t& byte : form) byte = static_cast<std::uint8_t>(random());
        std::replace(form.begin() + 2, form.end(), end_of_block, std::uint8_t{0x80});
        if (trial % 64 != 63) form[2 + static_cast<std::size_t>(trial % 64)] = end_of_block;
        if (trial % 3 == 0) form[1] = end_of_block;
        coef_block from_plain, from_vector;
        from_plain.fill(7);
        from_vector.fill(9);
        ASSERT_EQ(plain.decode_block(form.data(), from_plain),
                  vector.decode_block(form.data(), from_vector))
            << "trial " << trial;
        ASSERT_EQ(from_plain, from_vector) << "trial " << trial;
    }
}

// The bytes up to the returned count and the clipped count; those past it are scratch.
TEST_F(kernel_versions, put_block_agrees_on_every_kind_of_input) {
    std::mt19937 random(2028);
    for (int trial = 0; trial < trials; ++trial) {
        const coef_block block = random_block(random, trial % 5);
        std::array<std::uint8_t, put_block_room> plain_bytes{}, vector_bytes{};
        std::int64_t plain_clipped = 3, vector_clipped = 3;
        const std::size_t length = plain.put_block(block, plain_bytes.data(), plain_clipped);
        ASSERT_EQ(vector.put_block(block, vector_bytes.data(), vector_clipped), length) << trial;
        ASSERT_TRUE(
            std::equal(plain_bytes.begin(), plain_bytes.begin() + length, vector_bytes.begin()) &&
            plain_clipped == vector_clipped)
            << "trial " << trial;
    }
}

// Blocks inside a 10 x 9 picture and blocks its edges cut: the same bytes, and none outside the
// block or the picture.
TEST_F(kernel_versions, store_block_agrees_inside_and_at_the_edges) {
    std::mt19937 random(2029);
    for (int trial = 0; trial < trials; ++trial) {
        const rgb_blocks rgb{random_block(random, trial % 5), random_block(random, trial % 5),
                             random_block(random, trial % 5)};
        const std::int32_t r0 = trial % 3, c0 = trial / 3 % 5;  // whole when r0 <= 1, c0 <= 2
        std::vector<std::uint8_t> from_plain(10 * 9 * 3, 0xAB), from_vector = from_plain;
        plain.store_block(rgb, from_plain.data(), 10, 9, r0, c0);
        vector.store_block(rgb, from_vector.data(), 10, 9, r0, c0);
        ASSERT_EQ(from_plain, from_vector) << "trial " << trial;
    }
}

}  // namespace
}  // namespace kvrn::testing
