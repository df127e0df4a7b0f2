// The parameter set of every data rate of the waveform. All rates share the symbol rate (2400
// symbols/s), the preamble's structure, the scrambler, the frame principle and the interleaver's
// load and fetch rule; they differ in constellation, repetition, frame geometry, interleaver size
// and the mode symbols d1/d2 that the preamble and the closing probes announce.
#pragma once

#include "params/modeconf.hpp"
#include "params/modes.hpp"
#include "runtime/numeric.hpp"

namespace hfchain {

// Builds `mode` for the data rate `rate` (bit/s) and an interleaver of `interLen` seconds, both
// compared exactly, from the row of kModes (params/modes.hpp): its constellation, repetition, frame
// geometry, interleaver block and mode symbols. The interleaver's permutation, the channel-symbol
// patterns and the preamble follow the same rules at every rate. `probe` holds the first `trein`
// symbols of the d1 and d2 patterns (trein x 2; 0 x 2 at 75 bit/s).
// rateconf(2400, interLen) equals modeconf(interLen).
//
// Errors: those of mode_of (params/modes.hpp): "hfchain:params:UnknownRate",
// "hfchain:params:UnknownInterleaver", "hfchain:params:NoLongInterleaver".
ModeParams rateconf(double rate, double interLen);

// At 75 bit/s every L-th value of a transmission (1-based, counted across interleaver blocks) is
// sent on the alternate pattern set, columns 5..8 of chSymMapping: L = round(interl / 0.2) 15, the
// values of one interleaver block (45 at 0.6 s, 360 at 4.8 s), so that the last pattern of each
// block marks the block's end. A period that is 0 or not finite marks no value.
inline double alternate_pattern_period(const ModeParams& mode) {
    return round_half_away(mode.interl / 0.2) * 15.0;
}

}  // namespace hfchain
