#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "runtime/numeric.hpp"

namespace hfchain {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// The top of the power-of-two range holding the lower median, whatever the values far above it.
TEST(BinadeCount, GivesTheTopOfTheMediansRange) {
    struct Case {
        std::vector<double> values;
        double ceiling;
    };
    const Case cases[] = {
        {{}, 0},
        {{0.7}, 1},
        {{1}, 2},                               // 1 lies in [1, 2)
        {{0.3, 0.7, 1e300, 1e300}, 1},          // the lower median: 0.7
        {{3, 3, 3, kInf, kInf}, 4},             // infinities count at the top
        {{0, 0, 5}, 0x1p-1022},                 // zeros count at the bottom
        {{kInf, std::nan(""), 1}, kInf},        // NaN counts with the infinities
        {{1e-310, 1e-310, 2e-310}, 0x1p-1022},  // subnormals
        {{1.7e308, 1.7e308}, kInf},             // the largest range's top overflows
    };
    for (const Case& c : cases) {
        BinadeCount count;
        for (const double v : c.values) count.add(v);
        EXPECT_EQ(count.total(), static_cast<index_t>(c.values.size()));
        EXPECT_EQ(count.median_ceiling(), c.ceiling) << c.values.size();
    }
}

}  // namespace
}  // namespace hfchain
