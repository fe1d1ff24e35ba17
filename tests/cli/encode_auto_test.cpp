// `kvrn encode --step auto`: the step chosen for a channel from its block coefficients at step 1,
// at the edges of the stored range of an AC value (-127..126). No test picture puts the choice on
// those edges, so the coefficients are made up here, and every choice is held to a search over
// the steps themselves.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "codec/encoder.h"

namespace kvrn::testing {
namespace {

// Whether the AC value `v` at step 1 is stored unclipped at `step`: trunc(v / step) fits in a
// coded byte.
bool stored_whole(std::int32_t v, std::int32_t step) {
    const std::int32_t quantised = v / step;  // C++ division truncates toward zero
    return quantised >= -127 && quantised <= 126;
}

// Whether `step` is the smallest at which every one of `values` is stored unclipped.
bool smallest_unclipped(std::int32_t step, std::initializer_list<std::int32_t> values) {
    bool fits = true;
    bool fits_one_less = step > 1;
    for (const std::int32_t v : values) {
        fits = fits && stored_whole(v, step);
        fits_one_less = fits_one_less && stored_whole(v, step - 1);
    }
    return fits && !fits_one_less;
}

// The step auto gives channel `c` of a picture of the one block position whose coefficients
// (at step 1) are `values` at AC positions 1, 2, ..., and `dc` at position 0.
std::int32_t auto_step(std::size_t c, std::initializer_list<std::int32_t> values,
                       std::int32_t dc = 0) {
    ycc_blocks coefficients{};
    coef_block& block = c == 0 ? coefficients.y : c == 1 ? coefficients.cr : coefficients.cb;
    block[0] = dc;
    std::size_t i = 1;
    for (const std::int32_t v : values) block[i++] = v;
    ac_extremes extremes;
    extremes.coded(coefficients, 0, 0);
    return unclipped_step(extremes, c);
}

// The largest positive value and the most negative one together, on either side of each edge, in
// every channel: 126 and -127 are the extremes a byte holds at step 1; 127 and -128 need step 2,
// which holds 253 and -255 but not 254 or -256. One value alone: is_the_smallest_for_every_value.
TEST(auto_step, is_the_smallest_that_stores_the_extremes_unclipped) {
    const struct {
        std::initializer_list<std::int32_t> values;
        std::int32_t step;
    } cases[] = {
        {{126, -127}, 1}, {{127, -127}, 2}, {{126, -128}, 2},       {{253, -255}, 2},
        {{254, -255}, 3}, {{253, -256}, 3}, {{32767, -32768}, 259},
    };
    for (const auto& c : cases) {
        std::string values;
        for (const std::int32_t v : c.values) values += std::to_string(v) + " ";
        for (std::size_t channel = 0; channel < 3; ++channel) {
            const std::int32_t step = auto_step(channel, c.values);
            EXPECT_EQ(step, c.step) << "values " << values << "in channel " << channel;
            EXPECT_TRUE(smallest_unclipped(step, c.values)) << "values " << values;
        }
    }
}

// The DC is stored in 16 bits, never clipped, and must not raise the step; nor must the other
// channels' values.
TEST(auto_step, leaves_out_the_dc_and_the_other_channels) {
    EXPECT_EQ(auto_step(0, {5}, -32768), 1);
    EXPECT_EQ(auto_step(1, {-5}, 32767), 1);
    ycc_blocks coefficients{};
    coefficients.y[1] = 1000;
    coefficients.cb[1] = -1000;
    ac_extremes extremes;
    extremes.coded(coefficients, 0, 0);
    EXPECT_EQ(unclipped_step(extremes, 0), 8);
    EXPECT_EQ(unclipped_step(extremes, 1), 1);
    EXPECT_EQ(unclipped_step(extremes, 2), 8);
}

// Every value a block at step 1 can hold (fdct_2d's results lie within -2^15..2^15 - 1), alone on
// either side of zero.
TEST(auto_step, is_the_smallest_for_every_value_at_step_1) {
    for (std::int32_t v = -32768; v <= 32767; ++v) {
        const std::int32_t step = auto_step(0, {v});
        ASSERT_TRUE(smallest_unclipped(step, {v})) << "value " << v << ", step " << step;
    }
}

}  // namespace
}  // namespace kvrn::testing
