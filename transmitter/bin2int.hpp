// Packs bits into integer symbol values, k bits a value, most significant first.
#pragma once

#include "runtime/array.hpp"

namespace hfchain {

// b: N x 1 bits; k: group size. Returns the N / k values as a column
// ("Coder:MATLAB:getReshapeDims_notSameNumel" when k does not divide N).
RealArray bin2int(const RealArray& b, double k);

}  // namespace hfchain
