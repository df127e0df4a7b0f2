#include "receiver/demod/symslicer.hpp"

#include <array>
#include <cmath>
#include <limits>

#include "receiver/demod/colon.hpp"
#include "runtime/checks.hpp"
#include "runtime/numeric.hpp"

namespace hfchain {

namespace {

// 2 pi as the double the reference phases are computed with.
constexpr double kTwoPi = 6.2831853071795862;

// Gray code of each 3-bit decision, v XOR (v >> 1): the inverse of the transmitter's mapping.
constexpr std::array<double, 8> kBina2gray = {0, 1, 3, 2, 6, 7, 5, 4};

// The K reference points exp(j (2 pi k) / K), k = 0 .. K - 1.
struct Constellation {
    RealArray re;
    RealArray im;
};

Constellation reference_points(index_t K) {
    Constellation points{RealArray(K), RealArray(K)};
    for (index_t k = 0; k < K; ++k) {
        const double phase = kTwoPi * static_cast<double>(k) / static_cast<double>(K);
        points.re[k] = std::cos(phase);
        points.im[k] = std::sin(phase);
    }
    return points;
}

// The nearest-point rule: the 0-based index of the smallest distance hypot(|re|, |im|) from y to
// each point. NaN distances are skipped, only a strictly smaller distance replaces the running
// minimum (the lowest point wins exact ties), and all-NaN gives point 0.
index_t nearest_point(cdouble y, const Constellation& points) {
    const index_t K = points.re.numel();
    index_t best = -1;
    double best_distance = 0.0;
    for (index_t k = 0; k < K; ++k) {
        const double d =
            std::hypot(std::fabs(y.real() - points.re[k]), std::fabs(y.imag() - points.im[k]));
        if (std::isnan(d)) continue;
        if (best < 0 || d < best_distance) {
            best = k;
            best_distance = d;
        }
    }
    return best < 0 ? 0 : best;
}

// 8-PSK sector decision with a proof margin, or -1 when y lies too close to a decision boundary
// (or is not finite) for the sector to be sure of matching the nearest-point rule.
//
// Folding y into the first quadrant (the constellation is symmetric about both axes), the
// boundaries there are the lines at 22.5 and 67.5 degrees; g1 and g2 are the signed distances
// from them. If y lies a distance g from the nearest boundary, the nearest point beats every other
// one by at least 4 g sin(pi/8) / (2 (r + 1)) in exact distance, r = |y|. The computed distances
// differ from the exact ones by at most E = 1e-14 + 1e-15 (r + 1): the reference points are off
// by about 1e-15, and the subtraction and hypot add about 1.5 eps relative. A margin
// g > 3 E (r + 1) > E (r + 1) / sin(pi/8) therefore separates the computed distances strictly,
// so the exact rule, ties and all, decides the same point. R = |re| + |im| >= r bounds r, and
// 8 eps R bounds the rounding of g1 and g2 themselves.
int sector_decision(cdouble y) {
    constexpr double kCos = 0.92387953251128674;  // cos(22.5 degrees)
    constexpr double kSin = 0.38268343236508978;  // sin(22.5 degrees)
    constexpr double kEps = std::numeric_limits<double>::epsilon();
    const double ax = std::fabs(y.real());
    const double ay = std::fabs(y.imag());
    const double g1 = ay * kCos - ax * kSin;  // > 0 above the 22.5 degree line
    const double g2 = ay * kSin - ax * kCos;  // > 0 above the 67.5 degree line
    const double R = ax + ay;
    const double threshold = 3.0 * (1e-14 + 1e-15 * (R + 1.0)) * (R + 1.0) + 8.0 * kEps * R;
    if (!(std::fmin(std::fabs(g1), std::fabs(g2)) > threshold)) return -1;  // NaN falls back too
    const int q = g1 < 0.0 ? 0 : (g2 > 0.0 ? 2 : 1);
    const bool left = y.real() < 0.0;
    const bool below = y.imag() < 0.0;
    if (!left) return below ? (8 - q) & 7 : q;
    return below ? 4 + q : 4 - q;
}

// Decisions idx - 1 (0-based point numbers) of every received symbol on K points, written to
// `decisions`. An empty constellation has no minimum; a one-point constellation is only valid
// for a single symbol (the minimum would otherwise run along the wrong dimension).
void decide(const ComplexArray& in, index_t K, double* decisions) {
    const index_t N = in.numel();
    if (K == 0) {
        raise(errid::kMinMaxEmpty, "The constellation has no points to choose from.");
    }
    if (K == 1 && N != 1) {
        raise(errid::kAutoDim, "A one-point constellation cannot decide " + std::to_string(N) +
                                   " symbols: the minimum would run along the symbols.");
    }
    const Constellation points = reference_points(K);
    if (K == 8) {
        for (index_t n = 0; n < N; ++n) {
            const int sector = sector_decision(in[n]);
            decisions[n] = sector >= 0 ? sector : nearest_point(in[n], points);
        }
        return;
    }
    for (index_t n = 0; n < N; ++n) decisions[n] = nearest_point(in[n], points);
}

// Gray demapping of every decision, then b bits per Gray value.
RealArray demap(const RealArray& decisions, double b) {
    RealArray gray(decisions.numel());
    for (index_t i = 0; i < decisions.numel(); ++i) {
        gray[i] = kBina2gray[check_index(decisions[i] + 1.0, 8, "bina2gray")];
    }
    return int2bin(gray, b);
}

// Demodulation at every rate but 75 bit/s: one decision per symbol on 2^b points.
SymslicerOut general_path(const ComplexArray& DemodulatorIn, double b) {
    const index_t K = detail::colon_count(0.0, std::pow(2.0, b) - 1.0, "bitsToSym");
    SymslicerOut result;
    result.DemodOutDemapIn = RealArray(DemodulatorIn.numel());
    decide(DemodulatorIn, K, result.DemodOutDemapIn.data());
    result.DemapOut = demap(result.DemodOutDemapIn, b);
    return result;
}

// Demodulation at 75 bit/s: symbols decided on 2^(b-1) points, then each block of Ls symbols
// matched against the four channel-symbol sequences of its set.
SymslicerOut path_75(const ComplexArray& DemodulatorIn, const Milstd& milstd, double b) {
    const index_t N = DemodulatorIn.numel();
    const RealArray& chSymMapping = milstd.chSymMapping;

    // 1.-2. First-stage decisions as 8-PSK symbol numbers 4 (idx - 1).
    const index_t K = detail::colon_count(0.0, std::pow(2.0, b - 1.0) - 1.0, "bitsToSym");
    RealArray aux(N);
    decide(DemodulatorIn, K, aux.data());
    for (index_t n = 0; n < N; ++n) aux[n] *= 4.0;

    // 3. Blocks of Ls symbols: B = N / Ls must be a whole number, and a block may not be longer
    // than the whole input unless it has one symbol.
    const index_t Ls = chSymMapping.rows();
    const index_t B = check_size_argument(static_cast<double>(N) / static_cast<double>(Ls));
    if (Ls > (N > 1 ? N : 1)) {
        raise(errid::kReshapeEmptyLimit, "Cannot reshape " + std::to_string(N) +
                                             " symbols into blocks of " + std::to_string(Ls) + ".");
    }

    // 4. Every P-th block uses the alternate set (mod(k, 0) = k: P = 0 never does).
    const double P = round_half_away(milstd.interl / 0.2) * 15.0;

    // 5.-7. Smallest sum of absolute differences; lowest candidate on exact ties, NaN skipped.
    SymslicerOut result;
    result.DemodOutDemapIn = RealArray(B);
    for (index_t k = 0; k < B; ++k) {
        if (Ls == 1) {
            raise(errid::kAutoDim, "Blocks of one symbol cannot be summed along their length.");
        }
        const index_t first_column = mod(static_cast<double>(k + 1), P) != 0.0 ? 0 : 4;
        const double* block = aux.data() + static_cast<std::ptrdiff_t>(k) * Ls;
        index_t best = -1;
        double best_metric = 0.0;
        for (index_t c = 0; c < 4; ++c) {
            const index_t column =
                check_index(first_column + c + 1, chSymMapping.cols(), "chSymMapping");
            const double* sequence = chSymMapping.data() + static_cast<std::ptrdiff_t>(column) * Ls;
            double metric = 0.0;
            for (index_t i = 0; i < Ls; ++i) metric += std::fabs(sequence[i] - block[i]);
            if (std::isnan(metric)) continue;
            if (best < 0 || metric < best_metric) {
                best = c;
                best_metric = metric;
            }
        }
        result.DemodOutDemapIn[k] = best < 0 ? 0 : best;
    }

    // 8. Demapping.
    result.DemapOut = demap(result.DemodOutDemapIn, b);
    return result;
}

}  // namespace

SymslicerOut symslicer(const ComplexArray& DemodulatorIn, const Milstd& milstd) {
    const double b = milstd.bitsToSym;
    if (milstd.rate == 75) return path_75(DemodulatorIn, milstd, b);
    return general_path(DemodulatorIn, b);
}

}  // namespace hfchain
