#include "transmitter/scrambler.hpp"

#include <gtest/gtest.h>

namespace hfchain {
namespace {

TEST(Scrambler, DataSequenceFirstValuesAndPeriod) {
    const int first[32] = {0, 2, 4, 3, 3, 6, 4, 5, 7, 6, 7, 0, 5, 5, 4, 3,
                           5, 4, 3, 7, 0, 7, 6, 2, 6, 2, 4, 6, 7, 2, 4, 7};
    const RealArray s = data_sequence(320);
    for (int k = 0; k < 32; ++k) EXPECT_EQ(s[k], first[k]) << k;
    for (int k = 0; k < 160; ++k) EXPECT_EQ(s[k + 160], s[k]);
}

}  // namespace
}  // namespace hfchain
