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
#pragma once

#include <vector>

#include "runtime/array.hpp"

namespace hfchain {

// Work buffers of one equaliser call, sized once for segments of up to `samples` samples and
// `taps` taps.
class BlockMmse {
public:
    BlockMmse(index_t samples, index_t taps);

    // Equalises one segment.
    //   n0, count: the segment's symbols are n0 .. n0 + count - 1 (transmission indices); its
    //     samples y(n0) .. y(n0 + count + L - 2), cut at Ny.
    //   y: Ny x 1. basis: L x r. gains, gainVar: r x Ny, the channel at each sample.
    //   mean, var: symbols x 1, the mean and variance of every transmitted symbol.
    //   N0: noise variance.
    //   zhat, zvar: count outputs, the unbiased estimates and their error variances.
    void equalise(index_t n0, index_t count, const ComplexArray& y, const ComplexArray& basis,
                  const ComplexArray& gains, const RealArray& gainVar, const ComplexArray& mean,
                  const RealArray& var, double N0, cdouble* zhat, double* zvar);

private:
    index_t samples_;
    index_t taps_;
    std::vector<cdouble> h_;     // taps at each segment sample: L x samples
    std::vector<cdouble> band_;  // lower band of C, then of L: samples x taps
    std::vector<double> d_;      // D of LDL^H
    std::vector<cdouble> z_;     // upper band of C^-1: samples x taps
    std::vector<cdouble> r_;     // residual, then C^-1 r
};

}  // namespace hfchain
