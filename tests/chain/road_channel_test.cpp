// The road's channel step: a name read into the road's settings, and the step's signals.
#include "chain/road_channel.hpp"

#include <gtest/gtest.h>

#include "channel/channel_text.hpp"
#include "channel/conditions.hpp"
#include "channel/fadesim.hpp"
#include "runtime/builtin_host.hpp"
#include "tests/support/signals.hpp"

namespace hfchain {
namespace {

const VarShapping kShaping{0.35, 6, 5};

// fadesim's four conditions are read into paths that give fadesim's received signal and gains
// bit for bit, with fadesim's RER and ED as their extent: the tables made through fadesim stay
// what they were.
TEST(RoadChannel, FadesimsConditionsGiveFadesimsSignals) {
    const ComplexArray x = random_complex(3000, 2);
    for (const WattersonCondition& c : kWattersonConditions) {
        const std::string name(c.name);
        const RoadChannel channel = road_channel(name, 9, 7);
        EXPECT_EQ(channel.kind, ChannelKind::paths) << name;
        BuiltinHost a, b;
        const HfchannelOut got = pass_channel(channel, x, kShaping, a);
        const FadesimOut want = fadesim(x, VarWatterson{name, 9, 7}, kShaping, b);
        EXPECT_TRUE(same_bits(got.raios, want.raios)) << name;
        EXPECT_TRUE(same_bits(got.AwgnOut, want.AwgnOut)) << name;
        const PathExtent extent = path_extent(channel.fading);
        EXPECT_EQ(extent.delay, want.RER) << name;
        EXPECT_EQ(extent.spread, want.ED) << name;
    }
}

// The other names: no channel, white noise alone (its draws only), written channels.
TEST(RoadChannel, EveryNameGivesItsKindAndSignals) {
    const ComplexArray x = random_complex(600, 3);
    const struct {
        const char* name;
        ChannelKind kind;
        std::size_t paths;
        double offset;
    } cases[] = {{"none", ChannelKind::none, 0, 0},
                 {"awgn", ChannelKind::awgn, 0, 0},
                 {"1p:0ms:0Hz", ChannelKind::paths, 1, 0},
                 {"itu_low_moderate", ChannelKind::paths, 2, 0},
                 {"2p:2000us:1Hz:off=30Hz", ChannelKind::paths, 2, 30}};
    for (const auto& c : cases) {
        const RoadChannel channel = road_channel(c.name, 6, 4);
        EXPECT_EQ(channel.kind, c.kind) << c.name;
        EXPECT_EQ(channel.fading.paths.size(), c.paths) << c.name;
        EXPECT_EQ(channel.fading.offset, c.offset) << c.name;
        EXPECT_EQ(channel.EsNodB, 6) << c.name;
        EXPECT_EQ(channel.seed, 4) << c.name;
        BuiltinHost host;
        const HfchannelOut out = pass_channel(channel, x, kShaping, host);
        EXPECT_EQ(out.raios.cols(), static_cast<index_t>(c.paths)) << c.name;
        if (c.kind == ChannelKind::none) {
            EXPECT_TRUE(out.AwgnOut.empty()) << c.name;
        } else if (c.kind == ChannelKind::awgn) {
            BuiltinHost again;
            EXPECT_TRUE(same_bits(out.AwgnOut, add_white_noise(x, 6, 4, again))) << c.name;
        } else {
            EXPECT_EQ(out.offset, c.offset) << c.name;
        }
    }
    try {
        road_channel("fog", 6, 4);
        ADD_FAILURE() << "an unknown name was taken";
    } catch (const Error& e) {
        EXPECT_STREQ(e.identifier().c_str(), kInvalidChannelText);
    }
}

}  // namespace
}  // namespace hfchain
