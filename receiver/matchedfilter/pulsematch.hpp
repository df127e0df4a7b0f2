// Receive matched filter: the same unit-energy root-raised-cosine taps as the transmit filter.
#pragma once

#include "runtime/array.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain {

struct PulsematchOut {
    RealArray filter;        // 1 x N taps
    double filterDelay = 0;  // delay of one filter in symbol periods (= pulseDelay)
    ComplexArray out;        // (L + N - 1) x 1 filtered waveform
};

inline constexpr const char* kPulsematchFields[] = {"filter", "filterDelay", "out"};

PulsematchOut pulsematch(const ComplexArray& MatchedFilterIn, const VarShapping& varShapping);

}  // namespace hfchain
