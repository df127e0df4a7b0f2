#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>

#include "channel/channel_text.hpp"
#include "channel/fadesim.hpp"
#include "channel/h_watterson.hpp"
#include "channel/hfchannel.hpp"
#include "runtime/builtin_host.hpp"
#include "tests/support/signals.hpp"

namespace {

using hfchain::ComplexArray;
using hfchain::index_t;
using hfchain::random_complex;

// The shaped waveform of a 4.8 s transmission: 23040 symbols at M samples each plus the
// 2 D M = 12 M samples of the transmit filter's tails.
index_t waveform_length(index_t M) { return 23040 * M + 12 * M; }

// The whole channel block: both rays, the noise draws and the sum.
void BM_fadesim(benchmark::State& state) {
    const index_t M = static_cast<index_t>(state.range(0));
    const ComplexArray x = random_complex(waveform_length(M), 11);
    const hfchain::VarWatterson channel{"muito_ruim", 10, 1};
    const hfchain::VarShapping shaping{0.35, 6, static_cast<double>(M)};
    hfchain::BuiltinHost host(3);
    for (auto _ : state) {
        hfchain::FadesimOut r = hfchain::fadesim(x, channel, shaping, host);
        benchmark::DoNotOptimize(r.AwgnOut.data());
    }
    state.SetItemsProcessed(state.iterations() * x.numel());
}
BENCHMARK(BM_fadesim)->Arg(5)->Arg(10)->Unit(benchmark::kMillisecond);

// hfchannel on fadesim's condition (the same outputs), and on three paths with Doppler shifts and
// a frequency offset, which add the phasor turns and a third path.
void BM_hfchannel(benchmark::State& state) {
    const index_t M = static_cast<index_t>(state.range(0));
    const ComplexArray x = random_complex(waveform_length(M), 11);
    const char* text = state.range(1)
                           ? "paths=0ms/0dB/5Hz/1Hz+2ms/-3dB/5Hz+5ms/-6dB/5Hz/-2Hz:off=50Hz"
                           : "muito_ruim";
    const hfchain::VarHfchannel channel{hfchain::read_channel(text).channel, 10, 1};
    const hfchain::VarShapping shaping{0.35, 6, static_cast<double>(M)};
    hfchain::BuiltinHost host(3);
    for (auto _ : state) {
        hfchain::HfchannelOut r = hfchain::hfchannel(x, channel, shaping, host);
        benchmark::DoNotOptimize(r.AwgnOut.data());
    }
    state.SetItemsProcessed(state.iterations() * x.numel());
}
BENCHMARK(BM_hfchannel)->Args({5, 0})->Args({10, 0})->Args({5, 1})->Unit(benchmark::kMillisecond);

// The fading alone: the gains of both rays and their application.
void BM_h_watterson(benchmark::State& state) {
    const index_t M = static_cast<index_t>(state.range(0));
    const ComplexArray x = random_complex(waveform_length(M), 11);
    hfchain::BuiltinHost host(3);
    for (auto _ : state) {
        hfchain::WattersonOut r = hfchain::h_watterson(x, 2400.0 * M, 0.005, 5.0, host);
        benchmark::DoNotOptimize(r.y.data());
    }
    state.SetItemsProcessed(state.iterations() * x.numel());
}
BENCHMARK(BM_h_watterson)->Arg(5)->Arg(10)->Unit(benchmark::kMillisecond);

// Baseline: per sample only the two 20-term sums, sum_k E(n, k) g_k for each ray, as a plain
// matrix-vector product over term values computed in advance (a cache-resident table of 256
// samples reused cyclically), written to an L x 2 output.
void BM_gain_baseline(benchmark::State& state) {
    const index_t M = static_cast<index_t>(state.range(0));
    const index_t L = waveform_length(M);
    constexpr int kTable = 256;
    constexpr int kTerms = 20;
    static double e_re[2][kTable][kTerms], e_im[2][kTable][kTerms];
    double g_re[2][kTerms], g_im[2][kTerms];
    for (int p = 0; p < 2; ++p) {
        for (int k = 0; k < kTerms; ++k) {
            g_re[p][k] = 0.5 * std::cos(0.3 * k + p);
            g_im[p][k] = 0.5 * std::sin(0.7 * k - p);
            for (int n = 0; n < kTable; ++n) {
                const double phi = 2 * std::numbers::pi * n / (2400.0 * M) * (k - 10 + p);
                e_re[p][n][k] = std::cos(phi) / std::sqrt(20.0);
                e_im[p][n][k] = std::sin(phi) / std::sqrt(20.0);
            }
        }
    }
    for (auto _ : state) {
        ComplexArray raios(L, 2);
        double* r = reinterpret_cast<double*>(raios.data());
        for (int p = 0; p < 2; ++p) {
            double* rp = r + 2 * static_cast<std::ptrdiff_t>(L) * p;
            for (index_t n = 0; n < L; ++n) {
                const double* er = e_re[p][n % kTable];
                const double* ei = e_im[p][n % kTable];
                double sr = 0.0, si = 0.0;
                for (int k = 0; k < kTerms; ++k) {
                    sr += er[k] * g_re[p][k] - ei[k] * g_im[p][k];
                    si += er[k] * g_im[p][k] + ei[k] * g_re[p][k];
                }
                rp[2 * n] = sr;
                rp[2 * n + 1] = si;
            }
        }
        benchmark::DoNotOptimize(raios.data());
    }
    state.SetItemsProcessed(state.iterations() * L);
}
BENCHMARK(BM_gain_baseline)->Arg(5)->Arg(10)->Unit(benchmark::kMillisecond);

}  // namespace
