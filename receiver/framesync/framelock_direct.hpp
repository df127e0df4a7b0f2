// Two other routes to framelock's result, for the tests and the benchmarks.
#pragma once

#include "params/modeconf.hpp"
#include "runtime/array.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain::detail {

// framelock computed window by window with the exact rule alone: every window's Pearson
// magnitude, then the first largest. Same checks, errors and result as framelock for every
// input; the benchmarks' yardstick and the tests' reference for the fast search.
RealArray framelock_direct(const ComplexArray& SincroFrameIn, const Milstd& milstd,
                           const VarShapping& varShapping);

// framelock's search with its 128-bit kernel, the one processors without 256-bit vectors run,
// whatever this processor offers.
RealArray framelock_baseline(const ComplexArray& SincroFrameIn, const Milstd& milstd,
                             const VarShapping& varShapping);

}  // namespace hfchain::detail
