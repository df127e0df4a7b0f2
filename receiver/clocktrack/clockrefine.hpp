// The sample-clock offset refined from a transmission's known symbols (its preamble and its
// probes): the recording receiver's second step after clocktrack, which also tells how far the
// reading may be off.
//
// Why. clocktrack reads the drift from the symbol-rate line of the received power, to which
// every path of the channel adds with its own timing, and a pair of paths with a term of their
// product that turns with the paths' relative phase. Through two paths a few symbols apart the
// line's timing then wanders by up to a symbol in a few seconds (two paths 1 ms apart with 0.5 Hz
// of spread read 100 to 300 ppm where there is none). A drift moves every path alike; fading
// changes the paths' strengths, not their delays.
//
// How. The matched-filtered signal, turned back by the frequency offset, gives each window of
// `window` symbols a delay profile: the power of the channel's response at every sample lag over
// 32 symbols about the symbols' instants. A window of the blocks correlates its runs of known
// symbols (at most 48 taken coherently) with the signal and adds their powers; a window of the
// preamble, where every symbol is known, fits the response by least squares (the correlation
// would keep the preamble's own sidelobes). Under a drift d a window whose known symbols centre
// t_w symbols after the first lies d M t_w samples later; the drift is the one that lines the
// windows' profiles up most sharply (the largest energy of their sum, shifted back; the
// preamble's windows among themselves, the blocks' among themselves, whose profiles' floors
// differ), sought within one symbol of drift over the windows' span either way of clocktrack's
// reading, then refined. The shifts are fractional: they turn the profiles' spectra, which the
// pulse bounds. Each window's own shift against the others' sum scatters about the result; the
// uncertainty is twice the drift a straight trend of that scatter's size makes over the span.
#pragma once

#include <optional>

#include "params/modeconf.hpp"
#include "runtime/array.hpp"

namespace hfchain {

struct ClockrefineIn {
    index_t M = 4;         // samples a symbol of `matched`
    index_t peak = 0;      // 0-based sample of `matched` where symbol 0 peaks
    double offset = 0;     // Hz, the frequency offset left in `matched`
    double ppm = 0;        // clocktrack's reading
    double window = 256;   // symbols a window (clocktrack's)
    index_t preamble = 0;  // the preamble's symbols
};

struct ClockReading {
    double ppm = 0;          // the receiver's clock runs ppm 1e-6 faster than the transmitter's
    double uncertainty = 0;  // ppm either way the reading may be off
};

// The refined offset of the transmission in `matched` (the matched filter's output) whose
// symbol k has the mean mean[k], known where var[k] is 0; nothing when the known symbols fill
// fewer than three windows or span less than half the transmission (a rate without probes).
std::optional<ClockReading> clockrefine(const ComplexArray& matched, const ComplexArray& mean,
                                        const RealArray& var, const ClockrefineIn& in);

// The same for a transmission of `mode` of `symbols` symbols from its preamble's first (whole
// frames of them are known where the mode's layout puts its known symbols); `in.preamble` is the
// mode's own.
std::optional<ClockReading> clockrefine(const ComplexArray& matched, const ModeParams& mode,
                                        index_t symbols, ClockrefineIn in);

}  // namespace hfchain
