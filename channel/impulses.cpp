#include "channel/impulses.hpp"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "runtime/checks.hpp"
#include "runtime/error.hpp"

namespace hfchain {

namespace {

const char* const kInvalidImpulses = "hfchain:channel:InvalidImpulses";

[[noreturn]] void refuse(const char* what, double value, const char* rule) {
    std::ostringstream text;
    text << "The impulses' " << what << " " << value << " is not accepted; " << rule << ".";
    raise(kInvalidImpulses, text.str());
}

}  // namespace

void check_impulses(const ImpulseSettings& s) {
    if (!(s.rate > 0 && s.rate <= 1000)) refuse("rate", s.rate, "give 0 to 1000 bursts a second");
    if (!(std::isfinite(s.level) && s.level <= 60)) {
        refuse("level", s.level, "give a finite level up to 60 dB");
    }
    if (!(s.decay > 0 && s.decay <= 1)) refuse("decay", s.decay, "give 0 to 1 s");
}

ImpulseNoise::ImpulseNoise(const ImpulseSettings& settings, double sampleRate, HostServices& host)
    : settings_(settings), sampleRate_(sampleRate), host_(host) {
    check_impulses(settings);
    check_positive(sampleRate, "sampleRate");
    amplitude_ = std::pow(10.0, settings.level / 20);
    fall_ = std::exp(-1 / (settings.decay * sampleRate));
    length_ = static_cast<std::size_t>(std::ceil(5 * settings.decay * sampleRate));
    draw_gap();
}

void ImpulseNoise::draw_gap() {
    const RealArray u = host_.rand(1);
    nextOnsetTime_ += -std::log(u[0]) / settings_.rate;
    nextOnset_ = std::llround(nextOnsetTime_ * sampleRate_);
}

void ImpulseNoise::start_burst() {
    const RealArray w = host_.randn(static_cast<index_t>(length_), 1);
    if (ahead_.size() < length_) ahead_.resize(length_, 0.0);
    double envelope = amplitude_;
    for (std::size_t k = 0; k < length_; ++k) {
        ahead_[k] += envelope * w[static_cast<index_t>(k)];
        envelope *= fall_;
    }
    ++bursts_;
    draw_gap();
}

void ImpulseNoise::add(double* x, std::size_t n) {
    std::size_t k = 0;
    while (k < n) {
        if (ahead_.empty()) {
            // Nothing sounds until the next onset: skip to it.
            const std::int64_t quiet =
                std::min<std::int64_t>(nextOnset_ - position_, static_cast<std::int64_t>(n - k));
            if (quiet > 0) {
                k += static_cast<std::size_t>(quiet);
                position_ += quiet;
                continue;
            }
        }
        while (nextOnset_ <= position_) start_burst();
        x[k] += ahead_.front();
        ahead_.pop_front();
        ++k;
        ++position_;
    }
}

RealArray impulse_noise(index_t n, const ImpulseSettings& settings, double sampleRate, double seed,
                        HostServices& host) {
    check_impulses(settings);
    SeededStream stream(host, seed);
    ImpulseNoise noise(settings, sampleRate, host);
    RealArray out(n);
    std::fill(out.data(), out.data() + n, 0.0);
    noise.add(out.data(), static_cast<std::size_t>(n));
    stream.restore();
    return out;
}

}  // namespace hfchain
