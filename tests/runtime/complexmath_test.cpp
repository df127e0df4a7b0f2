// The two-lane complex products against the written-out ones they stand for: the same bits, signed
// zeros included, for every pair of a table of values.
#include "runtime/complexmath.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace hfchain {
namespace {

bool same_bits(cdouble a, cdouble b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(ComplexLanes, ProductsKeepEveryBitOfTheWrittenOutOnes) {
    const double parts[] = {
        0.0, -0.0, 1.0, -1.0, 0.1, -3.7e-310, 2.5e300, -1e-300, 0.7071067811865476};
    std::vector<cdouble> values;
    for (const double re : parts) {
        for (const double im : parts) values.emplace_back(re, im);
    }
    for (const cdouble a : values) {
        for (const cdouble b : values) {
            const cdouble product = from_lanes(cmul_lanes(lanes(a), turned(a), b));
            const cdouble conjugate = from_lanes(cmulc_lanes(a, lanes(b), conj_turned(b)));
            ASSERT_TRUE(same_bits(product, cmul(a, b))) << a << " * " << b;
            ASSERT_TRUE(same_bits(conjugate, cmulc(a, b))) << "conj " << a << " * " << b;
        }
    }
}

}  // namespace
}  // namespace hfchain
