// Throughput of the sweep engine on the whole chain, in coded bits per second, on 1 and 2 worker
// threads for each condition: 40 trials of one 0.6 s interleaver block at Es/N0 10 dB, M = 5,
// through the baseline receiver.
// The same white-noise sweep recording every trial in a checkpoint journal shows what the journal
// costs (its yardstick: BM_sweep/awgn with the same thread count).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

#include "params/modeconf.hpp"
#include "sweep/engine.hpp"
#include "sweep/journal.hpp"

namespace {

using namespace hfchain;
using namespace hfchain::sweep;

// The program's memory setting, before the first sweep of any benchmark.
void keep_memory_once() {
    static const bool tuned = (keep_trial_memory(), true);
    (void)tuned;
}

void BM_sweep(benchmark::State& state, const char* condition) {
    keep_memory_once();
    SweepConfig config;
    config.interLen = 0.6;
    config.receivers = {ReceiverKind::baseline};
    config.metric = Metric::coded;
    config.conditions = {condition};
    config.esno = {10};
    config.minTrials = 40;  // exactly 40 trials: the bit limit is reached by the first
    config.maxBits = 1;
    config.threads = static_cast<int>(state.range(0));
    const TrialRunnerFactory runners = road_trial_runners(config, nullptr);
    std::int64_t bits = 0;
    for (auto _ : state) {
        const SweepResult r = run_sweep(config, runners, nullptr, nullptr);
        bits += r.points.front().bits;
    }
    state.counters["coded_bits_per_s"] =
        benchmark::Counter(static_cast<double>(bits), benchmark::Counter::kIsRate);
}

void BM_sweep_checkpointed(benchmark::State& state) {
    keep_memory_once();
    SweepConfig config;
    config.interLen = 0.6;
    config.receivers = {ReceiverKind::baseline};
    config.metric = Metric::coded;
    config.conditions = {"awgn"};
    config.esno = {10};
    config.minTrials = 40;
    config.maxBits = 1;
    config.threads = static_cast<int>(state.range(0));
    const TrialRunnerFactory runners = road_trial_runners(config, nullptr);
    // One journal for the whole benchmark (making it, with its header on the disk, is a one-off
    // cost of each sweep): every iteration appends its 40 records, and the journal reaches the
    // disk once a second as in the program.
    const std::string file = (std::filesystem::temp_directory_path() /
                              ("hfchain-bench-journal-" + std::to_string(::getpid())))
                                 .string();
    std::filesystem::remove(file);
    std::int64_t bits = 0;
    {
        Journal journal(file, config, "bench");
        SweepHooks hooks;
        hooks.finished = [&journal](const TrialTicket& t, const TrialOutcome& o) {
            journal.append(t, o);
        };
        for (auto _ : state) {
            const SweepResult r = run_sweep(
                config, runners, nullptr, [&](const SweepProgress&) { journal.sync_if_due(); },
                hooks);
            bits += r.points.front().bits;
        }
    }
    std::filesystem::remove(file);
    state.counters["coded_bits_per_s"] =
        benchmark::Counter(static_cast<double>(bits), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_sweep_checkpointed)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_sweep, awgn, "awgn")
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_sweep, bom, "bom")
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_sweep, moderado, "moderado")
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_sweep, ruim, "ruim")
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_sweep, muito_ruim, "muito_ruim")
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
