#include <gtest/gtest.h>

#include <cmath>

#include "runtime/builtin_host.hpp"

namespace hfchain {
namespace {

// Reference streams: NumPy's RandomState(1) and the MATLAB-style default stream of seed 0.
TEST(BuiltinHost, UniformStreamsMatchReferences) {
    struct Case {
        double seed;
        double values[3];
    };
    const Case cases[] = {
        {1, {0.417022004702574, 0.7203244934421581, 0.00011437481734488664}},
        {0, {0.8147236863931789, 0.9057919370756192, 0.1269868162935061}},
    };
    for (const auto& c : cases) {
        BuiltinHost host;
        host.seed_twister(c.seed);
        const RealArray u = host.rand(3);
        ASSERT_EQ(u.rows(), 3);
        ASSERT_EQ(u.cols(), 1);
        for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(u[i], c.values[i]) << "seed " << c.seed;
    }
}

TEST(BuiltinHost, NormalStreamMatchesReference) {
    BuiltinHost host;
    host.seed_twister(1);
    const RealArray z = host.randn(1, 3);
    ASSERT_EQ(z.rows(), 1);
    ASSERT_EQ(z.cols(), 3);
    EXPECT_DOUBLE_EQ(z[0], 1.6243453636632417);
    EXPECT_DOUBLE_EQ(z[1], -0.6117564136500754);
    EXPECT_DOUBLE_EQ(z[2], -0.5281717522634557);
}

TEST(BuiltinHost, RestoreReturnsToTheSavedPointIncludingCachedNormal) {
    BuiltinHost host;
    host.seed_twister(7);
    host.randn(1, 3);  // odd count: one normal is pending in the cache
    auto saved = host.seed_twister(99);
    host.randn(5, 5);
    host.restore(*saved);
    const RealArray after_restore = host.randn(4, 1);

    BuiltinHost reference;
    reference.seed_twister(7);
    reference.randn(1, 3);
    const RealArray expected = reference.randn(4, 1);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(after_restore[i], expected[i]);

    // Seeding returns the settings from before the call.
    auto before = host.seed_twister(3);
    host.restore(*before);
    EXPECT_EQ(host.rand(1)[0], reference.rand(1)[0]);
}

TEST(BuiltinHost, SeedsMustBeWholeNumbersIn32Bits) {
    BuiltinHost host;
    for (const double bad : {-1.0, 1.5, 4294967296.0, double(NAN), double(INFINITY)}) {
        try {
            host.seed_twister(bad);
            ADD_FAILURE() << bad;
        } catch (const Error& e) {
            EXPECT_EQ(e.identifier(), "hfchain:host:InvalidSeed");
        }
    }
    EXPECT_NO_THROW(host.seed_twister(4294967295.0));
}

TEST(BuiltinHost, DrawsLieInTheOpenIntervalWithExpectedMoments) {
    BuiltinHost host;
    host.seed_twister(12345);
    const index_t n = 200000;
    const RealArray u = host.rand(n);
    const RealArray z = host.randn(n, 1);
    double su = 0, sz = 0, szz = 0;
    for (index_t i = 0; i < n; ++i) {
        ASSERT_GT(u[i], 0.0);
        ASSERT_LT(u[i], 1.0);
        su += u[i];
        sz += z[i];
        szz += z[i] * z[i];
    }
    // Five standard errors: sd(u) = 1/sqrt(12), sd(z) = 1, sd(z^2) = sqrt(2).
    EXPECT_NEAR(su / n, 0.5, 5 * 0.2887 / std::sqrt(n));
    EXPECT_NEAR(sz / n, 0.0, 5 / std::sqrt(n));
    EXPECT_NEAR(szz / n, 1.0, 5 * 1.4142 / std::sqrt(n));
}

TEST(SeededStream, RestoresOnSuccessAndOnFailure) {
    BuiltinHost host;
    host.seed_twister(5);
    BuiltinHost reference;
    reference.seed_twister(5);
    {
        SeededStream stream(host, 42);
        host.rand(10);
        stream.restore();
    }
    try {
        SeededStream stream(host, 43);
        host.randn(3, 3);
        raise_message("failure after seeding");
    } catch (const Error&) {
    }
    EXPECT_EQ(host.rand(1)[0], reference.rand(1)[0]);
}

}  // namespace
}  // namespace hfchain
