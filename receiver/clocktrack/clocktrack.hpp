// Sample-clock tracking: how much faster the receiver's sample clock runs than the
// transmitter's, from the received baseband alone.
//
// Why. A sound card's clock is off by up to about 100 parts per million, so the receiver's
// samples drift against the transmitted symbols: at +100 ppm a symbol spans M (1 + 1e-4)
// received samples, and over a 48 s message the last symbols arrive 11 symbols later than the
// receiver's M samples a symbol put them. The receivers after this block take one sampling
// instant for the whole transmission; the caller measures the offset here, then resamples the
// received signal by 1 / (1 + ppm 1e-6) (audio/: demodulate the audio at the sample rate scaled
// by (1 + ppm 1e-6), or resample the audio before demodulating it) and runs the receivers on
// the result.
//
// How. The received signal is matched-filtered and cut into windows of `window` symbols. The
// power |y(k)|^2 of a matched-filtered signal with excess bandwidth carries a line at the symbol
// rate whose phase is the symbols' timing (k the sample, M samples a symbol):
//   c_w = sum over the window of |y(k)|^2 e^{-j 2 pi k / M},  timing_w = -arg(c_w) / (2 pi)
// symbols (modulo 1). It needs no known symbols, so it serves every rate (75 bit/s too) and any
// modulation, and a fading channel only moves the line's phase slowly. The drift is first read
// from the mean turn between neighbouring windows (sum c_w conj(c_{w-1})); the offset is then the
// drift d (symbols of drift a symbol; times 1e6: ppm) that makes the lines add up most strongly,
// |sum c_w e^{j 2 pi d t_w}| with t_w the windows' centres, searched within six turns over the
// span of that first reading and refined. A window in a deep fade is weak and counts for little,
// and one whose timing slipped (two paths trading places) cannot pull the result as it would
// pull a fitted line. Offsets are told apart up to 1 / (2 window) either way (about 1950 ppm with
// 256-symbol windows). The windows' timings come back unwrapped about the result.
#pragma once

#include <algorithm>
#include <cmath>

#include "receiver/matchedfilter/pulsematch.hpp"
#include "runtime/array.hpp"
#include "runtime/interrupts.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain {

inline constexpr const char* kClocktrackRefused = "hfchain:clocktrack:Refused";

struct VarClocktrack {
    double first = 0;     // 0-based sample of the received signal where the transmission starts
    double count = 0;     // samples it spans from there; 0: to the end of the signal
    double window = 256;  // symbols a timing window (at least 16)
};

struct ClocktrackOut {
    double ppm = 0;       // the receiver's clock runs ppm 1e-6 faster than the transmitter's
                          // (positive: a symbol spans more than M received samples)
    double residual = 0;  // RMS distance of the timings (weighted by strength) from the line
                          // of the result, symbols: ~0.01 on a clear channel, ~0.05 through
                          // fading
    RealArray centre;     // K x 1 window centres, symbols from `first`
    RealArray timing;     // K x 1 each window's timing, unwrapped, symbols
    RealArray weight;     // K x 1 each window's line strength |c_w|
};

// The timing window for a transmission of `samples` samples at M samples a symbol: at most 256
// symbols, at least 8 windows where the signal is short, and at least 16 symbols (a
// transmission shorter than three windows of 16 symbols is too short to measure).
inline double clocktrack_window(index_t samples, index_t M) {
    const double symbols = static_cast<double>(samples / M);
    return std::clamp(std::floor(symbols / 8), 16.0, 256.0);
}

// Estimates the sample-clock offset of the transmission in samples [first, first + count) of
// `received` (a column at varShapping.oversamplingFactor samples a symbol, before the matched
// filter, which this block applies with varShapping's pulse).
// Errors, kClocktrackRefused naming the value: M below 2 (no symbol-rate line) or not whole; a
// window below 16 symbols or not finite; first or count negative, not whole, or reaching past
// the signal; a span shorter than three windows; a sample that is NaN or infinite. Those of
// pulsematch for the pulse. Polls `host` for interrupts.
ClocktrackOut clocktrack(const ComplexArray& received, const VarShapping& varShapping,
                         const VarClocktrack& varClocktrack, HostServices& host = no_host());

// The same over the whole of a received signal whose matched filter output (pulsematch's, with
// varShapping's pulse) is `matched`, for a caller that needs that output too. Errors as above,
// with the output's samples checked for being finite.
ClocktrackOut clocktrack(const PulsematchOut& matched, const VarShapping& varShapping,
                         double window, HostServices& host = no_host());

}  // namespace hfchain
