#include "apps/run_road.hpp"

namespace hfchain::app {

RoadConfig road_config(const RunOptions& options) {
    RoadConfig c;
    c.nFrame = options.nFrame;
    c.txSeed = options.txSeed;
    c.shaping = options.shaping;
    c.channel = road_channel(options.channel, options.esno, options.channelSeed);
    c.receivers = options.receivers;
    return c;
}

}  // namespace hfchain::app
