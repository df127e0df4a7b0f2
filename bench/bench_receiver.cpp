// Receiver blocks on one transmission with the 4.8 s interleaver at 5 samples per symbol:
// the 11520-symbol preamble and one interleaver block of 240 frames (7680 data and 3840 probe
// symbols), 23040 symbols in all, shaped with D = 6 (61 taps). The inputs are synthesised with the
// sizes the chain hands each block: random 8-PSK symbols, a noisy oversampled waveform, and bits.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "params/modeconf.hpp"
#include "receiver/deinterleave/unshuffle.hpp"
#include "receiver/demod/symslicer.hpp"
#include "receiver/demux/unframer.hpp"
#include "receiver/framesync/framelock.hpp"
#include "receiver/framesync/framelock_direct.hpp"
#include "receiver/freqlock/freqlock.hpp"
#include "receiver/impulseblank/impulseblank.hpp"
#include "receiver/matchedfilter/pulsematch.hpp"
#include "receiver/modelock/modelock.hpp"
#include "receiver/timing/tickalign.hpp"
#include "runtime/builtin_host.hpp"
#include "shaping/pulseshaper.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain {
namespace {

constexpr index_t kSymbols = 11520 + 240 * 48;
constexpr index_t kDataSymbols = 240 * 32;
const VarShapping kShaping{0.35, 6, 5};
constexpr index_t kTaps = 2 * 6 * 5 + 1;

ComplexArray random_psk(index_t n, double noise, unsigned seed) {
    std::mt19937_64 gen(seed);
    ComplexArray x(n);
    for (index_t i = 0; i < n; ++i) {
        const double phase = 2.0 * 3.141592653589793 * static_cast<double>(gen() % 8) / 8.0;
        const double nr = noise * (static_cast<double>(gen() % 2001) / 1000.0 - 1.0);
        const double ni = noise * (static_cast<double>(gen() % 2001) / 1000.0 - 1.0);
        x[i] = {std::cos(phase) + nr, std::sin(phase) + ni};
    }
    return x;
}

// The received waveform before the matched filter: the transmit filter's length included.
ComplexArray waveform() { return random_psk(kSymbols * 5 + kTaps - 1, 0.3, 1); }

void BM_pulsematch(benchmark::State& state) {
    const ComplexArray in = waveform();
    for (auto _ : state) benchmark::DoNotOptimize(pulsematch(in, kShaping));
    state.SetItemsProcessed(state.iterations() * in.numel());
}
BENCHMARK(BM_pulsematch);

// The impulse scan the road runs on every received signal (nothing to blank), beside the
// matched filter it precedes.
void BM_impulseblank(benchmark::State& state) {
    const ComplexArray in = waveform();
    for (auto _ : state) benchmark::DoNotOptimize(impulseblank(in));
    state.SetItemsProcessed(state.iterations() * in.numel());
}
BENCHMARK(BM_impulseblank);

// The straightforward double loop over all 61 taps, as a yardstick for the matched filter.
void BM_plain_convolution_yardstick(benchmark::State& state) {
    const ComplexArray in = waveform();
    const RealArray filter = pulsematch(in, kShaping).filter;
    const index_t L = in.numel();
    const index_t N = filter.numel();
    ComplexArray out(L + N - 1);
    for (auto _ : state) {
        for (index_t k = 0; k < L + N - 1; ++k) {
            double re = 0.0;
            double im = 0.0;
            const index_t j0 = k + 1 - N > 0 ? k + 1 - N : 0;
            const index_t j1 = k < L - 1 ? k : L - 1;
            for (index_t j = j0; j <= j1; ++j) {
                re += in[j].real() * filter[k - j];
                im += in[j].imag() * filter[k - j];
            }
            out[k] = {re, im};
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * L);
}
BENCHMARK(BM_plain_convolution_yardstick);

void BM_framelock(benchmark::State& state) {
    const ModeParams mode = modeconf(4.8);
    const ComplexArray in = pulsematch(waveform(), kShaping).out;
    for (auto _ : state) benchmark::DoNotOptimize(framelock(in, mode, kShaping));
    state.SetItemsProcessed(state.iterations() * 288 * 5);  // candidate windows
}
BENCHMARK(BM_framelock);

// The search with each vector kernel this processor runs (vector width in bits).
void BM_framelock_kernel(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const std::vector<int> widths = detail::framelock_kernel_widths();
    if (std::find(widths.begin(), widths.end(), width) == widths.end()) {
        state.SkipWithError("this processor lacks the kernel");
        return;
    }
    const ModeParams mode = modeconf(4.8);
    const ComplexArray in = pulsematch(waveform(), kShaping).out;
    for (auto _ : state) {
        benchmark::DoNotOptimize(detail::framelock_kernel(in, mode, kShaping, width));
    }
    state.SetItemsProcessed(state.iterations() * 288 * 5);
}
BENCHMARK(BM_framelock_kernel)->Arg(128)->Arg(256)->Arg(512);

// The window-by-window exact rule, as a yardstick for the search.
void BM_framelock_direct_yardstick(benchmark::State& state) {
    const ModeParams mode = modeconf(4.8);
    const ComplexArray in = pulsematch(waveform(), kShaping).out;
    for (auto _ : state) benchmark::DoNotOptimize(detail::framelock_direct(in, mode, kShaping));
    state.SetItemsProcessed(state.iterations() * 288 * 5);  // candidate windows
}
BENCHMARK(BM_framelock_direct_yardstick);

// Acquisition of the one known mode (freqlock) beside acquisition of any mode (modelock) on the
// same input. Symbols without a preamble: modelock searches every window of the input and finds
// nothing (its most costly case).
void BM_freqlock(benchmark::State& state) {
    const ModeParams mode = modeconf(4.8);
    const ComplexArray in = pulsematch(waveform(), kShaping).out;
    for (auto _ : state) benchmark::DoNotOptimize(freqlock(in, mode, kShaping));
    state.SetItemsProcessed(state.iterations() * in.numel());
}
BENCHMARK(BM_freqlock);

void BM_modelock(benchmark::State& state) {
    const ComplexArray in = pulsematch(waveform(), kShaping).out;
    for (auto _ : state) benchmark::DoNotOptimize(modelock(in, kShaping, VarModelock{}));
    state.SetItemsProcessed(state.iterations() * in.numel());
}
BENCHMARK(BM_modelock);

// The transmission itself (2400 bit/s, 4.8 s), with a random 8-PSK point of amplitude 0.3
// added to every sample: the search stops at its first segment, which is then read
// with the 23 after it.
ComplexArray transmission() {
    BuiltinHost host;
    const ModeParams mode = modeconf(4.8);
    ComplexArray x = pulseshaper(sendchain(mode, 1, 1, host).MultiplexOut, kShaping).out;
    const ComplexArray noise = random_psk(x.numel(), 0, 2);
    for (index_t n = 0; n < x.numel(); ++n) x[n] += 0.3 * noise[n];
    return pulsematch(x, kShaping).out;
}

void BM_freqlock_transmission(benchmark::State& state) {
    const ModeParams mode = modeconf(4.8);
    const ComplexArray in = transmission();
    for (auto _ : state) benchmark::DoNotOptimize(freqlock(in, mode, kShaping));
    state.SetItemsProcessed(state.iterations() * in.numel());
}
BENCHMARK(BM_freqlock_transmission);

void BM_modelock_transmission(benchmark::State& state) {
    const ComplexArray in = transmission();
    for (auto _ : state) benchmark::DoNotOptimize(modelock(in, kShaping, VarModelock{}));
    state.SetItemsProcessed(state.iterations() * in.numel());
}
BENCHMARK(BM_modelock_transmission);

void BM_tickalign(benchmark::State& state) {
    const ComplexArray in = pulsematch(waveform(), kShaping).out;
    for (auto _ : state) benchmark::DoNotOptimize(tickalign(in, 61, kShaping));
    state.SetItemsProcessed(state.iterations() * kSymbols);
}
BENCHMARK(BM_tickalign);

void BM_unframer(benchmark::State& state) {
    const ModeParams mode = modeconf(4.8);
    const ComplexArray in = random_psk(kSymbols, 0.3, 2);
    for (auto _ : state) benchmark::DoNotOptimize(unframer(in, mode));
    state.SetItemsProcessed(state.iterations() * kSymbols);
}
BENCHMARK(BM_unframer);

void BM_symslicer(benchmark::State& state) {
    const ModeParams mode = modeconf(4.8);
    const ComplexArray in = random_psk(kDataSymbols, 0.3, 3);
    for (auto _ : state) benchmark::DoNotOptimize(symslicer(in, mode));
    state.SetItemsProcessed(state.iterations() * kDataSymbols);
}
BENCHMARK(BM_symslicer);

// The nearest-point rule with all eight distances per symbol, as a yardstick for the decisions.
void BM_eight_distances_yardstick(benchmark::State& state) {
    const ComplexArray in = random_psk(kDataSymbols, 0.3, 3);
    double re[8];
    double im[8];
    for (int k = 0; k < 8; ++k) {
        re[k] = std::cos(6.2831853071795862 * k / 8);
        im[k] = std::sin(6.2831853071795862 * k / 8);
    }
    RealArray decisions(kDataSymbols);
    for (auto _ : state) {
        for (index_t n = 0; n < kDataSymbols; ++n) {
            int best = 0;
            double best_d = std::hypot(in[n].real() - re[0], in[n].imag() - im[0]);
            for (int k = 1; k < 8; ++k) {
                const double d = std::hypot(in[n].real() - re[k], in[n].imag() - im[k]);
                if (d < best_d) {
                    best = k;
                    best_d = d;
                }
            }
            decisions[n] = best;
        }
        benchmark::DoNotOptimize(decisions.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kDataSymbols);
}
BENCHMARK(BM_eight_distances_yardstick);

void BM_unshuffle(benchmark::State& state) {
    const ModeParams mode = modeconf(4.8);
    RealArray in(3 * kDataSymbols);
    for (index_t i = 0; i < in.numel(); ++i) in[i] = static_cast<double>(i % 2);
    for (auto _ : state) benchmark::DoNotOptimize(unshuffle(in, mode));
    state.SetItemsProcessed(state.iterations() * in.numel());
}
BENCHMARK(BM_unshuffle);

}  // namespace
}  // namespace hfchain
