#include "receiver/matchedfilter/pulsematch.hpp"

#include <algorithm>
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
        re += x[interleaved_offset(j)] * f[k - j];
        im += x[interleaved_offset(j) + 1] * f[k - j];
    }
    y[interleaved_offset(k)] = re;
    y[interleaved_offset(k) + 1] = im;
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
                const double* newer = x + interleaved_offset(k0 - i);
                const double* older = x + interleaved_offset(k0 - (N - 1) + i);
                const double tap = pair_taps[i];
                for (int v = 0; v < kVectors; ++v) {
                    acc[v] += tap * (*reinterpret_cast<const vec*>(newer + W * v) +
                                     *reinterpret_cast<const vec*>(older + W * v));
                }
            }
            if (N % 2 == 1) {
                const double* centre = x + interleaved_offset(k0 - half);
                const double tap = f[half];
                for (int v = 0; v < kVectors; ++v) {
                    acc[v] += tap * *reinterpret_cast<const vec*>(centre + W * v);
                }
            }
        } else {
            for (index_t i = 0; i < N; ++i) {
                const double* sample = x + interleaved_offset(k0 - i);
                const double tap = f[i];
                for (int v = 0; v < kVectors; ++v) {
                    acc[v] += tap * *reinterpret_cast<const vec*>(sample + W * v);
                }
            }
        }
        double* out = y + interleaved_offset(k0);
        for (int v = 0; v < kVectors; ++v) *reinterpret_cast<vec*>(out + W * v) = acc[v];
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
// direct sum. An output costs up to N multiply-adds; the host is polled between groups of
// outputs.
void convolve(const ComplexArray& in, const RealArray& filter, ComplexArray& out,
              HostServices& host) {
    const index_t L = in.numel();
    const index_t N = filter.numel();
    const index_t n_out = out.numel();
    const double* x = reinterpret_cast<const double*>(in.data());
    const double* f = filter.data();
    double* y = reinterpret_cast<double*>(out.data());
    // A multiple of the largest kernel block, so that only the last group leaves a remainder.
    constexpr index_t kBlock = 8;
    const index_t per_poll = (items_per_poll(N) + kBlock - 1) / kBlock * kBlock;

    // Outputs N - 1 .. L - 1 (0-based) see all N taps.
    const index_t full_first = N - 1;
    const index_t full_last = L - 1;
    index_t k = 0;
    const auto direct_until = [&](index_t end) {
        while (k < end) {
            host.poll_interrupt();
            const index_t stop = end - k > per_poll ? k + per_poll : end;
            for (; k < stop; ++k) direct_output(x, L, f, N, k, y);
        }
    };
    direct_until(std::min(n_out, std::max<index_t>(full_first, 0)));
    if (N > 0 && full_last >= full_first) {
        RealArray pair_taps;
        const bool folded = fold_taps(filter, pair_taps);
        const bool avx2 = __builtin_cpu_supports("avx2");
        while (k <= full_last) {
            host.poll_interrupt();
            const index_t last = full_last - k >= per_poll ? k + per_poll - 1 : full_last;
            const index_t next =
                avx2 ? filter_blocks_avx2(x, f, pair_taps.data(), folded, N, k, last, y)
                     : filter_blocks_baseline(x, f, pair_taps.data(), folded, N, k, last, y);
            if (next <= last) {
                k = next;  // fewer than a block left: the direct sum finishes them
                break;
            }
            k = next;
        }
    }
    direct_until(n_out);
}

}  // namespace

PulsematchOut pulsematch(const ComplexArray& MatchedFilterIn, const VarShapping& varShapping,
                         HostServices& host) {
    const double alpha = varShapping.rolloffFactor;
    const double D = varShapping.pulseDelay;
    const double M = varShapping.oversamplingFactor;

    // Every check that needs no work comes before the filter is designed. A roll-off outside
    // (0, 1] is refused first, exactly as by the transmit filter: 0 would give NaN taps.
    check_rolloff(alpha);
    const index_t N = rrc_length(D, M);
    // The full convolution has L + N - 1 samples. An input not longer than the filter is refused
    // unless the output is a single sample.
    const index_t L = MatchedFilterIn.numel();
    const std::int64_t n_out = static_cast<std::int64_t>(L) + N - 1;
    if (L <= N && n_out != 1) {
        raise(errid::kConvOrientation, "The input of " + std::to_string(L) +
                                           " samples must be longer than the filter of " +
                                           std::to_string(N) + " taps.");
    }
    // The taps are sampled at M per symbol period: M = 0 samples the pulse at t = 0 / 0 (NaN
    // taps), and a fractional or negative M matches no transmit filter of pulseshaper.
    if (M != std::floor(M)) {
        raise(errid::kNonInteger, "Value " + format_value(M) +
                                      " of 'oversamplingFactor' must be a whole number of "
                                      "samples per symbol.");
    }
    check_positive(M, "oversamplingFactor");
    // A negative pulseDelay of -1 / (2 M) leaves a filter of no taps and an all-zero output.
    if (N == 0) {
        raise(errid::kNegative, "Value " + format_value(D) +
                                    " of 'pulseDelay' must not be negative: the filter would "
                                    "have no taps.");
    }

    // The output, the largest array of the call, is allocated first: memory it cannot have is
    // refused before the filter is designed.
    PulsematchOut result;
    result.out = ComplexArray(check_size_argument(static_cast<double>(n_out)));

    // 1. The unit-energy root-raised-cosine taps, the same as the transmitter's.
    result.filter = shaping_filter(alpha, D, M, host);

    // 2. Full convolution, no trimming.
    convolve(MatchedFilterIn, result.filter, result.out, host);

    // 3. The delay of one filter, in symbol periods.
    result.filterDelay = D;
    return result;
}

}  // namespace hfchain
