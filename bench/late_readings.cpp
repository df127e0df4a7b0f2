// The trials of `hfchain sweep --metric acquisition --late data` at one point, one line each: what
// blocklock read (the mode, the block start against where the next whole block arrives on the
// first path, the confidence) and how the sweep counts it; then the trials read at a confidence of
// 0.9 or more (what `hfchain receive` decodes) that were not right. The trial seeds are the
// sweep's (base seed 1), so a line stands for the sweep's trial of the same number. Last, the
// time blocklock took a trial.
//
// Usage: late_readings RATE INTERLEAVER CONDITION SNR3K TRIALS [-q: the summary line only]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>

#include "params/modes.hpp"
#include "params/rateconf.hpp"
#include "params/waveform.hpp"
#include "receiver/blocklock/blocklock.hpp"
#include "receiver/matchedfilter/pulsematch.hpp"
#include "runtime/builtin_host.hpp"
#include "shaping/pulseshaper.hpp"
#include "sweep/acquisition.hpp"
#include "sweep/config.hpp"
#include "sweep/trial.hpp"
#include "transmitter/sendchain.hpp"

using namespace hfchain;
using namespace hfchain::sweep;

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: late_readings RATE INTERLEAVER CONDITION SNR3K TRIALS [-q]\n");
        return 2;
    }
    SweepConfig config;
    config.rates = {std::atof(argv[1])};
    config.interLen = std::atof(argv[2]);
    config.conditions = {canonical_condition(argv[3])};
    config.late = LateEntry::data;
    const double esno = esno_of_snr3k(std::atof(argv[4]));
    const long long trials = std::atoll(argv[5]);
    const bool quiet = argc > 6 && std::string(argv[6]) == "-q";
    const double rate = config.rates[0];
    const ModeParams mode = rateconf(rate, rate_interleaver(rate, config.interLen));
    const int index = static_cast<int>(find_mode(rate, mode.interl) - kModes);
    const double nFrame = trial_nframe(config, rate);
    const double M = config.shaping.oversamplingFactor;
    BuiltinHost host;
    TrialPath path(config);
    int counts[3] = {0, 0, 0}, sureWrong = 0;
    double seconds = 0;  // in blocklock
    const char* names[] = {"right", "wrong_mode", "missed"};
    for (long long k = 0; k < trials; ++k) {
        TrialJob job{rate, &config.conditions[0], esno, k,
                     trial_seeds(config.seed, rate, config.conditions[0], esno, k)};
        path.set(job);
        const RealArray u = trial_draws(host, job.seeds.tx);
        const double offset = (2 * u[1] - 1) * config.offsetHz, phase = 2 * std::numbers::pi * u[2];
        const SendchainOut tx = sendchain(mode, nFrame, job.seeds.tx, host);
        const ComplexArray shaped = pulseshaper(tx.MultiplexOut, config.shaping, host).out;
        const index_t skip = entry_sample(mode, nFrame, LateEntry::data, M, u[3]);
        ComplexArray sent(shaped.numel() - skip);
        const double step = 2 * std::numbers::pi * offset / (kSymbolRate * M);
        for (index_t n = 0; n < sent.numel(); ++n)
            sent[n] = shaped[skip + n] * std::polar(1.0, phase + step * static_cast<double>(n));
        const ComplexArray matched =
            pulsematch(path.pass(sent, config.shaping, nullptr, host).AwgnOut, config.shaping, host)
                .out;
        AcquisitionTruth truth =
            entry_truth(mode, nFrame, path.channel(), config.shaping, -static_cast<double>(skip));
        truth.mode = index;
        ComplexArray heard(heard_length(truth, matched.numel()));
        std::copy(matched.begin(), matched.begin() + heard.numel(), heard.begin());
        const auto began = std::chrono::steady_clock::now();
        const BlocklockOut got = blocklock(heard, config.shaping, {}, host);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        const Acquired a = classify(got, truth);
        ++counts[static_cast<int>(a)];
        if (a != Acquired::right && got.confidence >= 0.9) ++sureWrong;
        if (!quiet) {
            const double next = truth.firstData + next_block(truth) * truth.block;
            std::printf("%lld %s mode %d start %+.1f symbols confidence %.3f score %.1f\n", k,
                        names[static_cast<int>(a)], got.mode, (got.blockStart - next) / M,
                        got.confidence, got.score);
        }
    }
    std::printf(
        "%s %s %s %s: right %d wrong_mode %d missed %d, not right at confidence >= 0.9: %d; "
        "blocklock %.3f s a trial\n",
        argv[1], argv[2], argv[3], argv[4], counts[0], counts[1], counts[2], sureWrong,
        seconds / static_cast<double>(trials));
    return 0;
}
