// Two-ray Watterson tap-gain generator (sums of 20 sinusoids per ray) and its application.
#pragma once

#include "runtime/array.hpp"
#include "runtime/host.hpp"

namespace hfchain {

struct WattersonOut {
    ComplexArray y;      // (L + Dd) x 1 faded waveform
    ComplexArray raios;  // L x 2 gains of ray 1 and ray 2 per input sample
};

// Two independently fading rays, each a sum of 20 complex sinusoids with Gaussian amplitudes
// (mean power 10^(-3/10) per ray) and Gaussian frequencies of standard deviation fd / 2, evaluated
// at every input instant t_n = n / fs; ray 2 is delayed by Dd = round(tau fs) samples:
// y(m) = x(m) raios(m, 1) + x(m - Dd) raios(m - Dd, 2).
//
// x: L x 1 waveform; fs: sampling rate (Hz); tau: differential delay (s); fd: Doppler spread (Hz).
// Draws exactly six 1 x 20 rows of standard normals from `host`, whatever L: ray 1's real
// amplitudes, imaginary amplitudes and frequencies, then ray 2's. Works in one streaming pass over
// blocks of samples (no working memory proportional to L) and polls host.poll_interrupt() once per
// block. The gains agree with the direct formula within its own rounding: the difference, which
// comes mostly from the rounding of the formula's phase argument, grows with time and is about
// 3e-13 of the RMS gain after 40 s.
//
// Errors: Dd not finite (integer check) or negative (sign check); L + Dd beyond 2147483647
// ("Coder:MATLAB:pmaxsize"); an interrupt or a failure of the host's generator.
WattersonOut h_watterson(const ComplexArray& x, double fs, double tau, double fd,
                         HostServices& host);

}  // namespace hfchain
