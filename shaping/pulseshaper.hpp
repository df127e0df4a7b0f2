// Transmit pulse shaping: zero stuffing and root-raised-cosine filtering.
#pragma once

#include "runtime/array.hpp"
#include "runtime/interrupts.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain {

struct PulseshaperOut {
    RealArray filter;  // 1 x N unit-energy transmit filter, N = 2 D M + 1
    ComplexArray out;  // (M L + N - 1) x 1 filtered waveform
};

inline constexpr const char* kPulseshaperFields[] = {"filter", "out"};

// Zero-stuffs the L x 1 symbol column `ShappingIn` (one symbol per symbol period) to M samples per
// symbol (M = varShapping.oversamplingFactor) and convolves it in full with the unit-energy
// root-raised-cosine filter of roll-off alpha and half-length D symbol periods. `out` has
// M (L + 2 D) samples; symbol k (1-based) peaks at sample 1 + (k - 1) M + D M. Only the non-zero
// inputs are multiplied (polyphase filtering); results equal the direct sum to within rounding.
//
// Polls `host` for interrupts while designing and filtering (the default host cannot be
// interrupted).
//
// Errors, in the order they are checked; all but the last come before any filter is designed:
// - roll-off outside (0, 1] or NaN: program message "ERRO! Fator de rolloff invalido.";
// - 2 D M + 1 not a whole number or negative: integer or sign check on the filter length;
// - M L not a whole number or negative, M not a whole number: integer or sign check;
// - M = 0 with L > 0: size mismatch;
// - M L <= 2 D M + 1 unless the output is a single sample (fewer than 2 D + 1 symbols, or
//   2 D + 2 when M = 1): "Coder:toolbox:conv_dynamicVectorOrientation";
// - a filter of no taps (D = -1 / (2 M)): the sign check "hfchain:runtime:Negative" on
//   `pulseDelay`;
// - a tap that is not finite (a roll-off so small that 1 / (4 alpha) overflows): the roll-off
//   message.
PulseshaperOut pulseshaper(const ComplexArray& ShappingIn, const VarShapping& varShapping,
                           HostServices& host = no_host());

}  // namespace hfchain
