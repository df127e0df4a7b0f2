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

// Passes the L x 1 waveform `WattersonIn` (M = varShapping.oversamplingFactor samples per symbol,
// 2400 symbols per second) through the two-ray Watterson channel of the named condition and adds
// complex white Gaussian noise of variance 10^(-EsNodB/10) per sample (none for EsNodB = +Inf).
// Conditions (delay tau, Doppler spread fd): "bom" 0.5 ms, 0.1 Hz; "moderado" 1 ms, 0.5 Hz;
// "ruim" 2 ms, 1 Hz; "muito_ruim" 5 ms, 5 Hz. The waveform outputs have L + Dd samples,
// Dd = 2400 M tau.
//
// The host's stream is seeded with varWatterson.seed; the rays draw six 1 x 20 rows, then the
// noise an (L + Dd) x 1 column of real parts and one of imaginary parts (also for EsNodB = +Inf).
// The caller's generator settings are restored on every exit, failures included.
//
// Errors, in this order: a model that is not exactly one of the four names (case-sensitive, no
// trimming): "ERRO! Tipo de canal Watterson invalido.", and an EsNodB whose noise variance is not
// finite (NaN, -Inf, below about -3000 dB): "hfchain:channel:InvalidEsNodB", both before the
// stream is touched; an invalid seed ("hfchain:host:InvalidSeed"); 2400 M tau not a whole number:
// "ERRO! Superamostragem incompativel com o atraso entre raios Watterson desejado."; M = 0:
// "hfchain:runtime:NotPositive"; those of h_watterson, which polls the host for interrupts.
FadesimOut fadesim(const ComplexArray& WattersonIn, const VarWatterson& varWatterson,
                   const VarShapping& varShapping, HostServices& host);

// Amplitude of each noise component for a unit symbol energy, sqrt(10^(-EsNodB/10) / 2): 0 for
// EsNodB = +Inf; a level that is not finite (EsNodB NaN, -Inf or below about -3000 dB) is
// refused with "hfchain:channel:InvalidEsNodB".
double noise_sigma(double EsNodB);

// The channel's noise on its own: draws from the host's current stream (no seeding) an n x 1
// column of real parts and then one of imaginary parts, scales them to a total variance of
// 10^(-EsNodB/10) per sample (N0 for a unit symbol energy), and fills `noise` with the noise and
// `noisy` with x + noise, both n x 1. Refuses EsNodB as noise_sigma does, before drawing; polls
// the host for interrupts.
void add_channel_noise(const ComplexArray& x, double EsNodB, HostServices& host,
                       ComplexArray& noise, ComplexArray& noisy);

}  // namespace hfchain
