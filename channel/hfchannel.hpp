// The general HF channel: any number of Watterson paths, each with its own delay, mean power,
// Doppler spread and Doppler shift, a frequency offset of the whole signal, and white noise.
//
// Model, at fs = 2400 M samples per second (M = oversamplingFactor), for an L x 1 input x:
//   y(m) = exp(j 2 pi f_off m / fs) sum_p x(m - D_p) g_p(m - D_p) + w(m),  m = 0 .. L + Dmax - 1,
// with D_p the delay of path p in samples (terms outside 0 .. L - 1 count as zero), Dmax the
// largest, f_off the offset, and g_p(n) = exp(j 2 pi s_p n / fs) h_p(n) the gain of path p at
// input sample n: h_p a sum of 20 complex sinusoids with Gaussian amplitudes and Gaussian
// frequencies of standard deviation fd_p / 2 (fadesim's rays, of mean power 10^(power_p / 10)),
// or for a path of spread 0 the constant 10^(power_p / 20) (a fixed path); s_p the Doppler shift.
// The noise w has total variance 10^(-EsNodB / 10) per sample, as fadesim's.
//
// Given one of fadesim's conditions (two paths at 0 and tau, -3 dB each, spread fd, no shift, no
// offset) it returns fadesim's outputs bit for bit: the same draws in the same order and the same
// arithmetic.
#pragma once

#include <vector>

#include "runtime/array.hpp"
#include "runtime/host.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain {

// The largest delay of a path, s: HF paths lie milliseconds apart; a second bounds the output's
// length (and memory) for any input, whatever a caller passes.
inline constexpr double kMaxPathDelay = 1;

struct HfPath {
    double delay = 0;   // s, from the start of the input, 0 to 1 s; a whole number of samples
    double power = 0;   // mean power of the gain, dB: E|g|^2 = 10^(power / 10)
    double spread = 0;  // two-sided Doppler spread, Hz; 0 makes a fixed (non-fading) path
    double shift = 0;   // Doppler shift, Hz
};

// What a channel is, without its noise.
struct HfChannel {
    std::vector<HfPath> paths;  // in the order they draw their random numbers
    double offset = 0;          // frequency offset of the whole signal, Hz
};

struct VarHfchannel {
    HfChannel channel;
    double EsNodB = 20;  // Es/N0 in dB (SNR in 3 kHz is Es/N0 - 0.97 dB)
    double seed = 0;     // seed of the host's "twister" stream for this call
};

struct HfchannelOut {
    ComplexArray raios;               // L x P gains g_p(n) per input sample, shift included (what
                                      // the genie needs: the offset only turns the phase)
    RealArray delays;                 // P x 1 path delays D_p, samples
    double offset = 0;                // the frequency offset f_off, Hz
    ComplexArray WattersonOutAwgnIn;  // (L + Dmax) x 1 faded (and offset) waveform
    ComplexArray noise;               // (L + Dmax) x 1 added noise
    ComplexArray AwgnOut;             // (L + Dmax) x 1 received waveform
};

inline constexpr const char* kHfchannelFields[] = {
    "raios", "delays", "offset", "WattersonOutAwgnIn", "noise", "AwgnOut"};

// Passes the L x 1 waveform `x` (M = varShapping.oversamplingFactor samples per symbol, 2400
// symbols per second) through the channel of varHfchannel and adds its noise.
//
// The host's stream is seeded with varHfchannel.seed; each fading path in order draws three
// 1 x 20 rows (real amplitudes, imaginary amplitudes, frequencies), fixed paths draw
// nothing, then the noise draws an (L + Dmax) x 1 column of real parts and one of imaginary parts
// (also for EsNodB = +Inf). The caller's generator settings are restored on every exit.
//
// Errors, in this order, all before the stream is touched but the last three: a NaN or infinite
// input sample, "hfchain:hfchannel:NonFinite"; no path, or a path or offset value that is not
// accepted (a delay outside 0 to 1 s, a power not finite or so
// large that its gain overflows, a spread not finite or negative, a shift or offset not finite),
// "hfchain:hfchannel:InvalidChannel" naming the path and value; an EsNodB whose noise level is
// not finite, "hfchain:channel:InvalidEsNodB"; M not above 0, "hfchain:runtime:NotPositive"; a
// delay that is not a whole number of samples at M (2400 M delay, to a billionth of it: 2.25 ms
// is 27 samples at M = 5 although 0.00225 is not exact in binary),
// "hfchain:hfchannel:FractionalDelay"; L + Dmax beyond 2147483647 ("Coder:MATLAB:pmaxsize"); an
// invalid seed ("hfchain:host:InvalidSeed"); an interrupt or a failure of the host's generator;
// a faded sample that overflows (a huge input through a strong path),
// "hfchain:hfchannel:Overflow".
// Refuses a channel that hfchannel does not accept (no path, a path or offset value out of
// range), "hfchain:hfchannel:InvalidChannel" naming the path and value.
void check_hf_channel(const HfChannel& channel);

// A path's delay of `delay` s in samples at `M` samples per symbol (2400 M delay), and whether
// the block takes it: a whole number of samples to a billionth of it (2.25 ms is 27 samples at
// M = 5 although 0.00225 is not exact in binary). The one rule of every caller that checks a
// channel before running it.
double delay_samples(double delay, double M);
bool whole_samples(double samples);

HfchannelOut hfchannel(const ComplexArray& x, const VarHfchannel& varHfchannel,
                       const VarShapping& varShapping, HostServices& host);

}  // namespace hfchain
