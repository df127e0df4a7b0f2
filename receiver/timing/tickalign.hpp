// Symbol-rate sampling of the matched-filter output from a given start sample.
#pragma once

#include "runtime/array.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain {

struct TickalignOut {
    ComplexArray out;  // K x 1, one sample per symbol
};

TickalignOut tickalign(const ComplexArray& SyncSymbolIn, double FrameStartSample,
                       const VarShapping& varShapping);

}  // namespace hfchain
