// The soft demapper and the Viterbi decoder, with their yardsticks in the same run: the
// straightforward double-precision decoder of tests/support (one state at a time, the plain
// scalar yardstick of the decoder's speed) and one sweep trial of the whole road (a 0.6 s block
// at five samples a symbol through white noise), which the two blocks add to.
//
// Decoder speed is counted in decoded bits (trellis steps) per second.
#include <benchmark/benchmark.h>

#include "chain/road.hpp"
#include "channel/fadesim.hpp"
#include "params/modeconf.hpp"
#include "receiver/decoder/vitdecode.hpp"
#include "receiver/decoder/viterbi.hpp"
#include "receiver/deinterleave/unshuffle.hpp"
#include "receiver/softdemod/softslicer.hpp"
#include "runtime/builtin_host.hpp"
#include "tests/support/reference_viterbi.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain {
namespace {

constexpr double kEsNodB = 7;

// One transmission of `nFrame` blocks through white noise at 7 dB, as the decoder receives it.
struct Received {
    ModeParams mode;
    double nFrame;
    ComplexArray symbols;     // noisy data symbols
    RealArray noiseVar;       // N0
    RealArray deinterleaved;  // max-log ratios in encoder order
};

Received receive(double interl, double nFrame) {
    Received r{modeconf(interl), nFrame, {}, {}, {}};
    BuiltinHost host(1);
    const SendchainOut tx = sendchain(r.mode, nFrame, 3, host);
    ComplexArray noise;
    add_channel_noise(tx.ComplexPSKSymbols, kEsNodB, host, noise, r.symbols);
    r.noiseVar = RealArray{1.0 / std::pow(10.0, kEsNodB / 10.0)};
    r.deinterleaved = unshuffle(softslicer(r.symbols, r.noiseVar, r.mode).LLR, r.mode).out;
    return r;
}

const Received& short_block() {
    static const Received r = receive(0.6, 1);
    return r;
}

const Received& long_blocks() {
    static const Received r = receive(4.8, 4);  // 46080 steps
    return r;
}

void BM_vitdecode(benchmark::State& state) {
    const Received& r = state.range(0) == 0 ? short_block() : long_blocks();
    for (auto _ : state) benchmark::DoNotOptimize(vitdecode(r.deinterleaved, r.mode, r.nFrame));
    state.SetItemsProcessed(state.iterations() * r.deinterleaved.numel() / 2);
}
BENCHMARK(BM_vitdecode)->Arg(0)->Arg(1);

// The decoder alone with a reused workspace, per add-compare-select kernel (plain, SSE2, AVX2).
void BM_viterbi_kernel(benchmark::State& state) {
    const auto kernel = static_cast<AcsKernel>(state.range(0));
    if (!acs_kernel_available(kernel)) {
        state.SkipWithError("kernel not available on this processor");
        return;
    }
    const Received& r = long_blocks();
    const index_t steps = r.deinterleaved.numel() / 2;
    RealArray bits(steps);
    ViterbiWorkspace workspace;
    for (auto _ : state) {
        viterbi_decode(r.deinterleaved.data(), steps, true, bits.data(), workspace, kernel);
        benchmark::DoNotOptimize(bits.data());
    }
    state.SetItemsProcessed(state.iterations() * steps);
}
BENCHMARK(BM_viterbi_kernel)
    ->Arg(static_cast<int>(AcsKernel::plain))
    ->Arg(static_cast<int>(AcsKernel::sse2))
    ->Arg(static_cast<int>(AcsKernel::avx2));

// Yardstick: the straightforward scalar decoder in double precision.
void BM_reference_decoder_yardstick(benchmark::State& state) {
    const Received& r = long_blocks();
    const index_t steps = r.deinterleaved.numel() / 2;
    for (auto _ : state) {
        benchmark::DoNotOptimize(reference::decode(r.deinterleaved.data(), steps, true));
    }
    state.SetItemsProcessed(state.iterations() * steps);
}
BENCHMARK(BM_reference_decoder_yardstick);

void BM_softslicer(benchmark::State& state) {
    const Received& r = short_block();
    for (auto _ : state) benchmark::DoNotOptimize(softslicer(r.symbols, r.noiseVar, r.mode));
    state.SetItemsProcessed(state.iterations() * r.symbols.numel());
}
BENCHMARK(BM_softslicer);

// What soft decoding adds to a trial of one 0.6 s block: the demapper and the decoder (the
// deinterleaver runs in the trial already, on hard bits instead of ratios).
void BM_softslicer_and_vitdecode_0_6(benchmark::State& state) {
    const Received& r = short_block();
    for (auto _ : state) {
        const SoftslicerOut soft = softslicer(r.symbols, r.noiseVar, r.mode);
        benchmark::DoNotOptimize(vitdecode(r.deinterleaved, r.mode, r.nFrame));
        benchmark::DoNotOptimize(soft.LLR.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_softslicer_and_vitdecode_0_6)->Unit(benchmark::kMicrosecond);

// Yardstick: one sweep trial, a 0.6 s block through the whole road at five samples a symbol.
void BM_road_trial_0_6_yardstick(benchmark::State& state) {
    const ModeParams mode = modeconf(0.6);
    RoadConfig config;
    config.shaping = VarShapping{0.35, 6, 5};
    config.channel = road_channel("awgn", kEsNodB, 2);
    BuiltinHost host;
    for (auto _ : state) benchmark::DoNotOptimize(run_road(mode, config, host));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_road_trial_0_6_yardstick)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace hfchain
