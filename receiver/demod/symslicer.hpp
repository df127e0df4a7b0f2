// Demodulator and demapper: hard nearest-point decisions, Gray demapping, bits.
#pragma once

#include "params/modeconf.hpp"
#include "runtime/array.hpp"

namespace hfchain {

struct SymslicerOut {
    RealArray DemodOutDemapIn;  // decisions
    RealArray DemapOut;         // bits, b per decision, most significant first
};

inline constexpr const char* kSymslicerFields[] = {"DemodOutDemapIn", "DemapOut"};

// Bits of each value, n per value, most significant first (the capacity message when a value
// needs more than n bits).
RealArray int2bin(const RealArray& x, double n);

SymslicerOut symslicer(const ComplexArray& DemodulatorIn, const Milstd& milstd);

}  // namespace hfchain
