#include "audio/audio_channel.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <sstream>

#include "audio/errors.hpp"
#include "audio/filters.hpp"
#include "audio/passband.hpp"
#include "channel/channel_text.hpp"
#include "channel/fading_stream.hpp"
#include "channel/noise_level.hpp"
#include "runtime/builtin_host.hpp"
#include "runtime/error.hpp"

namespace hfchain::audio {

namespace {

constexpr index_t kSamplesPerSymbol = 5;  // 12000 samples a second: 0.5 ms is 6 samples
constexpr double kCarriedBand = 1500;     // Hz each side of the carrier
constexpr double kSilence = 1.0 / 32768;  // one step of 16-bit audio
constexpr double kSsbLow = 300, kSsbHigh = 3000;

[[noreturn]] void refuse(const std::string& what, double value, const std::string& rule) {
    std::ostringstream text;
    text << what << " " << value << " " << rule;
    raise(errid::kBadChannelSetting, text.str());
}

// One second-order section, direct form II transposed.
struct Biquad {
    double b0, b1, b2, a1, a2;
    double z1 = 0, z2 = 0;
    double step(double x) {
        const double y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        return y;
    }
    double power_gain(double w) const {  // |H(e^{jw})|^2
        const std::complex<double> z = std::polar(1.0, -w);
        const std::complex<double> h = (b0 + z * (b1 + z * b2)) / (1.0 + z * (a1 + z * a2));
        return std::norm(h);
    }
};

// A Butterworth section by the bilinear transform with its cutoff prewarped: the low-pass or
// high-pass of quality factor q at `f` Hz.
Biquad butterworth_section(bool highpass, double f, double q, double fs) {
    const double w = 2 * std::numbers::pi * f / fs;
    const double c = std::cos(w), alpha = std::sin(w) / (2 * q), a0 = 1 + alpha;
    const double b0 = (highpass ? 1 + c : 1 - c) / 2;
    return {b0 / a0, (highpass ? -2 : 2) * b0 / a0, b0 / a0, -2 * c / a0, (1 - alpha) / a0};
}

// The receiver's SSB filter: 300 .. 3000 Hz (3 dB points), a 4th-order Butterworth high-pass
// and an 8th-order Butterworth low-pass.
class SsbFilter {
public:
    explicit SsbFilter(double fs) {
        add(true, 4, kSsbLow, fs);
        add(false, 8, kSsbHigh, fs);
    }
    double step(double x) {
        for (Biquad& s : sections_) x = s.step(x);
        return x;
    }
    // Its noise bandwidth, Hz: the integral of |H|^2 from 0 to fs / 2.
    double noise_bandwidth(double fs) const {
        constexpr int kPoints = 1 << 15;
        double sum = 0;
        for (int i = 0; i < kPoints; ++i) {
            const double w = std::numbers::pi * (i + 0.5) / kPoints;
            double g = 1;
            for (const Biquad& s : sections_) g *= s.power_gain(w);
            sum += g;
        }
        return sum / kPoints * fs / 2;
    }

private:
    void add(bool highpass, int order, double f, double fs) {
        for (int k = 0; k < order / 2; ++k) {
            const double q = 1 / (2 * std::sin((2 * k + 1) * std::numbers::pi / (2 * order)));
            sections_.push_back(butterworth_section(highpass, f, q, fs));
        }
    }
    std::vector<Biquad> sections_;
};

HfChannel channel_of(const AudioChannelConfig& c) {
    HfChannel channel = read_channel(c.channel).channel;
    channel.offset = numeric_offset(channel.offset + c.offset);
    return channel;
}

PassbandConfig passband_of(const AudioChannelConfig& c) {
    PassbandConfig p;
    p.sampleRate = c.sampleRate;
    p.carrier = c.carrier;
    p.samplesPerSymbol = kSamplesPerSymbol;
    p.bandwidth = kCarriedBand;
    return p;
}

void check_settings(const AudioChannelConfig& c) {
    check_passband(passband_of(c));
    if (!(std::isfinite(c.noiseDensity) && c.noiseDensity >= 0)) {
        refuse("the noise density", c.noiseDensity, "is not a finite level");
    }
    if (!(std::fabs(c.clockPpm) <= 1000)) {
        refuse("the clock offset", c.clockPpm, "ppm is outside -1000 .. 1000 ppm");
    }
    if (c.clipDbfs && !(std::isfinite(*c.clipDbfs) && *c.clipDbfs <= 0)) {
        refuse("the clipping level", *c.clipDbfs, "dBFS is not a finite level up to 0 dBFS");
    }
    if (c.impulses) check_impulses(*c.impulses);
    check_seed(c.seed);
}

double next_seed(double seed) { return seed >= 4294967295.0 ? 0 : seed + 1; }

}  // namespace

bool ssb_filter_default(const std::string& channel) { return !read_channel(channel).awgn; }

double noise_density_of_dbfs(double dbfs) {
    if (!std::isfinite(dbfs)) refuse("the noise level", dbfs, "dBFS is not finite");
    return std::pow(10.0, dbfs / 10) / kSnrBandwidth;
}

double AudioChannelStats::snr3k() const {
    if (noiseDensity == 0) return std::numeric_limits<double>::infinity();
    return snr3k_db(signalPower, noiseDensity);
}

AudioChannelConfig signal_only(AudioChannelConfig config) {
    config.noiseDensity = 0;
    config.clockPpm = 0;
    config.impulses.reset();
    config.clipDbfs.reset();
    return config;
}

struct AudioChannel::Parts {
    explicit Parts(const AudioChannelConfig& c)
        : noiseHost(c.seed),
          crashHost(next_seed(c.seed)),
          demodulator(passband_of(c)),
          fading(channel_of(c), kSamplesPerSymbol, noiseHost),
          modulator(passband_of(c), 1) {}

    BuiltinHost noiseHost, crashHost;
    Demodulator demodulator;
    FadingStream fading;
    Modulator modulator;
    std::optional<SsbFilter> signalFilter, noiseFilter;
    std::optional<Resampler> clock;
    std::optional<ImpulseNoise> crashes;
    double sigma = 0;      // the noise's standard deviation a sample
    double bandwidth = 0;  // the noise bandwidth of the output, Hz
    double clip = std::numeric_limits<double>::infinity();
    std::vector<cdouble> baseband, clocked;
    std::vector<double> audio, pending;  // the modulator's output; what waits for its input
    std::size_t pendingFrom = 0;
    std::vector<double> mixed;
    double energy = 0, energyBeforeFirst = 0, energyAtLast = 0, noiseEnergy = 0;
};

AudioChannel::AudioChannel(const AudioChannelConfig& config) : config_(config) {
    check_settings(config);
    parts_ = std::make_unique<Parts>(config);
    Parts& p = *parts_;
    const double fs = config.sampleRate;
    p.bandwidth = fs / 2;
    if (config.ssbFilter.value_or(ssb_filter_default(config.channel))) {
        p.signalFilter.emplace(fs);
        p.noiseFilter.emplace(fs);
        p.bandwidth = p.noiseFilter->noise_bandwidth(fs);
    }
    p.sigma = std::sqrt(config.noiseDensity * fs / 2);
    if (config.clockPpm != 0) p.clock.emplace(fs, fs * (1 + config.clockPpm * 1e-6));
    if (config.impulses) p.crashes.emplace(*config.impulses, fs, p.crashHost);
    if (config.clipDbfs) p.clip = std::pow(10.0, *config.clipDbfs / 20);
}

AudioChannel::~AudioChannel() = default;

void AudioChannel::push(const double* s, std::size_t n, std::vector<double>& out) {
    for (std::size_t k = 0; k < n; ++k) {
        if (!std::isfinite(s[k])) refuse("the input sample", s[k], "is not finite");
        if (std::fabs(s[k]) > kSilence) {
            const std::int64_t at = stats_.samplesIn + static_cast<std::int64_t>(k);
            if (stats_.activeFirst < 0) stats_.activeFirst = at;
            stats_.activeLast = at;
        }
    }
    stats_.samplesIn += static_cast<std::int64_t>(n);
    Parts& p = *parts_;
    p.baseband.clear();
    p.demodulator.push(s, n, p.baseband);
    through_paths(out);
}

void AudioChannel::finish(std::vector<double>& out) {
    Parts& p = *parts_;
    p.baseband.clear();
    p.demodulator.finish(p.baseband);
    through_paths(out);
    p.audio.clear();
    p.modulator.finish(p.audio);
    p.pending.insert(p.pending.end(), p.audio.begin(), p.audio.end());
    const auto missing = static_cast<std::size_t>(stats_.samplesIn - stats_.samplesOut);
    if (p.pending.size() - p.pendingFrom < missing) p.pending.resize(p.pendingFrom + missing, 0.0);
    emit(missing, out);
    if (p.clock) {
        p.clocked.clear();
        p.clock->finish(p.clocked);
        p.mixed.clear();
        for (const cdouble& v : p.clocked) p.mixed.push_back(v.real());
        after_noise(out);
    }
}

// The baseband through the paths and back to audio; emits what its input has reached.
void AudioChannel::through_paths(std::vector<double>& out) {
    Parts& p = *parts_;
    p.fading.push(p.baseband.data(), p.baseband.size(), p.baseband.data());
    p.audio.clear();
    p.modulator.push(p.baseband.data(), p.baseband.size(), p.audio);
    if (p.pendingFrom > 0) {
        p.pending.erase(p.pending.begin(),
                        p.pending.begin() + static_cast<std::ptrdiff_t>(p.pendingFrom));
        p.pendingFrom = 0;
    }
    p.pending.insert(p.pending.end(), p.audio.begin(), p.audio.end());
    const auto ready = std::min<std::size_t>(
        p.pending.size(), static_cast<std::size_t>(stats_.samplesIn - stats_.samplesOut));
    emit(ready, out);
}

// The next `count` samples of the signal part: the noise, the filter and the measures.
void AudioChannel::emit(std::size_t count, std::vector<double>& out) {
    Parts& p = *parts_;
    const double* signal = p.pending.data() + p.pendingFrom;
    p.pendingFrom += count;
    const RealArray w =
        p.sigma > 0 ? p.noiseHost.randn(static_cast<index_t>(count), 1) : RealArray();
    p.mixed.resize(count);
    for (std::size_t k = 0; k < count; ++k, ++stats_.samplesOut) {
        const std::int64_t j = stats_.samplesOut;
        double s = signal[k];
        if (p.signalFilter) s = p.signalFilter->step(s);
        p.energy += s * s;
        if (stats_.activeFirst < 0 || j < stats_.activeFirst) p.energyBeforeFirst = p.energy;
        if (j <= stats_.activeLast) p.energyAtLast = p.energy;
        double v = 0;
        if (p.sigma > 0) {
            v = p.sigma * w[static_cast<index_t>(k)];
            if (p.noiseFilter) v = p.noiseFilter->step(v);
            p.noiseEnergy += v * v;
        }
        p.mixed[k] = s + v;
    }
    if (stats_.activeFirst >= 0) {
        const auto active = static_cast<double>(std::min(stats_.activeLast + 1, stats_.samplesOut) -
                                                stats_.activeFirst);
        if (active > 0) stats_.signalPower = (p.energyAtLast - p.energyBeforeFirst) / active;
    }
    if (stats_.samplesOut > 0) {
        stats_.noiseDensity = p.noiseEnergy / static_cast<double>(stats_.samplesOut) / p.bandwidth;
    }
    if (p.clock) {
        p.clocked.clear();
        std::vector<cdouble>& in = p.baseband;  // free once the modulator has it
        in.assign(p.mixed.begin(), p.mixed.end());
        p.clock->push(in.data(), in.size(), p.clocked);
        p.mixed.clear();
        for (const cdouble& v : p.clocked) p.mixed.push_back(v.real());
    }
    after_noise(out);
}

// The crashes and the clipping on `mixed`, appended to `out`.
void AudioChannel::after_noise(std::vector<double>& out) {
    Parts& p = *parts_;
    if (p.crashes) {
        p.crashes->add(p.mixed.data(), p.mixed.size());
        stats_.bursts = p.crashes->bursts();
    }
    for (double& v : p.mixed) {
        if (std::fabs(v) > p.clip) {
            v = std::copysign(p.clip, v);
            ++stats_.clipped;
        }
    }
    out.insert(out.end(), p.mixed.begin(), p.mixed.end());
}

ChannelResult pass_audio_channel(const std::vector<double>& samples, AudioChannelConfig config,
                                 std::optional<double> snr3k) {
    if (snr3k) {
        if (!std::isfinite(*snr3k)) refuse("the SNR(3 kHz)", *snr3k, "dB is not finite");
        AudioChannel probe(signal_only(config));
        std::vector<double> ignored;
        probe.push(samples.data(), samples.size(), ignored);
        probe.finish(ignored);
        if (!(probe.stats().signalPower > 0)) {
            raise(
                errid::kBadChannelSetting,
                "the input is silent: an SNR(3 kHz) has no signal to measure; set the noise level "
                "instead");
        }
        config.noiseDensity = noise_density_for(probe.stats().signalPower, *snr3k);
    }
    AudioChannel channel(config);
    ChannelResult result;
    result.samples.reserve(samples.size() + samples.size() / 500 + 64);
    channel.push(samples.data(), samples.size(), result.samples);
    channel.finish(result.samples);
    result.stats = channel.stats();
    return result;
}

}  // namespace hfchain::audio
