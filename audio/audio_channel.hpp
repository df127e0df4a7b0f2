// The HF channel on audio: any audio signal (this waveform's, another modem's, speech) through a
// channel hfchain knows, at a sound card's rate, block by block.
//
//   audio -> Demodulator (carrier +- 1500 Hz to baseband at 12000 samples a second)
//         -> the channel's paths (FadingStream: delays, fading, Doppler shifts, frequency offset)
//         -> Modulator back to audio                                    = the signal part
//         -> + white Gaussian noise of density N0                       = the noise part
//         -> SSB filter (300 .. 3000 Hz, both parts)
//         -> sample-clock offset (resampled by 1 + ppm 1e-6)
//         -> static crashes (channel/impulses.hpp) -> clipping -> audio.
//
// The channel carries the band carrier +- 1500 Hz (300 .. 3300 Hz at the usual 1800 Hz carrier);
// what the input holds outside it does not pass. Before the clock offset the output has as many
// samples as the input, sample k of the output at the time of sample k of the input; the paths'
// delays and the SSB filter's group delay come on top.
//
// Random draws: the host's twister stream seeded with `seed` draws the fading paths' sinusoids
// (as hfchannel does for that seed) and then the noise, sample by sample; a second stream seeded
// with seed + 1 (mod 2^32) draws the crashes. Cutting the input into other blocks gives the same
// output.
//
// Memory stays bounded whatever the length: the filters' and the paths' states and one block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "channel/impulses.hpp"

namespace hfchain::audio {

struct AudioChannelConfig {
    double sampleRate = 48000;     // Hz, of the input and the output (before the clock offset)
    double carrier = 1800;         // Hz: the middle of the band the channel carries
    std::string channel = "awgn";  // a preset, a written channel or awgn (channel_text.hpp)
    double offset = 0;             // frequency offset, Hz, added to the channel's own off=
    double noiseDensity = 0;       // N0 of the noise, full scale squared a hertz; 0: no noise
    double clockPpm = 0;           // the receiving clock's offset from the sender's, ppm
    std::optional<ImpulseSettings> impulses;
    std::optional<bool> ssbFilter;   // unset: on for every channel but awgn
    std::optional<double> clipDbfs;  // clip the output at this peak level
    double seed = 0;                 // 0 .. 4294967295
};

// The SSB filter's default for a channel: on for a path over the air (presets, written
// channels), off for awgn (white noise on an audio line, as a lab's noise generator adds it).
bool ssb_filter_default(const std::string& channel);

// What the channel did, measured on its output (before the clock offset, the crashes and the
// clipping).
struct AudioChannelStats {
    double signalPower = 0;   // mean power of the signal part over the input's active part
    double noiseDensity = 0;  // N0 of the noise part: its power over the filter's noise
                              // bandwidth (fs / 2 without the filter)
    std::int64_t activeFirst = -1, activeLast = -1;  // the active part: the first and last input
                                                     // samples above 2^-15 (-1: silent)
    std::int64_t samplesIn = 0, samplesOut = 0;
    std::int64_t bursts = 0;   // static crashes
    std::int64_t clipped = 0;  // output samples clipped
    double snr3k() const;      // snr3k_db(signalPower, noiseDensity); +Inf without noise
};

// The noise density of a noise whose power in 3 kHz is `dbfs` (dB of full scale squared).
double noise_density_of_dbfs(double dbfs);

class AudioChannel {
public:
    // Errors: the passband's (BadPassband), the channel text's (InvalidChannelText), the paths'
    // (InvalidChannel, FractionalDelay at 12000 samples a second), the impulses', a seed, a clock
    // offset beyond +-1000 ppm or a noise density or clip level not finite
    // ("hfchain:audio:BadChannelSetting").
    explicit AudioChannel(const AudioChannelConfig& config);
    ~AudioChannel();
    AudioChannel(const AudioChannel&) = delete;
    AudioChannel& operator=(const AudioChannel&) = delete;

    // Appends to `out` the output of the audio s[0 .. n) that is ready. A sample that is not
    // finite is refused ("hfchain:audio:BadChannelSetting").
    void push(const double* s, std::size_t n, std::vector<double>& out);
    // Appends the rest; the channel takes nothing after it.
    void finish(std::vector<double>& out);

    const AudioChannelStats& stats() const { return stats_; }

private:
    struct Parts;
    void through_paths(std::vector<double>& out);
    void emit(std::size_t count, std::vector<double>& out);
    void after_noise(std::vector<double>& out);

    AudioChannelConfig config_;
    std::unique_ptr<Parts> parts_;
    AudioChannelStats stats_;
};

// The settings of the first of two runs, which measures the signal part's power: `config`
// without noise, clock offset, crashes or clipping.
AudioChannelConfig signal_only(AudioChannelConfig config);

// The whole of `samples` through the channel. With `snr3k` set, the noise is set from the
// signal part's power over the active part, measured in a first run without noise (the same
// draws, so the same signal part); a silent input is then refused.
struct ChannelResult {
    std::vector<double> samples;
    AudioChannelStats stats;
};
ChannelResult pass_audio_channel(const std::vector<double>& samples, AudioChannelConfig config,
                                 std::optional<double> snr3k);

}  // namespace hfchain::audio
