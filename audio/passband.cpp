#include "audio/passband.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>
#include <sstream>
#include <string>

#include "audio/errors.hpp"
#include "audio/filters.hpp"
#include "runtime/checks.hpp"
#include "runtime/error.hpp"

namespace hfchain::audio {

namespace {

[[noreturn]] void refuse(const std::string& what, double value, const std::string& rule) {
    std::ostringstream text;
    text << what << " " << value << " " << rule;
    raise(errid::kBadPassband, text.str());
}

// e^{j 2 pi fc k / fs}, the phase reduced exactly (fc k is exact below 2^53) so that hours of
// audio keep the carrier's precision.
cdouble carrier_at(const PassbandConfig& c, std::int64_t k) {
    const double turns = std::fmod(c.carrier * static_cast<double>(k), c.sampleRate) / c.sampleRate;
    const double phase = 2 * std::numbers::pi * turns;
    return {std::cos(phase), std::sin(phase)};
}

// The carrier over one period, when it has a short one: with a whole carrier and rate the phase of
// sample k repeats every fs / gcd(fc, fs) samples, and carrier_at(k) is exactly
// table[k mod period]. Empty otherwise (carrier_at each sample).
std::vector<cdouble> carrier_table(const PassbandConfig& c) {
    constexpr double kLongest = 1 << 16;
    if (c.carrier != std::floor(c.carrier) || c.sampleRate != std::floor(c.sampleRate)) return {};
    const auto fc = static_cast<std::int64_t>(c.carrier),
               fs = static_cast<std::int64_t>(c.sampleRate);
    const std::int64_t period = fs / std::gcd(fc, fs);
    if (static_cast<double>(period) > kLongest) return {};
    std::vector<cdouble> table(static_cast<std::size_t>(period));
    for (std::int64_t k = 0; k < period; ++k) table[static_cast<std::size_t>(k)] = carrier_at(c, k);
    return table;
}

}  // namespace

cdouble CarrierPhase::next() {
    if (table_.empty()) return carrier_at(config_, index_++);
    const cdouble e = table_[at_];
    if (++at_ == table_.size()) at_ = 0;
    return e;
}

CarrierPhase::CarrierPhase(const PassbandConfig& config)
    : config_(config), table_(carrier_table(config)) {}

void check_passband(const PassbandConfig& c) {
    if (!(c.sampleRate >= 8000 && c.sampleRate <= 192000)) {
        refuse("the sample rate", c.sampleRate, "Hz is outside 8000 .. 192000 Hz");
    }
    if (c.samplesPerSymbol < 2) refuse("M", c.samplesPerSymbol, "is below 2 samples a symbol");
    if (!(c.carrier > 0) || !std::isfinite(c.carrier)) refuse("the carrier", c.carrier, "Hz");
    if (!(c.bandwidth > 0) || !std::isfinite(c.bandwidth)) {
        refuse("the bandwidth", c.bandwidth, "Hz");
    }
    if (c.carrier - c.bandwidth <= 0 || c.carrier + c.bandwidth >= c.sampleRate / 2) {
        refuse("the carrier", c.carrier,
               "Hz puts the band outside 0 .. " + format_value(c.sampleRate / 2) + " Hz");
    }
    if (c.bandwidth >= c.basebandRate() / 2) {
        refuse("the bandwidth", c.bandwidth, "Hz does not fit the baseband's samples");
    }
}

Modulator::Modulator(const PassbandConfig& config, double gain)
    : config_(config), gain_(gain), carrier_(config) {
    check_passband(config);
    const double stop = std::min(
        {config.carrier, config.sampleRate / 2 - config.carrier, config.basebandRate() / 2});
    lowpass_ = std::make_unique<Lowpass>(config.basebandRate(), config.bandwidth, stop);
    resampler_ = std::make_unique<Resampler>(config.basebandRate(), config.sampleRate);
}

Modulator::~Modulator() = default;

void Modulator::mix(std::vector<double>& out) {
    out.reserve(out.size() + resampled_.size());
    for (const cdouble& x : resampled_) {
        out.push_back(gain_ * (x * carrier_.next()).real());
    }
    resampled_.clear();
}

void Modulator::push(const cdouble* x, std::size_t n, std::vector<double>& out) {
    filtered_.clear();
    lowpass_->push(x, n, filtered_);
    resampler_->push(filtered_.data(), filtered_.size(), resampled_);
    mix(out);
}

void Modulator::finish(std::vector<double>& out) {
    filtered_.clear();
    lowpass_->finish(filtered_);
    resampler_->push(filtered_.data(), filtered_.size(), resampled_);
    resampler_->finish(resampled_);
    mix(out);
}

Demodulator::Demodulator(const PassbandConfig& config) : config_(config), carrier_(config) {
    check_passband(config);
    const double stop = std::min(2 * config.carrier - config.bandwidth, config.basebandRate() / 2);
    resampler_ = std::make_unique<Resampler>(config.sampleRate, config.basebandRate());
    lowpass_ = std::make_unique<Lowpass>(config.basebandRate(), config.bandwidth, stop);
}

Demodulator::~Demodulator() = default;

void Demodulator::push(const double* s, std::size_t n, std::vector<cdouble>& out) {
    mixed_.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        mixed_[k] = 2 * s[k] * std::conj(carrier_.next());
    }
    resampled_.clear();
    resampler_->push(mixed_.data(), n, resampled_);
    lowpass_->push(resampled_.data(), resampled_.size(), out);
}

void Demodulator::finish(std::vector<cdouble>& out) {
    resampled_.clear();
    resampler_->finish(resampled_);
    lowpass_->push(resampled_.data(), resampled_.size(), out);
    lowpass_->finish(out);
}

namespace {

double to_db(double amplitude) { return 20 * std::log10(amplitude); }

// The gain that puts `samples` at `level`, refused when it would clip and clipping is not
// allowed.
double level_gain(const std::vector<double>& samples, const Level& level) {
    if (!std::isfinite(level.dbfs)) {
        raise(errid::kBadLevel, "the level " + std::to_string(level.dbfs) + " dBFS is not finite");
    }
    double peak = 0, power = 0;
    for (double s : samples) {
        peak = std::max(peak, std::abs(s));
        power += s * s;
    }
    if (peak == 0) return 1;  // silence stays silent
    const double rms = std::sqrt(power / static_cast<double>(samples.size()));
    const double gain =
        std::pow(10, level.dbfs / 20) / (level.kind == Level::Kind::rms ? rms : peak);
    if (gain * peak > 1 && !level.allowClipping) {
        std::ostringstream text;
        text << "the level " << level.dbfs << " dBFS "
             << (level.kind == Level::Kind::rms ? "RMS" : "peak") << " puts the peak at "
             << to_db(gain * peak) << " dBFS, above full scale (the peak-to-average ratio is "
             << to_db(peak / rms) << " dB); lower the level or allow clipping";
        raise(errid::kClipping, text.str());
    }
    return gain;
}

}  // namespace

AudioSignal modulate(const ComplexArray& baseband, const PassbandConfig& config,
                     const Level& level) {
    AudioSignal signal;
    signal.sampleRate = config.sampleRate;
    Modulator modulator(config, 1);
    signal.samples.reserve(static_cast<std::size_t>(std::ceil(baseband.numel() * config.sampleRate /
                                                              config.basebandRate())) +
                           64);
    modulator.push(baseband.data(), static_cast<std::size_t>(baseband.numel()), signal.samples);
    modulator.finish(signal.samples);
    const double gain = level_gain(signal.samples, level);
    double peak = 0, power = 0, peakBefore = 0;
    for (double& s : signal.samples) {
        s *= gain;
        peakBefore = std::max(peakBefore, std::abs(s));
        power += s * s;
        if (std::abs(s) > 1) {
            s = std::copysign(1.0, s);
            ++signal.clipped;
        }
        peak = std::max(peak, std::abs(s));
    }
    const double n = static_cast<double>(std::max<std::size_t>(signal.samples.size(), 1));
    const double rmsBefore = std::sqrt(power / n);
    signal.peakToAverageDb = peakBefore > 0 ? to_db(peakBefore / rmsBefore) : 0;
    power = 0;
    for (double s : signal.samples) power += s * s;
    signal.rmsDbfs = to_db(std::sqrt(power / n));
    signal.peakDbfs = to_db(peak);
    return signal;
}

ComplexArray demodulate(const std::vector<double>& samples, const PassbandConfig& config) {
    Demodulator demodulator(config);
    std::vector<cdouble> out;
    const auto length = static_cast<std::size_t>(
        std::llround(samples.size() * config.basebandRate() / config.sampleRate));
    out.reserve(length + 64);
    demodulator.push(samples.data(), samples.size(), out);
    demodulator.finish(out);
    out.resize(length);  // the resampler's flush may round one sample either way
    ComplexArray baseband(static_cast<index_t>(length));
    std::copy(out.begin(), out.end(), baseband.data());
    return baseband;
}

}  // namespace hfchain::audio
