// Decoded bit error rate of run_road's HF receiver beside the genie's, at one data rate and one
// channel condition, over a list of Es/N0 points; then where each curve crosses 1e-3 and 1e-5
// and the HF receiver's distance to the genie there; and the processor time a trial of each
// receiver takes per second of air time.
//
// A trial is one interleaver block (nFrame 1; 2 at 150 bit/s and 4 at 75 bit/s with the 0.6 s
// interleaver, the least that carries information bits) through the whole road: sendchain, pulse
// shaping (roll-off 0.35, pulse delay 6, five samples a symbol), the Watterson channel with its
// noise, matched filter, framelock, then the HF receiver (two decoder passes) and the genie, both
// on the same received signal. Each trial draws its seeds by the sweep's rule (sweep/trial.hpp)
// from the base seed 1, the condition and the point, so a rate's points are common to both
// receivers and any point can be rerun alone.
//
// The points run through the sweep's engine (sweep/engine.hpp), one worker thread a core. Stop
// rule: a point runs at least `min_trials` trials, then stops once both receivers have had
// `min_events` trials with a wrong information bit (error events), or at `max_trials` (the
// engine's stop rule on every receiver, its bits those of `max_trials` trials). The interval is
// the sweep's 95 % interval over trials (sweep/interval.hpp).
//
// Processor time: the thread's CPU time of run_road with the HF receiver alone and with the genie
// alone (the transmitter, the channel and the matched filter included in both), over
// `cost_trials` extra trials at the first point, per second of air time (the preamble and the
// frames).
//
// Usage: hf_rate_curves RATE CONDITION INTERLEN ESNO[,ESNO...] [min_trials [max_trials
//        [min_events [cost_trials]]]]   (defaults 20 200 20 3)
#include <time.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "chain/road.hpp"
#include "params/modes.hpp"
#include "params/rateconf.hpp"
#include "params/waveform.hpp"
#include "runtime/builtin_host.hpp"
#include "sweep/config.hpp"
#include "sweep/crossings.hpp"
#include "sweep/engine.hpp"
#include "sweep/interval.hpp"
#include "sweep/trial.hpp"
#include "transmitter/bitbudget.hpp"

namespace {

using namespace hfchain;

double thread_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

RoadConfig config_for(double rate, const std::string& condition, double esno, std::int64_t trial,
                      double nFrame, std::vector<ReceiverKind> receivers) {
    const sweep::TrialSeeds seeds = sweep::trial_seeds(1, rate, condition, esno, trial);
    RoadConfig config;
    config.nFrame = nFrame;
    config.txSeed = seeds.tx;
    config.shaping = VarShapping{0.35, 6, 5};
    config.channel = road_channel(condition, esno, seeds.channel);
    config.receivers = std::move(receivers);
    return config;
}

std::vector<double> parse_list(const char* text) {
    std::vector<double> out;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) out.push_back(std::atof(item.c_str()));
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr,
                     "usage: hf_rate_curves RATE CONDITION INTERLEN ESNO[,ESNO...] [min_trials "
                     "[max_trials [min_events [cost_trials]]]]\n");
        return 2;
    }
    const double rate = std::atof(argv[1]);
    const std::string condition = argv[2];
    const double interLen = std::atof(argv[3]);
    const std::vector<double> points = parse_list(argv[4]);
    const std::int64_t min_trials = argc > 5 ? std::atoll(argv[5]) : 20;
    const std::int64_t max_trials = argc > 6 ? std::atoll(argv[6]) : 200;
    const std::int64_t min_events = argc > 7 ? std::atoll(argv[7]) : 20;
    const std::int64_t cost_trials = argc > 8 ? std::atoll(argv[8]) : 3;

    const ModeParams mode = rateconf(rate, interLen);
    sweep::SweepConfig c;
    c.rates = {rate};
    c.interLen = interLen;
    c.nFrame = sweep::default_nframe(rate, interLen);
    const double nFrame = c.nFrame;
    c.shaping = VarShapping{0.35, 6, 5};
    c.conditions = {condition};
    c.esno = points;
    c.snr3kAxis = false;
    c.receivers = {ReceiverKind::hf, ReceiverKind::genie};
    c.stopOn = sweep::StopOn::all;
    c.minTrials = min_trials;
    c.minEvents = min_events;
    c.maxBits = max_trials * bit_budget(mode, nFrame).info;
    sweep::check_config(c);
    std::printf("# hf and genie, %g bit/s, %s, %g s interleaver, %g block(s) a trial, M = 5\n",
                rate, condition.c_str(), interLen, nFrame);
    std::printf(
        "# stop: at least %lld trials, then %lld error events of each receiver, or %lld "
        "trials\n",
        static_cast<long long>(min_trials), static_cast<long long>(min_events),
        static_cast<long long>(max_trials));
    std::printf("%6s %-10s %6s %6s %6s %9s %10s %10s %10s %6s %9s %10s %10s %10s %6s\n", "rate",
                "cond", "esno", "snr3k", "trials", "hf_bits", "hf_ber", "hf_lo", "hf_hi", "hf_ev",
                "ge_bits", "ge_ber", "ge_lo", "ge_hi", "ge_ev");
    const sweep::SweepResult result =
        sweep::run_sweep(c, sweep::road_trial_runners(c, nullptr), nullptr, {});
    std::vector<double> hf_rates, genie_rates;
    for (const sweep::PointResult& p : result.points) {
        std::printf("%6g %-10s %6g %6.2f %6lld", rate, condition.c_str(), p.esno,
                    snr3k_of_esno(p.esno), static_cast<long long>(p.trials));
        for (const ReceiverKind r : c.receivers) {
            const sweep::Interval ci = sweep::receiver_interval(p, r, sweep::Metric::decoded);
            std::printf(
                " %9lld %10.3g %10.3g %10.3g %6lld", static_cast<long long>(p.of(r).infoBits),
                sweep::receiver_rate(p, r, sweep::Metric::decoded), ci.low, ci.high,
                static_cast<long long>(sweep::receiver_events(p, r, sweep::Metric::decoded)));
        }
        std::printf("\n");
        hf_rates.push_back(sweep::receiver_rate(p, ReceiverKind::hf, sweep::Metric::decoded));
        genie_rates.push_back(sweep::receiver_rate(p, ReceiverKind::genie, sweep::Metric::decoded));
    }
    for (const double target : {1e-3, 1e-5}) {
        const sweep::Crossing h = sweep::find_crossing(points, hf_rates, target);
        const sweep::Crossing g = sweep::find_crossing(points, genie_rates, target);
        std::printf("# Es/N0 at %g: hf %s, genie %s", target, sweep::crossing_text(h).c_str(),
                    sweep::crossing_text(g).c_str());
        if (h.kind == sweep::Crossing::Kind::at && g.kind == sweep::Crossing::Kind::at) {
            std::printf(", hf - genie %.2f dB", h.x - g.x);
        }
        std::printf("\n");
    }

    // Processor time per second of air time, each receiver alone.
    if (cost_trials > 0 && !points.empty()) {
        for (const ReceiverKind kind : {ReceiverKind::hf, ReceiverKind::genie}) {
            double cpu = 0, air = 0;
            for (std::int64_t t = 0; t < cost_trials; ++t) {
                BuiltinHost host;
                const RoadConfig config =
                    config_for(rate, condition, points.front(), max_trials + t, nFrame, {kind});
                const double t0 = thread_seconds();
                const RoadResult r = run_road(mode, config, host);
                cpu += thread_seconds() - t0;
                air += static_cast<double>(r.tx.MultiplexOut.numel()) / kSymbolRate;
            }
            std::printf("# cpu %s: %.3f s a trial, %.4f s per second of air time\n",
                        kind == ReceiverKind::hf ? "hf" : "genie", cpu / cost_trials, cpu / air);
        }
    }
    return 0;
}
