// Root-raised-cosine pulse design, shared by the transmit filter and the matched filter.
#pragma once

#include "runtime/array.hpp"
#include "runtime/host.hpp"
#include "runtime/interrupts.hpp"

namespace hfchain {

// Number of taps of rrc_fir, N = 2 D M + 1, checked as rrc_fir checks it but without designing
// anything: not a finite whole number, the integer check; negative, the sign check; beyond
// 2147483647, "Coder:MATLAB:pmaxsize".
index_t rrc_length(double D, double M);

// Sampled root-raised-cosine pulse `h`, an N x 1 column with N = 2 D M + 1: h(n + 1) is the pulse
// at t = n / M - D symbol periods. alpha: roll-off; D: half-length in symbol periods; M: samples
// per symbol. N must be a non-negative whole number (the errors of rrc_length). The exact
// centre, the singular points t = +-1/(4 alpha) (where the general formula is 0/0) and the
// regular points are evaluated in that order. Polls `host` for interrupts while designing.
RealArray rrc_fir(double alpha, double D, double M, HostServices& host = no_host());

// The filter the blocks use: the 1 x N row of `h` divided by its Euclidean norm (unit energy).
RealArray unit_energy_filter(const RealArray& h);

// Refuses a roll-off outside (0, 1], NaN included, with the program message
// "ERRO! Fator de rolloff invalido." A roll-off of 0 would make every tap NaN.
void check_rolloff(double alpha);

// The filter of both shaping blocks, unit_energy_filter(rrc_fir(alpha, D, M)), refused with the
// roll-off message when a tap is not finite: a roll-off so small that 1 / (4 alpha) overflows
// (4.9e-324, say) passes check_rolloff but gives infinite and NaN taps.
RealArray shaping_filter(double alpha, double D, double M, HostServices& host);

}  // namespace hfchain
