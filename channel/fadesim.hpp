// The HF channel: two-ray Watterson fading of a named condition plus white Gaussian noise.
#pragma once

#include <string>

#include "runtime/array.hpp"
#include "runtime/host.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain {

struct VarWatterson {
    std::string model = "bom";  // "bom", "moderado", "ruim" or "muito_ruim"
    double EsNodB = 20;         // Es/N0 in dB
    double seed = 0;            // seed of the host's "twister" stream for this call
};

inline constexpr const char* kVarWattersonFields[] = {"model", "EsNodB", "seed"};

struct FadesimOut {
    ComplexArray raios;               // L x 2 ray gains
    double RER = 0;                   // differential delay tau (s)
    double ED = 0;                    // Doppler spread fd (Hz)
    ComplexArray WattersonOutAwgnIn;  // (L + Dd) x 1 faded waveform
    ComplexArray noise;               // (L + Dd) x 1 added noise
    ComplexArray AwgnOut;             // (L + Dd) x 1 received waveform
};

inline constexpr const char* kFadesimFields[] = {"raios", "RER",    "ED", "WattersonOutAwgnIn",
                                                 "noise", "AwgnOut"};

FadesimOut fadesim(const ComplexArray& WattersonIn, const VarWatterson& varWatterson,
                   const VarShapping& varShapping, HostServices& host);

}  // namespace hfchain
