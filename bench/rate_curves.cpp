// Decoded bit error rate of run_road's baseline receiver on white noise at every data rate, with
// the 0.6 s interleaver, beside its yardstick: the reference simulation of
// tests/support/reference_modem.hpp (the same code, repetition, mapping, interleaver and patterns
// at symbol level, ideal synchronisation, the straightforward Viterbi decoder) for the coded
// rates, the exact 8-PSK Gray curve for uncoded 4800 bit/s.
//
// A trial is one transmission of 16 blocks (9.6 s of data after the 0.6 s preamble) through the
// whole road: sendchain, pulse shaping (roll-off 0.35, five samples a symbol), white noise,
// matched filter, framelock, then the baseline receiver (max-log ratios; at 75 bit/s the
// noncoherent pattern detector). Seeds come from (rate, point, trial). A point stops once its
// road trials have made `min_errors` wrong information bits (and run at least 3 trials) or sent
// `max_air` seconds of signal; the reference runs as many transmissions. Trials where framelock
// missed the first symbol's peak (by a sample or so at low SNR: the baseline receiver has no
// finer timing) are counted (misses) and kept in `ber`; `ber_sync` is the rate of the others,
// the one to set against the reference, which synchronises ideally.
//
// Eb/N0 is per information bit over the data symbols: Es/N0 + 10 log10(data symbols per
// information bit), the probes and the preamble aside.
//
// Usage: rate_curves [min_errors [max_air]]   (defaults 200 and 3000 s)
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "chain/road.hpp"
#include "chain/theory.hpp"
#include "params/rateconf.hpp"
#include "params/waveform.hpp"
#include "runtime/builtin_host.hpp"
#include "tests/support/reference_modem.hpp"

namespace {

using namespace hfchain;

constexpr int kBlocks = 16;

// Each rate's points in Es/N0 (dB), and its data symbols per information bit.
struct Curve {
    double rate;
    double symbolsPerBit;
    std::vector<double> esno;
};

const Curve kCurves[] = {
    {4800, 1.0 / 3, {8, 10, 12, 14}}, {2400, 2.0 / 3, {5, 6, 7, 8}}, {1200, 1, {1, 2, 3, 4}},
    {600, 2, {-2, -1, 0, 1}},         {300, 4, {-5, -4, -3, -2}},    {150, 8, {-8, -7, -6, -5}},
    {75, 32, {-11, -10, -9, -8}},
};

struct Count {
    double bits = 0;
    double errors = 0;
};

}  // namespace

int main(int argc, char** argv) {
    const double min_errors = argc > 1 ? std::atof(argv[1]) : 200;
    const double max_air = argc > 2 ? std::atof(argv[2]) : 3000;
    std::printf(
        "# decoded BER of the baseline receiver on white noise, 0.6 s interleaver, %d blocks"
        " a trial, M = 5\n# stop: %g wrong bits or %g s of air time a point\n",
        kBlocks, min_errors, max_air);
    std::printf("%6s %7s %7s %7s %9s %7s %10s %10s %10s %7s %6s\n", "rate", "EsN0", "SNR3k", "EbN0",
                "bits", "errors", "ber", "ber_sync", "yardstick", "trials", "misses");
    for (std::size_t c = 0; c < std::size(kCurves); ++c) {
        const Curve& curve = kCurves[c];
        const ModeParams m = rateconf(curve.rate, 0.6);
        for (std::size_t p = 0; p < curve.esno.size(); ++p) {
            const double esno = curve.esno[p];
            RoadConfig config;
            config.nFrame = kBlocks;
            config.shaping = VarShapping{0.35, 6, 5};
            config.channel = road_channel("awgn", esno, 0);
            Count road, synchronised;
            int trials = 0, misses = 0;
            double air = 0;
            while ((road.errors < min_errors || trials < 3) && air < max_air) {
                const double seed = 1 + trials + 1000.0 * p + 100000.0 * c;
                config.txSeed = seed;
                config.channel.seed = seed + 50000;
                BuiltinHost host;
                const RoadResult r = run_road(m, config, host);
                road.bits += r.baseline.infoBits;
                road.errors += r.baseline.infoBitErrors;
                if (r.frameFound && r.frameStart[0] == r.expectedFrameStart) {
                    synchronised.bits += r.baseline.infoBits;
                    synchronised.errors += r.baseline.infoBitErrors;
                } else {
                    ++misses;
                }
                air += r.tx.MultiplexOut.numel() / kSymbolRate;
                ++trials;
            }
            double yardstick = ber_8psk_gray(esno);
            if (curve.rate != 4800) {
                Count ref;
                for (int t = 0; t < trials; ++t) {
                    const reference::Outcome o = reference::run_coded(
                        reference::coded_rate(curve.rate), kBlocks, esno, 7 + t + 1000.0 * p);
                    ref.bits += o.bits;
                    ref.errors += o.errors;
                }
                yardstick = ref.errors / ref.bits;
            }
            std::printf("%6g %7g %7.2f %7.2f %9.0f %7.0f %10.3g %10.3g %10.3g %7d %6d\n",
                        curve.rate, esno, snr3k_of_esno(esno),
                        esno + 10 * std::log10(curve.symbolsPerBit), road.bits, road.errors,
                        road.errors / road.bits, synchronised.errors / synchronised.bits, yardstick,
                        trials, misses);
            std::fflush(stdout);
        }
    }
    return 0;
}
