#include "shaping/rrc_fir.hpp"

#include <cmath>
#include <numbers>

#include "runtime/checks.hpp"

namespace hfchain {

void check_rolloff(double alpha) {
    if (!(alpha > 0.0 && alpha <= 1.0)) raise_message("ERRO! Fator de rolloff invalido.");
}

RealArray rrc_fir(double alpha, double D, double M) {
    constexpr double pi = std::numbers::pi;
    const double n_taps = 2.0 * D * M + 1.0;
    if (!std::isfinite(n_taps) || n_taps != std::floor(n_taps)) {
        raise(errid::kNonInteger, "The filter length 2*pulseDelay*oversamplingFactor + 1 = " +
                                      format_value(n_taps) + " must be a finite whole number.");
    }
    if (n_taps < 0) {
        raise(errid::kNegative, "The filter length 2*pulseDelay*oversamplingFactor + 1 = " +
                                    format_value(n_taps) + " must not be negative.");
    }
    const index_t N = check_size_argument(n_taps);
    RealArray h(N);
    for (index_t n = 0; n < N; ++n) {
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
    return h;
}

RealArray unit_energy_filter(const RealArray& h) {
    const index_t N = h.numel();
    RealArray filter(1, N);
    double energy = 0.0;
    for (index_t i = 0; i < N; ++i) energy += h[i] * h[i];
    if (energy < 0.0) raise(errid::kSqrtDomain, "The filter energy is negative.");
    const double norm = std::sqrt(energy);
    for (index_t i = 0; i < N; ++i) filter[i] = h[i] / norm;
    return filter;
}

}  // namespace hfchain
