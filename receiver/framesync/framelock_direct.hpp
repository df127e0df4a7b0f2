// Two other routes to framelock's result, for the tests and the benchmarks.
#pragma once

#include <vector>

#include "params/modeconf.hpp"
#include "runtime/array.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain::detail {

// framelock computed window by window with the exact rule alone: every window's Pearson
// magnitude, then the first largest. Same checks, errors and result as framelock for every
// input; the benchmarks' yardstick and the tests' reference for the fast search.
RealArray framelock_direct(const ComplexArray& SincroFrameIn, const ModeParams& mode,
                           const VarShapping& varShapping);

// The vector widths in bits of framelock's kernels that this processor runs: 128, then 256 and
// 512 when it has them. framelock runs the widest.
std::vector<int> framelock_kernel_widths();

// framelock's search with the kernel of the given width, one of those above; another width
// raises "hfchain:framesync:NoKernel".
RealArray framelock_kernel(const ComplexArray& SincroFrameIn, const ModeParams& mode,
                           const VarShapping& varShapping, int width);

}  // namespace hfchain::detail
