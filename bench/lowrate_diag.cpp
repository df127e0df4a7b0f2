// Per-trial view of the HF receiver at one rate and one condition: framelock's start and the
// sounder's paths against the channel's true delays, and the errors of the HF receiver and the
// genie, so that a point's error events can be traced to their cause.
//
// Usage: lowrate_diag RATE CONDITION INTERLEN ESNO TRIALS [FIRST]
//   (the sweep's trial seeds from base seed 1; only trials with an error, or with a sounded path
//   off the true delays, are printed, and a summary)
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "chain/road.hpp"
#include "params/rateconf.hpp"
#include "runtime/builtin_host.hpp"
#include "sweep/trial.hpp"

int main(int argc, char** argv) {
    using namespace hfchain;
    if (argc < 6) {
        std::fprintf(stderr, "usage: lowrate_diag RATE CONDITION INTERLEN ESNO TRIALS [FIRST]\n");
        return 2;
    }
    const double rate = std::atof(argv[1]);
    const std::string condition = argv[2];
    const double interLen = std::atof(argv[3]);
    const double esno = std::atof(argv[4]);
    const long long trials = std::atoll(argv[5]);
    const long long first = argc > 6 ? std::atoll(argv[6]) : 0;
    const ModeParams mode = rateconf(rate, interLen);
    const double T = static_cast<double>(mode.interTable.numel());
    double nFrame = 1;
    while (T / (2 * mode.repFactor) * nFrame - 144 < 1) ++nFrame;
    long long hfErr = 0, geErr = 0, bits = 0, hfEv = 0, geEv = 0, offStart = 0, missed = 0;
    for (long long t = first; t < first + trials; ++t) {
        const sweep::TrialSeeds seeds = sweep::trial_seeds(1, rate, condition, esno, t);
        RoadConfig c;
        c.nFrame = nFrame;
        c.txSeed = seeds.tx;
        c.shaping = VarShapping{0.35, 6, 5};
        c.channel = road_channel(condition, esno, seeds.channel);
        c.receivers = {ReceiverKind::hf, ReceiverKind::genie};
        BuiltinHost host;
        const RoadResult r = run_road(mode, c, host);
        bits += r.hf.infoBits;
        hfErr += r.hf.infoBitErrors;
        geErr += r.genie.infoBitErrors;
        hfEv += r.hf.infoBitErrors > 0;
        geEv += r.genie.infoBitErrors > 0;
        const double e = r.expectedFrameStart;
        const double fs = r.frameFound ? r.frameStart[0] - e : NAN;
        offStart += r.frameFound && fs != 0;
        const RealArray& d = r.sounding.delays;
        bool near0 = false, near60 = false;
        for (index_t p = 0; p < d.numel(); ++p) {
            near0 = near0 || std::abs(d[p] - e) <= 2;
            near60 = near60 || std::abs(d[p] - e - 60) <= 2;
        }
        const bool miss = !(near0 && near60);
        missed += miss;
        if (r.hf.infoBitErrors > 0 || r.genie.infoBitErrors > 0 || miss) {
            const double hs = r.locked.start.empty() ? NAN : r.locked.start[0] - e;
            std::printf("t %4lld fs %+5g hf start %+5g (offset %.3g Hz) sounded %+g paths", t, fs,
                        hs, r.locked.offset, r.sounding.start - e);
            for (index_t p = 0; p < d.numel(); ++p) {
                std::printf(" %+g(%.2g)", d[p] - e, r.sounding.pathPower[p]);
            }
            std::printf("  N0 %.3g hf %lld/%lld blk %lld genie %lld blk %lld%s\n",
                        r.sounding.noiseVar, static_cast<long long>(r.hf.infoBitErrors),
                        static_cast<long long>(r.hf.infoBits),
                        static_cast<long long>(r.hf.blockErrors),
                        static_cast<long long>(r.genie.infoBitErrors),
                        static_cast<long long>(r.genie.blockErrors), miss ? " MISS" : "");
        }
    }
    std::printf(
        "# %g bit/s %s %g dB: %lld trials, hf %.3g (%lld events), genie %.3g (%lld), "
        "start off %lld, paths missed %lld\n",
        rate, condition.c_str(), esno, trials, double(hfErr) / bits, hfEv, double(geErr) / bits,
        geEv, offStart, missed);
    return 0;
}
