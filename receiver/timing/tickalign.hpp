// Symbol-rate sampling of the matched-filter output from a given start sample.
#pragma once

#include "runtime/array.hpp"
#include "runtime/interrupts.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain {

struct TickalignOut {
    ComplexArray out;  // K x 1, one sample per symbol
};

// Takes one sample a symbol from the matched-filter output, starting at FrameStartSample.
//   SyncSymbolIn: L x 1 complex samples at M = oversamplingFactor samples a symbol.
//   FrameStartSample: 1-based sample of the first symbol's sampling instant, a whole number.
//   varShapping: pulseDelay (D) and oversamplingFactor (M); rolloffFactor plays no part.
// The symbol count K is that of the samples clear of both filters' transients, 2 D M at each end:
// K = floor((L - 4 D M - 1) / M) + 1. out(k) = SyncSymbolIn(F + (k - 1) M), reading zeros past
// the end of the input.
// Errors: K = 0 (L < 4 D M + 1, or M = 0), the index check on `dados_sincro_pos`;
// FrameStartSample not whole, NaN or below 1, the integer or index check on `dados_sincro_in`;
// the transient range not whole or outside the input, the integer or index check.
// Polls `host` for interrupts (the default host cannot be interrupted).
TickalignOut tickalign(const ComplexArray& SyncSymbolIn, double FrameStartSample,
                       const VarShapping& varShapping, HostServices& host = no_host());

}  // namespace hfchain
