#include "shaping/rrc_fir.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "runtime/checks.hpp"

namespace hfchain {

namespace {

const char* const kBadRolloff = "ERRO! Fator de rolloff invalido.";

// A tap costs a sine, a cosine and a division: about a hundred elementary operations.
constexpr index_t kTapsPerPoll = items_per_poll(100);

}  // namespace

void check_rolloff(double alpha) {
    if (!(alpha > 0.0 && alpha <= 1.0)) raise_message(kBadRolloff);
}

index_t rrc_length(double D, double M) {
    const double n_taps = 2.0 * D * M + 1.0;
    if (!std::isfinite(n_taps) || n_taps != std::floor(n_taps)) {
        raise(errid::kNonInteger, "The filter length 2*pulseDelay*oversamplingFactor + 1 = " +
                                      format_value(n_taps) + " must be a finite whole number.");
    }
    if (n_taps < 0) {
        raise(errid::kNegative, "The filter length 2*pulseDelay*oversamplingFactor + 1 = " +
                                    format_value(n_taps) + " must not be negative.");
    }
    return check_size_argument(n_taps);
}

RealArray rrc_fir(double alpha, double D, double M, HostServices& host) {
    constexpr double pi = std::numbers::pi;
    const index_t N = rrc_length(D, M);
    RealArray h(N);
    for_each_chunk(
        N, host,
        [&](index_t first, index_t last) {
            for (index_t n = first; n < last; ++n) {
                const double t = n / M - D;
                if (static_cast<double>(n) == D * M) {
                    h[n] = (1.0 + pi * (1.0 - alpha) / (4.0 * alpha)) * (4.0 * alpha) /
                           (pi * (1.0 - 16.0 * alpha * alpha * t * t));
                    continue;
                }
                const double q = 16.0 * alpha * alpha * t * t;
                if ((1.0 - q) * (1.0 - q) < 1e-6) {
                    const double a = pi * (1.0 + alpha) / (4.0 * alpha);
                    const double b = pi * (1.0 - alpha) / (4.0 * alpha);
                    h[n] = (-pi * (1.0 + alpha) * std::sin(a) + pi * (1.0 - alpha) * std::cos(b) -
                            4.0 * alpha * std::sin(b)) /
                           (-2.0 * pi);
                } else {
                    h[n] = (4.0 * alpha) / ((1.0 - q) * pi) *
                           (std::sin(pi * t * (1.0 - alpha)) / (4.0 * alpha * t) +
                            std::cos(pi * t * (1.0 + alpha)));
                }
            }
        },
        kTapsPerPoll);
    return h;
}

namespace {

// filter(i) = h(i) / sqrt(sum of h(i)^2), the energy summed in index order; `filter` may be `h`.
void normalise(const double* h, index_t N, double* filter) {
    double energy = 0.0;
    for (index_t i = 0; i < N; ++i) energy += h[i] * h[i];
    if (energy < 0.0) raise(errid::kSqrtDomain, "The filter energy is negative.");
    const double norm = std::sqrt(energy);
    for (index_t i = 0; i < N; ++i) filter[i] = h[i] / norm;
}

}  // namespace

RealArray unit_energy_filter(const RealArray& h) {
    RealArray filter(1, h.numel());
    normalise(h.data(), h.numel(), filter.data());
    return filter;
}

RealArray shaping_filter(double alpha, double D, double M, HostServices& host) {
    // Normalised in place: one array of N taps in all.
    RealArray filter = rrc_fir(alpha, D, M, host);
    const auto finite = [](double v) { return std::isfinite(v); };
    if (!std::all_of(filter.begin(), filter.end(), finite)) raise_message(kBadRolloff);
    normalise(filter.data(), filter.numel(), filter.data());
    if (!std::all_of(filter.begin(), filter.end(), finite)) raise_message(kBadRolloff);
    filter.reshape_in_place(1, filter.numel());
    return filter;
}

}  // namespace hfchain
