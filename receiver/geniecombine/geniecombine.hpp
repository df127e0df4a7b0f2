// The genie receiver: the matched-filter bound, the yardstick no real receiver can beat.
//
// Told the true ray gains by the channel block, it sees each data symbol through all rays
// combined without intersymbol interference, that is with the gain g = sqrt(|h1|^2 + |h2|^2 + ...)
// of the rays at the symbol's instant (a frequency offset turns every ray's phase alike and
// leaves g as it is), and through exactly the noise the real receivers see:
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
                         // (0 for an erased symbol)
    RealArray noiseVar;  // N x 1 error variance of each, N0 / g^2 (at least the smallest
                         // normal double, so that a noiseless channel gives sure bits; +Inf
                         // for an erased symbol)
    RealArray gain;      // N x 1 combined gain g of the two rays at each data symbol
};

inline constexpr const char* kGeniecombineFields[] = {"out", "noiseVar", "gain"};

// The genie's view of the data symbols of one transmission.
//   MultiplexOut: S x 1 transmitted symbols (sendchain's), the preamble and whole frames.
//   raios: (M (S + 2 D)) x P ray gains per sample of the shaped waveform (fadesim's two rays,
//     or hfchannel's P >= 1 paths), or empty for a channel without fading (one ray of gain 1).
//   noise: the channel's noise per sample (fadesim's `noise`), at least M (S + 2 D) samples.
//   EsNodB: Es/N0 of the channel in dB; N0 = 10^(-EsNodB / 10) is the noise variance after the
//     matched filter.
//   mode, varShapping: the parameter sets of the transmission.
// N = frames x data symbols, in unframer's order.
//
// Erasures: a symbol whose error variance N0 / g^2 is infinite, because its combined gain is 0
// (whatever N0, even 0) or so small against the noise that the variance overflows, carries
// nothing: it comes out as 0 with noiseVar +Inf, which softslicer turns into ratios of 0 and
// vitdecode takes as erased bits. Huge finite inputs need no special care: g is formed without
// overflow (through hypot when its square would overflow or lose precision), and a symbol times
// 1e300 stays a finite symbol.
//
// Errors, in this order: a mode the HF receivers do not handle,
// "hfchain:geniecombine:UnsupportedMode"; MultiplexOut not the preamble plus whole frames,
// "hfchain:runtime:SizeMismatch"; a preamSync or probe value that is not finite,
// "hfchain:layout:NonFinite"; M not a whole number of at least 1,
// "hfchain:geniecombine:BadOversampling"; a roll-off outside (0, 1], the pulse design's message; a
// pulse length 2 D M + 1 that is not a whole number, rrc_length's errors; raios neither empty nor
// of M (S + 2 D) rows and at least 1 column, or noise too short, "hfchain:runtime:SizeMismatch"; a
// NaN or infinite value in MultiplexOut, raios or noise, "hfchain:geniecombine:NonFinite", naming
// the element ("raios(17) is NaN + 0i: ..."); an EsNodB that gives no finite noise variance (NaN,
// -Inf, below about -3000 dB), "hfchain:channel:InvalidEsNodB", as fadesim refuses it; a roll-off
// so small that the pulse's taps overflow (4.9e-324), the roll-off message, as pulseshaper
// refuses it; a combined gain beyond the largest double, or a symbol plus its noise over the gain
// that overflows (noise near the largest double, or far larger than N0 says against a tiny
// gain), "hfchain:geniecombine:Overflow".
GeniecombineOut geniecombine(const ComplexArray& MultiplexOut, const ComplexArray& raios,
                             const ComplexArray& noise, double EsNodB, const ModeParams& mode,
                             const VarShapping& varShapping);

}  // namespace hfchain
