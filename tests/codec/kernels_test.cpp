// The vector versions of the block functions against the plain ones, every entry of the tables in
// codec/kernels.h. A machine runs only one version through the public functions, so the two are
// held to each other directly, on image data and on the extreme inputs of hostile files. Where
// the processor has no vector versions there is nothing to compare: the tests skip. Which table a
// program runs is tested in kernel_choice_test.cpp. The file needs no processes or files of its
// own, so scripts/wasm-test compiles it to WebAssembly too, to hold the simd128 versions.
#include "codec/kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <random>
#include <tuple>
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
    // 20000 inputs from `make(random, trial)`; `run(version, input)` gives what must agree.
    template <class Make, class Run>
    void agree(unsigned seed, const Make& make, const Run& run) const {
        std::mt19937 random(seed);
        for (int trial = 0; trial < 20000; ++trial) {
            const auto input = make(random, trial);
            ASSERT_EQ(run(plain, input), run(vector, input)) << "trial " << trial;
        }
    }
    const kernels& plain = plain_kernels();
    const kernels& vector = vector_kernels() != nullptr ? *vector_kernels() : plain_kernels();
};

coef_block any_block(std::mt19937& random, int trial) {
    return random_block(random, trial % 5);
}

// The values wrap inside the inverse transform, yet its results must be samples; the row pass's
// results, left in the coefficient block, must agree too. The vector version forms the products
// of blocks whose values (and whose row pass's results) lie in -2^15..2^15 - 1 with 16-bit
// multiply-adds, and keeps the 32-bit path for the others: blocks of such values with the edges
// themselves, with one value just beyond them, and with DC terms whose rows leave at 8 * b0 on
// either side of -2^15 and 2^15 - 1.
TEST_F(kernel_versions, idct_2d_agrees_on_every_kind_of_input_and_at_the_edges_of_16_bits) {
    const auto run = [](const kernels& k, coef_block rows) {
        coef_block samples{};
        k.idct_2d(rows, samples);
        return std::pair{rows, samples};
    };
    agree(2024, any_block, run);
    agree(
        2030,
        [](std::mt19937& random, int trial) {
            std::uniform_int_distribution<std::int32_t> any16(-32768, 32767), small(-40, 40);
            const std::int32_t edges[] = {-32768, 32767, -32769, 32768},
                               row_dc[] = {4095, -4096, 4096, -4097};
            coef_block block{};
            const int kind = trial % 3, half = trial / 3;
            for (std::int32_t& v : block)
                v = kind == 0       ? any16(random)
                    : kind == 1     ? any16(random) >> (half % 16)
                    : half % 2 != 0 ? small(random)
                                    : 0;
            if (kind < 2) block[random() % 64] = edges[2 * kind + half % 2];
            if (kind == 2)
                for (std::size_t r = 0; r < 8; ++r) block[8 * r] = row_dc[random() % 4];
            return block;
        },
        run);
}

// The vector version forms a pass's products with 16-bit multiply-adds when its differences
// t4..t7, t12 and t13 lie in -2^15..2^15 - 1, and keeps the 32-bit pass otherwise: values whose
// sums straddle that bound in the row pass (magnitudes near 2^13..2^15) or only in the column
// pass (near 2^10..2^12), and rows whose difference p0 - p7 is the bound or one beyond it.
TEST_F(kernel_versions, fdct_2d_agrees_on_every_kind_of_input_and_at_the_edges_of_16_bits) {
    const auto run = [](const kernels& k, coef_block block) {
        k.fdct_2d(block);
        return block;
    };
    agree(2025, any_block, run);
    agree(
        2031,
        [](std::mt19937& random, int trial) {
            const std::int32_t differences[] = {-32768, 32767, -32769, 32768},
                               bits = 10 + trial % 6;
            std::uniform_int_distribution<std::int32_t> value(-(1 << bits), (1 << bits) - 1);
            coef_block block{};
            for (std::int32_t& v : block) v = value(random);
            const std::size_t r = random() % 8;
            if (trial % 2 != 0) block[8 * r + 7] = block[8 * r] - differences[trial / 2 % 4];
            return block;
        },
        run);
}

// Samples of 0..255 under every combination of the channel enables.
TEST_F(kernel_versions, ycc_to_rgb_agrees_under_every_enable) {
    agree(
        2026,
        [](std::mt19937& random, int trial) {
            ycc_blocks samples;
            for (coef_block* block : {&samples.y, &samples.cr, &samples.cb})
                for (std::int32_t& v : *block) v = static_cast<std::int32_t>(random() % 256);
            return std::pair{channel_enables{trial & 1, (trial >> 1) & 1, (trial >> 2) & 1},
                             samples};
        },
        [](const kernels& k, const std::pair<channel_enables, ycc_blocks>& input) {
            rgb_blocks rgb;
            k.ycc_to_rgb(input.first, input.second, rgb);
            return std::tuple{rgb.red, rgb.green, rgb.blue};
        });
}

// Every block position of a 45 x 27 picture of noise, or of the patterns with the largest
// coefficients (checkers and stripes of 0 and 255), the ones the right and bottom edges cut
// included: its conversion, and the quantising of its coefficients at steps for both divisions
// (single precision below 2^24), negative ones (the preview's) included.
TEST_F(kernel_versions, rgb_to_ycc_block_and_quantise_agree_on_every_block_of_a_picture) {
    std::mt19937 random(11);
    std::vector<std::uint8_t> pixels(3 * 45 * 27);
    for (int kind = 0; kind < 4; ++kind) {
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            const std::size_t column = i / 3 % 45, row = i / 3 / 45;
            const std::size_t bits[] = {random(), column + row, column, row};
            pixels[i] = kind == 0 ? bits[0] & 255 : (bits[kind] + i % 3) % 2 * 255;
        }
        for (std::int32_t r0 = 0; r0 < 27; r0 += 8) {
            for (std::int32_t c0 = 0; c0 < 45; c0 += 8) {
                SCOPED_TRACE(::testing::PrintToString(std::tuple(kind, r0, c0)));
                ycc_blocks from_plain, from_vector;
                plain.rgb_to_ycc_block({pixels.data(), 45, 27}, r0, c0, from_plain);
                vector.rgb_to_ycc_block({pixels.data(), 45, 27}, r0, c0, from_vector);
                ASSERT_EQ(std::tie(from_plain.y, from_plain.cr, from_plain.cb),
                          std::tie(from_vector.y, from_vector.cr, from_vector.cb));
                for (coef_block block : {from_plain.y, from_plain.cr, from_plain.cb}) {
                    plain.fdct_2d(block);
                    for (const std::int32_t step :
                         {1, 2, 3, 7, 255, 65535, (1 << 24) - 1, (1 << 24) + 1, -7, INT_MIN}) {
                        coef_block a = block, b = block;
                        plain.quantise(a, step);
                        vector.quantise(b, step);
                        ASSERT_EQ(a, b) << step;
                    }
                }
            }
        }
    }
}

// Decoded values (a 16-bit DC, AC values within -127..126) times every kind of 16-bit scale.
TEST_F(kernel_versions, dequantise_agrees_on_decoded_values) {
    agree(
        2032,
        [](std::mt19937& random, int trial) {
            coef_block block;
            for (std::int32_t& v : block) v = static_cast<std::int32_t>(random() % 254) - 127;
            block[0] =
                trial % 7 == 0 ? -32768 : static_cast<std::int32_t>(random() % 65536) - 32768;
            const std::int32_t steps[] = {1, 8, 255, 65535};
            return std::pair{block,
                             trial % 5 < 4 ? steps[trial % 5] : 1 + std::int32_t(random() % 65535)};
        },
        [](const kernels& k, std::pair<coef_block, std::int32_t> input) {
            k.dequantise(input.first, input.second);
            return input.first;
        });
}

// Coded blocks with their end at every place or none, 0x7F also as the DC's high byte: the
// count read and the block (prefilled differently).
TEST_F(kernel_versions, decode_block_agrees_with_the_end_anywhere) {
    agree(
        2027,
        [](std::mt19937& random, int trial) {
            std::array<std::uint8_t, max_coded_block_bytes> form{};
            for (std::uint8_t& byte : form) byte = static_cast<std::uint8_t>(random());
            std::replace(form.begin() + 2, form.end(), end_of_block, std::uint8_t{0x80});
            if (trial % 64 != 63) form[2 + static_cast<std::size_t>(trial % 64)] = end_of_block;
            if (trial % 3 == 0) form[1] = end_of_block;
            return form;
        },
        [this](const kernels& k, const std::array<std::uint8_t, max_coded_block_bytes>& form) {
            coef_block block;
            block.fill(&k == &plain ? 7 : 9);
            const auto count = k.decode_block(form.data(), block);
            return std::pair{count, block};
        });
}

// The bytes up to the returned count and the clipped count; those past it are scratch.
TEST_F(kernel_versions, put_block_agrees_on_every_kind_of_input) {
    agree(2028, any_block, [](const kernels& k, const coef_block& block) {
        std::array<std::uint8_t, put_block_room> bytes{};
        std::int64_t clipped = 3;
        const std::size_t length = k.put_block(block, bytes.data(), clipped);
        return std::tuple{std::vector(bytes.begin(), bytes.begin() + length), clipped};
    });
}

// Blocks inside a 10 x 9 picture and blocks its edges cut (whole when r0 <= 1, c0 <= 2): the
// same bytes, and none outside the block or the picture, past its last row included.
TEST_F(kernel_versions, store_block_agrees_inside_and_at_the_edges) {
    agree(
        2029,
        [](std::mt19937& random, int trial) {
            return std::tuple{rgb_blocks{any_block(random, trial), any_block(random, trial),
                                         any_block(random, trial)},
                              trial % 3, trial / 3 % 5};
        },
        [](const kernels& k, const std::tuple<rgb_blocks, std::int32_t, std::int32_t>& input) {
            std::vector<std::uint8_t> pixels(10 * 17 * 3,
                                             0xAB);  // rows 9 to 16 must stay as they are
            k.store_block(std::get<0>(input), pixels.data(), 10, 9, std::get<1>(input),
                          std::get<2>(input));
            return pixels;
        });
}

}  // namespace
}  // namespace kvrn::testing
