#include "apps/run_road.hpp"

#include "channel/channel_text.hpp"

namespace hfchain::app {

RoadConfig road_config(const RunOptions& options) {
    RoadConfig c;
    c.nFrame = options.nFrame;
    c.txSeed = options.txSeed;
    c.shaping = options.shaping;
    if (options.channel != "none") {
        const ChannelChoice choice = read_channel(options.channel);
        c.channel = road_channel_kind(choice);
        c.hfChannel = choice.channel;
    }
    c.watterson.model = options.channel;
    c.watterson.EsNodB = options.esno;
    c.watterson.seed = options.channelSeed;
    c.receivers = options.receivers;
    return c;
}

}  // namespace hfchain::app
