#include <benchmark/benchmark.h>

#include "bench/yardstick_host.hpp"
#include "params/modeconf.hpp"
#include "runtime/builtin_host.hpp"

namespace {

void BM_modeconf_4_8(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(hfchain::modeconf(4.8));
}
BENCHMARK(BM_modeconf_4_8);

void BM_builtin_rand(benchmark::State& state) {
    hfchain::BuiltinHost host(1);
    const auto n = static_cast<hfchain::index_t>(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(host.rand(n));
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_builtin_rand)->Arg(1 << 16);

void BM_builtin_randn(benchmark::State& state) {
    hfchain::BuiltinHost host(1);
    const auto n = static_cast<hfchain::index_t>(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(host.randn(n, 1));
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_builtin_randn)->Arg(1 << 16);

// The same draws one at a time, as yardstick.
void BM_yardstick_rand(benchmark::State& state) {
    hfchain::bench::PlainHost host;
    host.seed_twister(1);
    const auto n = static_cast<hfchain::index_t>(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(host.rand(n));
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_yardstick_rand)->Arg(1 << 16);

void BM_yardstick_randn(benchmark::State& state) {
    hfchain::bench::PlainHost host;
    host.seed_twister(1);
    const auto n = static_cast<hfchain::index_t>(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(host.randn(n, 1));
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_yardstick_randn)->Arg(1 << 16);

}  // namespace
