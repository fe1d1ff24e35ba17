#include <gtest/gtest.h>

#include "codec/idct.h"

TEST(Smoke, ZeroBlockIsMidGrey) {
    kvrn::coef_block c{};
    kvrn::coef_block s{};
    kvrn::idct_2d(c, s);
    for (int v : s) EXPECT_EQ(v, 128);
}
