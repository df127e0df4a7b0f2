#include <benchmark/benchmark.h>

#include <cmath>

#include "params/modeconf.hpp"
#include "runtime/builtin_host.hpp"
#include "transmitter/bin2int.hpp"
#include "transmitter/convcoder_puncturing.hpp"
#include "transmitter/scrambler.hpp"
#include "transmitter/sendchain.hpp"

namespace {

using hfchain::index_t;
using hfchain::RealArray;

RealArray random_bits(index_t n) {
    hfchain::BuiltinHost host(1);
    RealArray bits = host.rand(n);
    for (double& b : bits) b = std::floor(2 * b);
    return bits;
}

RealArray code_133_171(index_t repetitions) {
    const int rows[2][7] = {{1, 0, 1, 1, 0, 1, 1}, {1, 1, 1, 1, 0, 0, 1}};
    RealArray g(2 * repetitions, 7);
    for (index_t r = 0; r < g.rows(); ++r) {
        for (index_t j = 0; j < 7; ++j) g(r, j) = rows[r % 2][j];
    }
    return g;
}

// One transmission of ten 4.8 s interleaver blocks (115200 information bits, 126720 symbols).
void BM_sendchain_4_8_nFrame10(benchmark::State& state) {
    const hfchain::ModeParams mode = hfchain::modeconf(4.8);
    hfchain::BuiltinHost host(1);
    for (auto _ : state) benchmark::DoNotOptimize(hfchain::sendchain(mode, 10, 1, host));
    state.SetItemsProcessed(state.iterations() * 115200);
}
BENCHMARK(BM_sendchain_4_8_nFrame10)->Unit(benchmark::kMillisecond);

// Items: input bits.
void BM_convcoder_rate_half(benchmark::State& state) {
    const auto n = static_cast<index_t>(state.range(0));
    const RealArray bits = random_bits(n);
    const RealArray g = code_133_171(1);
    RealArray mask(2);
    mask.fill(1.0);
    for (auto _ : state) benchmark::DoNotOptimize(hfchain::convcoder_puncturing(bits, g, mask));
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_convcoder_rate_half)->Arg(1 << 16)->Arg(1 << 20);

void BM_convcoder_punctured_6_11(benchmark::State& state) {
    const auto n = static_cast<index_t>(state.range(0));
    const RealArray bits = random_bits(n);
    const RealArray g = code_133_171(1);
    RealArray mask(12);
    mask.fill(1.0);
    mask[11] = 0;
    for (auto _ : state) benchmark::DoNotOptimize(hfchain::convcoder_puncturing(bits, g, mask));
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_convcoder_punctured_6_11)->Arg(1 << 20);

// Items: symbols.
void BM_scrambler_data(benchmark::State& state) {
    const auto n = static_cast<index_t>(state.range(0));
    RealArray x = random_bits(n);
    for (auto _ : state) benchmark::DoNotOptimize(hfchain::scrambler_data(x));
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_scrambler_data)->Arg(1 << 20);

void BM_scrambler_preamble(benchmark::State& state) {
    const auto n = static_cast<index_t>(state.range(0));
    RealArray x = random_bits(n);
    for (auto _ : state) benchmark::DoNotOptimize(hfchain::scrambler_preamble(x));
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_scrambler_preamble)->Arg(1 << 20);

// Items: output values of 3 bits.
void BM_bin2int_3(benchmark::State& state) {
    const auto n = static_cast<index_t>(state.range(0));
    const RealArray bits = random_bits(3 * n);
    for (auto _ : state) benchmark::DoNotOptimize(hfchain::bin2int(bits, 3));
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_bin2int_3)->Arg(1 << 20);

}  // namespace
