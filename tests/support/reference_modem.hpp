// A reference simulation of the coded data rates on white noise at symbol level, written from the
// transmitter's rules alone (code, repetition, interleaver, Gray mapping, the 75 bit/s patterns)
// and decoded with the straightforward Viterbi decoder of reference_viterbi.hpp: the yardstick the
// decoded white-noise points of run_road's baseline receiver are held to. It shares no code with
// the transmitter or the receiver blocks.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <vector>

#include "runtime/array.hpp"
#include "runtime/builtin_host.hpp"
#include "tests/support/reference_viterbi.hpp"

namespace hfchain::reference {

// What a coded rate sends, with the 0.6 s interleaver.
struct CodedRate {
    double rate;
    int bitsPerSymbol;  // 1, 2, 3; 2 at 75 bit/s, where the pair chooses a pattern
    int repetitions;    // copies of each coded bit
    int rows, cols;     // interleaver geometry
    bool patterns;      // each pair of coded bits sent as a 32-symbol pattern, no probes
};

inline constexpr CodedRate kCodedRates[] = {
    {2400, 3, 1, 40, 72, false}, {1200, 2, 1, 40, 36, false}, {600, 1, 1, 40, 18, false},
    {300, 1, 2, 40, 18, false},  {150, 1, 4, 40, 18, false},  {75, 2, 1, 10, 9, true}};

inline const CodedRate& coded_rate(double rate) {
    for (const CodedRate& r : kCodedRates) {
        if (r.rate == rate) return r;
    }
    std::abort();
}

// The interleaver of one block as a gather, out[k] = in[fetch[k]]: bits are loaded column by
// column, each into the row 9 further on (modulo the rows), and fetched row by row, each from the
// column 17 back (modulo the columns), starting each pass over the rows one column further on.
inline std::vector<int> interleaver_fetch(int rows, int cols) {
    std::vector<int> loaded(static_cast<std::size_t>(rows) * cols);
    for (int i = 0; i < rows * cols; ++i) loaded[(9 * i) % rows + rows * (i / rows)] = i;
    std::vector<int> fetch;
    int start = 0;
    for (int pass = 0; pass < cols; ++pass, ++start) {
        int col = start;
        for (int row = 0; row < rows; ++row) {
            fetch.push_back(loaded[row + rows * col]);
            col = ((col - 17) % cols + cols) % cols;
        }
    }
    return fetch;
}

// Gray mapping of a b-bit value u (first bit most significant) onto the 8-PSK symbol numbers.
inline constexpr int kGray[8] = {0, 1, 3, 2, 7, 6, 4, 5};

inline cdouble psk_point(int u, int b) {
    return std::polar(1.0, std::numbers::pi * kGray[u] * (1 << (3 - b)) / 4);
}

// Symbol i of the 32-symbol pattern of column c (0..7): Walsh function c of 8 symbols, repeated,
// as the points 1 (symbol number 0) and -1 (number 4).
inline double pattern_symbol(int c, int i) {
    int parity = 0;
    for (int x = c & (i % 8); x != 0; x >>= 1) parity ^= x & 1;
    return parity ? -1.0 : 1.0;
}

// Decoded information-bit errors of one transmission of `blocks` interleaver blocks at Es/N0
// `EsNodB` (data symbols of unit energy, complex noise of variance N0), with max-log ratios (the
// 75 bit/s patterns detected noncoherently); seeded by `seed`.
struct Outcome {
    double bits = 0;
    double errors = 0;
};

inline Outcome run_coded(const CodedRate& r, int blocks, double EsNodB, double seed) {
    const int b = r.bitsPerSymbol;
    const int R = r.repetitions;
    const int T = r.rows * r.cols;
    const int steps = blocks * T / (2 * R);  // encoder input bits, flush included
    const int K = steps - 144;
    BuiltinHost host(seed);

    // Information bits, flush zeros; coded pairs, each repeated R times.
    std::vector<int> message(steps, 0);
    const RealArray u = host.rand(K);
    for (int k = 0; k < K; ++k) message[k] = u[k] < 0.5 ? 0 : 1;
    std::vector<int> coded;
    int reg = 0;
    for (int t = 0; t < steps; ++t) {
        for (int copy = 0; copy < R; ++copy) {
            coded.push_back(coded_bit(0, reg, message[t]));
            coded.push_back(coded_bit(1, reg, message[t]));
        }
        reg = (message[t] << 5) | (reg >> 1);
    }

    // Interleaving, block by block.
    const std::vector<int> fetch = interleaver_fetch(r.rows, r.cols);
    std::vector<int> sent(coded.size());
    for (int blk = 0; blk < blocks; ++blk) {
        for (int k = 0; k < T; ++k) sent[blk * T + k] = coded[blk * T + fetch[k]];
    }

    // Symbols (the 75 bit/s patterns: 32 a value, the alternate set on every 45th), white noise,
    // and max-log ratios in transmission order.
    const double N0 = std::pow(10.0, -EsNodB / 10);
    const int values = static_cast<int>(sent.size()) / b;
    const bool patterns = r.patterns;
    const int per_value = patterns ? 32 : 1;
    const RealArray re = host.randn(values * per_value, 1);
    const RealArray im = host.randn(values * per_value, 1);
    const double sd = std::sqrt(N0 / 2);
    std::vector<double> llr(sent.size());
    for (int n = 0; n < values; ++n) {
        int value = 0;
        for (int j = 0; j < b; ++j) value = 2 * value + sent[b * n + j];
        if (patterns) {
            const int column = kGray[value] + ((n + 1) % 45 == 0 ? 4 : 0);
            double magnitude[4];
            for (int v = 0; v < 4; ++v) {
                cdouble c = 0;
                for (int i = 0; i < 32; ++i) {
                    const int m = 32 * n + i;
                    const cdouble y = pattern_symbol(column, i) + sd * cdouble(re[m], im[m]);
                    c += y * pattern_symbol(v + ((n + 1) % 45 == 0 ? 4 : 0), i);
                }
                magnitude[v] = std::abs(c);
            }
            for (int j = 0; j < 2; ++j) {
                double best[2] = {-1, -1};
                for (int w = 0; w < 4; ++w) {
                    const int bit = (w >> (1 - j)) & 1;
                    best[bit] = std::max(best[bit], magnitude[kGray[w]]);
                }
                llr[2 * n + j] = 2 * (best[0] - best[1]) / N0;
            }
            continue;
        }
        const cdouble y = psk_point(value, b) + sd * cdouble(re[n], im[n]);
        for (int j = 0; j < b; ++j) {
            double nearest[2] = {INFINITY, INFINITY};
            for (int w = 0; w < (1 << b); ++w) {
                const int bit = (w >> (b - 1 - j)) & 1;
                nearest[bit] = std::min(nearest[bit], std::norm(y - psk_point(w, b)));
            }
            llr[b * n + j] = (nearest[1] - nearest[0]) / N0;
        }
    }

    // Deinterleaving, the copies of each coded bit added, decoding.
    std::vector<double> in_order(llr.size());
    for (int blk = 0; blk < blocks; ++blk) {
        for (int k = 0; k < T; ++k) in_order[blk * T + fetch[k]] = llr[blk * T + k];
    }
    std::vector<double> pairs(2 * static_cast<std::size_t>(steps), 0.0);
    for (int t = 0; t < steps; ++t) {
        for (int copy = 0; copy < R; ++copy) {
            pairs[2 * t] += in_order[2 * R * t + 2 * copy];
            pairs[2 * t + 1] += in_order[2 * R * t + 2 * copy + 1];
        }
    }
    const Decoded d = decode(pairs.data(), steps, true);
    Outcome o;
    o.bits = K;
    for (int k = 0; k < K; ++k) o.errors += d.bits[k] != message[k];
    return o;
}

}  // namespace hfchain::reference
