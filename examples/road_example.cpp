// The C++ API of docs/api.md, compiled with the project so that it stays true.
#include <cstdio>

#include "chain/road.hpp"
#include "channel/fadesim.hpp"
#include "runtime/builtin_host.hpp"

using namespace hfchain;

int main() {
    ModeParams mode = modeconf(0.6);  // 2400 bit/s, 0.6 s interleaver
    BuiltinHost host;                 // seeded Mersenne Twister

    // Block by block ...
    SendchainOut tx = sendchain(mode, 1, /*seed=*/7, host);
    VarShapping vs{0.35, 6, 5};  // roll-off, pulse delay (symbols), samples/symbol
    PulseshaperOut shaped = pulseshaper(tx.MultiplexOut, vs);
    FadesimOut ch = fadesim(shaped.out, VarWatterson{"moderado", 20, 2}, vs, host);
    PulsematchOut mf = pulsematch(ch.AwgnOut, vs);
    RealArray start = framelock(mf.out, mode, vs);  // 1 x 1, or empty if nothing correlates
    std::printf("frame start %g (first symbol peaks at %g without channel delay)\n",
                start.empty() ? 0.0 : start[0], 2 * vs.pulseDelay * vs.oversamplingFactor + 1);

    // ... or the whole road at once, every intermediate signal kept:
    RoadConfig config;
    config.channel = road_channel("ruim", 15, 3);
    RoadResult r = run_road(mode, config, host);
    std::printf("%d of %d coded bits wrong\n", r.codedBitErrors, r.codedBits);
    return 0;
}
