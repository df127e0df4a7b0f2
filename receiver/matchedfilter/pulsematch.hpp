// Receive matched filter: the same unit-energy root-raised-cosine taps as the transmit filter.
#pragma once

#include "runtime/array.hpp"
#include "runtime/interrupts.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain {

struct PulsematchOut {
    RealArray filter;        // 1 x N taps
    double filterDelay = 0;  // delay of one filter in symbol periods (= pulseDelay)
    ComplexArray out;        // (L + N - 1) x 1 filtered waveform
};

inline constexpr const char* kPulsematchFields[] = {"filter", "filterDelay", "out"};

// Filters the received waveform with the transmit filter's unit-energy root-raised-cosine taps
// (full convolution, no decimation, no trimming).
//   MatchedFilterIn: L x 1 complex samples at oversamplingFactor samples a symbol.
//   varShapping: rolloffFactor (alpha, in (0, 1]), pulseDelay (D, symbol periods),
//                oversamplingFactor (M, samples a symbol); 2 D M + 1 taps.
// Without channel delay, symbol i of the transmission peaks at output sample 2 D M + 1 + (i - 1) M.
// Polls `host` for interrupts while designing and filtering (the default host cannot be
// interrupted).
// Errors, in this order; all come before any filter is designed, but the last:
// - a roll-off outside (0, 1] or NaN: the program message "ERRO! Fator de rolloff invalido.";
// - 2 D M + 1 not a whole number or negative: the integer or sign check;
// - L <= N while L + N - 1 is not 1: "Coder:toolbox:conv_dynamicVectorOrientation";
// - M not a whole number: "hfchain:runtime:NonInteger"; M not positive:
//   "hfchain:runtime:NotPositive";
// - a filter of no taps (D = -1 / (2 M)): the sign check "hfchain:runtime:Negative" on
//   `pulseDelay`;
// - a tap that is not finite (a roll-off so small that 1 / (4 alpha) overflows): the roll-off
//   message.
PulsematchOut pulsematch(const ComplexArray& MatchedFilterIn, const VarShapping& varShapping,
                         HostServices& host = no_host());

}  // namespace hfchain
