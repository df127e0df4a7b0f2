#include "audio/filters.hpp"

#include <soxr.h>

#include <cmath>
#include <numbers>
#include <string>

#include "audio/errors.hpp"
#include "runtime/error.hpp"

namespace hfchain::audio {

namespace {

// The modified Bessel function of the first kind, order 0 (its power series).
double bessel_i0(double x) {
    double sum = 1, term = 1;
    for (int k = 1; k < 200 && term > 1e-17 * sum; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
    }
    return sum;
}

std::vector<double> kaiser_lowpass(double rate, double pass, double stop) {
    const double A = kLowpassAttenuationDb;
    const double beta = 0.1102 * (A - 8.7);
    const double width = 2 * std::numbers::pi * (stop - pass) / rate;
    std::size_t n = static_cast<std::size_t>(std::ceil((A - 8) / (2.285 * width))) + 1;
    n |= 1;  // odd: a whole number of samples of delay
    const double half = (n - 1) / 2.0, cutoff = (pass + stop) / rate;  // of the Nyquist rate
    std::vector<double> taps(n);
    const double norm = bessel_i0(beta);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = i - half, r = t / half;
        const double sinc =
            t == 0 ? 1 : std::sin(std::numbers::pi * cutoff * t) / (std::numbers::pi * cutoff * t);
        taps[i] = cutoff * sinc * bessel_i0(beta * std::sqrt(std::max(0.0, 1 - r * r))) / norm;
    }
    return taps;
}

}  // namespace

Lowpass::Lowpass(double rate, double pass, double stop)
    : taps_(kaiser_lowpass(rate, pass, stop)),
      line_(taps_.size() - 1),
      toDrop_((taps_.size() - 1) / 2) {}

void Lowpass::push(const cdouble* x, std::size_t n, std::vector<cdouble>& out) {
    const std::size_t N = taps_.size();
    line_.insert(line_.end(), x, x + n);
    out.reserve(out.size() + n);
    for (std::size_t k = 0; k < n; ++k) {
        const cdouble* p = line_.data() + k;
        double re = 0, im = 0;
        for (std::size_t i = 0; i < N; ++i) {
            re += taps_[N - 1 - i] * p[i].real();
            im += taps_[N - 1 - i] * p[i].imag();
        }
        if (toDrop_ > 0) {
            --toDrop_;
        } else {
            out.emplace_back(re, im);
        }
    }
    line_.erase(line_.begin(), line_.begin() + static_cast<std::ptrdiff_t>(n));
}

void Lowpass::finish(std::vector<cdouble>& out) {
    const std::vector<cdouble> zeros((taps_.size() - 1) / 2);
    push(zeros.data(), zeros.size(), out);
}

Resampler::Resampler(double in, double out) : soxr_(nullptr), ratio_(out / in) {
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
    soxr_error_t error = nullptr;
    soxr_ = soxr_create(in, out, 2, &error, &io, &quality, nullptr);
    if (error != nullptr) {
        raise(errid::kResampler, std::string("cannot make the resampler: ") + error);
    }
}

Resampler::~Resampler() { soxr_delete(static_cast<soxr_t>(soxr_)); }

void Resampler::run(const cdouble* x, std::size_t n, std::vector<cdouble>& out) {
    const auto s = static_cast<soxr_t>(soxr_);
    std::size_t done_in = 0;
    for (;;) {
        const std::size_t room = static_cast<std::size_t>(std::ceil((n - done_in) * ratio_)) + 64;
        const std::size_t at = out.size();
        out.resize(at + room);
        std::size_t idone = 0, odone = 0;
        const soxr_error_t error = soxr_process(s, x == nullptr ? nullptr : x + done_in,
                                                n - done_in, &idone, out.data() + at, room, &odone);
        out.resize(at + odone);
        if (error != nullptr) raise(errid::kResampler, std::string("resampling failed: ") + error);
        done_in += idone;
        if (x == nullptr ? odone == 0 : (done_in == n && odone < room)) return;
    }
}

void Resampler::push(const cdouble* x, std::size_t n, std::vector<cdouble>& out) {
    if (n > 0) run(x, n, out);
}

void Resampler::finish(std::vector<cdouble>& out) { run(nullptr, 0, out); }

}  // namespace hfchain::audio
