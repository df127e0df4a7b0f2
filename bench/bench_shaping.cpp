#include <benchmark/benchmark.h>

#include <algorithm>

#include "runtime/builtin_host.hpp"
#include "shaping/pulseshaper.hpp"
#include "shaping/rrc_fir.hpp"
#include "tests/support/signals.hpp"

namespace {

using hfchain::ComplexArray;
using hfchain::index_t;
using hfchain::random_complex;

// 23040 symbols: the transmitted stream of a 4.8 s interleaver transmission.
constexpr index_t kSymbols = 23040;

// The block itself: polyphase filtering of the zero-stuffed stream, M = 5, D = 6 (61 taps).
void BM_pulseshaper(benchmark::State& state) {
    const ComplexArray symbols = random_complex(kSymbols, 7);
    const hfchain::VarShapping shaping{0.35, 6, static_cast<double>(state.range(0))};
    index_t n_out = 0;
    for (auto _ : state) {
        hfchain::PulseshaperOut r = hfchain::pulseshaper(symbols, shaping);
        n_out = r.out.numel();
        benchmark::DoNotOptimize(r.out.data());
    }
    state.SetItemsProcessed(state.iterations() * n_out);
}
BENCHMARK(BM_pulseshaper)->Arg(5)->Arg(10)->Unit(benchmark::kMicrosecond);

// Reference: the plain full convolution of the zero-stuffed stream (zeros included) with the same
// filter, on a stream stuffed in advance.
void BM_plain_convolution(benchmark::State& state) {
    const index_t M = static_cast<index_t>(state.range(0));
    const ComplexArray symbols = random_complex(kSymbols, 7);
    const hfchain::RealArray filter = hfchain::unit_energy_filter(hfchain::rrc_fir(0.35, 6, M));
    const index_t N = filter.numel();
    const index_t A = M * kSymbols;
    ComplexArray stuffed(A);
    for (index_t k = 0; k < kSymbols; ++k) stuffed[k * M] = symbols[k];
    const double* x = reinterpret_cast<const double*>(stuffed.data());
    for (auto _ : state) {
        ComplexArray out(A + N - 1);
        double* y = reinterpret_cast<double*>(out.data());
        for (index_t k = 0; k < A + N - 1; ++k) {
            double re = 0.0, im = 0.0;
            for (index_t j = std::max(0, k + 1 - N); j <= std::min(k, A - 1); ++j) {
                re += x[2 * j] * filter[k - j];
                im += x[2 * j + 1] * filter[k - j];
            }
            y[2 * k] = re;
            y[2 * k + 1] = im;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * (A + N - 1));
}
BENCHMARK(BM_plain_convolution)->Arg(5)->Arg(10)->Unit(benchmark::kMicrosecond);

}  // namespace
