// Soft detector of the 75 bit/s channel patterns: the log-likelihood ratios of the two coded bits
// that each block of Ls = 32 received data symbols carries, from the block's correlations with the
// four patterns it may hold.
//
// Model. The transmitter sends the two coded bits (b1, b2) of a block as the value v =
// gray2bina(2 b1 + b2) of 0..3, that is the pattern of column v + 1 of chSymMapping (v + 5 for
// the alternate set that marks every L-th block), whose symbol numbers p_i go out as the points
// s_i = exp(j 2 pi p_i / 8); the scrambler's rotation is undone by unframer. A block arrives as
//   y_i = h s_i + n_i,   i = 1..Ls,
// with n_i complex white Gaussian noise of variance N0 (E|n_i|^2 = N0) and one channel gain h for
// the block. With the correlations c_v = sum_i y_i conj(s_i) of the block with its four candidate
// patterns (unit-modulus symbols: every pattern has the energy Ls), ln p(y | v) is, up to terms
// that do not depend on v,
//   coherent (h known):                  m_v = 2 Re(conj(h) c_v) / N0
//   noncoherent (|h| = a known, the phase of h unknown and uniform over the circle):
//                                        m_v = ln I0(2 a |c_v| / N0),
// I0 the modified Bessel function of order 0: the average of exp(2 a Re(exp(-j t) c_v) / N0) over
// the phase t. The ratio of each bit, with equal prior probabilities of the four values, is
//   exact:    LLR = ln sum_{v: bit = 0} exp(m_v) - ln sum_{v: bit = 1} exp(m_v)
//   max_log:  LLR = max_{v: bit = 0} m_v - max_{v: bit = 1} m_v,
// where max_log also takes ln I0(x) as x, its largest term over the phase (ln I0(x) = x -
// ln(2 pi x) / 2 + O(1/x)): the noncoherent max-log ratio is 2 a (max |c_v| - max |c_v|) / N0,
// the difference of the largest correlation magnitudes of the two bit values. Positive ratios
// favour 0, as softslicer's.
//
// For one noise variance over the whole transmission, the max-log ratios (either detection) are
// that variance's reciprocal times a fixed function of the symbols, so a Viterbi decoder fed
// with them does not depend on the variance; the exact ratios do.
#pragma once

#include "params/modeconf.hpp"
#include "receiver/softdemod/softslicer.hpp"
#include "runtime/array.hpp"

namespace hfchain {

struct PatternslicerOut {
    RealArray LLR;              // (2 B) x 1: per block, the first coded bit's ratio, then the
                                // second's (symslicer's bit order)
    ComplexArray Correlations;  // 4 x B: c_v of every block for v = 0..3 (rows), the patterns of
                                // the block's own set
};

inline constexpr const char* kPatternslicerFields[] = {"LLR", "Correlations"};

// The checks every detector of the patterns makes of its parameter set: the 75 bit/s rate
// ("hfchain:patternslicer:Rate", the message naming `block`) and chSymMapping of 8 columns of at
// least one row holding whole symbol numbers 0 to 7 ("hfchain:patternslicer:Patterns").
void check_patterns(const ModeParams& mode, const char* block);

// What the detector knows of the channel.
enum class PatternDetection {
    coherent,     // the complex gain h of every block
    noncoherent,  // only its magnitude: the phase is unknown
};

// The coded bits' ratios of every block of the received data symbols.
//   DemodulatorIn: N x 1 received data symbols, descrambled (unframer's out), N = B Ls with Ls
//     the rows of chSymMapping; every value finite. Block k (1-based) uses the alternate set
//     when k is a multiple of alternate_pattern_period(mode), as the transmitter counts.
//   gain: 1 x 1 (every block) or B x 1 (one per block): the complex channel gain h of the block,
//     in the unit of the symbols (1 for unit gain: the matched filter on white noise). The
//     noncoherent detection reads only |h|. Finite; 0 gives ratios of 0.
//   noiseVar: 1 x 1 or B x 1: the complex noise variance N0 of each symbol of the block, in the
//     unit of |y|^2. Positive; +Inf marks an erased block (ratios 0).
//   mode: rate (75), interl (the alternate set's period), chSymMapping (Ls x 8 symbol numbers,
//     whole numbers 0..7).
//   detection, rule: the metric and the combining over the four values, as above.
// The ratios are finite but for a noise variance so small that 2 |h| |c_v| / N0 overflows; they
// are then +-Inf (or 0 on an exact tie of the two bit values), as the max-log ratio.
// Errors, in this order: rate not 75, "hfchain:patternslicer:Rate"; chSymMapping without 8
// columns, without rows, or with an entry that is not a whole number 0..7,
// "hfchain:patternslicer:Patterns"; N not a whole number of blocks,
// "hfchain:patternslicer:PartialBlock"; gain or noiseVar neither 1 x 1 nor B x 1,
// "hfchain:patternslicer:GainSize" / "hfchain:patternslicer:NoiseVarSize"; a gain that is not
// finite, "hfchain:patternslicer:Gain"; a noise variance that is zero, negative or NaN,
// "hfchain:patternslicer:NoiseVar"; a symbol that is not finite,
// "hfchain:patternslicer:NonFinite".
PatternslicerOut patternslicer(const ComplexArray& DemodulatorIn, const ComplexArray& gain,
                               const RealArray& noiseVar, const ModeParams& mode,
                               PatternDetection detection, SoftRule rule = SoftRule::max_log);

// ln I0(x) for x >= 0 (I0 the modified Bessel function of order 0), finite for every finite x:
// the library's I0 below 700, its asymptotic series beyond (error below 5e-13 there).
double log_bessel_i0(double x);

}  // namespace hfchain
