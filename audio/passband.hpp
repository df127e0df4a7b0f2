// Passband audio: the complex baseband at M samples a symbol (2400 M samples a second) onto a
// real audio signal around a carrier, at a sound card's sample rate, and back.
//
// Up:   baseband -> low-pass -> resample to the audio rate -> s(k) = gain Re{x(k) e^{+j w k}}.
// Down: audio -> y(k) = 2 s(k) e^{-j w k} -> resample to 2400 M -> low-pass -> baseband.
// w = 2 pi fc / fs. The low-pass keeps |f| <= bandwidth and removes what would fold over: in
// the modulator everything beyond min(fc, fs/2 - fc) (which the real signal cannot carry
// apart from the band), in the demodulator the image at 2 fc - f. Its delay and the
// resampler's are taken out, so that a baseband sample and the audio sample of the same instant
// have the same time (sample k of the baseband is at k / (2400 M) s, sample k of the audio at
// k / fs s), and the receivers work on a demodulated signal unchanged.
//
// Both directions stream: push() takes a block of any size and appends what is ready, finish()
// appends the rest (the filters' tails). Memory stays bounded over any length of signal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "runtime/array.hpp"

namespace hfchain::audio {

inline constexpr double kSymbolRate = 2400;  // symbols a second

struct PassbandConfig {
    double sampleRate = 8000;      // audio samples a second, 8000 .. 192000
    double carrier = 1800;         // Hz
    index_t samplesPerSymbol = 4;  // M of the baseband
    double bandwidth = 1620;       // Hz each side of the carrier kept unchanged (the pulse's
                                   // 1200 (1 + roll-off))
    double basebandRate() const { return kSymbolRate * samplesPerSymbol; }
};

// Refuses a configuration whose band does not fit ("hfchain:audio:BadPassband", naming the
// value): sample rate outside 8000 .. 192000, M below 2, a carrier or bandwidth not positive, a
// band that reaches 0 Hz or the audio Nyquist frequency (fc - bandwidth <= 0,
// fc + bandwidth >= fs / 2), or one wider than the baseband can hold (bandwidth >= 1200 M).
void check_passband(const PassbandConfig& config);

class Resampler;
class Lowpass;

// e^{j 2 pi fc k / fs} for k = 0, 1, 2, ...: the carrier's phase reduced exactly, from a table of
// one period when it is short.
class CarrierPhase {
public:
    explicit CarrierPhase(const PassbandConfig& config);
    cdouble next();

private:
    PassbandConfig config_;
    std::vector<cdouble> table_;
    std::size_t at_ = 0;      // in the table
    std::int64_t index_ = 0;  // without a table
};

// Baseband to audio, block by block. `gain` multiplies the audio (see level_gain()).
class Modulator {
public:
    Modulator(const PassbandConfig& config, double gain);
    ~Modulator();
    Modulator(const Modulator&) = delete;
    Modulator& operator=(const Modulator&) = delete;

    // Appends to `out` the audio of the baseband `x[0 .. n)` that is ready.
    void push(const cdouble* x, std::size_t n, std::vector<double>& out);
    // Appends the rest; the modulator takes nothing after it.
    void finish(std::vector<double>& out);

private:
    void mix(std::vector<double>& out);

    PassbandConfig config_;
    double gain_;
    std::unique_ptr<Lowpass> lowpass_;
    std::unique_ptr<Resampler> resampler_;
    std::vector<cdouble> filtered_, resampled_;
    CarrierPhase carrier_;
};

// Audio to baseband, block by block.
class Demodulator {
public:
    explicit Demodulator(const PassbandConfig& config);
    ~Demodulator();
    Demodulator(const Demodulator&) = delete;
    Demodulator& operator=(const Demodulator&) = delete;

    // Appends to `out` the baseband of the audio `s[0 .. n)` that is ready.
    void push(const double* s, std::size_t n, std::vector<cdouble>& out);
    void finish(std::vector<cdouble>& out);

private:
    PassbandConfig config_;
    std::unique_ptr<Resampler> resampler_;
    std::unique_ptr<Lowpass> lowpass_;
    std::vector<cdouble> mixed_, resampled_;
    CarrierPhase carrier_;
};

// How loud the audio is: its RMS or its peak, in dB below full scale (full scale is an amplitude
// of 1: a full-scale sine is 0 dBFS peak, -3.01 dBFS RMS).
struct Level {
    enum class Kind { rms, peak };
    Kind kind = Kind::peak;
    double dbfs = -3;
    bool allowClipping = false;  // else a peak above full scale is refused
};

struct AudioSignal {
    std::vector<double> samples;
    double sampleRate = 0;
    double rmsDbfs = 0, peakDbfs = 0;  // as written (after any clipping)
    double peakToAverageDb = 0;        // before clipping (0 for silence)
    std::size_t clipped = 0;           // samples clipped to +-1
};

// The whole baseband `baseband` (a column) as audio at `level`. A level whose peak exceeds full
// scale is refused ("hfchain:audio:Clipping") unless level.allowClipping; then the samples
// beyond +-1 are clipped and counted. A silent signal stays silent.
AudioSignal modulate(const ComplexArray& baseband, const PassbandConfig& config,
                     const Level& level);

// The whole audio `samples` back to baseband, a column of
// round(samples.size() * 2400 M / fs) samples.
ComplexArray demodulate(const std::vector<double>& samples, const PassbandConfig& config);

}  // namespace hfchain::audio
