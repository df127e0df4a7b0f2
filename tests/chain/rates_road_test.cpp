// Decoded white-noise points of run_road's baseline receiver, one test per rate family, each
// against the reference simulation of tests/support/reference_modem.hpp (the same code,
// repetition, Gray mapping, interleaver and patterns, written from the transmitter's rules,
// decoded by the straightforward Viterbi decoder, at symbol level with ideal synchronisation); at
// 4800 bit/s, uncoded, against the exact 8-PSK Gray curve. Each point is chosen where decoding
// errors are plentiful (decoded rates of 1e-2 to 5e-2).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "chain/road.hpp"
#include "chain/theory.hpp"
#include "params/rateconf.hpp"
#include "runtime/builtin_host.hpp"
#include "runtime/checks.hpp"
#include "tests/receiver/expect_error.hpp"
#include "tests/support/reference_modem.hpp"
#include "transmitter/bitbudget.hpp"

namespace hfchain {
namespace {

// One transmission of `blocks` 0.6 s interleaver blocks through the whole road on white noise,
// two samples a symbol: the baseline receiver's decoded information bits, and whether framelock
// found the first symbol's peak.
struct RoadTrial {
    reference::Outcome outcome;
    bool synchronised = false;
};

RoadTrial road_trial(const ModeParams& m, int blocks, double EsNodB, int trial) {
    RoadConfig config;
    config.nFrame = blocks;
    config.txSeed = 100 + trial;
    config.shaping = VarShapping{0.35, 6, 2};
    config.channel.kind = ChannelKind::awgn;
    config.channel.EsNodB = EsNodB;
    config.channel.seed = 500 + trial;
    BuiltinHost host;
    const RoadResult r = run_road(m, config, host);
    RoadTrial t;
    t.outcome = {static_cast<double>(r.baseline.infoBits),
                 static_cast<double>(r.baseline.infoBitErrors)};
    t.synchronised = r.frameFound && r.frameStart[0] == r.expectedFrameStart;
    return t;
}

// A decoded rate from equal-sized independent trials: the mean of the trials' rates and its
// standard error from their spread (batch means: errors come in bursts, so the binomial
// variance would understate it).
struct Rate {
    double mean = 0;
    double se = 0;
    double errors = 0;
    int trials = 0;
};

Rate batch_means(const std::vector<reference::Outcome>& outcomes) {
    Rate r;
    r.trials = static_cast<int>(outcomes.size());
    for (const reference::Outcome& o : outcomes) {
        r.mean += o.errors / o.bits / r.trials;
        r.errors += o.errors;
    }
    double var = 0;
    for (const reference::Outcome& o : outcomes) {
        var += (o.errors / o.bits - r.mean) * (o.errors / o.bits - r.mean);
    }
    r.se = std::sqrt(var / (r.trials - 1) / r.trials);
    return r;
}

// The road's rate over `trials` transmissions against the reference's over `reference_trials`,
// both of `blocks` blocks at `EsNodB`. The reference synchronises ideally; the road's framelock,
// on so little signal, now and then settles one sample (half a symbol) early, which no decoder
// survives: such trials are counted and left out (at most one in ten allowed). The two means must
// agree within four combined standard errors (with 10 to 40 trials a side, a correct receiver
// falls outside with a probability of a few in a thousand; the seeds are fixed), on at least 150
// wrong bits a side.
void expect_agreement(double rate, double EsNodB, int blocks, int trials, int reference_trials) {
    SCOPED_TRACE(::testing::Message() << rate << " bit/s at Es/N0 " << EsNodB << " dB");
    const ModeParams m = rateconf(rate, 0.6);
    std::vector<reference::Outcome> road;
    int unsynchronised = 0;
    for (int t = 0; t < trials; ++t) {
        const RoadTrial r = road_trial(m, blocks, EsNodB, t);
        if (r.synchronised) {
            road.push_back(r.outcome);
        } else {
            ++unsynchronised;
        }
    }
    std::vector<reference::Outcome> ideal;
    for (int t = 0; t < reference_trials; ++t) {
        ideal.push_back(
            reference::run_coded(reference::coded_rate(rate), blocks, EsNodB, 1000 + t));
    }
    EXPECT_LE(unsynchronised, trials / 10);
    const Rate a = batch_means(road);
    const Rate b = batch_means(ideal);
    EXPECT_NEAR(a.mean, b.mean, 4 * std::hypot(a.se, b.se))
        << "road " << a.errors << " errors in " << a.trials << " trials, reference " << b.errors
        << " in " << b.trials;
    EXPECT_GE(a.errors, 150);
    EXPECT_GE(b.errors, 150);
}

// Without a channel the baseline receiver decodes every rate without error, whole and
// fractional nFrame, and counts the blocks that hold information bits (a partial last one counts
// as one; at 150 and 75 bit/s the 144 flush bits fill whole blocks of their own: 2.5 blocks of 90
// encoder input bits hold 81 information bits, 4 blocks of 45 hold 36).
TEST(RoadAtEveryRate, BaselineDecodesEveryRateWithoutChannel) {
    struct Case {
        double rate, interLen, nFrame;
        index_t blocks;
    };
    const Case cases[] = {{4800, 0.6, 1, 1},   {4800, 0.6, 1.5, 2}, {2400, 0.6, 1, 1},
                          {1200, 0.6, 1.5, 2}, {600, 4.8, 0.5, 1},  {300, 0.6, 1, 1},
                          {150, 0.6, 2.5, 1},  {75, 0.6, 4, 1},     {75, 4.8, 1.5, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.rate << " bit/s, " << c.interLen << " s, nFrame " << c.nFrame);
        const ModeParams m = rateconf(c.rate, c.interLen);
        RoadConfig config;
        config.nFrame = c.nFrame;
        config.shaping = VarShapping{0.35, 6, 2};
        BuiltinHost host;
        const RoadResult r = run_road(m, config, host);
        ASSERT_TRUE(r.baseline.ran);
        EXPECT_EQ(r.codedBitErrors, 0);
        EXPECT_EQ(r.baseline.infoBits, bit_budget(m, c.nFrame).info);
        EXPECT_EQ(r.baseline.decoded.InfoBits.numel(), r.baseline.infoBits);
        EXPECT_EQ(r.baseline.infoBitErrors, 0);
        EXPECT_EQ(r.baseline.blocks, c.blocks);
        EXPECT_EQ(r.baseline.blockErrors, 0);
        for (index_t k = 0; k < r.baseline.deinterleaved.out.numel(); ++k) {
            ASSERT_EQ(r.baseline.deinterleaved.out[k] < 0, r.tx.CodOutInterIn[k] == 1) << k;
        }
    }
}

// Noise alone: whatever start framelock settles on (a late one leaves fewer symbols than were
// sent), every block is lost and at least a quarter of the information bits are wrong, missing
// ones included, at every rate.
TEST(RoadAtEveryRate, NoiseAloneLosesEveryBlockAtEveryRate) {
    for (const double rate : kDataRates) {
        SCOPED_TRACE(::testing::Message() << rate << " bit/s");
        const ModeParams m = rateconf(rate, 0.6);
        RoadConfig config;
        config.nFrame = rate == 75 ? 4 : 2;
        config.shaping = VarShapping{0.35, 6, 2};
        config.channel.kind = ChannelKind::awgn;
        config.channel.EsNodB = -30;
        config.channel.seed = 4;
        BuiltinHost host;
        const RoadResult r = run_road(m, config, host);
        EXPECT_EQ(r.baseline.ran, r.frameFound);
        EXPECT_GT(r.baseline.infoBitErrors, r.baseline.infoBits / 4);
        EXPECT_GE(r.baseline.blocks, 1);
        EXPECT_EQ(r.baseline.blockErrors, r.baseline.blocks);
    }
}

// The HF receiver and the genie need probes or the 75 bit/s patterns: asked for with a hand-made
// set of 20 data symbols a frame and no probes, run_road refuses before any work, naming the
// rate; the baseline receiver alone runs.
TEST(RoadAtEveryRate, HfReceiverAndGenieRefuseAModeWithoutProbes) {
    ModeParams m = rateconf(600, 0.6);
    m.trein = 0;
    for (const ReceiverKind kind : {ReceiverKind::hf, ReceiverKind::genie}) {
        RoadConfig config;
        config.nFrame = 4;
        config.receivers = {ReceiverKind::baseline, kind};
        BuiltinHost host;
        testing::expect_error([&] { run_road(m, config, host); },
                              "hfchain:road:UnsupportedReceiver",
                              "at 600 bit/s ask for the baseline");
    }
}

// Uncoded: the information bits are the data bits' decisions, so their error rate is the
// 8-PSK Gray curve. A symbol error flips at most three bits, so the count's variance is at most
// three times the binomial one; five standard deviations.
TEST(WhiteNoiseDecoding, Uncoded4800FollowsThe8PskGrayCurve) {
    const ModeParams m = rateconf(4800, 0.6);
    constexpr double kEsNodB = 9;
    double bits = 0, errors = 0;
    for (int t = 0; t < 4; ++t) {
        const RoadTrial r = road_trial(m, 4, kEsNodB, t);
        ASSERT_TRUE(r.synchronised);
        bits += r.outcome.bits;
        errors += r.outcome.errors;
    }
    const double p = ber_8psk_gray(kEsNodB);
    EXPECT_NEAR(errors / bits, p, 5 * std::sqrt(3 * p * (1 - p) / bits))
        << errors << " of " << bits;
}

TEST(WhiteNoiseDecoding, Rate2400MatchesTheReference) { expect_agreement(2400, 5, 4, 10, 20); }

TEST(WhiteNoiseDecoding, Rates1200And600MatchTheReference) {
    expect_agreement(1200, 1, 4, 10, 20);
    expect_agreement(600, -2, 4, 20, 40);
}

TEST(WhiteNoiseDecoding, Rates300And150RepeatingEveryCodedBitMatchTheReference) {
    expect_agreement(300, -5, 8, 20, 40);
    expect_agreement(150, -8, 16, 20, 40);
}

TEST(WhiteNoiseDecoding, Patterns75MatchTheReference) { expect_agreement(75, -9.5, 16, 20, 40); }

}  // namespace
}  // namespace hfchain
