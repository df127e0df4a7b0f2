#include "shaping/rrc_fir.hpp"

#include <gtest/gtest.h>

namespace hfchain {
namespace {

TEST(RrcFir, KnownTaps) {
    EXPECT_NEAR(rrc_fir(0.35, 0, 5)[0], 1.095633840657307, 1e-15);
    const RealArray h = rrc_fir(0.25, 2, 4);
    EXPECT_NEAR(h[4], -0.0642371557769986, 1e-15);
    EXPECT_NEAR(h[12], -0.0642371557769986, 1e-15);
}

}  // namespace
}  // namespace hfchain
