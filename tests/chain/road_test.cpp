// End-to-end tests of the whole chain through the C++ API.
#include "chain/road.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "chain/theory.hpp"
#include "runtime/builtin_host.hpp"

namespace hfchain {
namespace {

struct CleanCase {
    double interLen;
    double M;
};

class CleanChain : public ::testing::TestWithParam<CleanCase> {};

// Without channel and noise the chain must give back every coded bit exactly, and the frame
// synchroniser must find the first symbol's peak, 2 D M + 1.
TEST_P(CleanChain, ReturnsEveryCodedBitAndTheExpectedFrameStart) {
    const CleanCase c = GetParam();
    const Milstd milstd = modeconf(c.interLen);
    RoadConfig config;
    config.nFrame = 1;
    config.txSeed = 7;
    // At one sample a symbol the two root-raised-cosine filters sample the pulse at the symbol
    // rate, where it aliases unless the roll-off is full; from two samples a symbol on, the
    // usual 0.35 leaves no intersymbol interference worth a decision.
    config.shaping = VarShapping{c.M == 1 ? 1.0 : 0.35, 6, c.M};
    BuiltinHost host(3);
    const RoadResult r = run_road(milstd, config, host);
    ASSERT_TRUE(r.frameFound);
    EXPECT_EQ(r.frameStart[0], 2 * 6 * c.M + 1);
    EXPECT_EQ(r.expectedFrameStart, 2 * 6 * c.M + 1);
    ASSERT_EQ(r.deinterleaved.out.numel(), r.tx.CodOutInterIn.numel());
    for (index_t k = 0; k < r.tx.CodOutInterIn.numel(); ++k) {
        ASSERT_EQ(r.deinterleaved.out[k], r.tx.CodOutInterIn[k]) << "bit " << k;
    }
    EXPECT_EQ(r.codedBitErrors, 0);
}

INSTANTIATE_TEST_SUITE_P(BothInterleaversAndOversampling, CleanChain,
                         ::testing::Values(CleanCase{0.6, 1}, CleanCase{0.6, 2}, CleanCase{0.6, 4},
                                           CleanCase{0.6, 5}, CleanCase{0.6, 8}, CleanCase{4.8, 1},
                                           CleanCase{4.8, 2}, CleanCase{4.8, 4}, CleanCase{4.8, 5},
                                           CleanCase{4.8, 8}));

TEST(FadingChain, RunsAndCountsItsErrorsForEveryCondition) {
    const Milstd milstd = modeconf(0.6);
    for (const char* model : {"bom", "moderado", "ruim", "muito_ruim"}) {
        RoadConfig config;
        config.nFrame = 2;
        config.shaping = VarShapping{0.35, 6, 5};
        config.channel = ChannelKind::watterson;
        config.watterson = VarWatterson{model, 40, 11};
        BuiltinHost host;
        const RoadResult r = run_road(milstd, config, host);
        EXPECT_EQ(r.codedBits, 5760) << model;
        EXPECT_GE(r.codedBitErrors, 0);
        EXPECT_LE(r.codedBitErrors, r.codedBits);
        const auto delay = static_cast<index_t>(std::round(r.faded.RER * 2400 * 5));
        EXPECT_EQ(r.faded.AwgnOut.numel(), r.shaped.out.numel() + delay) << model;
        // Same seeds, same result.
        BuiltinHost again;
        EXPECT_EQ(run_road(milstd, config, again).codedBitErrors, r.codedBitErrors) << model;
    }
}

TEST(NoisyChain, CodedBitErrorRateMatchesGray8PskTheory) {
    const Milstd milstd = modeconf(0.6);
    for (const double esno_db : {6.0, 9.0, 12.0}) {
        RoadConfig config;
        config.nFrame = 6;
        config.shaping = VarShapping{0.35, 6, 4};
        config.channel = ChannelKind::awgn;
        config.watterson.EsNodB = esno_db;
        config.watterson.seed = 100 + esno_db;
        BuiltinHost host;
        const RoadResult r = run_road(milstd, config, host);
        ASSERT_TRUE(r.frameFound);
        const double n = r.codedBits;
        const double p = ber_8psk_gray(esno_db);
        // A symbol error flips up to three bits, so the count's variance is at most three times
        // the binomial one; five standard deviations never flake.
        const double tolerance = 5 * std::sqrt(3 * p * (1 - p) / n);
        EXPECT_NEAR(r.codedBitErrors / n, p, tolerance) << esno_db << " dB";
    }
}

}  // namespace
}  // namespace hfchain
