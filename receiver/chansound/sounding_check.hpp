// The one check of a sounding handed back to a receiver (the equaliser, the pattern detector):
// the result may come from a caller rather than from chansound, so its shapes and values are
// checked before anything squares or multiplies them.
#pragma once

#include "receiver/chansound/chansound.hpp"
#include "runtime/array.hpp"

namespace hfchain {

// Checks `s` for a receiver of a transmission of `symbols` symbols; `user` names the receiver in
// the messages ("equaliser", "detector").
//   basis: L x r, 1 <= L <= kMaxTaps, 1 <= r <= kMaxPaths; out: symbols + L - 1 samples; gains
//   and gainVar: r x numel(out); pathPower: r values; every field finite (windowVar may hold
//   +Inf: a window without estimate); variances not negative; samples, gains and basis values
//   at most kLargestSample in magnitude (each part), variances at most kLargestVariance.
// Errors: a basis of another size, or a negative variance, "hfchain:turboequal:BadSounding";
// sizes that disagree, "hfchain:runtime:SizeMismatch"; NaN or infinite values,
// "hfchain:turboequal:NonFinite"; values beyond the bounds, "hfchain:turboequal:TooLarge"; each
// naming the field (and the element).
void check_sounding(const ChansoundOut& s, index_t symbols, const char* user);

}  // namespace hfchain
