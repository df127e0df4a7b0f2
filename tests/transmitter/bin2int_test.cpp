#include "transmitter/bin2int.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace hfchain {
namespace {

RealArray column(const std::vector<double>& v) {
    RealArray a(static_cast<index_t>(v.size()));
    for (index_t i = 0; i < a.numel(); ++i) a[i] = v[i];
    return a;
}

TEST(Bin2int, KnownValues) {
    struct Case {
        std::vector<double> bits;
        double k;
        std::vector<double> expected;
    };
    const Case cases[] = {
        {{1, 0, 1, 0, 1, 1}, 3, {5, 3}},
        {{0, 0, 0, 1, 1, 1, 1, 1, 0}, 3, {0, 7, 6}},
        {{1, 0, 1, 1}, 1, {1, 0, 1, 1}},
        {{1, 0, 0, 1, 1, 1}, 2, {2, 1, 3}},
        {{1, 0, 0, 0, 0, 0, 0, 1}, 8, {129}},
        {{}, 3, {}},
        {{}, 1, {}},
    };
    for (const auto& c : cases) {
        const RealArray v = bin2int(column(c.bits), c.k);
        EXPECT_EQ(v.cols(), 1);
        EXPECT_EQ(std::vector<double>(v.begin(), v.end()), c.expected) << "k " << c.k;
    }
    // A long all-zero group stays 0 (weights beyond the double range must not turn it into NaN).
    const RealArray zeros(1100);
    EXPECT_EQ(bin2int(zeros, 1100)[0], 0.0);
}

TEST(Bin2int, SizeErrors) {
    struct Case {
        index_t n;
        double k;
        const char* identifier;
    };
    const Case cases[] = {
        {7, 3, "Coder:MATLAB:getReshapeDims_notSameNumel"},
        {8, 3, "Coder:MATLAB:getReshapeDims_notSameNumel"},
        {6, 0, "Coder:MATLAB:NonIntegerInput"},
        {0, 0, "Coder:MATLAB:NonIntegerInput"},
        {3, 1.5, "Coder:MATLAB:NonIntegerInput"},
        {6, std::numeric_limits<double>::quiet_NaN(), "Coder:MATLAB:NonIntegerInput"},
        {6, 4294967296.0, "Coder:MATLAB:pmaxsize"},
    };
    for (const auto& c : cases) {
        try {
            bin2int(RealArray(c.n), c.k);
            ADD_FAILURE() << c.n << " bits, k " << c.k;
        } catch (const Error& e) {
            EXPECT_EQ(e.identifier(), c.identifier) << c.n << " bits, k " << c.k;
        }
    }
}

}  // namespace
}  // namespace hfchain
