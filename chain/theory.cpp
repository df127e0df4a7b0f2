#include "chain/theory.hpp"

#include <bit>
#include <cmath>
#include <numbers>
#include <string>

#include "runtime/error.hpp"

namespace hfchain {

namespace {

double phase_density(double t, double g) {
    const double c = std::cos(t);
    const double s = std::sin(t);
    return std::exp(-g) / (2 * std::numbers::pi) + 0.5 * std::sqrt(g / std::numbers::pi) * c *
                                                       std::exp(-g * s * s) *
                                                       (1 + std::erf(std::sqrt(g) * c));
}

// Probability that the received phase lies in the sector k steps away from the sent point.
double sector_probability(int k, double g) {
    constexpr int n = 512;  // Simpson intervals per sector (even)
    const double a = (2 * k - 1) * std::numbers::pi / 8;
    const double h = (std::numbers::pi / 4) / n;
    double sum = phase_density(a, g) + phase_density(a + n * h, g);
    for (int i = 1; i < n; ++i) sum += (i % 2 == 1 ? 4 : 2) * phase_density(a + i * h, g);
    return sum * h / 3;
}

// Mean Hamming distance between the Gray labels of two points k steps apart.
double mean_label_distance(int k) {
    int total = 0;
    for (unsigned s = 0; s < 8; ++s) {
        const unsigned t = (s + static_cast<unsigned>(k)) % 8;
        total += std::popcount((s ^ (s >> 1)) ^ (t ^ (t >> 1)));
    }
    return total / 8.0;
}

}  // namespace

double ber_8psk_gray(double EsNodB) {
    // The rate is exactly 0 in double precision well below 1000 dB; from about 3083 dB on (and
    // without noise, +inf) Es/N0 overflows and the integrals would give NaN.
    if (EsNodB > 1000) return 0;
    const double g = std::pow(10.0, EsNodB / 10);
    double ber = 0;
    for (int k = 1; k < 8; ++k) ber += sector_probability(k, g) * mean_label_distance(k);
    return ber / 3;
}

double ber_psk_gray(int bits, double EsNodB) {
    if (bits == 3) return ber_8psk_gray(EsNodB);
    if (bits != 1 && bits != 2) {
        raise("hfchain:theory:Constellation",
              "The theory knows 2-, 4- and 8-PSK (1 to 3 bits a symbol); " + std::to_string(bits) +
                  " bits a symbol were asked for.");
    }
    if (EsNodB > 1000) return 0;
    const double g = std::pow(10.0, EsNodB / 10);
    // Q(x) = erfc(x / sqrt 2) / 2 with x = sqrt(2 g) (2-PSK) or sqrt(g) (4-PSK).
    return 0.5 * std::erfc(std::sqrt(bits == 1 ? g : g / 2));
}

int theory_bits(const ModeParams& mode) {
    return mode.trein > 0 ? static_cast<int>(mode.bitsToSym) : 0;
}

}  // namespace hfchain
