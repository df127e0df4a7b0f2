// Deinterleaver: scatters each block of T bits back through `interTable`.
#pragma once

#include "params/modeconf.hpp"
#include "runtime/array.hpp"

namespace hfchain {

struct UnshuffleOut {
    RealArray out;  // N x 1 bits in encoder order
};

UnshuffleOut unshuffle(const RealArray& DeinterleaverIn, const Milstd& milstd);

}  // namespace hfchain
