// The HF receiver and the genie on the whole road at every rate with probes (150 to 4800 bit/s).
#include <gtest/gtest.h>

#include "chain/road.hpp"
#include "params/rateconf.hpp"
#include "runtime/builtin_host.hpp"

namespace hfchain {
namespace {

// The least whole number of 0.6 s blocks that carries information bits.
double blocks_for(double rate) { return rate == 150 ? 2 : rate == 75 ? 4 : 1; }

// Without a channel, and through the fading of "ruim" (two equal rays 2 ms apart, 1 Hz Doppler
// spread) and "muito_ruim" at Es/N0 30 dB, the HF receiver and the genie decode every
// information bit of every rate, uncoded 4800 bit/s included (its bits are the equalised
// symbols' decisions) and the 75 bit/s patterns (no probes: the track of the decided patterns),
// and count the bits the rate's budget gives.
TEST(HfRoadAtEveryRate, DecodesQuietAndFadingChannelsWithoutError) {
    struct Channel {
        ChannelKind kind;
        const char* model;
        double seed;
    };
    const Channel channels[] = {{ChannelKind::none, "", 0},
                                {ChannelKind::watterson, "ruim", 3},
                                {ChannelKind::watterson, "muito_ruim", 4}};
    for (const double rate : kDataRates) {
        const Milstd m = rateconf(rate, 0.6);
        for (const Channel& c : channels) {
            SCOPED_TRACE(::testing::Message() << rate << " bit/s, " << c.model);
            RoadConfig config;
            config.nFrame = blocks_for(rate);
            config.txSeed = 11 + c.seed;
            config.shaping = VarShapping{0.35, 6, 5};
            config.channel = c.kind;
            config.watterson = VarWatterson{c.model, 30, 40 + c.seed};
            config.receivers = {ReceiverKind::hf, ReceiverKind::genie};
            BuiltinHost host;
            const RoadResult r = run_road(m, config, host);
            ASSERT_TRUE(r.hf.ran);
            ASSERT_TRUE(r.genie.ran);
            EXPECT_GT(r.hf.infoBits, 0);
            EXPECT_EQ(r.hf.infoBits, r.genie.infoBits);
            EXPECT_EQ(r.hf.decoded.InfoBits.numel(), r.hf.infoBits);
            EXPECT_EQ(r.hf.infoBitErrors, 0);
            EXPECT_EQ(r.genie.infoBitErrors, 0);
        }
    }
}

}  // namespace
}  // namespace hfchain
