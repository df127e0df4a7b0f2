// Soft demapper: log-likelihood ratios of the coded bits carried by each received data symbol.
#pragma once

#include "params/modeconf.hpp"
#include "receiver/softdemod/softdemap.hpp"
#include "runtime/array.hpp"

namespace hfchain {

struct SoftslicerOut {
    RealArray LLR;  // (b N) x 1, in symslicer's bit order; LLR = ln P(bit=0|y) / P(bit=1|y)
};

inline constexpr const char* kSoftslicerFields[] = {"LLR"};

// Log-likelihood ratios of the b = mode.bitsToSym bits of each received data symbol (the one
// soft demapper of softdemap.hpp, without priors), for the
// points and labels the transmitter uses: the b-bit value v is sent on the 8-PSK point of phase
// 2 pi gray2bina(v) 2^(3 - b) / 8 (all eight phases for b = 3, the even ones for b = 2, phases 0
// and 4 for b = 1). For a symbol y with noise variance N0 the likelihood of point x is
// exp(-|y - x|^2 / N0); the ratio of bit i of symbol n is, for max_log,
//   LLR = (min over points with bit i = 1 of |y - x|^2 - min over points with bit i = 0) / N0,
// and for exact, ln of the sum of the likelihoods of the points with bit i = 0 over that of those
// with bit i = 1. Positive values favour 0. With max_log the sign is that of symslicer's bit
// except within rounding of a decision boundary (on one, the ratio is 0). A ratio may overflow to
// +-Inf (a sure bit) only for a noise variance near the smallest doubles.
//   DemodulatorIn: N x 1 received data symbols (unit-energy constellation), as unframer gives
//     them; every value finite.
//   noiseVar: 1 x 1 (every symbol) or N x 1 (one per symbol): the total complex noise variance
//     N0 of each symbol, the same unit as |y|^2 (N0 = 10^(-EsNodB / 10) for unit Es). Positive;
//     +Inf marks an erased symbol, whose ratios are all 0.
//   mode: reads rate and bitsToSym.
// LLR holds b values per symbol, symbols in order, bits most significant first, the order of
// symslicer's DemapOut.
// Errors, in this order: rate 75, "hfchain:softslicer:Rate75" (its symbols are channel
// patterns, not Gray points); bitsToSym not 1, 2 or 3, "hfchain:softslicer:BitsToSym"; noiseVar
// neither 1 x 1 nor N x 1, "hfchain:softslicer:NoiseVarSize"; a noiseVar value that is zero,
// negative or NaN, "hfchain:softslicer:NoiseVar"; a symbol that is not finite,
// "hfchain:softslicer:NonFinite".
SoftslicerOut softslicer(const ComplexArray& DemodulatorIn, const RealArray& noiseVar,
                         const ModeParams& mode, SoftRule rule = SoftRule::max_log);

}  // namespace hfchain
