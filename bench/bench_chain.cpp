#include <benchmark/benchmark.h>

#include "chain/road.hpp"
#include "runtime/builtin_host.hpp"

namespace {

// One 4.8 s interleaver block through the whole chain at five samples a symbol, without channel
// and through the "muito_ruim" channel.
void BM_road_4_8(benchmark::State& state) {
    const hfchain::ModeParams mode = hfchain::modeconf(4.8);
    hfchain::RoadConfig config;
    config.nFrame = 1;
    config.shaping = hfchain::VarShapping{0.35, 6, 5};
    config.channel = hfchain::road_channel(state.range(0) ? "muito_ruim" : "none", 20, 1);
    hfchain::BuiltinHost host;
    for (auto _ : state) benchmark::DoNotOptimize(hfchain::run_road(mode, config, host));
    state.SetItemsProcessed(state.iterations() * mode.interTable.numel());
}
BENCHMARK(BM_road_4_8)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
