// Frame synchronisation: Pearson correlation of candidate windows with the scrambled preamble.
#pragma once

#include "params/modeconf.hpp"
#include "runtime/array.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain {

// Pearson correlation of each column of X (m x n complex) with y (m real values): n x 1.
ComplexArray corr(const ComplexArray& X, const RealArray& y);
ComplexArray corrPearson(const ComplexArray& X, const RealArray& y);

// Returns the 1-based start sample of the best 288-symbol window as a 1 x 1 column, or an empty
// 0 x 1 column when every correlation is NaN.
RealArray framelock(const ComplexArray& SincroFrameIn, const Milstd& milstd,
                    const VarShapping& varShapping);

}  // namespace hfchain
