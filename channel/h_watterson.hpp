// Two-ray Watterson tap-gain generator (sums of 20 sinusoids per ray) and its application.
#pragma once

#include "runtime/array.hpp"
#include "runtime/host.hpp"

namespace hfchain {

struct WattersonOut {
    ComplexArray y;      // (L + Dd) x 1 faded waveform
    ComplexArray raios;  // L x 2 gains of ray 1 and ray 2 per input sample
};

// x: L x 1 waveform; fs: sampling rate (Hz); tau: differential delay (s); fd: Doppler spread
// (Hz). Draws six 1 x 20 rows of standard normals from `host` (ray 1 first).
WattersonOut h_watterson(const ComplexArray& x, double fs, double tau, double fd,
                         HostServices& host);

}  // namespace hfchain
