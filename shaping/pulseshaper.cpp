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
// average instead of N; symbols are accumulated in increasing order, as the direct sum does.
void convolve_stuffed(const ComplexArray& ShappingIn, index_t M, const RealArray& filter,
                      ComplexArray& out) {
    const index_t L = ShappingIn.numel();
    const index_t n_out = out.numel();
    if (L == 0 || n_out == 0) return;  // only zeros were stuffed: the output stays zero
    const index_t N = filter.numel();
    const index_t n_runs = (N + M - 1) / M;
    // Each tap twice, to multiply the real and the imaginary part of a symbol at once.
    RealArray taps2(checked_size_product(2, N));
    for (index_t t = 0; t < N; ++t) taps2[2 * t] = taps2[2 * t + 1] = filter[t];
    const Pair* run0 = reinterpret_cast<const Pair*>(taps2.data());
    const Pair* s = reinterpret_cast<const Pair*>(ShappingIn.data());
    Pair* y = reinterpret_cast<Pair*>(out.data());
    const index_t n_blocks = static_cast<index_t>((static_cast<std::int64_t>(n_out) + M - 1) / M);
    RealArray acc_buffer(2 * M);
    Pair* acc = reinterpret_cast<Pair*>(acc_buffer.data());
    for (index_t q = 0; q < n_blocks; ++q) {
        for (index_t p = 0; p < M; ++p) acc[p] = Pair{};
        const index_t i_first = std::min(n_runs - 1, q);
        const index_t i_last = std::max<index_t>(0, q - (L - 1));
        for (index_t i = i_first; i >= i_last; --i) {
            const Pair sv = s[q - i];
            const Pair* run = run0 + i * M;
            const index_t run_length = std::min(M, N - i * M);
            for (index_t p = 0; p < run_length; ++p) acc[p] += sv * run[p];
        }
        const index_t k0 = q * M;
        const index_t count = std::min<index_t>(M, n_out - k0);
        for (index_t p = 0; p < count; ++p) y[k0 + p] = acc[p];
    }
}

}  // namespace

PulseshaperOut pulseshaper(const ComplexArray& ShappingIn, const VarShapping& varShapping) {
    const double rolloffFactor = varShapping.rolloffFactor;
    const double pulseDelay = varShapping.pulseDelay;
    const double oversamplingFactor = varShapping.oversamplingFactor;
    check_rolloff(rolloffFactor);
    const index_t L = ShappingIn.numel();

    // 1. Filter: the unit-energy root-raised cosine, 1 x N.
    PulseshaperOut result;
    result.filter = unit_energy_filter(rrc_fir(rolloffFactor, pulseDelay, oversamplingFactor));
    const index_t N = result.filter.numel();

    // 2. Zero stuffing: symbol k + 1 sits at sample 1 + k M of `dados_txfilt`, M - 1 zeros follow.
    const index_t A = stuffed_length(oversamplingFactor, L);

    // 3. Full convolution, A + N - 1 samples. A stuffed stream no longer than the filter is refused
    // unless the output is a single sample.
    const std::int64_t n_out = static_cast<std::int64_t>(A) + N - 1;
    if (A <= N && n_out != 1) {
        raise(errid::kConvOrientation,
              "The zero-stuffed stream (" + std::to_string(A) +
                  " samples) must be longer than the filter (" + std::to_string(N) +
                  " taps): pulse shaping needs more than 2 * pulseDelay symbols.");
    }
    result.out = ComplexArray(check_size_argument(static_cast<double>(n_out)));
    // With symbols present, M is a whole number from 1 to M L (checked above).
    const index_t M = L > 0 ? static_cast<index_t>(oversamplingFactor) : 1;
    convolve_stuffed(ShappingIn, M, result.filter, result.out);
    return result;
}

}  // namespace hfchain
