// Demodulator and demapper: hard nearest-point decisions, Gray demapping, bits.
#pragma once

#include "params/modeconf.hpp"
#include "runtime/array.hpp"
#include "runtime/interrupts.hpp"

namespace hfchain {

struct SymslicerOut {
    RealArray DemodOutDemapIn;  // decisions
    RealArray DemapOut;         // bits, b per decision, most significant first
};

inline constexpr const char* kSymslicerFields[] = {"DemodOutDemapIn", "DemapOut"};

// Bits of each value, n per value, most significant first: an (n L) x 1 column of 0 and 1 for
// the L x 1 values x (whole numbers 0 .. 2^n - 1; a fraction gives the bits of its floor).
// Errors: a value above 2^n - 1, the program message "ERRO! Número de bits insuficientes para
// representar o símbolo (n)."; n - 1 beyond the 32-bit range, "Coder:MATLAB:pmaxsize".
// Polls `host` for interrupts.
RealArray int2bin(const RealArray& x, double n, HostServices& host = no_host());

// Hard decisions and Gray-demapped bits of the received data symbols.
//   DemodulatorIn: N x 1 complex data symbols.
//   mode: rate, bitsToSym (b), and at rate 75 also chSymMapping (Ls x 8 symbol numbers) and
//   interl (seconds).
// Every rate but 75: DemodOutDemapIn(n) is the number s of the point exp(j 2 pi s / 2^b) nearest
// to symbol n (Euclidean distance as computed by hypot, the lower number on exact ties, NaN
// distances skipped, point 0 when all are NaN); N x 1.
// Rate 75: symbols are decided on 2^(b-1) points, taken as symbol numbers 4 (point), and each
// block of Ls is matched, by the least sum of absolute differences, against columns 1-4 of
// chSymMapping, or 5-8 for every (round(interl / 0.2) 15)-th block; DemodOutDemapIn(k) is the
// chosen column within its set, 0 .. 3; (N / Ls) x 1.
// DemapOut: int2bin(Gray code of each decision, b), b bits a decision.
// Errors: a decision of 8 or more, the index check on `bina2gray`; int2bin's capacity message;
// no points, "Coder:toolbox:eml_min_or_max_varDimZero"; one point with N other than 1, or blocks
// of one symbol, "Coder:toolbox:autoDimIncompatibility"; more than 2^31 - 1 points,
// "Coder:MATLAB:pmaxsize"; b not a number, the integer check on `bitsToSym`; rate 75 with N not a
// multiple of Ls, "Coder:MATLAB:NonIntegerInput", or N = 0 with Ls > 1,
// "Coder:toolbox:reshape_emptyReshapeLimit"; chSymMapping with fewer than 8 columns, the index
// check on `chSymMapping`. Every check that needs no decision is made before any symbol is
// decided; a decision of 8 or more fails as soon as that symbol is decided.
// Cost: constellations of up to 64 points are searched whole; larger ones (up to 2^30 points)
// are neither tabulated nor searched whole: a symbol near the unit circle costs a few points, one
// of huge or tiny magnitude (beyond about 1e13, below about 1e-13, zero included) up to all of
// them, as the distances then differ by no more than their rounding. Polls `host` for interrupts
// (the default host cannot be interrupted).
SymslicerOut symslicer(const ComplexArray& DemodulatorIn, const ModeParams& mode,
                       HostServices& host = no_host());

}  // namespace hfchain
