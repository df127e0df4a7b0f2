// The soft demapper of every receiver: log-likelihood ratios of the coded bits that received
// symbols carry, over the transmitter's constellation (transmitter/constellation.hpp), with or
// without a-priori ratios of the bits.
//
// For a symbol y of noise variance N0 the likelihood of point x_v is exp(-|y - x_v|^2 / N0). The
// points have unit energy, so |y - x_v|^2 = |y|^2 + 1 - 2 c_v with the correlation
// c_v = Re(y conj(x_v)), and the likelihoods are in the ratios of exp(2 c_v / N0). A-priori
// ratios a_l = ln P(bit l = 0) / P(bit l = 1) of the symbol's bits weigh point v further by
// exp(sum over l of +-a_l / 2) (+ where bit l of v is 0): with
//     m_v = 2 c_v / N0 + sum over l of +-a_l / 2,
// the ratio of bit i is
//     exact:   ln (sum over v with bit i = 0 of exp(m_v)) - ln (same over bit i = 1) - a_i,
//     max_log: max over v with bit i = 0 of m_v - max over bit i = 1 of m_v - a_i.
// Taking a_i away leaves the extrinsic ratio (what the symbol and the other bits' priors say of
// bit i), the one an iterative receiver passes on; without priors every a is 0. Each sum is taken
// relative to its own largest term, so neither side underflows however far the symbol lies from
// it, and a ratio is exact up to rounding at any signal-to-noise ratio.
#pragma once

#include "runtime/array.hpp"
#include "transmitter/constellation.hpp"

namespace hfchain {

// The smallest noise variance an estimate of it reports, relative to a unit-energy symbol: 120 dB
// below the signal, beyond any signal-to-noise ratio that can be measured, yet 2 / N0 stays
// finite.
inline constexpr double kMinNoiseVar = 1e-12;

// How the ratio of a bit is taken over the points: `max_log` keeps the likeliest point of each
// bit value, `exact` sums over all of them.
enum class SoftRule { max_log, exact };

// Ratios of the b = points.bits bits of N symbols.
//   points: the constellation the symbols were sent on.
//   y: N received symbols, unit gain (finite: the caller checks).
//   noiseVar: the noise variance N0 of symbol n at noiseVar[n * noiseStride] (stride 0: one for
//     all). Positive; +Inf marks an erased symbol, whose (extrinsic) ratios are all 0.
//   prior: null, or b N a-priori ratios, b per symbol, most significant bit first.
//   llr: b N outputs in the same order, ln P(0) / P(1) (positive favours 0). A ratio overflows
//     to +-Inf (a sure bit) only for a noise variance near the smallest doubles.
// Symbols beyond 1e300 in magnitude are scaled down before the correlations, which could
// otherwise overflow. No errors.
void soft_demap(const Constellation& points, SoftRule rule, index_t N, const cdouble* y,
                const double* noiseVar, index_t noiseStride, const double* prior, double* llr);

}  // namespace hfchain
