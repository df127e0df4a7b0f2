// A straightforward Viterbi decoder of the rate-1/2 code with generators 133 and 171 (octal), in
// double precision, written from the generator taps alone: the reference the tests hold the
// decoder to, the yardstick of the decoder benchmarks and the unquantised decoder of the
// quantisation-loss measurement.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "runtime/array.hpp"

namespace hfchain::reference {

// Taps of the two generators, current bit first.
inline constexpr int kTaps[2][7] = {{1, 0, 1, 1, 0, 1, 1}, {1, 1, 1, 1, 0, 0, 1}};

// The register holds the six previous input bits, u(k - 1) in bit 5 down to u(k - 6) in bit 0.
inline int coded_bit(int generator, int reg, int u) {
    int sum = kTaps[generator][0] * u;
    for (int j = 1; j <= 6; ++j) sum += kTaps[generator][j] * ((reg >> (6 - j)) & 1);
    return sum & 1;
}

// Cost of sending the coded bits (c0, c1) given their log-likelihood ratios (positive favours 0).
inline double branch_cost(int c0, int c1, double l0, double l1) {
    return (c0 != 0 ? l0 : -l0) + (c1 != 0 ? l1 : -l1);
}

struct Decoded {
    RealArray bits;        // decoded input bits
    double cost = 0;       // total cost of the decoded path
    index_t pathTies = 0;  // nodes on the decoded path whose two candidates cost the same
};

// Decodes `steps` steps of the pairs (l0, l1) = (pairs[2 t], pairs[2 t + 1]) from state 0, ending
// in state 0 when `terminated`, else in the cheapest state (the lowest register on ties).
inline Decoded decode(const double* pairs, index_t steps, bool terminated) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    std::vector<double> cost(64, kInf);
    std::vector<double> next(64);
    std::vector<std::int8_t> from(static_cast<std::size_t>(steps) * 64);  // oldest bit of survivor
    std::vector<std::int8_t> tie(static_cast<std::size_t>(steps) * 64);
    // Coded pair 2 c0 + c1 of every register and input bit.
    int pair[64][2];
    for (int reg = 0; reg < 64; ++reg) {
        for (int u = 0; u < 2; ++u) pair[reg][u] = 2 * coded_bit(0, reg, u) + coded_bit(1, reg, u);
    }
    cost[0] = 0;
    for (index_t t = 0; t < steps; ++t) {
        const double l0 = pairs[2 * t];
        const double l1 = pairs[2 * t + 1];
        for (int reg = 0; reg < 64; ++reg) {
            const int u = reg >> 5;  // newest bit of the new register
            double candidate[2];
            for (int oldest = 0; oldest < 2; ++oldest) {
                const int prev = ((reg << 1) & 63) | oldest;
                const int p = pair[prev][u];
                candidate[oldest] = cost[prev] + branch_cost(p >> 1, p & 1, l0, l1);
            }
            const int best_oldest = candidate[1] < candidate[0] ? 1 : 0;
            const double best = candidate[best_oldest];
            const bool equal = candidate[0] == candidate[1];
            next[reg] = best;
            from[static_cast<std::size_t>(t) * 64 + reg] = static_cast<std::int8_t>(best_oldest);
            tie[static_cast<std::size_t>(t) * 64 + reg] = equal ? 1 : 0;
        }
        cost.swap(next);
    }
    Decoded d;
    d.bits = RealArray(steps);
    int reg = 0;
    if (!terminated) {
        for (int r = 1; r < 64; ++r) {
            if (cost[r] < cost[reg]) reg = r;
        }
    }
    d.cost = cost[reg];
    for (index_t t = steps - 1; t >= 0; --t) {
        const std::size_t node = static_cast<std::size_t>(t) * 64 + reg;
        d.bits[t] = reg >> 5;
        d.pathTies += tie[node];
        reg = ((reg << 1) & 63) | from[node];
    }
    return d;
}

// Total cost of the path of input bits `bits` from state 0 under the same pairs.
inline double path_cost(const double* pairs, const RealArray& bits) {
    double total = 0;
    int reg = 0;
    for (index_t t = 0; t < bits.numel(); ++t) {
        const int u = bits[t] != 0 ? 1 : 0;
        total +=
            branch_cost(coded_bit(0, reg, u), coded_bit(1, reg, u), pairs[2 * t], pairs[2 * t + 1]);
        reg = (u << 5) | (reg >> 1);
    }
    return total;
}

}  // namespace hfchain::reference
