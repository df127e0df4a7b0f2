// A program built outside the project against the installed library: one transmission through
// the road on white noise, decoded, and the interval of the sweep library over its bits.
#include <cstdio>

#include "chain/road.hpp"
#include "runtime/builtin_host.hpp"
#include "sweep/interval.hpp"

int main() {
    using namespace hfchain;
    ModeParams mode = modeconf(0.6);
    BuiltinHost host;
    RoadConfig config;
    config.channel = road_channel("awgn", 30, 3);
    RoadResult r = run_road(mode, config, host);
    sweep::Interval ci = sweep::wilson_interval(r.codedBitErrors, r.codedBits);
    std::printf("%d of %d coded bits wrong, at most %.2g\n", r.codedBitErrors, r.codedBits,
                ci.high);
    return r.codedBits > 0 && r.codedBitErrors == 0 ? 0 : 1;
}
