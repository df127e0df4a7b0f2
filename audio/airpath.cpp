#include "audio/airpath.hpp"

#include <algorithm>
#include <cmath>

#include "audio/filters.hpp"
#include "receiver/clocktrack/clockrefine.hpp"
#include "receiver/freqlock/freqlock.hpp"
#include "receiver/layout/layout.hpp"
#include "receiver/matchedfilter/pulsematch.hpp"

namespace hfchain::audio {

namespace {

// The clock's ratio for an offset in ppm.
double ratio_of(double ppm) { return 1 + ppm * 1e-6; }

// Two real signals (real and imaginary parts), the n samples from `x`, resampled together by
// `ratio`.
std::vector<cdouble> resample(const cdouble* x, std::size_t n, double ratio) {
    Resampler resampler(1, ratio);
    std::vector<cdouble> out;
    out.reserve(static_cast<std::size_t>(std::ceil(static_cast<double>(n) * ratio)) + 64);
    resampler.push(x, n, out);
    resampler.finish(out);
    out.resize(static_cast<std::size_t>(std::llround(static_cast<double>(n) * ratio)));
    return out;
}

std::vector<cdouble> resample(const std::vector<cdouble>& x, double ratio) {
    return resample(x.data(), x.size(), ratio);
}

// The audio `sound` demodulated, as a column of exactly n samples (zeros beyond its end).
ComplexArray received(const std::vector<double>& sound, const PassbandConfig& config, index_t n) {
    const ComplexArray all = demodulate(sound, config);
    ComplexArray out(n);
    std::copy_n(all.begin(), std::min(n, all.numel()), out.begin());
    return out;
}

// The audio of the baseband `x`.
std::vector<double> modulated(const ComplexArray& x, const PassbandConfig& config) {
    std::vector<double> sound;
    sound.reserve(static_cast<std::size_t>(std::ceil(static_cast<double>(x.numel()) *
                                                     config.sampleRate / config.basebandRate())) +
                  64);
    Modulator modulator(config, 1);
    modulator.push(x.data(), static_cast<std::size_t>(x.numel()), sound);
    modulator.finish(sound);
    return sound;
}

// The crashes' stream: apart from the channel's own draws from the same seed.
double crash_seed(double seed) {
    constexpr double kApart = 2654435769.0;
    return std::fmod(seed + 2 * kApart, 4294967296.0);
}

// Adds static crashes to the sound (real parts) and to the noise alone (imaginary parts), drawn
// from the host seeded with a stream of its own from the channel's seed.
void add_crashes(const ImpulseSettings& settings, const RoadChannel& channel,
                 const PassbandConfig& config, HostServices& host, std::vector<cdouble>& both) {
    std::vector<double> crashes(both.size(), 0.0);
    SeededStream stream(host, crash_seed(channel.seed));
    ImpulseNoise noise(settings, config.sampleRate, host);
    noise.add(crashes.data(), crashes.size());
    stream.restore();
    for (std::size_t k = 0; k < both.size(); ++k) both[k] += cdouble(crashes[k], crashes[k]);
}

// The real parts of `x`, or its imaginary parts.
std::vector<double> part_of(const std::vector<cdouble>& x, bool imaginary) {
    std::vector<double> out(x.size());
    for (std::size_t k = 0; k < x.size(); ++k) out[k] = imaginary ? x[k].imag() : x[k].real();
    return out;
}

}  // namespace

PassbandConfig air_passband(const AirSettings& settings, const VarShapping& shaping) {
    PassbandConfig config;
    config.sampleRate = settings.sampleRate;
    config.carrier = settings.carrier;
    config.samplesPerSymbol = static_cast<index_t>(shaping.oversamplingFactor);
    config.bandwidth = kSymbolRate / 2 * (1 + shaping.rolloffFactor);
    return config;
}

std::vector<double> reclock(const std::vector<double>& samples, double ppm) {
    std::vector<cdouble> x(samples.begin(), samples.end());
    const std::vector<cdouble> y = resample(x, ratio_of(ppm));
    std::vector<double> out(y.size());
    for (std::size_t k = 0; k < y.size(); ++k) out[k] = y[k].real();
    return out;
}

ComplexArray reclock(const ComplexArray& x, double ppm) {
    const std::vector<cdouble> y =
        resample(x.data(), static_cast<std::size_t>(x.numel()), ratio_of(ppm));
    ComplexArray out(static_cast<index_t>(y.size()));
    std::copy(y.begin(), y.end(), out.begin());
    return out;
}

// The symbols of the preamble and the segment after it that freqlock searches for its start.
constexpr index_t kPreambleSearchTail = 480;

double AirPath::refined(const PulsematchOut& matched, const ModeParams& mode,
                        const VarShapping& shaping, index_t symbols, double window,
                        HostServices& host) const {
    const auto M = static_cast<index_t>(shaping.oversamplingFactor);
    const auto D = static_cast<index_t>(shaping.pulseDelay);
    const index_t preamble = mode.preamSync.numel();
    const index_t head =
        std::min(matched.out.numel(), (preamble + kPreambleSearchTail + 4 * D) * M);
    ComplexArray start(head);
    std::copy_n(matched.out.begin(), head, start.begin());
    const FreqlockOut locked = freqlock(start, mode, shaping, host);
    if (locked.start.empty()) return clock_.ppm;
    const ClockrefineIn in{.M = M,
                           .peak = static_cast<index_t>(locked.start[0]) - 1,
                           .offset = locked.offset,
                           .ppm = clock_.ppm,
                           .window = window};
    const auto reading = clockrefine(matched.out, mode, symbols, in);
    return reading ? reading->ppm : clock_.ppm;
}

HfchannelOut AirPath::pass(const RoadChannel& channel, const ComplexArray& x,
                           const VarShapping& shaping, const ModeParams* mode, HostServices& host) {
    const PassbandConfig config = air_passband(settings_, shaping);
    check_passband(config);

    HfchannelOut f = pass_channel(channel, x, shaping, host);
    const bool noisy = channel.kind != ChannelKind::none;
    const index_t n = noisy ? f.AwgnOut.numel() : x.numel();

    // The received sound (real parts) and its noise alone (imaginary parts).
    std::vector<cdouble> both;
    {
        const std::vector<double> sound = modulated(noisy ? f.AwgnOut : x, config);
        const std::vector<double> noise =
            noisy ? modulated(f.noise, config) : std::vector<double>{};
        both.resize(sound.size());
        for (std::size_t k = 0; k < both.size(); ++k) {
            both[k] = {sound[k], noisy ? noise[k] : 0.0};
        }
    }
    if (settings_.clockPpm != 0) both = resample(both, ratio_of(settings_.clockPpm));
    if (noisy && settings_.impulses) add_crashes(*settings_.impulses, channel, config, host, both);
    const index_t whole =
        std::llround(static_cast<double>(both.size()) * config.basebandRate() / config.sampleRate);
    const ComplexArray heard = received(part_of(both, false), config, whole);
    const double window = clocktrack_window(whole, config.samplesPerSymbol);
    const PulsematchOut matched = pulsematch(heard, shaping, host);
    clock_ = clocktrack(matched, shaping, window, host);
    if (mode != nullptr && settings_.trackClock) {
        const index_t symbols =
            x.numel() / config.samplesPerSymbol - 2 * static_cast<index_t>(shaping.pulseDelay);
        clock_.ppm = refined(matched, *mode, shaping, symbols, window, host);
    }
    if (settings_.trackClock) {
        both = resample(both, 1 / ratio_of(clock_.ppm));
        f.AwgnOut = received(part_of(both, false), config, n);
    } else {
        f.AwgnOut = ComplexArray(n);
        std::copy_n(heard.begin(), std::min(n, whole), f.AwgnOut.begin());
    }
    if (noisy) f.noise = received(part_of(both, true), config, n);
    return f;
}

ChannelStep air_step(std::shared_ptr<AirPath> path) {
    return [path = std::move(path)](const RoadChannel& channel, const ComplexArray& x,
                                    const VarShapping& shaping, const ModeParams* mode,
                                    HostServices& host) {
        return path->pass(channel, x, shaping, mode, host);
    };
}

}  // namespace hfchain::audio
