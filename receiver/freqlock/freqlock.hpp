// Carrier frequency acquisition for the HF receiver: the frequency offset of the whole received
// signal, from the preamble, and the matched-filter output turned back by it.
//
// Why. framelock correlates 288 preamble symbols (0.12 s) coherently: an offset of f Hz turns
// the signal's phase by 2 pi f 0.12 over its window (9 turns at 75 Hz), and the correlation
// vanishes; the channel sounder's smoother, for its part, expects path gains that move only as
// fast as the Doppler spread lets them.
//
// Method, with x(n) the matched-filter output at M samples a symbol (T = 1 / 2400 s), p_k the
// scrambled preamble points and a window w (0-based) holding the samples w, w + M, w + 2 M, ...:
//  1. Coarse search. The correlations of segments of S = 8 symbols with the preamble,
//     c_j(w) = sum over k of segment j of x(w + k M) conj(p_k), and their differential sum
//     D(w) = sum over j of c_{j+1}(w) conj(c_j(w)), first over the first 288 symbols for every
//     window of framelock's range (w = 0 .. 288 M - 1), then over N = min(1440, preamble)
//     symbols for the 16 windows of the largest |D|. A segment lasts 3.3 ms, so at 75 Hz its
//     phase turns a quarter turn (a loss under 1 dB), and the phase step between segments,
//     2 pi f S T, stays within +-pi for any |f| < 1 / (2 S T) = 150 Hz. The candidate of the
//     largest |D| over N symbols holds the preamble (the noise terms of D have mean zero: no floor
//     biases the choice, whatever the offset), and arg D / (2 pi S T) is the coarse offset.
//  2. Fine estimate. With the coarse offset taken out, the same differential sum with segments of
//     F = 48 symbols over the whole preamble, added over the symbol-spaced taps within
//     kMaxPathSpread symbols of the coarse window whose 288-symbol |D| reaches a quarter of the
//     largest (the paths): each path counts by its power, so the estimate is the power-weighted
//     mean frequency of the paths, Doppler shifts included, and the sounder's smoother follows what
//     each path does beyond it. The residual is unambiguous within 1 / (2 F T) = 25 Hz of the
//     coarse value.
//  3. out(n) = x(n) exp(-j 2 pi f n / (2400 M)), n = 0, 1, ... (no turn at all when f is 0).
//  4. framelock on `out` gives the start exactly as it does on a signal without offset.
// Impulses: steps 1, 2 and 4 read the input with the samples that impulseblank finds (far above
// its median magnitude: a static crash, matched-filtered) set to 0, so that one sample cannot
// rule the sums; `out` is the whole input turned back. Ordinary signals have no such sample.
// Precision: with a steady path the differential sum telescopes, and the offset's standard
// deviation is about 1 / (2 pi F T (K - 1) sqrt(rho F)) Hz for K segments and an Es/N0 rho
// (0.01 Hz at 10 dB over 1440 symbols). Through fading the estimate is the mean frequency the
// paths had over the preamble, which can lie anywhere within their Doppler spread.
#pragma once

#include "params/modeconf.hpp"
#include "runtime/array.hpp"
#include "runtime/host.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain {

// Offsets the coarse search tells apart, Hz: beyond +-kFreqlockRange an offset aliases.
inline constexpr double kFreqlockRange = 150;

struct FreqlockOut {
    RealArray start;          // 1 x 1 framelock's 1-based start in `out`, or empty (no preamble)
    double offset = 0;        // the estimated offset f, Hz, by which `out` is turned back
    double coarseOffset = 0;  // step 1's estimate, Hz
    double coarseStart = 0;   // step 1's window, 1-based sample of x
    ComplexArray out;         // Lmf x 1 the matched-filter output turned back by `offset`
};

inline constexpr const char* kFreqlockFields[] = {"start", "offset", "coarseOffset", "coarseStart",
                                                  "out"};

// Acquires the frequency offset and the start of one received transmission.
//   MatchedFilterIn: Lmf x 1 complex matched-filter output (pulsematch's out) at M samples a
//     symbol; Lmf >= 575 M, as framelock.
//   mode: preamSync, at least 1440 symbols (framelock's rule). varShapping: oversamplingFactor M.
// A signal without any trace of the preamble (all zeros, say) gives offset 0, `out` equal to the
// input and framelock's result on it.
// Errors: M not a whole number of at least 1, "hfchain:freqlock:BadOversampling"; preamSync under
// 1440 symbols, the index check on `mode.preamSync`; a preamSync value that is not finite,
// "hfchain:layout:NonFinite", or not a symbol number 0 to 7, "hfchain:layout:BadPreamble"; Lmf <
// 575 M, "hfchain:freqlock:TooShort"; a sample that is NaN or infinite,
// "hfchain:freqlock:NonFinite", or beyond kLargestSample in magnitude, "hfchain:freqlock:TooLarge",
// both naming the sample.
FreqlockOut freqlock(const ComplexArray& MatchedFilterIn, const ModeParams& mode,
                     const VarShapping& varShapping);

// The same, polling host.poll_interrupt() between its steps: an interrupt abandons the call with
// the host's error.
FreqlockOut freqlock(const ComplexArray& MatchedFilterIn, const ModeParams& mode,
                     const VarShapping& varShapping, HostServices& host);

// Step 3: x turned back by an offset of f Hz at M samples a symbol, x(n) exp(-j 2 pi f n /
// (2400 M)) (x itself when f is 0).
ComplexArray turned_back(const ComplexArray& x, double f, index_t M);

}  // namespace hfchain
