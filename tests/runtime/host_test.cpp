#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

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

// The built-in host's streams computed one word at a time from an independent Mersenne Twister
// (the standard library's engine, seeded as init_genrand): the 53-bit uniforms with zeros
// skipped and the polar method with its cached second value.
class ReferenceStream {
public:
    explicit ReferenceStream(std::uint32_t seed) : words_(seed == 0 ? 5489u : seed) {}
    double uniform() {
        for (;;) {
            const std::uint32_t a = static_cast<std::uint32_t>(words_()) >> 5;
            const std::uint32_t b = static_cast<std::uint32_t>(words_()) >> 6;
            const double u = (a * 67108864.0 + b) / 9007199254740992.0;
            if (u != 0.0) return u;
        }
    }
    double normal() {
        if (cached_) {
            cached_ = false;
            return second_;
        }
        for (;;) {
            const double x1 = 2.0 * uniform() - 1.0;
            const double x2 = 2.0 * uniform() - 1.0;
            const double r2 = x1 * x1 + x2 * x2;
            if (r2 >= 1.0 || r2 == 0.0) continue;
            const double f = std::sqrt(-2.0 * std::log(r2) / r2);
            second_ = f * x1;
            cached_ = true;
            return f * x2;
        }
    }
    std::uint32_t word() { return static_cast<std::uint32_t>(words_()); }

private:
    std::mt19937 words_;
    bool cached_ = false;
    double second_ = 0.0;
};

TEST(BuiltinHost, BlockDrawsEqualDrawsOneAtATime) {
    // Calls of many sizes, so that draws start and end at every position of the 624-word blocks
    // (odd positions too, after a single word), with a normal left in the cache or not.
    enum Kind { kRand, kRandn, kWord };
    struct Call {
        Kind kind;
        index_t n;
    };
    const std::vector<Call> calls = {
        {kRand, 1},     {kRandn, 3}, {kRand, 700},   {kRandn, 1},     {kRandn, 1},    {kWord, 1},
        {kRandn, 1249}, {kRand, 2},  {kRandn, 5000}, {kWord, 3},      {kRand, 311},   {kRandn, 2},
        {kRand, 0},     {kRandn, 0}, {kRandn, 155},  {kRand, 100000}, {kRandn, 77777}};
    for (const double seed : {0.0, 1.0, 7.0, 4294967295.0}) {
        // The host (which has no single words to give) and a bare generator, each beside its
        // own reference.
        BuiltinHost host;
        host.seed_twister(seed);
        Mt19937 generator(static_cast<std::uint32_t>(seed));
        ReferenceStream host_reference(static_cast<std::uint32_t>(seed));
        ReferenceStream generator_reference(static_cast<std::uint32_t>(seed));
        for (const Call& c : calls) {
            if (c.kind == kWord) {
                for (index_t i = 0; i < c.n; ++i) {
                    ASSERT_EQ(generator.next_u32(), generator_reference.word());
                }
                continue;
            }
            const RealArray got = c.kind == kRand ? host.rand(c.n) : host.randn(c.n, 1);
            std::vector<double> filled(static_cast<std::size_t>(c.n));
            if (c.kind == kRand) {
                generator.fill_uniform(filled.data(), c.n);
            } else {
                generator.fill_normal(filled.data(), c.n);
            }
            ASSERT_EQ(got.numel(), c.n);
            for (index_t i = 0; i < c.n; ++i) {
                const bool uniform = c.kind == kRand;
                const double want = uniform ? host_reference.uniform() : host_reference.normal();
                const double want_generator =
                    uniform ? generator_reference.uniform() : generator_reference.normal();
                ASSERT_EQ(got[i], want) << "seed " << seed << ", draw " << i << " of " << c.n;
                ASSERT_EQ(filled[i], want_generator)
                    << "seed " << seed << ", draw " << i << " of " << c.n;
            }
        }
    }
}

TEST(BuiltinHost, UniformsFromWordsStopAtAZeroDraw) {
    // (a >> 5, b >> 6) = (0, 0) is the only zero draw; the draws before it are kept.
    struct Case {
        std::vector<std::uint32_t> words;
        index_t kept;
    };
    const Case cases[] = {
        {{0xffffffffu, 0xffffffffu, 31u, 63u, 5u, 7u}, 1},
        {{31u, 63u}, 0},
        {{32u, 0u, 0u, 64u, 31u, 63u}, 2},  // 2^-48 and 2^-53: small, not zero
        {{1u << 31, 0u}, 1},
    };
    for (const Case& c : cases) {
        const index_t pairs = static_cast<index_t>(c.words.size() / 2);
        std::vector<double> out(c.words.size(), -1.0);
        EXPECT_EQ(detail::words_to_uniforms(c.words.data(), pairs, out.data()), c.kept);
        for (index_t p = 0; p < c.kept; ++p) {
            const double want = ((c.words[2 * p] >> 5) * 67108864.0 + (c.words[2 * p + 1] >> 6)) /
                                9007199254740992.0;
            EXPECT_EQ(out[p], want);
            EXPECT_GT(out[p], 0.0);
        }
    }
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
