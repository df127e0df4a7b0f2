#include "receiver/matchedfilter/pulsematch.hpp"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "runtime/checks.hpp"
#include "shaping/rrc_fir.hpp"

namespace hfchain {

namespace {

// out(k) for one output by the direct sum, j ascending, over the input samples that exist.
// x, y: interleaved (re, im) doubles; f: N taps; k: 0-based output index.
inline void direct_output(const double* x, index_t L, const double* f, index_t N, index_t k,
                          double* y) {
    const index_t j_first = k + 1 - N > 0 ? k + 1 - N : 0;
    const index_t j_last = k < L - 1 ? k : L - 1;
    double re = 0.0;
    double im = 0.0;
    for (index_t j = j_first; j <= j_last; ++j) {
        re += x[2 * j] * f[k - j];
        im += x[2 * j + 1] * f[k - j];
    }
    y[2 * k] = re;
    y[2 * k + 1] = im;
}

// W doubles in one vector register; may_alias and aligned(8) allow loads and stores anywhere in
// a double array.
template <int W>
struct Lanes {
    typedef double type __attribute__((vector_size(8 * W), aligned(8), may_alias));
};

// Outputs first .. last (0-based), all of whose windows lie inside the input, in blocks of B
// complex outputs held in vector accumulators while the taps are walked; returns the first output
// not done. The taps are real, so real and imaginary parts are filtered alike and the interleaved
// doubles are treated as one real stream with the sample pitch 2. With `folded`, each pair of
// equal taps f(i) = f(N + 1 - i) multiplies the sum of its two samples (`pair_taps` holds them),
// which halves the multiplications.
template <int W, int B>
__attribute__((always_inline)) inline index_t filter_blocks(const double* x, const double* f,
                                                            const double* pair_taps, bool folded,
                                                            index_t N, index_t first, index_t last,
                                                            double* y) {
    using vec = typename Lanes<W>::type;
    constexpr int kVectors = 2 * B / W;
    index_t k0 = first;
    for (; k0 + B - 1 <= last; k0 += B) {
        vec acc[kVectors];
        for (int v = 0; v < kVectors; ++v) acc[v] = vec{};
        if (folded) {
            const index_t half = N / 2;
            for (index_t i = 0; i < half; ++i) {
                const double* newer = x + 2 * (k0 - i);
                const double* older = x + 2 * (k0 - (N - 1) + i);
                const double tap = pair_taps[i];
                for (int v = 0; v < kVectors; ++v) {
                    acc[v] += tap * (*reinterpret_cast<const vec*>(newer + W * v) +
                                     *reinterpret_cast<const vec*>(older + W * v));
                }
            }
            if (N % 2 == 1) {
                const double* centre = x + 2 * (k0 - half);
                const double tap = f[half];
                for (int v = 0; v < kVectors; ++v) {
                    acc[v] += tap * *reinterpret_cast<const vec*>(centre + W * v);
                }
            }
        } else {
            for (index_t i = 0; i < N; ++i) {
                const double* sample = x + 2 * (k0 - i);
                const double tap = f[i];
                for (int v = 0; v < kVectors; ++v) {
                    acc[v] += tap * *reinterpret_cast<const vec*>(sample + W * v);
                }
            }
        }
        for (int v = 0; v < kVectors; ++v) *reinterpret_cast<vec*>(y + 2 * k0 + W * v) = acc[v];
    }
    return k0;
}

// The same code for processors with 256-bit vectors and for the baseline 128-bit ones; both do
// the same multiplications and additions (no fused multiply-add), so their outputs are equal.
__attribute__((target("avx2"))) index_t filter_blocks_avx2(const double* x, const double* f,
                                                           const double* pair_taps, bool folded,
                                                           index_t N, index_t first, index_t last,
                                                           double* y) {
    return filter_blocks<4, 8>(x, f, pair_taps, folded, N, first, last, y);
}

index_t filter_blocks_baseline(const double* x, const double* f, const double* pair_taps,
                               bool folded, index_t N, index_t first, index_t last, double* y) {
    return filter_blocks<2, 4>(x, f, pair_taps, folded, N, first, last, y);
}

// The taps of rrc_fir are symmetric, up to the rounding of t = n / M - D on the two sides. The
// pairs are folded when each pair agrees to within a few units of rounding of the largest tap;
// each pair then uses its mean, which differs from either tap by less than the rounding of the
// direct sum itself. Returns whether the taps fold.
bool fold_taps(const RealArray& filter, RealArray& pair_taps) {
    const index_t N = filter.numel();
    double largest = 0.0;
    for (index_t i = 0; i < N; ++i) largest = std::fmax(largest, std::fabs(filter[i]));
    const double tolerance = 4.0 * std::numeric_limits<double>::epsilon() * largest;
    pair_taps = RealArray(N / 2);
    for (index_t i = 0; i < N / 2; ++i) {
        const double a = filter[i];
        const double b = filter[N - 1 - i];
        if (!(std::fabs(a - b) <= tolerance)) return false;
        pair_taps[i] = a == b ? a : 0.5 * (a + b);
    }
    return true;
}

// Full linear convolution of the complex column `in` (L samples) with the real taps (N) into
// `out` (L + N - 1 samples). Outputs whose window lies wholly inside the input go through the
// vector kernel; the start-up and tail transients, and the remainder of the last block, use the
// direct sum.
void convolve(const ComplexArray& in, const RealArray& filter, ComplexArray& out) {
    const index_t L = in.numel();
    const index_t N = filter.numel();
    const index_t n_out = out.numel();
    const double* x = reinterpret_cast<const double*>(in.data());
    const double* f = filter.data();
    double* y = reinterpret_cast<double*>(out.data());

    // Outputs N - 1 .. L - 1 (0-based) see all N taps.
    const index_t full_first = N - 1;
    const index_t full_last = L - 1;
    index_t k = 0;
    for (; k < n_out && k < full_first; ++k) direct_output(x, L, f, N, k, y);
    if (N > 0 && full_last >= full_first) {
        RealArray pair_taps;
        const bool folded = fold_taps(filter, pair_taps);
        k = __builtin_cpu_supports("avx2")
                ? filter_blocks_avx2(x, f, pair_taps.data(), folded, N, k, full_last, y)
                : filter_blocks_baseline(x, f, pair_taps.data(), folded, N, k, full_last, y);
    }
    for (; k < n_out; ++k) direct_output(x, L, f, N, k, y);
}

}  // namespace

PulsematchOut pulsematch(const ComplexArray& MatchedFilterIn, const VarShapping& varShapping) {
    // A roll-off outside (0, 1] is refused before anything else, exactly as by the transmit
    // filter: 0 would give NaN taps.
    check_rolloff(varShapping.rolloffFactor);

    PulsematchOut result;
    // 1. The unit-energy root-raised-cosine taps, the same as the transmitter's.
    result.filter = unit_energy_filter(
        rrc_fir(varShapping.rolloffFactor, varShapping.pulseDelay, varShapping.oversamplingFactor));

    // 2. Full convolution, no trimming. An input not longer than the filter is refused unless
    // the output is a single sample.
    const index_t L = MatchedFilterIn.numel();
    const index_t N = result.filter.numel();
    const std::int64_t n_out = static_cast<std::int64_t>(L) + N - 1;
    if (L <= N && n_out != 1) {
        raise(errid::kConvOrientation, "The input of " + std::to_string(L) +
                                           " samples must be longer than the filter of " +
                                           std::to_string(N) + " taps.");
    }
    result.out = ComplexArray(check_size_argument(static_cast<double>(n_out)));
    convolve(MatchedFilterIn, result.filter, result.out);

    // 3. The delay of one filter, in symbol periods.
    result.filterDelay = varShapping.pulseDelay;
    return result;
}

}  // namespace hfchain
