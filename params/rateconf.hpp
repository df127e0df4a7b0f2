// The parameter set of every data rate of the waveform. All rates share the symbol rate (2400
// symbols/s), the preamble's structure, the scrambler, the frame principle and the interleaver's
// load and fetch rule; they differ in constellation, repetition, frame geometry, interleaver size
// and the mode symbols d1/d2 that the preamble and the closing probes announce.
#pragma once

#include "params/modeconf.hpp"
#include "runtime/numeric.hpp"

namespace hfchain {

// The user data rates in bit/s, fastest first: the row order of every rate table.
inline constexpr double kDataRates[] = {4800, 2400, 1200, 600, 300, 150, 75};

// Builds `mode` for the data rate `rate` (bit/s) and an interleaver of `interLen` seconds, both
// compared exactly. Per rate:
//   4800  8-PSK (bitsToSym 3), uncoded and not interleaved, frames of 32 data + 16 probe symbols
//   2400  8-PSK (3), rate-1/2 code, 32 + 16
//   1200  4-PSK (2), rate-1/2 code, 20 + 20
//    600  2-PSK (1), rate-1/2 code, 20 + 20
//    300  2-PSK (1), rate-1/2 code, each coded bit sent twice (repFactor 2), 20 + 20
//    150  2-PSK (1), rate-1/2 code, each coded bit sent four times (repFactor 4), 20 + 20
//     75  rate-1/2 code, each pair of coded bits sent as one of four 32-symbol channel patterns
//         (bitsToSym 2), 32 + 0: no probes
// The interleaver block holds interLen seconds of coded bits (interLen x rate x 2 x repFactor;
// interLen x rate uncoded); its permutation, the channel-symbol patterns and the preamble follow
// the same rules at every rate, with the rate's geometry and mode symbols. `probe` holds the
// first `trein` symbols of the d1 and d2 patterns (trein x 2; 0 x 2 at 75 bit/s).
// rateconf(2400, interLen) equals modeconf(interLen).
//
// Errors: "hfchain:params:UnknownRate" (rate not one of kDataRates),
// "hfchain:params:UnknownInterleaver" (interLen neither 0.6 nor 4.8),
// "hfchain:params:NoLongInterleaver" (4800 bit/s with 4.8 s: the uncoded mode has only 0.6 s).
ModeParams rateconf(double rate, double interLen);

// At 75 bit/s every L-th value of a transmission (1-based, counted across interleaver blocks) is
// sent on the alternate pattern set, columns 5..8 of chSymMapping: L = round(interl / 0.2) 15, the
// values of one interleaver block (45 at 0.6 s, 360 at 4.8 s), so that the last pattern of each
// block marks the block's end. A period that is 0 or not finite marks no value.
inline double alternate_pattern_period(const ModeParams& mode) {
    return round_half_away(mode.interl / 0.2) * 15.0;
}

}  // namespace hfchain
