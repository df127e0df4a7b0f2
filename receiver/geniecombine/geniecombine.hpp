// The genie receiver: the matched-filter bound, the yardstick no real receiver can beat.
//
// Told the true ray gains by the channel block, it sees each data symbol through both rays
// combined without intersymbol interference, that is with the gain g = sqrt(|h1|^2 + |h2|^2) of
// the two rays at the symbol's instant, and through exactly the noise the real receivers see:
// the channel's own noise, matched-filtered and taken at the symbol's instant of the first ray.
// So y = g s + n, and the genie hands on z = y / g (descrambled) with error variance N0 / g^2, for
// the same soft demapper and decoder as the real receivers. On white noise (no rays) g = 1 and
// the genie is the ideal coherent receiver.
#pragma once

#include "params/modeconf.hpp"
#include "runtime/array.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain {

struct GeniecombineOut {
    ComplexArray out;    // N x 1 data symbols as the genie sees them, descrambled, unit gain
    RealArray noiseVar;  // N x 1 error variance of each, N0 / g^2 (at least the smallest
                         // normal double, so that a noiseless channel gives sure bits)
    RealArray gain;      // N x 1 combined gain g of the two rays at each data symbol
};

inline constexpr const char* kGeniecombineFields[] = {"out", "noiseVar", "gain"};

// The genie's view of the data symbols of one transmission.
//   MultiplexOut: S x 1 transmitted symbols (sendchain's), the preamble and whole frames.
//   raios: (M (S + 2 D)) x 2 ray gains per sample of the shaped waveform (fadesim's), or empty
//     for a channel without fading (both gains then count as one ray of gain 1).
//   noise: the channel's noise per sample (fadesim's `noise`), at least M (S + 2 D) samples.
//   EsNodB: Es/N0 of the channel in dB; N0 = 10^(-EsNodB / 10) is the noise variance after the
//     matched filter.
//   milstd, varShapping: the parameter sets of the transmission.
// N = frames x data symbols, in unframer's order.
// Errors: a mode the HF receivers do not handle, "hfchain:chansound:UnsupportedMode";
// MultiplexOut not the preamble plus whole frames, raios neither empty nor of M (S + 2 D) rows and
// 2 columns, or noise too short, "hfchain:runtime:SizeMismatch"; M not a whole number of at least
// 1, "hfchain:chansound:BadOversampling"; the pulse design's errors.
GeniecombineOut geniecombine(const ComplexArray& MultiplexOut, const ComplexArray& raios,
                             const ComplexArray& noise, double EsNodB, const Milstd& milstd,
                             const VarShapping& varShapping);

}  // namespace hfchain
