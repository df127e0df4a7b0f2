#include "transmitter/constellation.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <numbers>

#include "tests/receiver/expect_error.hpp"

namespace hfchain {
namespace {

// For 1, 2 and 3 bits: 2^b distinct points on the unit circle, at the phases the labels name,
// neighbours on the circle differing in exactly one bit (the Gray property), and the 3-bit
// inverse table undoing the mapping.
TEST(Constellation, GrayLabelsOnTheTransmittersPhases) {
    for (int b = 1; b <= 3; ++b) {
        const Constellation& c = constellation(b);
        ASSERT_EQ(c.bits, b);
        ASSERT_EQ(c.size, 1 << b);
        const int step = 8 / c.size;  // phases between neighbours
        for (int v = 0; v < c.size; ++v) {
            EXPECT_EQ(c.point[v], psk_points()[c.value[v]]) << b << " " << v;
            EXPECT_EQ(c.value[v] % step, 0) << b << " " << v;
            const double phase = 2 * std::numbers::pi * c.value[v] / 8;
            EXPECT_NEAR(std::abs(c.point[v] - std::polar(1.0, phase)), 0.0, 4e-16) << b << v;
            int bits = 0;
            for (int i = 0; i < b; ++i) bits = 2 * bits + c.bit(v, i);
            EXPECT_EQ(bits, v);
            for (int w = 0; w < c.size; ++w) {
                if ((c.value[w] - c.value[v] + 8) % 8 == step) {
                    EXPECT_EQ(std::popcount(static_cast<unsigned>(v ^ w)), 1) << b << v << w;
                }
            }
        }
    }
    for (int s = 0; s < 8; ++s) EXPECT_EQ(kGray2bina[static_cast<int>(kBina2gray[s])], s);
    testing::expect_error([] { constellation(4); }, "hfchain:constellation:BitsToSym", "not 4");
    testing::expect_error([] { constellation(0); }, "hfchain:constellation:BitsToSym", "not 0");
}

}  // namespace
}  // namespace hfchain
