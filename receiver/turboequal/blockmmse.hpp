// Block MMSE equalisation with soft interference cancellation, one data segment at a time.
//
// A segment is the run of unknown data symbols between two blocks of known symbols. With the
// symbol-rate model y(n) = sum_i h(i, n) x(n - i) + w(n) (see receiver/chansound/pathtrack.hpp),
// the samples the segment reaches, minus what the mean of every symbol contributes, are
//     r = y - H xbar,   of covariance C = H V H^H + W,
// with H the segment's columns of the channel, V the variances of its symbols and W the noise,
// the channel's estimation error and whatever symbols outside the segment leave unknown. For each
// symbol k of the segment, the linear MMSE estimate that ignores the symbol's own prior
// (Tuechler, Koetter and Singer, 2002) is, unbiased,
//     zhat(k) = xbar(k) + h_k^H C^-1 r / g(k),   g(k) = h_k^H C^-1 h_k,
// with error variance 1 / g(k) - v(k) for unit-energy symbols. C is banded (half-bandwidth L - 1),
// so an LDL^H factorisation and the band of C^-1 (Takahashi's recursion) cost O(n L^2) per
// segment: every symbol gets its own exact bias and variance.
//
// Once the decoder is all but sure of a symbol (variance below 0.01, disturbing each sample by
// less than 2 % of the noise), its leftover variance is counted with the noise of the samples it
// reaches instead of coupling them: C then falls apart into runs of coupled samples around the
// uncertain symbols, solved exactly, and single samples, whose inverse is their reciprocal. Late
// turbo passes, where most symbols are sure, cost a fraction of the first.
#pragma once

#include <vector>

#include "runtime/array.hpp"
#include "runtime/complexmath.hpp"

namespace hfchain {

// The channel as the equaliser reads it, for every symbol-rate sample n of a transmission.
struct ChannelView {
    const cdouble* taps = nullptr;      // L x Ny column-major: taps[i + n L] = h(i, n)
    const cdouble* residual = nullptr;  // Ny: y(n) - sum_i h(i, n) xbar(n - i)
    const double* noise = nullptr;      // Ny: noise plus channel-error variance at n
    index_t L = 0;
    index_t Ny = 0;
};

// Work buffers of one equaliser call, sized once for segments of up to `count` symbols and `taps`
// taps.
class BlockMmse {
public:
    BlockMmse(index_t count, index_t taps);

    // Equalises the segment of symbols n0 .. n0 + count - 1 (transmission indices) from the
    // samples y(n0) .. y(n0 + count + L - 2) (cut at Ny).
    //   mean, var: what is known of every transmitted symbol (symbols x 1).
    //   zhat, zvar: count outputs, the unbiased estimates and their error variances.
    void equalise(index_t n0, index_t count, const ChannelView& channel, const ComplexArray& mean,
                  const RealArray& var, cdouble* zhat, double* zvar);

private:
    index_t rows_;                // largest segment's samples
    index_t width_;               // band width b + 1 = L
    std::vector<cdouble> band_;   // C then L: row i holds columns i - b .. i
    std::vector<cdouble> zfull_;  // rows of C^-1: row i holds columns i - b .. i + b
    std::vector<double> d_;
    std::vector<cdouble> r_;
    std::vector<unsigned char> coupled_;  // rows that a not-yet-certain symbol reaches
    std::vector<cdouble> tmp_;
    std::vector<cdouble> acc_;
    // The factorisation's multipliers and the inverse's sums two lanes at a time
    // (runtime/complexmath.hpp): a multiplier as lanes and turned, the sums as lanes.
    std::vector<cpair> mult_, mult_turned_, sums_;
};

}  // namespace hfchain
