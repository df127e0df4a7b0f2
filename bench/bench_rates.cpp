// A trial of the baseline receiver at every data rate: run_road on the same air time (four 0.6 s
// blocks after the 0.6 s preamble, or one 4.8 s block after the 4.8 s one; every rate sends 2400
// symbols a second), five samples a symbol, white noise or the "ruim" condition at Es/N0 10 dB.
// The counter air_s is the trial's air time, so cpu_time / air_s is the processor time per second
// of signal; scripts/rates.sh sets each rate against 2400 bit/s.
//
//   hfchain_bench --benchmark_filter=BM_rate_trial
#include <benchmark/benchmark.h>

#include <string>

#include "chain/road.hpp"
#include "params/rateconf.hpp"
#include "params/waveform.hpp"
#include "runtime/builtin_host.hpp"

namespace {

using namespace hfchain;

// Arguments: rate (bit/s), interleaver (0: 0.6 s, 1: 4.8 s), channel (0: white noise, 1: ruim).
void BM_rate_trial(benchmark::State& state) {
    const double rate = static_cast<double>(state.range(0));
    const bool long_interleaver = state.range(1) == 1;
    const ModeParams mode = rateconf(rate, long_interleaver ? 4.8 : 0.6);
    RoadConfig config;
    config.nFrame = long_interleaver ? 1 : 4;
    config.txSeed = 5;
    config.shaping = VarShapping{0.35, 6, 5};
    config.channel = road_channel(state.range(2) == 0 ? "awgn" : "ruim", 10, 7);
    BuiltinHost host;
    double air = 0;
    for (auto _ : state) {
        const RoadResult r = run_road(mode, config, host);
        air = r.tx.MultiplexOut.numel() / kSymbolRate;
        benchmark::DoNotOptimize(r.baseline.infoBitErrors);
    }
    state.counters["air_s"] = air;
    state.SetLabel(std::string(long_interleaver ? "4.8 s" : "0.6 s") +
                   (state.range(2) == 0 ? " awgn" : " ruim"));
}
BENCHMARK(BM_rate_trial)
    ->ArgsProduct({{4800, 2400, 1200, 600, 300, 150, 75}, {0}, {0, 1}})
    ->ArgsProduct({{2400, 1200, 600, 300, 150, 75}, {1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
