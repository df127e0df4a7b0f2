// Element count of the host's colon range a:1:b, shared by the demodulator and int2bin.
#pragma once

#include "runtime/array.hpp"

namespace hfchain::detail {

// Count of a, a + 1, ..., up to b: 0 when b < a; otherwise floor(b - a + 0.5) + 1, less one when
// that last element overshoots b by more than the host's tolerance of 4 eps(max(|a|, |b|)).
// A count beyond 2147483647 raises "Coder:MATLAB:pmaxsize"; a bound that is not a number raises
// the integer check naming `name`.
index_t colon_count(double a, double b, const char* name);

}  // namespace hfchain::detail
