// Transmit pulse shaping: zero stuffing and root-raised-cosine filtering.
#pragma once

#include "runtime/array.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain {

struct PulseshaperOut {
    RealArray filter;  // 1 x N unit-energy transmit filter, N = 2 D M + 1
    ComplexArray out;  // (M L + N - 1) x 1 filtered waveform
};

inline constexpr const char* kPulseshaperFields[] = {"filter", "out"};

// ShappingIn: L x 1 symbols. Refuses a roll-off outside (0, 1] first.
PulseshaperOut pulseshaper(const ComplexArray& ShappingIn, const VarShapping& varShapping);

}  // namespace hfchain
