// Feed-forward convolutional encoder (7 taps per generator) with optional puncturing.
#pragma once

#include "runtime/array.hpp"

namespace hfchain {

// bits: N x 1 of 0/1. genPolinomials: P x 7 of 0/1, column 1 weighs the current bit.
// puncturingMask: L x 1 of 0/1, L a multiple of P. Returns the coded bits as a column of
// ceil(N K1 P / L) bits (K1 = ones in the mask). Raises the four configuration messages.
RealArray convcoder_puncturing(const RealArray& bits, const RealArray& genPolinomials,
                               const RealArray& puncturingMask);

}  // namespace hfchain
