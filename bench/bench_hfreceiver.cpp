// The HF receiver's cost against today's receiver: whole sweep trials (0.6 s and 4.8 s
// interleavers, one interleaver block, five samples a symbol) with each receiver, and the receivers
// alone on one received signal. The yardstick is the trial with the baseline receiver (framelock,
// tickalign, unframer, symslicer, unshuffle), run in the same program; the ratios are what to read.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <string>

#include "chain/road.hpp"
#include "receiver/decoder/sisodecode.hpp"
#include "runtime/builtin_host.hpp"

namespace {

using namespace hfchain;

constexpr std::array<const char*, 4> kModels = {"bom", "moderado", "ruim", "muito_ruim"};

constexpr std::array<double, 2> kInterleavers = {0.6, 4.8};

RoadConfig trial_config(int model, ReceiverKind receiver, double iterations) {
    RoadConfig config;
    config.nFrame = 1;
    config.txSeed = 5;
    config.shaping = VarShapping{0.35, 6, 5};
    config.channel = road_channel(kModels[model], 15, 7);
    config.receivers = {receiver};
    config.iterations = iterations;
    return config;
}

const ModeParams& short_set() {
    static const ModeParams mode = modeconf(0.6);
    return mode;
}

const ModeParams& parameter_set(int64_t interleaver) {
    static const std::array<ModeParams, 2> sets = {modeconf(kInterleavers[0]),
                                                   modeconf(kInterleavers[1])};
    return sets[interleaver];
}

std::string trial_label(int64_t model, int64_t interleaver) {
    return std::string(kModels[model]) + (interleaver == 0 ? " 0.6 s" : " 4.8 s");
}

// A whole trial with today's receiver: the yardstick (condition, interleaver 0 = 0.6 s, 1 = 4.8 s).
void BM_trial_baseline_yardstick(benchmark::State& state) {
    const RoadConfig config =
        trial_config(static_cast<int>(state.range(0)), ReceiverKind::baseline, 0);
    const ModeParams& mode = parameter_set(state.range(1));
    BuiltinHost host;
    for (auto _ : state) benchmark::DoNotOptimize(run_road(mode, config, host));
    state.SetLabel(trial_label(state.range(0), state.range(1)));
}
BENCHMARK(BM_trial_baseline_yardstick)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

// The same trial with the HF receiver instead (turbo iterations as the second argument, the
// interleaver as the third).
void BM_trial_hf(benchmark::State& state) {
    const RoadConfig config = trial_config(static_cast<int>(state.range(0)), ReceiverKind::hf,
                                           static_cast<double>(state.range(1)));
    const ModeParams& mode = parameter_set(state.range(2));
    BuiltinHost host;
    for (auto _ : state) benchmark::DoNotOptimize(run_road(mode, config, host));
    state.SetLabel(trial_label(state.range(0), state.range(2)));
}
BENCHMARK(BM_trial_hf)
    ->ArgsProduct({{0, 1, 2, 3}, {2}, {0, 1}})
    ->Args({2, 0, 0})
    ->Args({2, 1, 0})
    ->Args({2, 3, 0})
    ->Unit(benchmark::kMillisecond);

// The same trial with the genie.
void BM_trial_genie(benchmark::State& state) {
    const RoadConfig config = trial_config(2, ReceiverKind::genie, 0);
    BuiltinHost host;
    for (auto _ : state) benchmark::DoNotOptimize(run_road(short_set(), config, host));
}
BENCHMARK(BM_trial_genie)->Unit(benchmark::kMillisecond);

// The receivers alone on one matched-filter output: framelock (which both use, and which is
// being made faster elsewhere), the baseline receiver after it, and the HF receiver after it.
struct Received {
    RoadResult road;
    explicit Received(int model) {
        BuiltinHost host;
        road = run_road(short_set(), trial_config(model, ReceiverKind::baseline, 0), host);
    }
};

const Received& received(int model) {
    static const std::array<Received, 4> all = {Received(0), Received(1), Received(2), Received(3)};
    return all[model];
}

void BM_framelock_alone(benchmark::State& state) {
    const Received& r = received(2);
    const VarShapping shaping{0.35, 6, 5};
    for (auto _ : state) {
        benchmark::DoNotOptimize(framelock(r.road.matched.out, short_set(), shaping));
    }
}
BENCHMARK(BM_framelock_alone)->Unit(benchmark::kMillisecond);

void BM_baseline_after_framelock(benchmark::State& state) {
    const Received& r = received(2);
    const VarShapping shaping{0.35, 6, 5};
    const ModeParams& mode = short_set();
    for (auto _ : state) {
        const TickalignOut t = tickalign(r.road.matched.out, r.road.frameStart[0], shaping);
        const SymslicerOut s = symslicer(unframer(t.out, mode).out, mode);
        benchmark::DoNotOptimize(unshuffle(s.DemapOut, mode));
    }
}
BENCHMARK(BM_baseline_after_framelock)->Unit(benchmark::kMillisecond);

void BM_hf_after_framelock(benchmark::State& state) {
    const Received& r = received(static_cast<int>(state.range(0)));
    const VarShapping shaping{0.35, 6, 5};
    const ModeParams& mode = short_set();
    const double iterations = static_cast<double>(state.range(1));
    for (auto _ : state) {
        const ChansoundOut s = chansound(r.road.matched.out, r.road.frameStart[0], mode, shaping);
        const TurboequalOut e = turboequal(s, mode, 1, iterations);
        const SoftslicerOut l = softslicer(e.out, e.noiseVar, mode);
        benchmark::DoNotOptimize(vitdecode(unshuffle(l.LLR, mode).out, mode, 1));
    }
    state.SetLabel(kModels[state.range(0)]);
}
BENCHMARK(BM_hf_after_framelock)
    ->ArgsProduct({{0, 1, 2, 3}, {2}})
    ->Args({2, 0})
    ->Unit(benchmark::kMillisecond);

// The soft-in/soft-out decoder against the Viterbi decoder on the same ratios (the turbo loop
// runs the former once per iteration).
void BM_sisodecode(benchmark::State& state) {
    const Received& r = received(2);
    RealArray llr(r.road.tx.CodOutInterIn.numel());
    for (index_t i = 0; i < llr.numel(); ++i) llr[i] = r.road.tx.CodOutInterIn[i] ? -2.0 : 2.0;
    for (auto _ : state) benchmark::DoNotOptimize(sisodecode(llr, short_set(), 1));
}
BENCHMARK(BM_sisodecode)->Unit(benchmark::kMicrosecond);

void BM_vitdecode_yardstick(benchmark::State& state) {
    const Received& r = received(2);
    RealArray llr(r.road.tx.CodOutInterIn.numel());
    for (index_t i = 0; i < llr.numel(); ++i) llr[i] = r.road.tx.CodOutInterIn[i] ? -2.0 : 2.0;
    for (auto _ : state) benchmark::DoNotOptimize(vitdecode(llr, short_set(), 1));
}
BENCHMARK(BM_vitdecode_yardstick)->Unit(benchmark::kMicrosecond);

}  // namespace
