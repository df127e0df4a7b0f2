// Impulse blanking: received samples far above the signal's robust level (a static crash, an
// impulse) are set to 0 before the matched filter, and the data symbols they reach are marked
// as erasures.
//
// Why. One sample a million times the signal's RMS, matched-filtered, swamps a dozen symbols
// and every estimate that sums over them (a frame start, a frequency offset, a noise variance, a
// decoder's scale). Zeroing it costs the symbol that peaks there about a quarter of its amplitude,
// its neighbours less; marked as erasures they cost the decoder nothing it cannot make up.
//
// Level. The top L of the power-of-two range [L / 2, L) that holds the median of |x|^2 over every
// third sample of the signal (counted by range, without sorting): one impulse, or any share of
// samples under half, cannot move it. A sample is blanked when |x|^2 exceeds kBlankRatio^2 L, that
// is |x| above 30 to 42 times the median magnitude (25 to 35 times the RMS of white noise). No
// ordinary signal comes near: the shaped 8-PSK signal peaks at about twice its median magnitude,
// white noise exceeds 30 times its median magnitude with probability 2^-900, and a Rayleigh-fading
// path's power exceeds 900 times its median with probability e^-620; over trials of every
// condition at Es/N0 -5 to 40 dB the largest sample stays under a quarter of the threshold
// (bench/impulse_bits prints it).
#pragma once

#include <vector>

#include "params/modeconf.hpp"
#include "runtime/array.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain {

// Magnitude, in units of sqrt(L) (L as above), above which a sample is blanked.
inline constexpr double kBlankRatio = 30;

// The level reads every kLevelStride-th sample (a stride prime to the usual samples a symbol).
inline constexpr index_t kLevelStride = 3;

struct ImpulseblankOut {
    std::vector<index_t> samples;  // 0-based positions of the blanked samples, ascending
    double level = 0;  // L, the top of the power-of-two range holding the median of |x|^2 (0:
                       // none, when that median is 0, subnormal, infinite or NaN)
    double peak = 0;   // the largest |x|^2 over L (0 without a level; NaN samples unseen)
};

// Finds the samples of `x` to blank: finite samples with |x|^2 > kBlankRatio^2 L. NaN and
// infinite samples are not blanked (the blocks after refuse them); a signal with half or more of
// its samples 0 has no level, and nothing is blanked.
ImpulseblankOut impulseblank(const ComplexArray& x);

// `x` with the samples `samples` (0-based; those outside x are ignored) set to 0.
ComplexArray blanked(const ComplexArray& x, const std::vector<index_t>& samples);

// The data symbols (0-based, in unframer's order) that blanked samples reach: those whose
// matched-filter peak, read through any of the paths in `peaks`, lies within one symbol of a
// blanked sample (further away the pulse is under a tenth of its peak, and the zeroed sample
// takes a few hundredths of the symbol).
//   samples: 0-based blanked samples of the received signal (before the matched filter).
//   peaks: 1-based samples of the matched-filter output at which the first transmitted symbol
//     peaks, one a path (framelock's start; the sounder's path delays; 2 D M + 1 for the genie).
//   varShapping: pulseDelay D and oversamplingFactor M; mode: preamSync (its length), data,
//     trein (at 75 bit/s every frame symbol is a data symbol, as unframer counts them).
//   count: the data symbols received; later ones are not returned.
// Ascending, without repeats. A shaping or frame that the blocks would refuse gives none.
std::vector<index_t> reached_data_symbols(const std::vector<index_t>& samples,
                                          const RealArray& peaks, const VarShapping& varShapping,
                                          const ModeParams& mode, index_t count);

}  // namespace hfchain
