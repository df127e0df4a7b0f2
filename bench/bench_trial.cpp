// One sweep trial as `hfchain sweep` runs it (the sweep's own trial runner: one built-in host, the
// whole road, coded-bit errors), beside the same trial on the yardstick: framelock's
// window-by-window exact rule and a host that draws one number at a time, the way both worked
// before they were made fast. Both run the same trials (seeds from the sweep's trial_seeds, base
// seed 1, Es/N0 10 dB, M = 5, one interleaver block) and must count the same errors; the ratio of
// their times is the speed-up of a trial on one core.
//
//   hfchain_bench --benchmark_filter=BM_trial
//
// Each pair of lines (yardstick, sweep) names the interleaver and the condition.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "bench/yardstick_host.hpp"
#include "chain/road.hpp"
#include "params/modeconf.hpp"
#include "receiver/framesync/framelock_direct.hpp"
#include "runtime/checks.hpp"
#include "runtime/error.hpp"
#include "sweep/engine.hpp"

namespace hfchain {
namespace {

// The road of run_road with the window-by-window framelock, counting coded-bit errors as the
// sweep does.
[[gnu::noinline]] std::int64_t yardstick_trial(const ModeParams& mode, const RoadConfig& config,
                                               HostServices& host) {
    const SendchainOut tx = sendchain(mode, config.nFrame, config.txSeed, host);
    const PulseshaperOut shaped = pulseshaper(tx.MultiplexOut, config.shaping);
    const HfchannelOut received = pass_channel(config.channel, shaped.out, config.shaping, host);
    const PulsematchOut matched = pulsematch(received.AwgnOut, config.shaping);
    const RealArray start = detail::framelock_direct(matched.out, mode, config.shaping);
    const index_t coded = tx.CodOutInterIn.numel();
    if (start.empty()) return coded;
    const TickalignOut symbols = tickalign(matched.out, start[0], config.shaping);
    const UnframerOut data = unframer(symbols.out, mode);
    const SymslicerOut demod = symslicer(data.out, mode);
    const index_t T = mode.interTable.numel();
    index_t usable = std::min(demod.DemapOut.numel(), coded);
    usable = T > 0 ? usable / T * T : 0;
    UnshuffleOut deinterleaved;
    if (usable == demod.DemapOut.numel()) {
        deinterleaved = unshuffle(demod.DemapOut, mode);
    } else {
        RealArray head(usable);
        std::copy(demod.DemapOut.begin(), demod.DemapOut.begin() + usable, head.begin());
        deinterleaved = unshuffle(head, mode);
    }
    index_t errors = coded - usable;
    for (index_t k = 0; k < usable; ++k) {
        errors += tx.CodOutInterIn[k] != deinterleaved.out[k] ? 1 : 0;
    }
    return errors;
}

// The sweep's own trial.
[[gnu::noinline]] std::int64_t sweep_trial(sweep::TrialRunner& runner, const sweep::TrialJob& job) {
    return runner.run(job).errors;
}

constexpr double kEsNo = 10;
constexpr int kTrials = 8;  // trials cycled through, the same for both

// Errors of each trial, recorded by whichever of the pair runs it first and checked by the other.
std::map<std::string, std::array<std::int64_t, kTrials>>& recorded_errors() {
    static std::map<std::string, std::array<std::int64_t, kTrials>> errors;
    return errors;
}

void BM_trial(benchmark::State& state, double interLen, const char* condition, bool yardstick) {
    static const bool tuned = (sweep::keep_trial_memory(), true);
    (void)tuned;
    sweep::SweepConfig config;
    config.interLen = interLen;
    config.receivers = {ReceiverKind::baseline};  // the yardstick's receiver
    config.metric = sweep::Metric::coded;
    const ModeParams mode = modeconf(interLen);
    const std::string name = condition;
    const std::unique_ptr<sweep::TrialRunner> runner = sweep::road_trial_runners(config, nullptr)();
    bench::PlainHost host;
    RoadConfig road;
    road.nFrame = sweep::trial_nframe(config, 2400);
    road.shaping = config.shaping;
    road.channel = road_channel(name, kEsNo, 0);

    auto [entry, fresh] = recorded_errors().try_emplace(std::to_string(interLen) + name);
    if (fresh) entry->second.fill(-1);
    std::array<std::int64_t, kTrials>& errors = entry->second;
    int k = 0;
    for (auto _ : state) {
        sweep::TrialJob job;
        job.condition = &name;
        job.esno = kEsNo;
        job.trial = k;
        job.seeds = sweep::trial_seeds(config.seed, 2400, name, kEsNo, k);
        std::int64_t e = 0;
        if (yardstick) {
            road.txSeed = job.seeds.tx;
            road.channel.seed = job.seeds.channel;
            e = yardstick_trial(mode, road, host);
        } else {
            e = sweep_trial(*runner, job);
        }
        if (errors[k] < 0) {
            errors[k] = e;
        } else if (errors[k] != e) {
            state.SkipWithError("the yardstick and the sweep's runner count different errors");
            break;
        }
        k = (k + 1) % kTrials;
    }
    state.counters["trials_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Timed pairs, and pairs of exactly the kTrials trials for instruction counts under callgrind
// (bench/trial_counts.sh).
#define HFCHAIN_TRIAL(interLen, label, condition)                                                \
    BENCHMARK_CAPTURE(BM_trial, label##_##condition##_yardstick, interLen, #condition, true)     \
        ->Unit(benchmark::kMillisecond);                                                         \
    BENCHMARK_CAPTURE(BM_trial, label##_##condition##_sweep, interLen, #condition, false)        \
        ->Unit(benchmark::kMillisecond);                                                         \
    BENCHMARK_CAPTURE(BM_trial, counted_##label##_##condition##_yardstick, interLen, #condition, \
                      true)                                                                      \
        ->Iterations(kTrials)                                                                    \
        ->Unit(benchmark::kMillisecond);                                                         \
    BENCHMARK_CAPTURE(BM_trial, counted_##label##_##condition##_sweep, interLen, #condition,     \
                      false)                                                                     \
        ->Iterations(kTrials)                                                                    \
        ->Unit(benchmark::kMillisecond)

HFCHAIN_TRIAL(0.6, i06, awgn);
HFCHAIN_TRIAL(0.6, i06, bom);
HFCHAIN_TRIAL(0.6, i06, moderado);
HFCHAIN_TRIAL(0.6, i06, ruim);
HFCHAIN_TRIAL(0.6, i06, muito_ruim);
HFCHAIN_TRIAL(4.8, i48, awgn);
HFCHAIN_TRIAL(4.8, i48, bom);
HFCHAIN_TRIAL(4.8, i48, moderado);
HFCHAIN_TRIAL(4.8, i48, ruim);
HFCHAIN_TRIAL(4.8, i48, muito_ruim);

}  // namespace
}  // namespace hfchain
