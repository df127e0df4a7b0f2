// Frame synchronisation: Pearson correlation of candidate windows with the scrambled preamble.
#pragma once

#include "params/modeconf.hpp"
#include "runtime/array.hpp"
#include "runtime/host.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain {

// Pearson correlation of each column of X (m x n complex) with y (m real values): an n x 1
// complex column, conj(Xc)' yc / (|Xc| |yc|) with the centred column and reference, its
// magnitude clamped to 1. A constant column or reference gives NaN. corr hands its arguments to
// corrPearson. Errors: y without m elements, the size check.
ComplexArray corr(const ComplexArray& X, const RealArray& y);
ComplexArray corrPearson(const ComplexArray& X, const RealArray& y);

// Finds the start of the transmission: the candidate window w = 1 .. 288 OS, holding the samples
// w, w + OS, ..., w + 287 OS, whose correlation magnitude with the first 288 scrambled preamble
// symbols (symbol numbers as plain values) is largest; NaN magnitudes are skipped and the first
// of equal magnitudes wins. w - 1 = (symbol offset) OS + (sampling phase).
//   SincroFrameIn: L x 1 complex matched-filter output, L >= 575 OS.
//   mode: preamSync, at least 1440 symbols. varShapping: oversamplingFactor (OS).
// Returns the 1-based start sample as a 1 x 1 column, or an empty 0 x 1 column when every
// magnitude is NaN (for example an all-zero input).
// Errors: preamSync under 1440 symbols, the index check on `mode.preamSync`; a preamSync value
// that is not a symbol number 0 to 7, "hfchain:layout:BadPreamble" (check_preamble_symbols);
// L < 575 OS, the
// index check on `dados_sincro_in`; 288 OS negative or not whole, or OS not whole, the sign or
// integer check; OS = 0, "Coder:toolbox:eml_min_or_max_varDimZero".
//
// The search bounds every window's magnitude with vectorised sums and recomputes exactly only the
// windows that can reach the largest one, so the result is the exact rule's, ties and NaN
// windows included; inputs the bounds do not cover (NaN, infinite, huge or tiny values, a
// constant reference) are searched by the exact rule throughout, more slowly.
RealArray framelock(const ComplexArray& SincroFrameIn, const ModeParams& mode,
                    const VarShapping& varShapping);

// The same, polling host.poll_interrupt() between groups of windows: an interrupt abandons the
// call with the host's error.
RealArray framelock(const ComplexArray& SincroFrameIn, const ModeParams& mode,
                    const VarShapping& varShapping, HostServices& host);

}  // namespace hfchain
