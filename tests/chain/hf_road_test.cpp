// The HF receiver and the genie on the whole road.
#include <gtest/gtest.h>

#include <cmath>

#include "chain/road.hpp"
#include "runtime/builtin_host.hpp"

namespace hfchain {
namespace {

RoadConfig fading(const char* model, double EsNodB, double seed) {
    RoadConfig config;
    config.txSeed = seed;
    config.shaping = VarShapping{0.35, 6, 5};
    config.channel = road_channel(model, EsNodB, seed + 100);
    config.receivers = {ReceiverKind::hf, ReceiverKind::genie};
    return config;
}

// At 30 dB the HF receiver decodes every information bit of every condition, the long
// interleaver included, whichever ray is the stronger at the start.
TEST(HfRoad, DecodesEveryBitAtThirtyDecibels) {
    struct Case {
        const char* model;
        double interLen;
        double seed;
    };
    const Case cases[] = {{"bom", 4.8, 1},        {"bom", 4.8, 2},       {"moderado", 4.8, 1},
                          {"moderado", 4.8, 2},   {"ruim", 4.8, 1},      {"ruim", 4.8, 2},
                          {"muito_ruim", 0.6, 1}, {"muito_ruim", 0.6, 2}};
    for (const Case& c : cases) {
        const ModeParams mode = modeconf(c.interLen);
        BuiltinHost host;
        const RoadResult r = run_road(mode, fading(c.model, 30, c.seed), host);
        ASSERT_TRUE(r.hf.ran) << c.model;
        EXPECT_EQ(r.hf.infoBits, mode.interTable.numel() / 2 - 144);
        EXPECT_EQ(r.hf.infoBitErrors, 0) << c.model << " seed " << c.seed;
        EXPECT_EQ(r.genie.infoBitErrors, 0) << c.model << " seed " << c.seed;
        EXPECT_EQ(r.hf.decoded.InfoBits.numel(), r.hf.infoBits);
    }
}

// The genie is a bound: over trials at the same seeds, the HF receiver's coded-bit errors (the
// signs of its ratios) do not fall below the genie's by more than the spread of the per-trial
// differences allows (three standard errors of their mean).
TEST(HfRoad, NeverBeatsTheGenie) {
    const ModeParams mode = modeconf(0.6);
    const int trials = 10;
    double sum = 0, squares = 0, genie = 0;
    for (int t = 0; t < trials; ++t) {
        BuiltinHost host;
        const RoadResult r = run_road(mode, fading("muito_ruim", 12, 30 + t), host);
        const double d = static_cast<double>(r.hf.codedBitErrors - r.genie.codedBitErrors);
        sum += d;
        squares += d * d;
        genie += r.genie.codedBitErrors;
    }
    const double mean = sum / trials;
    const double spread = std::sqrt(std::max(squares / trials - mean * mean, 0.0) / (trials - 1));
    EXPECT_GT(genie, 100);  // the comparison means something
    EXPECT_GE(mean, -3 * spread) << "hf minus genie, per trial";
}

// Only the receivers asked for run: the genie alone needs no frame synchroniser, the HF
// receiver no hard-decision path.
TEST(HfRoad, RunsOnlyTheReceiversAskedFor) {
    const ModeParams mode = modeconf(0.6);
    struct Case {
        std::vector<ReceiverKind> receivers;
        bool baseline, hf, genie;
    };
    const Case cases[] = {
        {{ReceiverKind::genie}, false, false, true},
        {{ReceiverKind::hf}, false, true, false},
        {{ReceiverKind::baseline}, true, false, false},
        {{ReceiverKind::baseline, ReceiverKind::hf, ReceiverKind::genie}, true, true, true},
    };
    for (const Case& c : cases) {
        RoadConfig config = fading("moderado", 25, 3);
        config.receivers = c.receivers;
        BuiltinHost host;
        const RoadResult r = run_road(mode, config, host);
        EXPECT_EQ(r.frameFound, c.baseline || c.hf);
        EXPECT_EQ(!r.data.out.empty(), c.baseline);
        EXPECT_EQ(r.hf.ran, c.hf);
        EXPECT_EQ(!r.sounding.out.empty(), c.hf);
        EXPECT_EQ(r.genie.ran, c.genie);
        EXPECT_EQ(!r.genieView.out.empty(), c.genie);
        if (c.hf) {
            EXPECT_EQ(r.hf.infoBitErrors, 0);
        }
        if (c.genie) {
            EXPECT_EQ(r.genie.infoBitErrors, 0);
        }
    }
}

// Without a channel the genie sees the transmitted points exactly and decodes without error;
// on white noise the HF receiver loses nothing against it.
TEST(HfRoad, QuietAndWhiteNoiseChannels) {
    const ModeParams mode = modeconf(0.6);
    RoadConfig quiet;
    quiet.shaping = VarShapping{0.35, 6, 5};
    quiet.receivers = {ReceiverKind::genie, ReceiverKind::hf};
    BuiltinHost host;
    const RoadResult q = run_road(mode, quiet, host);
    EXPECT_EQ(q.genie.infoBitErrors, 0);
    EXPECT_EQ(q.genie.codedBitErrors, 0);
    EXPECT_EQ(q.hf.infoBitErrors, 0);

    RoadConfig white = quiet;
    white.channel.kind = ChannelKind::awgn;
    white.channel.EsNodB = 6;
    white.channel.seed = 9;
    index_t hf = 0, genie = 0;
    for (int t = 0; t < 4; ++t) {
        white.txSeed = 50 + t;
        white.channel.seed = 60 + t;
        const RoadResult r = run_road(mode, white, host);
        hf += r.hf.codedBitErrors;
        genie += r.genie.codedBitErrors;
    }
    // Coded-bit errors at 6 dB: a few hundred each; the HF receiver estimates its channel and
    // noise, the genie knows them, and the counts agree within a few percent.
    EXPECT_GT(genie, 300);
    EXPECT_NEAR(static_cast<double>(hf), static_cast<double>(genie), 0.05 * genie);
}

}  // namespace
}  // namespace hfchain
