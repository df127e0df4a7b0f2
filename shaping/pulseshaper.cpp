#include "shaping/pulseshaper.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "runtime/checks.hpp"
#include "shaping/rrc_fir.hpp"

namespace hfchain {

namespace {

// The real and imaginary part of one sample side by side in a compiler vector (an SSE2
// register); complex arrays hold exactly such pairs.
typedef double Pair __attribute__((vector_size(2 * sizeof(double)), aligned(alignof(double))));

// Length M * L of the zero-stuffed stream `dados_txfilt`, and the stuffing step M: both must be
// whole numbers, and M = 0 leaves no room for the L symbols.
index_t stuffed_length(double M, index_t L) {
    const double A = M * L;
    if (A != std::floor(A)) {
        raise(errid::kNonInteger, "The length of 'dados_txfilt', oversamplingFactor * " +
                                      std::to_string(L) + " = " + format_value(A) +
                                      ", must be a whole number.");
    }
    if (A < 0) {
        raise(errid::kNegative, "The length of 'dados_txfilt', oversamplingFactor * " +
                                    std::to_string(L) + " = " + format_value(A) +
                                    ", must not be negative.");
    }
    const index_t n = check_size_argument(A);
    if (M != std::floor(M)) {
        raise(errid::kNonInteger, "The stuffing step oversamplingFactor = " + format_value(M) +
                                      " must be a whole number.");
    }
    if (M == 0 && L > 0) check_size_equal(L, 0, "dados_txfilt");
    return n;
}

// Full convolution of the zero-stuffed symbols with `filter`, computed from the non-zero inputs
// only. Output sample k = q M + p (0-based, 0 <= p < M) collects symbol m = q - i through tap
// i M + p, so the M outputs of "block" q are the sum over i of symbol q - i times the i-th run
// of M consecutive taps (the last run may be shorter). Each output costs N / M multiplications on
// average instead of N; symbols are accumulated in increasing order, as the direct sum does. A
// block costs about N multiply-adds; the host is polled between groups of blocks.
void convolve_stuffed(const ComplexArray& ShappingIn, index_t M, const RealArray& filter,
                      ComplexArray& out, HostServices& host) {
    const index_t L = ShappingIn.numel();
    const index_t n_out = out.numel();
    if (L == 0 || n_out == 0) return;  // only zeros were stuffed: the output stays zero
    const index_t N = filter.numel();
    const index_t n_runs = (N + M - 1) / M;
    // Each tap twice, to multiply the real and the imaginary part of a symbol at once.
    RealArray taps2(checked_size_product(2, N));
    double* t2 = taps2.data();
    for (index_t t = 0; t < N; ++t)
        t2[interleaved_offset(t)] = t2[interleaved_offset(t) + 1] = filter[t];
    const Pair* run0 = reinterpret_cast<const Pair*>(taps2.data());
    const Pair* s = reinterpret_cast<const Pair*>(ShappingIn.data());
    Pair* y = reinterpret_cast<Pair*>(out.data());
    const index_t n_blocks = static_cast<index_t>((static_cast<std::int64_t>(n_out) + M - 1) / M);
    // One accumulator pair per output of a block: M complex numbers.
    ComplexArray acc_buffer(M);
    Pair* acc = reinterpret_cast<Pair*>(acc_buffer.data());
    const auto blocks = [&](index_t q_first, index_t q_last) {
        for (index_t q = q_first; q < q_last; ++q) {
            for (index_t p = 0; p < M; ++p) acc[p] = Pair{};
            const index_t i_first = std::min(n_runs - 1, q);
            const index_t i_last = std::max<index_t>(0, q - (L - 1));
            for (index_t i = i_first; i >= i_last; --i) {
                const Pair sv = s[q - i];
                const Pair* run = run0 + static_cast<std::ptrdiff_t>(i) * M;
                const index_t run_length = std::min<std::int64_t>(
                    M, static_cast<std::int64_t>(N) - static_cast<std::int64_t>(i) * M);
                for (index_t p = 0; p < run_length; ++p) acc[p] += sv * run[p];
            }
            const std::int64_t k0 = static_cast<std::int64_t>(q) * M;
            const index_t count = static_cast<index_t>(std::min<std::int64_t>(M, n_out - k0));
            for (index_t p = 0; p < count; ++p) y[k0 + p] = acc[p];
        }
    };
    for_each_chunk(n_blocks, host, blocks, items_per_poll(std::max<std::int64_t>(N, M)));
}

}  // namespace

PulseshaperOut pulseshaper(const ComplexArray& ShappingIn, const VarShapping& varShapping,
                           HostServices& host) {
    const double rolloffFactor = varShapping.rolloffFactor;
    const double pulseDelay = varShapping.pulseDelay;
    const double oversamplingFactor = varShapping.oversamplingFactor;
    const index_t L = ShappingIn.numel();

    // Every check that needs no work comes before the filter is designed, in the order the steps
    // below would raise them.
    check_rolloff(rolloffFactor);
    const index_t N = rrc_length(pulseDelay, oversamplingFactor);
    const index_t A = stuffed_length(oversamplingFactor, L);
    // The full convolution has A + N - 1 samples. A stuffed stream no longer than the filter is
    // refused unless the output is a single sample.
    const std::int64_t n_out = static_cast<std::int64_t>(A) + N - 1;
    if (A <= N && n_out != 1) {
        raise(errid::kConvOrientation,
              "The zero-stuffed stream (" + std::to_string(A) +
                  " samples) must be longer than the filter (" + std::to_string(N) +
                  " taps): pulse shaping needs more than 2 * pulseDelay symbols.");
    }
    // A negative pulseDelay of -1 / (2 M) leaves a filter of no taps, which would silently turn
    // every symbol into zeros.
    if (N == 0) {
        raise(errid::kNegative, "Value " + format_value(pulseDelay) +
                                    " of 'pulseDelay' must not be negative: the filter would "
                                    "have no taps.");
    }

    // The output, the largest array of the call, is allocated first: memory it cannot have is
    // refused before the filter is designed.
    PulseshaperOut result;
    result.out = ComplexArray(check_size_argument(static_cast<double>(n_out)));

    // 1. Filter: the unit-energy root-raised cosine, 1 x N.
    result.filter = shaping_filter(rolloffFactor, pulseDelay, oversamplingFactor, host);

    // 2.-3. Zero stuffing (symbol k + 1 at sample 1 + k M of `dados_txfilt`, M - 1 zeros after
    // it) and full convolution, computed together from the symbols.
    // With symbols present, M is a whole number from 1 to M L (checked above).
    const index_t M = L > 0 ? static_cast<index_t>(oversamplingFactor) : 1;
    convolve_stuffed(ShappingIn, M, result.filter, result.out, host);
    return result;
}

}  // namespace hfchain
