// The HF receiver's detector of the 75 bit/s channel patterns, which carry no probes: the channel
// is known from the preamble only, so the patterns themselves have to tell how it moves.
//
// With the symbol-rate model of receiver/chansound/pathtrack.hpp, y(n) = sum_i h(i, n) x(n - i)
// + w(n), a 32-symbol block k holds one of four patterns x_v (v = 0..3, the scrambled points of
// the block's set of chSymMapping).
//
// Pass 0, noncoherent: each path p is read at its strongest tap i_p, where the block's samples
// y(n + i_p) carry b_p g_p x(n) (b_p = basis(i_p, p)) plus the other paths and the noise. With
// the correlations c(v, p) = sum_j conj(x_v(j)) y(n_j + i_p) and a_p = |b_p| sqrt(P_p) (P_p the
// path's mean power), the paths are combined noncoherently, each with its phase unknown:
//     m_v = sum_p ln I0(2 a_p |c(v, p)| / s_p),   s_p = N0 + what the other paths put there,
// (max-log: ln I0(x) taken as x). No phase and no tracking are needed, only the paths' powers.
//
// Then, decision-directed: the blocks' posterior probabilities P(v) = exp(m_v) / sum exp(m_u)
// make soft symbols (mean sum_v P(v) x_v(j), variance 1 - |mean|^2), with which the path tracker
// re-estimates the path gains window by window (one pattern a window) and smooths them, exactly
// as the turbo equaliser does with its decoder's soft symbols.
//
// Pass 1 (and each later one), coherent with soft interference cancellation: with the tracked
// taps h(i, n), the samples a block reaches (its 32 symbols and L - 1 after), less what every
// other block's soft symbols contribute, are compared with each pattern through the channel:
//     m_v = - sum_n |r(n) - sum_i h(i, n) x_v(n - i)|^2 / s(n),
// s(n) the noise, the gains' error and the other blocks' leftover variance at n; the ISI between
// a pattern's own symbols is part of the candidate, so nothing of it is lost. The posteriors of a
// pass feed the next pass's track.
//
// The coded bits of block k are those of the label u = 2 b1 + b2 of value v = gray2bina(u), as
// patternslicer counts them; positive ratios favour 0.
#pragma once

#include "params/modeconf.hpp"
#include "receiver/chansound/sounding.hpp"
#include "receiver/softdemod/softdemap.hpp"
#include "runtime/array.hpp"
#include "runtime/host.hpp"

namespace hfchain {

struct PatterntrackOut {
    RealArray LLR;             // (2 B) x 1 coded-bit ratios of the last pass, block by block
    RealArray noncoherentLLR;  // (2 B) x 1 those of pass 0 (the noncoherent combining)
    ComplexArray out;          // N x 1 (N = 32 B) the channel-matched-filter output of each data
                               // symbol of the last pass, descrambled, unit gain
    RealArray noiseVar;        // N x 1 its error variance (noise and other blocks)
    ComplexArray gains;        // r x Ny path gains of the last track
    RealArray gainVar;         // r x Ny their error variances
    double doppler = 0;        // Doppler spread of the last track, Hz
    double passes = 0;         // coherent passes run
};

inline constexpr const char* kPatterntrackFields[] = {
    "LLR", "noncoherentLLR", "out", "noiseVar", "gains", "gainVar", "doppler", "passes"};

// Detects the patterns of a sounded 75 bit/s transmission.
//   sounding: chansound's result for it (out, basis, gains, gainVar, pathPower, windows,
//     noiseVar, frames).
//   mode: the 75 bit/s parameter set (chSymMapping, interl, preamSync).
//   passes: coherent passes after the noncoherent one, a whole number 0 .. 10 (0: the
//     noncoherent ratios are the result).
//   rule: how each bit's ratio is taken over the four values.
// Errors: a rate other than 75, "hfchain:patternslicer:Rate"; chSymMapping not 8 columns of
// whole symbol numbers 0 to 7, "hfchain:patternslicer:Patterns"; passes outside 0 .. 10 or not
// whole, "hfchain:patterntrack:BadPasses"; a sounding that check_sounding refuses
// (receiver/chansound/sounding.hpp: its basis size, sizes, values and bounds), under
// "hfchain:patterntrack:BadSounding", "hfchain:patterntrack:NonFinite" and
// "hfchain:patterntrack:TooLarge"; those of the layout.
PatterntrackOut patterntrack(const ChansoundOut& sounding, const ModeParams& mode, double passes,
                             SoftRule rule = SoftRule::max_log);

// The patterns of a 75 bit/s transmission entered at an interleaver block, decided without any
// estimate of the channel: what a sounding of the paths takes for known symbols where no
// preamble has measured them (chansound_from_decisions, receiver/chansound/chansound.hpp).
//   MatchedFilterIn: Lmf x 1 matched-filter output at M samples a symbol, turned back by the
//     transmission's frequency offset.
//   BlockStartSample: 1-based sample at which the block's first symbol peaks (blocklock's
//     blockStart: either path's).
//   mode: the 75 bit/s parameter set (chSymMapping, interl); the patterns are counted from the
//     block's first (the scrambler's first symbol, the alternate set closing each block).
//   patterns: how many to decide, at least 0.
// Every sample delay within the largest path spread and a symbol either side of the block start
// is read: each pattern's 32 samples one symbol apart, from that delay, are correlated with its
// four candidates (scrambled as sent). The delays' mean energy over all the patterns is the
// channel's power profile; the delays that stand clear of the noise are combined noncoherently,
// each correlation's energy weighed by what its delay carries, and each pattern is decided as the
// candidate of the largest sum. No phase is needed: a path's energy lands on the pattern sent.
// Returns the decided patterns' points as sent (scrambled), (32 patterns) x 1.
// Errors: those of check_patterns ("hfchain:patternslicer:Rate", "hfchain:patternslicer:Patterns");
// those of the layout; chSymMapping of other than `data` rows, "hfchain:runtime:SizeMismatch";
// BlockStartSample not a whole number within 1..Lmf, the index check.
ComplexArray decide_patterns(const ComplexArray& MatchedFilterIn, double BlockStartSample,
                             const ModeParams& mode, index_t M, index_t patterns);

}  // namespace hfchain
