// End-to-end tests of the whole chain through the C++ API.
#include "chain/road.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "chain/theory.hpp"
#include "channel/channel_text.hpp"
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
    const ModeParams mode = modeconf(c.interLen);
    RoadConfig config;
    config.nFrame = 1;
    config.txSeed = 7;
    // At one sample a symbol the two root-raised-cosine filters sample the pulse at the symbol
    // rate, where it aliases unless the roll-off is full; from two samples a symbol on, the
    // usual 0.35 leaves no intersymbol interference worth a decision.
    config.shaping = VarShapping{c.M == 1 ? 1.0 : 0.35, 6, c.M};
    BuiltinHost host(3);
    const RoadResult r = run_road(mode, config, host);
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
    const ModeParams mode = modeconf(0.6);
    for (const char* model : {"bom", "moderado", "ruim", "muito_ruim"}) {
        RoadConfig config;
        config.nFrame = 2;
        config.shaping = VarShapping{0.35, 6, 5};
        config.channel = road_channel(model, 40, 11);
        BuiltinHost host;
        const RoadResult r = run_road(mode, config, host);
        EXPECT_EQ(r.codedBits, 5760) << model;
        EXPECT_GE(r.codedBitErrors, 0);
        EXPECT_LE(r.codedBitErrors, r.codedBits);
        const auto delay = static_cast<index_t>(r.faded.delays[1]);
        EXPECT_EQ(r.faded.AwgnOut.numel(), r.shaped.out.numel() + delay) << model;
        // Same seeds, same result.
        BuiltinHost again;
        EXPECT_EQ(run_road(mode, config, again).codedBitErrors, r.codedBitErrors) << model;
    }
}

TEST(NoisyChain, CodedBitErrorRateMatchesGray8PskTheory) {
    const ModeParams mode = modeconf(0.6);
    for (const double esno_db : {6.0, 9.0, 12.0}) {
        RoadConfig config;
        config.nFrame = 6;
        config.shaping = VarShapping{0.35, 6, 4};
        config.channel.kind = ChannelKind::awgn;
        config.channel.EsNodB = esno_db;
        config.channel.seed = 100 + esno_db;
        BuiltinHost host;
        const RoadResult r = run_road(mode, config, host);
        ASSERT_TRUE(r.frameFound);
        const double n = r.codedBits;
        const double p = ber_8psk_gray(esno_db);
        // A symbol error flips up to three bits, so the count's variance is at most three times
        // the binomial one; five standard deviations never flake.
        const double tolerance = 5 * std::sqrt(3 * p * (1 - p) / n);
        EXPECT_NEAR(r.codedBitErrors / n, p, tolerance) << esno_db << " dB";
    }
}

// Blocks of information bits: a block is wrong when any of its bits is, the partial last block of
// a fractional nFrame counts as one, and decoded bits that are missing are wrong.
TEST(BlockErrors, CountsBlocksWithAWrongInformationBit) {
    const ModeParams mode = modeconf(0.6);
    const index_t B = mode.interTable.numel() / 2;  // encoder input bits per block
    struct Case {
        const char* what;
        index_t K;
        std::vector<index_t> flipped;  // positions of wrong decoded bits
        index_t decodedLength;         // -1: K
        index_t blocks, errors;
    };
    const Case cases[] = {
        {"one block, right", B - 144, {}, -1, 1, 0},
        {"one block, last bit wrong", B - 144, {B - 145}, -1, 1, 1},
        {"three blocks, errors in the first and third", 3 * B - 144, {0, 5, 2 * B}, -1, 3, 2},
        {"a bit on each side of a boundary", 3 * B - 144, {B - 1, B}, -1, 3, 2},
        {"partial last block (nFrame 2.5)", 2 * B + B / 2 - 144, {2 * B}, -1, 3, 1},
        {"decoded bits missing", 2 * B - 144, {}, 0, 2, 2},
        {"the last block's bits missing", 2 * B - 144, {}, B, 2, 1},
    };
    for (const Case& c : cases) {
        RealArray sent(c.K + 144);
        for (index_t k = 0; k < c.K; ++k) sent[k] = static_cast<double>((k * 7 + 3) % 5 < 2);
        RealArray decoded(c.decodedLength < 0 ? c.K : c.decodedLength);
        for (index_t k = 0; k < decoded.numel(); ++k) decoded[k] = sent[k];
        for (const index_t k : c.flipped) decoded[k] = 1 - decoded[k];
        const BlockCount n = count_block_errors(decoded, sent, c.K, mode);
        EXPECT_EQ(n.blocks, c.blocks) << c.what;
        EXPECT_EQ(n.errors, c.errors) << c.what;
    }
}

// The baseline receiver's noise estimate on white noise with hardly any symbol errors (24 dB) is
// the noise variance; N symbols estimate it within 5 standard deviations of a mean of N
// exponential variables (sd N0 / sqrt(N)).
TEST(SpreadAroundDecisions, EstimatesTheNoiseVarianceOnWhiteNoise) {
    const ModeParams mode = modeconf(0.6);
    RoadConfig config;
    config.nFrame = 2;
    config.shaping = VarShapping{0.35, 6, 4};
    config.channel.kind = ChannelKind::awgn;
    config.channel.EsNodB = 24;
    config.channel.seed = 5;
    BuiltinHost host;
    const RoadResult r = run_road(mode, config, host);
    ASSERT_TRUE(r.baseline.ran);
    const double n0 = std::pow(10.0, -2.4);
    const double n = static_cast<double>(r.data.out.numel());
    ASSERT_EQ(r.baseline.noiseVar.numel(), 1);
    EXPECT_NEAR(r.baseline.noiseVar[0], n0, 5 * n0 / std::sqrt(n));
    // No noise: floored, so that the ratios stay finite.
    EXPECT_EQ(spread_around_decisions(ComplexArray{cdouble(1, 0), cdouble(0, 1)}, mode), 1e-12);
    EXPECT_EQ(spread_around_decisions(ComplexArray(), mode), 1.0);
}

// The baseline receiver decodes: nothing wrong without a channel (whole and fractional nFrame);
// on white noise at 7 dB the code removes most of the coded-bit errors of the hard decisions.
TEST(DesignedReceiver, DecodesTheDesignedReceiversSymbols) {
    const ModeParams mode = modeconf(0.6);
    for (const double nFrame : {1.0, 2.5}) {
        RoadConfig config;
        config.nFrame = nFrame;
        config.shaping = VarShapping{0.35, 6, 4};
        BuiltinHost host;
        const RoadResult r = run_road(mode, config, host);
        ASSERT_TRUE(r.baseline.ran);
        EXPECT_EQ(r.baseline.infoBits,
                  static_cast<index_t>(mode.interTable.numel() / 2 * nFrame) - 144);
        EXPECT_EQ(r.baseline.infoBitErrors, 0) << nFrame;
        EXPECT_EQ(r.baseline.blocks, static_cast<index_t>(std::ceil(nFrame)));
        EXPECT_EQ(r.baseline.blockErrors, 0);
        EXPECT_EQ(r.baseline.codedBitErrors, 0);
    }
    RoadConfig white;
    white.nFrame = 8;
    white.shaping = VarShapping{0.35, 6, 4};
    white.channel.kind = ChannelKind::awgn;
    white.channel.EsNodB = 7;
    white.channel.seed = 21;
    BuiltinHost host;
    const RoadResult r = run_road(mode, white, host);
    ASSERT_TRUE(r.baseline.ran);
    EXPECT_EQ(r.baseline.codedBitErrors, r.codedBitErrors);
    const double coded = static_cast<double>(r.codedBitErrors) / r.codedBits;
    const double info = static_cast<double>(r.baseline.infoBitErrors) / r.baseline.infoBits;
    EXPECT_GT(r.codedBitErrors, 300);  // the comparison means something
    EXPECT_LT(info, coded / 10) << r.baseline.infoBitErrors << " of " << r.baseline.infoBits;
    EXPECT_GE(r.baseline.blockErrors, r.baseline.infoBitErrors > 0 ? 1 : 0);
    EXPECT_LE(r.baseline.blockErrors, std::min(r.baseline.blocks, r.baseline.infoBitErrors));
}

// Noise alone (-30 dB): whether framelock finds a start or not, every block is lost and about
// half the information bits are wrong (all of them without a start).
TEST(DesignedReceiver, NoiseAloneLosesEveryBlock) {
    const ModeParams mode = modeconf(0.6);
    RoadConfig config;
    config.nFrame = 3;
    config.shaping = VarShapping{0.35, 6, 4};
    config.channel.kind = ChannelKind::awgn;
    config.channel.EsNodB = -30;  // nothing to find
    config.channel.seed = 4;
    config.receivers = {ReceiverKind::baseline, ReceiverKind::hf};
    BuiltinHost host;
    const RoadResult r = run_road(mode, config, host);
    for (const Reception* rx : {&r.baseline, &r.hf}) {
        EXPECT_EQ(rx->ran, r.frameFound);
        if (!r.frameFound) {
            EXPECT_EQ(rx->infoBitErrors, rx->infoBits);
        }
        EXPECT_GT(rx->infoBitErrors, rx->infoBits / 4);
        EXPECT_EQ(rx->blocks, 3);
        EXPECT_EQ(rx->blockErrors, 3);
    }
}

}  // namespace
}  // namespace hfchain

namespace hfchain {
namespace {

// The HF receiver refuses paths beyond its sounder's reach before any work; the genie and the
// baseline receiver take them, and fadesim's widest condition is within reach.
TEST(HfReach, PathsFurtherApartThanTheSounderSearchesAreRefusedForTheHfReceiver) {
    using R = ReceiverKind;
    const struct {
        const char* channel;
        std::vector<R> receivers;
        bool refused;
    } cases[] = {
        {"itu_mid_disturbed_nvis", {R::genie, R::hf}, true},
        {"paths=1ms/0dB/1Hz+6.5ms/0dB/1Hz", {R::hf}, true},
        {"paths=1ms/0dB/1Hz+6ms/0dB/1Hz", {R::hf}, false},
        {"muito_ruim", {R::hf}, false},
        {"2p:5ms:1Hz", {R::hf, R::genie}, false},
        {"itu_high_disturbed", {R::baseline, R::genie}, false},
    };
    for (const auto& c : cases) {
        bool refused = false;
        try {
            check_hf_reach(read_channel(c.channel).channel, c.receivers);
        } catch (const Error& e) {
            refused = true;
            EXPECT_EQ(e.identifier(), "hfchain:road:UnsupportedChannel") << c.channel;
        }
        EXPECT_EQ(refused, c.refused) << c.channel;
    }
    RoadConfig config;
    config.channel = road_channel("itu_high_disturbed", 20, 0);
    config.receivers = {R::hf};
    BuiltinHost host;
    EXPECT_THROW(run_road(modeconf(0.6), config, host), Error);
}

}  // namespace
}  // namespace hfchain
