// Impulsive noise: static crashes, the bursts that lightning far away puts on an HF channel.
//
// Model. Bursts start at the instants of a Poisson process of `rate` bursts a second: the gaps
// between onsets are exponential of mean 1 / rate, the first one counted from the signal's start,
// each onset at the nearest sample. A burst is white Gaussian noise under a decaying envelope,
//   b(k) = A exp(-k / (decay fs)) w(k),   k = 0 .. K - 1,   K = ceil(5 decay fs),
// w standard normal, A = 10^(level / 20): `level` is the burst's RMS amplitude at its onset, in dB
// of the signal's unit (dBFS for audio); the burst ends 5 decays (43 dB) below it. Bursts that
// overlap add.
//
// Draws, from the host's current stream (the caller seeds it): the first gap (one uniform draw,
// gap = -ln(u) / rate), then at each onset in order the burst's K normals and the next gap. The
// draws do not depend on how the signal is cut into blocks.
//
// Errors: a rate not in (0, 1000] bursts a second, a level not finite or above 60 dB, a decay not
// in (0, 1] s, "hfchain:channel:InvalidImpulses" naming the value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

#include "runtime/array.hpp"
#include "runtime/host.hpp"

namespace hfchain {

struct ImpulseSettings {
    double rate = 1;       // bursts a second
    double level = -20;    // RMS amplitude at the onset, dB
    double decay = 0.002;  // time constant of the envelope, s
};

void check_impulses(const ImpulseSettings& settings);

// The bursts of a signal at `sampleRate` samples a second, added block by block.
class ImpulseNoise {
public:
    // Checks `settings`; draws the first gap from `host`, which it uses alone from then on.
    ImpulseNoise(const ImpulseSettings& settings, double sampleRate, HostServices& host);

    // Adds the bursts of the next n samples to x[0 .. n).
    void add(double* x, std::size_t n);

    // Bursts started so far.
    std::int64_t bursts() const { return bursts_; }

private:
    void start_burst();
    void draw_gap();

    ImpulseSettings settings_;
    double sampleRate_;
    HostServices& host_;
    double amplitude_;
    double fall_;                 // exp(-1 / (decay fs)): the envelope's factor a sample
    std::size_t length_;          // K
    std::int64_t position_ = 0;   // samples passed
    double nextOnsetTime_ = 0;    // s
    std::int64_t nextOnset_ = 0;  // sample
    std::deque<double> ahead_;    // the bursts' sum at samples position_, position_ + 1, ...
    std::int64_t bursts_ = 0;
};

// The bursts of `n` samples at `sampleRate`, drawn from `host` seeded with `seed` (the caller's
// generator settings restored): an n x 1 column.
RealArray impulse_noise(index_t n, const ImpulseSettings& settings, double sampleRate, double seed,
                        HostServices& host);

}  // namespace hfchain
