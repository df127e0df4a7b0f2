// The modem's parameter set: rate, interleaver permutation, channel-symbol patterns, frame
// geometry, preamble and closing probes.
#pragma once

#include "runtime/array.hpp"

namespace hfchain {

// The `mode` structure. Ten fields, in the order the host sees them.
struct ModeParams {
    double rate = 2400;      // data rate in bit/s (75 to 4800, see rateconf)
    double interl = 0.6;     // interleaver length in seconds
    RealArray interTable;    // N x 1: entry k is the 1-based input position of the k-th output bit
    RealArray chSymMapping;  // 32 x 8: column v+1 is the 32-symbol pattern of the 3-bit value v
    double bitsToSym = 3;    // bits per channel symbol
    double repFactor = 1;    // repetition factor of the coded bits
    RealArray preamSync;     // 1 x (480 nSeg): the unscrambled preamble, symbol numbers 0 or 4
    double trein = 16;       // probe symbols per frame
    double data = 32;        // data symbols per frame
    RealArray probe;         // trein x 2: the two probe patterns that close each interleaver block
};

// Field names of `mode` in their order.
inline constexpr const char* kModeParamsFields[] = {
    "rate",      "interl",    "interTable", "chSymMapping", "bitsToSym",
    "repFactor", "preamSync", "trein",      "data",         "probe"};

// Builds `mode` for the 2400 bit/s mode with an interleaver of `interLen` seconds (0.6 or 4.8,
// compared exactly). Any other length raises the index error naming `numRow`. The same set as
// rateconf(2400, interLen) (params/rateconf.hpp), which builds every rate.
ModeParams modeconf(double interLen);

}  // namespace hfchain
