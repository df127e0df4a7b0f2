#include "receiver/demod/symslicer.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

#include "params/modes.hpp"
#include "params/rateconf.hpp"
#include "receiver/demod/colon.hpp"
#include "runtime/checks.hpp"
#include "runtime/numeric.hpp"
#include "transmitter/constellation.hpp"

namespace hfchain {

namespace {

// 2 pi as the double the reference phases are computed with.
constexpr double kTwoPi = 6.2831853071795862;

// Point k of the K-point constellation, exp(j (2 pi k) / K): the phase is the product 2 pi k
// divided by K.
inline cdouble reference_point(index_t k, index_t K) {
    const double phase = kTwoPi * static_cast<double>(k) / static_cast<double>(K);
    return {std::cos(phase), std::sin(phase)};
}

// The distance from y to the point (re, im) as the rule computes it, hypot(|re|, |im|) of the
// difference.
inline double point_distance(cdouble y, double re, double im) {
    return std::hypot(std::fabs(y.real() - re), std::fabs(y.imag() - im));
}

// Constellations of up to this many points are tabulated and searched whole for every symbol;
// larger ones (up to 2^30 points) are neither tabulated nor searched whole (see nearest_of_many).
constexpr index_t kTabulated = 64;

// The K reference points, k = 0 .. K - 1, for K <= kTabulated.
struct Constellation {
    RealArray re;
    RealArray im;
};

Constellation reference_points(index_t K) {
    Constellation points{RealArray(K), RealArray(K)};
    for (index_t k = 0; k < K; ++k) {
        const cdouble r = reference_point(k, K);
        points.re[k] = r.real();
        points.im[k] = r.imag();
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
        const double d = point_distance(y, points.re[k], points.im[k]);
        if (std::isnan(d)) continue;
        if (best < 0 || d < best_distance) {
            best = k;
            best_distance = d;
        }
    }
    return best < 0 ? 0 : best;
}

// The nearest-point rule on K > kTabulated points, without a table and without computing all K
// distances unless it must: the same decision, ties and all.
//
// A y with an infinite part is at distance Inf from every point and one with a NaN part (and no
// infinite one) at distance NaN: both give point 0. For a finite y, let D_k be the exact distance
// to the exact point exp(j 2 pi k / K) and d_k the computed one. The computed phase is within
// 1.7e-15 of 2 pi k / K (2 pi is rounded, then two roundings), cos and sin add an ulp, so the
// computed point lies within 2.7e-15 of the exact one; the subtraction and hypot add at most
// 1.5 eps relative to a distance below R + 1, R = |re y| + |im y|. Hence |d_k - D_k| <= E with
// E = 1e-14 + 4 eps (R + 1), a margin of about three.
//
// D_k grows with the angle between y and the point, from 0 to pi, on either side. atan2 gives
// the angle of y to within 1e-15, so k0 = round(angle K / (2 pi)) is within one of the exact
// nearest point for every K up to 2^31. The points k0 - 1 .. k0 + 1 are evaluated, then the walk
// goes outward on each side and stops on a side at the first point with d_j > best + 2 E, best
// being the smallest distance so far. Every point beyond it on that side (up to the opposite
// point of y) has D >= D_j > best + E >= final best + E, so its computed distance exceeds the
// final best: it can neither win nor tie. Points of equal computed distance are settled by the
// lowest index, as the whole search settles them. For |y| near 1 the walk stops within a few
// points; it grows with |y| (about 1e-3 K points at |y| = 1e10) and covers every point, polling
// the host, once E exceeds the spread 2 min(|y|, 1) of the distances (|y| beyond about 1e15 or
// below about 1e-14, 0 included).
index_t nearest_of_many(cdouble y, index_t K, HostServices& host) {
    constexpr double kEps = std::numeric_limits<double>::epsilon();
    if (!std::isfinite(y.real()) || !std::isfinite(y.imag())) return 0;
    const double R = std::fabs(y.real()) + std::fabs(y.imag());
    const double stop_margin = 2.0 * (1e-14 + 4.0 * kEps * (R + 1.0));
    const auto wrap = [K](std::int64_t k) {
        const std::int64_t r = k % K;
        return static_cast<index_t>(r < 0 ? r + K : r);
    };
    index_t best = -1;
    double best_distance = 0.0;
    const auto consider = [&](index_t k) {
        const cdouble r = reference_point(k, K);
        const double d = point_distance(y, r.real(), r.imag());
        if (best < 0 || d < best_distance || (d == best_distance && k < best)) {
            best = k;
            best_distance = d;
        }
        return d;
    };
    const double turns = std::atan2(y.imag(), y.real()) / kTwoPi;
    const std::int64_t k0 = std::llround(turns * static_cast<double>(K));
    consider(wrap(k0 - 1));
    consider(wrap(k0));
    consider(wrap(k0 + 1));
    std::int64_t evaluated = 3;
    bool up = true;
    bool down = true;
    for (std::int64_t step = 2; (up || down) && evaluated < K; ++step) {
        if (up) {
            up = !(consider(wrap(k0 + step)) > best_distance + stop_margin);
            ++evaluated;
        }
        if (down && evaluated < K) {
            down = !(consider(wrap(k0 - step)) > best_distance + stop_margin);
            ++evaluated;
        }
        if (step % 1024 == 0) host.poll_interrupt();
    }
    return best;
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

// An empty constellation has no minimum; a one-point constellation is only valid for a single
// symbol (the minimum would otherwise run along the wrong dimension).
void check_constellation(index_t K, index_t N) {
    if (K == 0) {
        raise(errid::kMinMaxEmpty, "The constellation has no points to choose from.");
    }
    if (K == 1 && N != 1) {
        raise(errid::kAutoDim, "A one-point constellation cannot decide " + std::to_string(N) +
                                   " symbols: the minimum would run along the symbols.");
    }
}

// Decisions idx - 1 (0-based point numbers) of every received symbol on K points (checked by
// check_constellation), written to `decisions` in order. With `gray_bound`, the first decision of
// 8 or more fails at once the index check on `bina2gray` that the demapping would raise for it,
// before the later symbols are decided.
void decide(const ComplexArray& in, index_t K, double* decisions, bool gray_bound,
            HostServices& host) {
    const index_t N = in.numel();
    if (K > kTabulated) {
        for_each_chunk(
            N, host,
            [&](index_t first, index_t last) {
                for (index_t n = first; n < last; ++n) {
                    const index_t d = nearest_of_many(in[n], K, host);
                    if (gray_bound && d >= 8) check_index(d + 1.0, 8, "bina2gray");
                    decisions[n] = d;
                }
            },
            items_per_poll(kTabulated));
        return;
    }
    const Constellation points = reference_points(K);
    if (K == 8) {
        for_each_chunk(N, host, [&](index_t first, index_t last) {
            for (index_t n = first; n < last; ++n) {
                const int sector = sector_decision(in[n]);
                decisions[n] = sector >= 0 ? sector : nearest_point(in[n], points);
            }
        });
        return;
    }
    for_each_chunk(
        N, host,
        [&](index_t first, index_t last) {
            for (index_t n = first; n < last; ++n) {
                const index_t d = nearest_point(in[n], points);
                if (gray_bound && d >= 8) check_index(d + 1.0, 8, "bina2gray");
                decisions[n] = d;
            }
        },
        items_per_poll(K));
}

// Gray demapping of every decision, then b bits per Gray value.
RealArray demap(const RealArray& decisions, double b, HostServices& host) {
    RealArray gray(decisions.numel());
    for_each_chunk(decisions.numel(), host, [&](index_t first, index_t last) {
        for (index_t i = first; i < last; ++i) {
            gray[i] = kBina2gray[check_index(decisions[i] + 1.0, 8, "bina2gray")];
        }
    });
    return int2bin(gray, b, host);
}

// Demodulation at every rate but 75 bit/s: one decision per symbol on 2^b points.
SymslicerOut general_path(const ComplexArray& DemodulatorIn, double b, HostServices& host) {
    const index_t K = detail::colon_count(0.0, std::pow(2.0, b) - 1.0, "bitsToSym");
    check_constellation(K, DemodulatorIn.numel());
    SymslicerOut result;
    result.DemodOutDemapIn = RealArray(DemodulatorIn.numel());
    decide(DemodulatorIn, K, result.DemodOutDemapIn.data(), true, host);
    result.DemapOut = demap(result.DemodOutDemapIn, b, host);
    return result;
}

// Demodulation at 75 bit/s: symbols decided on 2^(b-1) points, then each block of Ls symbols
// matched against the four channel-symbol sequences of its set.
SymslicerOut path_75(const ComplexArray& DemodulatorIn, const ModeParams& mode, double b,
                     HostServices& host) {
    const index_t N = DemodulatorIn.numel();
    const RealArray& chSymMapping = mode.chSymMapping;

    // The checks that need no decision come first, in the order the steps raise them.
    const index_t K = detail::colon_count(0.0, std::pow(2.0, b - 1.0) - 1.0, "bitsToSym");
    check_constellation(K, N);
    // Blocks of Ls symbols: B = N / Ls must be a whole number, and a block may not be longer than
    // the whole input unless it has one symbol.
    const index_t Ls = chSymMapping.rows();
    const index_t B = check_size_argument(static_cast<double>(N) / static_cast<double>(Ls));
    if (Ls > (N > 1 ? N : 1)) {
        raise(errid::kReshapeEmptyLimit, "Cannot reshape " + std::to_string(N) +
                                             " symbols into blocks of " + std::to_string(Ls) + ".");
    }
    // Every P-th block uses the alternate set (mod(k, 0) = k: P = 0 never does). P is a whole
    // number of blocks (or not finite), so block |P| is the first to use it.
    const double P = alternate_pattern_period(mode);
    if (B > 0) {
        if (Ls == 1) {
            raise(errid::kAutoDim, "Blocks of one symbol cannot be summed along their length.");
        }
        const bool alternate = std::isfinite(P) && P != 0.0 && std::fabs(P) <= B;
        const index_t needed = alternate ? 8 : 4;
        if (chSymMapping.cols() < needed) {
            check_index(chSymMapping.cols() + 1, chSymMapping.cols(), "chSymMapping");
        }
    }

    // 1.-2. First-stage decisions as 8-PSK symbol numbers 4 (idx - 1).
    RealArray aux(N);
    decide(DemodulatorIn, K, aux.data(), false, host);
    for (index_t n = 0; n < N; ++n) aux[n] *= 4.0;

    // 3.-7. Smallest sum of absolute differences over each block of Ls; lowest candidate on exact
    // ties, NaN skipped.
    SymslicerOut result;
    result.DemodOutDemapIn = RealArray(B);
    const auto blocks = [&](index_t k_first, index_t k_last) {
        for (index_t k = k_first; k < k_last; ++k) {
            const index_t first_column = mod(static_cast<double>(k + 1), P) != 0.0 ? 0 : 4;
            const double* block = aux.data() + static_cast<std::ptrdiff_t>(k) * Ls;
            index_t best = -1;
            double best_metric = 0.0;
            for (index_t c = 0; c < 4; ++c) {
                const index_t column =
                    check_index(first_column + c + 1, chSymMapping.cols(), "chSymMapping");
                const double* sequence =
                    chSymMapping.data() + static_cast<std::ptrdiff_t>(column) * Ls;
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
    };
    for_each_chunk(B, host, blocks, items_per_poll(4 * static_cast<std::int64_t>(Ls)));

    // 8. Demapping.
    result.DemapOut = demap(result.DemodOutDemapIn, b, host);
    return result;
}

}  // namespace

SymslicerOut symslicer(const ComplexArray& DemodulatorIn, const ModeParams& mode,
                       HostServices& host) {
    const double b = mode.bitsToSym;
    if (uses_patterns(mode)) return path_75(DemodulatorIn, mode, b, host);
    return general_path(DemodulatorIn, b, host);
}

}  // namespace hfchain
