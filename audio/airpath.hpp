// The road's channel step through the air: the transmission as a sound card plays it, the
// radio's noise in the audio band, a receiver's sound card whose clock runs off the
// transmitter's, and the receiver's demodulator and clock tracking, for the sweep's audio curves.
//
//   shaped baseband -> the channel's paths and its noise (fading, offset and noise in baseband
//   as the road has them, so that the genie still knows its gains and the noise) -> Modulator
//   at the sound card's rate -> the receiver's clock (the audio resampled to a rate
//   (1 + ppm 1e-6) times as fast, the samples a card that fast takes of the same sound) ->
//   static crashes (channel/impulses.hpp), if asked for -> Demodulator -> clocktrack, refined
//   from the transmission's known symbols where the step is told its mode -> the audio
//   resampled back by the offset found, demodulated again.
//
// The clock's reading is the recording receiver's: clocktrack reads the drift from the
// symbol-rate line of the received power, which fading paths make wander, and clockrefine lines
// up the channel's delay profiles seen through the preamble and the probes
// (receiver/clocktrack/clockrefine.hpp), from where the preamble is found (freqlock, which also
// reads the frequency offset the refinement turns back). Without the mode (the acquisition's
// trials), or where the refinement has too few known symbols (75 bit/s, a preamble not found),
// clocktrack's reading stays.
//
// The noise. The road's white noise, at the point's Es/N0, is modulated with the signal: real
// noise in the radio's band (the carrier +- 1200 (1 + roll-off) Hz, which the modulator's
// low-pass keeps), which the receiver's sound card samples with the signal. Demodulated, it is
// the baseband road's noise over the band the receivers use, so that a trial's noise is the same
// on either path and the two paths' curves compare trial by trial: what differs is what the air
// does to the signal (the modulator's and demodulator's filters and resampling, the clock and
// its tracking). The noise alone is modulated and sampled the same way (the steps are linear),
// for the genie. The crashes count as noise: they are added to the noise alone too, so the
// genie is told them as it is told the noise (the receivers' own blanking still sees them in
// the received signal).
//
// Seeds: the channel's seed draws the fading and the noise (as in baseband), and a stream from
// it the crashes (from the host seeded with a seed of its own, the host's settings restored),
// so that a trial draws the same fading and noise with or without crashes.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "audio/passband.hpp"
#include "chain/road_channel.hpp"
#include "channel/impulses.hpp"
#include "receiver/clocktrack/clocktrack.hpp"
#include "runtime/array.hpp"

namespace hfchain::audio {

// `samples` as a clock (1 + ppm 1e-6) times as fast takes them: the same sound at that many more
// samples a second, the first sample at the same instant (any rate; soxr).
std::vector<double> reclock(const std::vector<double>& samples, double ppm);
// A complex column (a baseband: real and imaginary parts together) the same way.
ComplexArray reclock(const ComplexArray& x, double ppm);

struct AirSettings {
    double sampleRate = 8000;  // the sound cards' nominal rate, samples a second
    double carrier = 1800;     // Hz
    double clockPpm = 0;       // how much faster the receiver's clock runs than the sender's
    bool trackClock = true;    // clocktrack and resample; false: the receivers get the drift
    std::optional<ImpulseSettings> impulses{};  // static crashes on the received audio (its level
                                                // in dB of the modulator's full scale, dBFS)
};

// The passband the step uses for `settings` and the shaping's pulse: the sound card's rate and
// carrier, M samples a symbol, the band 1200 (1 + roll-off) each side of the carrier.
PassbandConfig air_passband(const AirSettings& settings, const VarShapping& shaping);

// The step, one object per worker (it keeps the last transmission's clock estimate).
class AirPath {
public:
    // A rate whose band does not hold the pulse's (check_passband of air_passband) is refused
    // when a transmission comes, not here: the shaping comes with it.
    explicit AirPath(const AirSettings& settings) : settings_(settings) {}

    // What pass_channel gives, through the air (the road's ChannelStep), `mode` that of the
    // transmission `x` carries from its first sample (or null). Errors: those of pass_channel,
    // check_passband ("hfchain:audio:BadPassband") and clocktrack.
    HfchannelOut pass(const RoadChannel& channel, const ComplexArray& x, const VarShapping& shaping,
                      const ModeParams* mode, HostServices& host);

    // The clock estimate of the last transmission (ppm 0 before the first): clocktrack's
    // reading, refined where it could be.
    const ClocktrackOut& clock() const { return clock_; }

private:
    double refined(const PulsematchOut& matched, const ModeParams& mode, const VarShapping& shaping,
                   index_t symbols, double window, HostServices& host) const;

    AirSettings settings_;
    ClocktrackOut clock_;
};

// A ChannelStep that sends every transmission through `path` (shared, so that its caller can
// read clock()).
ChannelStep air_step(std::shared_ptr<AirPath> path);

}  // namespace hfchain::audio
