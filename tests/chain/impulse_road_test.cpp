// One received sample replaced by an impulse: every receiver blanks it and decodes on.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "chain/road.hpp"
#include "chain/road_channel.hpp"
#include "runtime/builtin_host.hpp"

namespace hfchain {
namespace {

RoadConfig road(const char* condition, double EsNodB, double seed) {
    RoadConfig config;
    config.txSeed = seed;
    config.shaping = VarShapping{0.35, 6, 5};
    config.channel = road_channel(condition, EsNodB, seed + 100);
    config.receivers = {ReceiverKind::baseline, ReceiverKind::hf, ReceiverKind::genie};
    return config;
}

// An impulse of 1e3 or 1e6 times the received RMS, in the preamble or among the data symbols,
// is blanked and nothing else is; the symbols it reaches are erasures, and every receiver loses
// at most a few bits more than on the same trial without it (without blanking each lost about
// half of its 1296 bits).
TEST(ImpulseRoad, OneImpulseCostsEveryReceiverAFewBitsAtMost) {
    struct Case {
        const char* condition;
        double EsNodB;
        index_t sample;  // 0-based received sample: the preamble ends near 7200
        double size;
    };
    const Case cases[] = {{"awgn", 8, 7517, 1e6},
                          {"awgn", 8, 3001, 1e6},
                          {"ruim", 15, 9002, 1e3},
                          {"ruim", 15, 2222, 1e6},
                          {"bom", 12, 11111, 1e6}};
    const ModeParams mode = modeconf(0.6);
    const ReceiverKind kinds[] = {ReceiverKind::baseline, ReceiverKind::hf, ReceiverKind::genie};
    for (const Case& c : cases) {
        RoadConfig config = road(c.condition, c.EsNodB, 5);
        BuiltinHost host;
        const RoadResult clean = run_road(mode, config, host);
        EXPECT_TRUE(clean.blanking.samples.empty()) << c.condition;
        config.impulses = {{c.sample, cdouble(0, c.size)}};
        const RoadResult hit = run_road(mode, config, host);
        EXPECT_EQ(hit.blanking.samples, std::vector<index_t>{c.sample}) << c.condition;
        for (const ReceiverKind kind : kinds) {
            if (kind == ReceiverKind::baseline && c.condition != std::string("awgn")) continue;
            EXPECT_LE(hit.reception(kind).infoBitErrors, clean.reception(kind).infoBitErrors + 10)
                << c.condition << " " << c.sample << " receiver " << static_cast<int>(kind);
        }
        // Among the data symbols the impulse makes the genie's erasures.
        index_t erased = 0;
        for (const double v : hit.genie.noiseVar) erased += std::isinf(v) ? 1 : 0;
        EXPECT_EQ(erased > 0, c.sample > 7300) << c.condition << " " << c.sample;
    }
}

TEST(ImpulseRoad, ImpulsesNeedAChannelAndASampleOfIt) {
    const ModeParams mode = modeconf(0.6);
    RoadConfig config = road("awgn", 10, 1);
    config.impulses = {{1000000, 1e6}};
    BuiltinHost host;
    try {
        run_road(mode, config, host);
        ADD_FAILURE() << "an impulse beyond the signal was taken";
    } catch (const Error& e) {
        EXPECT_EQ(e.identifier(), "hfchain:road:ImpulseOutside");
    }
    config.channel.kind = ChannelKind::none;
    config.impulses = {{10, 1e6}};
    try {
        run_road(mode, config, host);
        ADD_FAILURE() << "an impulse without a channel was taken";
    } catch (const Error& e) {
        EXPECT_EQ(e.identifier(), "hfchain:road:ImpulseWithoutNoise");
    }
}

}  // namespace
}  // namespace hfchain
