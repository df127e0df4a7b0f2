#include "chain/road_channel.hpp"

#include <algorithm>

#include "channel/channel_text.hpp"
#include "channel/fadesim.hpp"

namespace hfchain {

RoadChannel road_channel(std::string_view name, double EsNodB, double seed) {
    RoadChannel c;
    c.EsNodB = EsNodB;
    c.seed = seed;
    if (name == "none") return c;
    ChannelChoice choice = read_channel(name);
    c.kind = choice.awgn ? ChannelKind::awgn : ChannelKind::paths;
    if (!choice.awgn) c.fading = std::move(choice.channel);
    return c;
}

PathExtent path_extent(const HfChannel& channel) {
    PathExtent e;
    for (const HfPath& p : channel.paths) {
        e.delay = std::max(e.delay, p.delay);
        e.spread = std::max(e.spread, p.spread);
    }
    return e;
}

ComplexArray add_white_noise(const ComplexArray& x, double EsNodB, double seed, HostServices& host,
                             ComplexArray* noise_out) {
    SeededStream stream(host, seed);
    ComplexArray noise, noisy;
    add_channel_noise(x, EsNodB, host, noise, noisy);
    stream.restore();
    if (noise_out != nullptr) *noise_out = std::move(noise);
    return noisy;
}

HfchannelOut pass_channel(const RoadChannel& channel, const ComplexArray& x,
                          const VarShapping& shaping, HostServices& host) {
    HfchannelOut out;
    switch (channel.kind) {
        case ChannelKind::none:
            break;
        case ChannelKind::awgn:
            out.AwgnOut = add_white_noise(x, channel.EsNodB, channel.seed, host, &out.noise);
            break;
        case ChannelKind::paths:
            out = hfchannel(x, {channel.fading, channel.EsNodB, channel.seed}, shaping, host);
            break;
    }
    return out;
}

}  // namespace hfchain
