// The sounding: what the channel sounder finds about one received transmission, as the receivers
// after it (the equaliser, the pattern detector) take it, and the one check they make of it: the
// result may come from a caller rather than from chansound, so its shapes and values are checked
// before anything squares or multiplies them.
#pragma once

#include "runtime/array.hpp"

namespace hfchain {

struct ChansoundOut {
    double start = 0;          // 1-based matched-filter sample read as out(1)
    RealArray delays;          // r x 1 1-based sample at which each path's pulse of the first
                               // transmitted symbol peaks
    ComplexArray basis;        // L x r each path's pulse at the L symbol-spaced taps
    ComplexArray out;          // Ny x 1 matched-filter samples, one a symbol from `start`;
                               // Ny = symbols + L - 1
    ComplexArray gains;        // r x Ny smoothed gain of each path at each sample
    RealArray gainVar;         // r x Ny error variance of those gains
    RealArray pathPower;       // r x 1 mean power of each path
    ComplexArray windowGains;  // r x E gains estimated in each frame-long window
    RealArray windowVar;       // r x E their error variances (infinite: no estimate)
    RealArray windowTime;      // E x 1 sample (0-based, in `out`) each window estimate belongs to
    double noiseVar = 0;       // noise variance of `out`
    double doppler = 0;        // Doppler spread assumed by the smoother, Hz
    double frames = 0;         // frames after the preamble
    RealArray profile;         // Q x 1 estimated power of the response at each sample delay of
                               // the search span
    double profileStart = 0;   // 1-based sample at which the first symbol would peak for
                               // profile(1)
};

inline constexpr const char* kChansoundFields[] = {
    "start",    "delays",    "basis",       "out",       "gains",
    "gainVar",  "pathPower", "windowGains", "windowVar", "windowTime",
    "noiseVar", "doppler",   "frames",      "profile",   "profileStart"};

// Checks `s` for a receiver of a transmission of `symbols` symbols; `user` names the receiver in
// the messages ("equaliser", "detector"), `block` in the identifiers ("turboequal",
// "patterntrack").
//   basis: L x r, 1 <= L <= kMaxTaps, 1 <= r <= kMaxPaths; out: symbols + L - 1 samples; gains
//   and gainVar: r x numel(out); pathPower: r values; every field finite (windowVar may hold
//   +Inf: a window without estimate); variances not negative; samples, gains and basis values
//   at most kLargestSample in magnitude (each part), variances at most kLargestVariance.
//   (kMaxTaps and kMaxPaths: pathtrack.hpp; kLargestSample and kLargestVariance:
//   receiver/layout/reception.hpp.)
// Errors: a basis of another size, or a negative variance, "hfchain:<block>:BadSounding"; sizes
// that disagree, "hfchain:runtime:SizeMismatch"; NaN or infinite values,
// "hfchain:<block>:NonFinite"; values beyond the bounds, "hfchain:<block>:TooLarge"; each naming
// the field (and the element).
void check_sounding(const ChansoundOut& s, index_t symbols, const char* user, const char* block);

}  // namespace hfchain
