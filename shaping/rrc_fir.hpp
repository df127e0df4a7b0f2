// Root-raised-cosine pulse design, shared by the transmit filter and the matched filter.
#pragma once

#include "runtime/array.hpp"

namespace hfchain {

// Sampled root-raised-cosine pulse `h`, an N x 1 column with N = 2 D M + 1: h(n + 1) is the pulse
// at t = n / M - D symbol periods. alpha: roll-off; D: half-length in symbol periods; M: samples
// per symbol. N must be a non-negative whole number (integer or sign check otherwise). The exact
// centre, the singular points t = +-1/(4 alpha) (where the general formula is 0/0) and the
// regular points are evaluated in that order.
RealArray rrc_fir(double alpha, double D, double M);

// The filter the blocks use: the 1 x N row of `h` divided by its Euclidean norm (unit energy).
RealArray unit_energy_filter(const RealArray& h);

// Refuses a roll-off outside (0, 1], NaN included, with the program message
// "ERRO! Fator de rolloff invalido." A roll-off of 0 would make every tap NaN.
void check_rolloff(double alpha);

}  // namespace hfchain
