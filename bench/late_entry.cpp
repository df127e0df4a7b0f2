// Late entry's acquisition against Es/N0: the share of receivers entering at a random symbol of
// a transmission's first data block, under a random offset within +-75 Hz, that blocklock leads
// to the right mode and the next block's first symbol (within the largest path spread), with
// the shares of a wrong mode and of nothing found. Five samples a symbol.
//
// Usage: late_entry RATE INTERLEAVER CHANNEL ESNO_LIST TRIALS (LATE_DEBUG set in the environment:
// each wrong trial on standard error)
//   CHANNEL "awgn" (one fixed path) or a preset name ("ruim", ...); ESNO_LIST "a,b,c" in dB.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "channel/channel_text.hpp"
#include "channel/conditions.hpp"
#include "channel/hfchannel.hpp"
#include "params/modes.hpp"
#include "params/rateconf.hpp"
#include "receiver/blocklock/blocklock.hpp"
#include "receiver/layout/reception.hpp"
#include "receiver/matchedfilter/pulsematch.hpp"
#include "runtime/builtin_host.hpp"
#include "shaping/pulseshaper.hpp"
#include "transmitter/bitbudget.hpp"
#include "transmitter/sendchain.hpp"

using namespace hfchain;

namespace {

const VarShapping kShaping{0.35, 6, 5};
constexpr index_t M = 5;
constexpr index_t kDelay = 2 * 6 * M;  // symbol n peaks at sample kDelay + n M

struct Counts {
    int right = 0, wrong = 0, missed = 0;
};

// The blocks to send: two, or as many as the flush bits need.
double blocks_of(const ModeParams& params) {
    double n = 2;
    const double T = static_cast<double>(params.interTable.numel());
    while (T * n / (is_uncoded(params) ? params.repFactor : 2 * params.repFactor) <=
           static_cast<double>(kFlushBits)) {
        n += 1;
    }
    return n;
}

void trial(const Mode& mode, const ModeParams& params, const HfChannel& channel, double EsNodB,
           double seed, Counts& counts) {
    BuiltinHost host;
    const index_t block = std::lround(mode.interLen * 2400);
    index_t entry = 0;
    HfChannel shifted = channel;
    {
        SeededStream stream(host, seed + 2);
        const RealArray u = host.rand(2);
        entry = static_cast<index_t>(u[0] * static_cast<double>(block));
        shifted.offset = 150 * u[1] - 75;
    }
    const SendchainOut tx = sendchain(params, blocks_of(params), seed, host);
    const ComplexArray x = pulseshaper(tx.MultiplexOut, kShaping).out;
    const HfchannelOut y = hfchannel(x, {shifted, EsNodB, seed + 1}, kShaping, host);
    const ComplexArray matched = pulsematch(y.AwgnOut, kShaping).out;
    const index_t cut = (params.preamSync.numel() + entry) * M;
    ComplexArray heard(matched.numel() - cut);
    for (index_t n = 0; n < heard.numel(); ++n) heard[n] = matched[cut + n];
    const BlocklockOut got = blocklock(heard, kShaping, {});
    // The first block whose first symbol peaks within the input: the filters' delay keeps the
    // peaks of the kDelay / M symbols before the entry in it.
    const index_t first = std::max<index_t>(0, entry - kDelay / M);
    const index_t next = (first + block - 1) / block * block;
    const double expected = static_cast<double>(kDelay + (next - entry) * M + 1);
    if (!got.found) {
        ++counts.missed;
    } else if (got.mode != static_cast<int>(&mode - kModes) ||
               std::abs(got.blockStart - expected) >
                   static_cast<double>((kMaxPathSpread + 1) * M)) {
        ++counts.wrong;
        if (std::getenv("LATE_DEBUG") != nullptr) {
            std::fprintf(stderr,
                         "entry %d mode %d conf %.3f start %.0f expected %.0f score %.1f offset "
                         "%.2f true %.2f\n",
                         entry, got.mode, got.confidence, got.blockStart, expected, got.score,
                         got.offset, shifted.offset);
        }
    } else {
        ++counts.right;
    }
}

// The 95 % Wilson interval of k successes in n.
void wilson(int k, int n, double& low, double& high) {
    const double z = 1.96, p = static_cast<double>(k) / n, nn = n;
    const double centre = (p + z * z / (2 * nn)) / (1 + z * z / nn);
    const double half = z * std::sqrt(p * (1 - p) / nn + z * z / (4 * nn * nn)) / (1 + z * z / nn);
    low = centre - half;
    high = centre + half;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: late_entry RATE INTERLEAVER CHANNEL ESNO_LIST TRIALS\n");
        return 2;
    }
    const Mode& mode = mode_of(std::atof(argv[1]), std::atof(argv[2]));
    const ModeParams params = rateconf(mode.rate, mode.interLen);
    const std::string name = argv[3];
    const HfChannel channel =
        name == "awgn" ? HfChannel{{{0, 0, 0, 0}}, 0} : preset_channel(*find_channel_preset(name));
    const int trials = std::atoi(argv[5]);
    std::printf(
        "| mode | channel | Es/N0 | right | 95 %% interval | wrong mode or block | missed |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    std::stringstream list(argv[4]);
    std::string item;
    while (std::getline(list, item, ',')) {
        const double EsNodB = std::atof(item.c_str());
        Counts counts;
        for (int t = 0; t < trials; ++t)
            trial(mode, params, channel, EsNodB, 1000.0 * t + 7, counts);
        double low = 0, high = 0;
        wilson(counts.right, trials, low, high);
        std::printf("| %s | %s | %.1f | %.3f | %.3f .. %.3f | %d | %d |\n", mode.name, name.c_str(),
                    EsNodB, static_cast<double>(counts.right) / trials, low, high, counts.wrong,
                    counts.missed);
        std::fflush(stdout);
    }
    return 0;
}
