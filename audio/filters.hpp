// The two filters of the passband conversion: a linear-phase low-pass with its delay taken out,
// and the sample-rate converter (libsoxr), both for complex signals fed block by block.
#pragma once

#include <cstddef>
#include <vector>

#include "runtime/array.hpp"

namespace hfchain::audio {

// Kaiser-windowed sinc low-pass at `rate` samples a second: passes |f| <= pass with a ripple
// below kLowpassRipple and stops |f| >= stop by as much. The output is the input's delayed by
// none: the filter's (N - 1) / 2 samples of delay are dropped at the start and flushed by
// finish(), so the output has exactly as many samples as the input.
inline constexpr double kLowpassAttenuationDb = 90;
inline constexpr double kLowpassRipple = 3.2e-5;  // 10^(-90 / 20)

class Lowpass {
public:
    Lowpass(double rate, double pass, double stop);

    void push(const cdouble* x, std::size_t n, std::vector<cdouble>& out);
    void finish(std::vector<cdouble>& out);
    std::size_t taps() const { return taps_.size(); }

private:
    std::vector<double> taps_;
    std::vector<cdouble> line_;  // the last taps - 1 inputs, then the block
    std::size_t toDrop_;         // outputs still to drop for the delay
};

// The sample-rate converter from `in` to `out` samples a second for a complex signal (its real
// and imaginary parts as two channels). Its output is aligned with its input: output sample k is
// the signal at k / out seconds; finish() flushes the filter's tail.
class Resampler {
public:
    Resampler(double in, double out);
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    void push(const cdouble* x, std::size_t n, std::vector<cdouble>& out);
    void finish(std::vector<cdouble>& out);

private:
    void run(const cdouble* x, std::size_t n, std::vector<cdouble>& out);

    void* soxr_;
    double ratio_;
};

}  // namespace hfchain::audio
