// Wrong information bits of each receiver with and without one received sample replaced by an
// impulse (a static crash one sample long) of a given size times the received signal's RMS.
//
// A trial is one interleaver block at 2400 bit/s (0.6 s interleaver; 4.8 s with INTERLEN 4.8),
// roll-off 0.35, pulse delay 6, five samples a symbol, the baseline, HF and genie receivers, seeds
// by the sweep's rule from base seed 1. Each trial runs twice on the same seeds: without the
// impulse, then with it at a sample drawn uniformly over the received signal (preamble and data
// alike, the same sample for every size). Prints, per condition, Es/N0 and size, each receiver's
// wrong bits summed over the trials without and with the impulse, and the most in one trial;
// then, of the trials without impulse, the largest |x| of any received signal in units of
// sqrt(L), impulseblank's level (blanking starts at kBlankRatio), and the samples blanked (0 on
// ordinary signals).
//
// Usage: impulse_bits CONDITION[,CONDITION...] ESNO[,ESNO...] [trials [size[,size...]
//        [INTERLEN]]]   (defaults 10 1e6 0.6)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "chain/road.hpp"
#include "chain/road_channel.hpp"
#include "runtime/builtin_host.hpp"
#include "sweep/trial.hpp"

namespace {

using namespace hfchain;

std::vector<std::string> split(const std::string& s) {
    std::vector<std::string> out;
    std::stringstream in(s);
    for (std::string item; std::getline(in, item, ',');) out.push_back(item);
    return out;
}

RoadConfig config_for(const std::string& condition, double esno, std::int64_t trial) {
    const sweep::TrialSeeds seeds = sweep::trial_seeds(1, 2400, condition, esno, trial);
    RoadConfig config;
    config.txSeed = seeds.tx;
    config.shaping = VarShapping{0.35, 6, 5};
    config.channel = road_channel(condition, esno, seeds.channel);
    config.receivers = {ReceiverKind::baseline, ReceiverKind::hf, ReceiverKind::genie};
    return config;
}

struct Count {
    std::int64_t sum = 0, most = 0;
    void add(std::int64_t e) {
        sum += e;
        most = std::max(most, e);
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: impulse_bits CONDITION[,...] ESNO[,...] [trials [size[,...] "
                     "[INTERLEN]]]\n");
        return 2;
    }
    const std::vector<std::string> conditions = split(argv[1]);
    const std::vector<std::string> points = split(argv[2]);
    const int trials = argc > 3 ? std::atoi(argv[3]) : 10;
    const std::vector<std::string> sizes = split(argc > 4 ? argv[4] : "1e6");
    const double interLen = argc > 5 ? std::atof(argv[5]) : 0.6;
    const ModeParams mode = modeconf(interLen);
    const ReceiverKind kinds[] = {ReceiverKind::baseline, ReceiverKind::hf, ReceiverKind::genie};
    std::printf("%-10s %6s %8s %6s  %-22s %-22s %-22s\n", "condition", "EsN0", "size", "trials",
                "baseline clean/imp/max", "hf clean/imp/max", "genie clean/imp/max");
    for (const std::string& condition : conditions) {
        for (const std::string& point : points) {
            const double esno = std::atof(point.c_str());
            std::vector<Count> clean(3);
            std::vector<std::vector<Count>> hit(sizes.size(), std::vector<Count>(3));
            std::int64_t bits = 0, blanked = 0;
            double peak = 0;
            for (int t = 0; t < trials; ++t) {
                RoadConfig config = config_for(condition, esno, t);
                BuiltinHost host;
                const RoadResult r = run_road(mode, config, host);
                bits += r.hf.infoBits;
                peak = std::max(peak, std::sqrt(r.blanking.peak));
                blanked += static_cast<std::int64_t>(r.blanking.samples.size());
                for (int k = 0; k < 3; ++k) clean[k].add(r.reception(kinds[k]).infoBitErrors);
                std::mt19937_64 draw(static_cast<std::uint64_t>(t) + 1);
                const auto n = static_cast<index_t>(std::uniform_int_distribution<std::int64_t>(
                    0, r.faded.AwgnOut.numel() - 1)(draw));
                for (std::size_t s = 0; s < sizes.size(); ++s) {
                    config.impulses = {{n, cdouble(std::atof(sizes[s].c_str()), 0.0)}};
                    BuiltinHost again;
                    const RoadResult q = run_road(mode, config, again);
                    for (int k = 0; k < 3; ++k) {
                        hit[s][k].add(q.reception(kinds[k]).infoBitErrors);
                    }
                }
            }
            for (std::size_t s = 0; s < sizes.size(); ++s) {
                std::printf("%-10s %6.1f %8s %6d ", condition.c_str(), esno, sizes[s].c_str(),
                            trials);
                for (int k = 0; k < 3; ++k) {
                    char cell[64];
                    std::snprintf(cell, sizeof cell, "%lld/%lld/%lld",
                                  static_cast<long long>(clean[k].sum),
                                  static_cast<long long>(hit[s][k].sum),
                                  static_cast<long long>(hit[s][k].most));
                    std::printf(" %-22s", cell);
                }
                std::printf("  %lld bits a trial; clean: largest %.1f sqrt(L), %lld blanked\n",
                            static_cast<long long>(bits / trials), peak,
                            static_cast<long long>(blanked));
            }
        }
    }
    return 0;
}
