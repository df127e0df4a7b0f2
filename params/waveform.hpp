// Constants of the waveform that every rate and every block share.
#pragma once

namespace hfchain {

// Channel symbols per second, at every data rate (preamble, data and probe symbols alike).
inline constexpr double kSymbolRate = 2400;

// Es/N0 minus the signal-to-noise ratio in a 3 kHz bandwidth, the way HF engineers quote it:
// all the symbol energy falls in the 3 kHz band, the noise of 3000 / 2400 symbol bandwidths does,
// so Es/N0 = SNR(3 kHz) + 10 log10(3000 / 2400) = SNR + 0.97 dB.
inline constexpr double kSnr3kOffset = 0.96910013008056392;

// Es/N0 in dB of an SNR in 3 kHz in dB, and back.
constexpr double esno_of_snr3k(double snr3k_db) { return snr3k_db + kSnr3kOffset; }
constexpr double snr3k_of_esno(double esno_db) { return esno_db - kSnr3kOffset; }

}  // namespace hfchain
