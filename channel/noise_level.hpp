// The signal-to-noise ratio in a 3 kHz band, the way HF engineers quote it: the signal's mean
// power against the noise's power in 3 kHz, S / (N0 3000 Hz), N0 the noise's one-sided power
// spectral density (power a hertz, in the signal's units) in the signal's band. The one
// definition, for setting a noise level and for measuring one. (For the baseband waveform at unit
// symbol energy this is Es/N0 - 0.97 dB: params/waveform.hpp.)
#pragma once

#include <cmath>

namespace hfchain {

inline constexpr double kSnrBandwidth = 3000;  // Hz

// SNR(3 kHz) in dB of a signal of mean power `signal_power` in noise of density `noise_density`.
inline double snr3k_db(double signal_power, double noise_density) {
    return 10 * std::log10(signal_power / (noise_density * kSnrBandwidth));
}

// The noise density that puts a signal of mean power `signal_power` at `snr3k` dB.
inline double noise_density_for(double signal_power, double snr3k) {
    return signal_power / (kSnrBandwidth * std::pow(10.0, snr3k / 10));
}

}  // namespace hfchain
