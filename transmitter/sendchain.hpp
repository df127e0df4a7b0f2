// The transmitter: one complete transmission of the serial-tone waveform.
#pragma once

#include "params/modeconf.hpp"
#include "runtime/array.hpp"
#include "runtime/host.hpp"

namespace hfchain {

// Every intermediate signal of the transmitter, in the order the host sees the fields.
struct SendchainOut {
    RealArray BitInCodIn;            // information bits, 144 flush zeros, padding zeros
    RealArray CodOutInterIn;         // coded bits (interleaver input)
    RealArray InterOutMapIn;         // interleaved bits
    RealArray MapOutMultiplexIn;     // Gray-mapped symbol values `dados_gray`
    ComplexArray ComplexPSKSymbols;  // unscrambled data symbols on the 8-PSK constellation
    ComplexArray ModConstellation;   // the constellation `const`, 8 x 1
    RealArray ProbeInfo;             // 1 at probe and marked preamble symbols, else 0
    ComplexArray MultiplexOut;       // transmitted symbols: scrambled preamble, scrambled frames
};

inline constexpr const char* kSendchainFields[] = {
    "BitInCodIn",        "CodOutInterIn",    "InterOutMapIn", "MapOutMultiplexIn",
    "ComplexPSKSymbols", "ModConstellation", "ProbeInfo",     "MultiplexOut"};

// Draws the information bits from the host's stream seeded with `seed` (restored on every exit)
// and builds the whole transmission for `nFrame` interleaver blocks (need not be whole).
SendchainOut sendchain(const Milstd& milstd, double nFrame, double seed, HostServices& host);

}  // namespace hfchain
