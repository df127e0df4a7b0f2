// Packs bits into integer symbol values, k bits a value, most significant first.
#pragma once

#include "runtime/array.hpp"
#include "runtime/interrupts.hpp"

namespace hfchain {

// b: N x 1 bits (0/1 as doubles); k: group size, a positive whole number.
// Returns the N / k values as a column, v(m) = sum over i of 2^(k - i) b((m - 1) k + i).
// Errors: "Coder:MATLAB:NonIntegerInput" when k or the rounded N / k is not a finite whole number
// (k = 0 included), "Coder:MATLAB:pmaxsize" when either exceeds a dimension,
// "Coder:MATLAB:getReshapeDims_notSameNumel" when k does not divide N. Polls `host` for
// interrupts.
RealArray bin2int(const RealArray& b, double k, HostServices& host = no_host());

}  // namespace hfchain
