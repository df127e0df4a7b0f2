// Theoretical bit error rates of the Gray-coded PSK constellations on white Gaussian noise.
#pragma once

#include "params/modeconf.hpp"

namespace hfchain {

// Bit error rate of 8-PSK with the binary-reflected Gray labels of the demapper (the point at
// phase 2 pi s / 8 carries the bits of s XOR (s >> 1)) and nearest-point decisions, for a symbol
// energy to noise density ratio of `EsNodB` dB. This is the coded-bit error rate of the chain on
// white noise: the matched filter delivers each symbol with gain 1 and noise of variance N0.
//
// Exact, not the high-SNR approximation (2/3) Q(sqrt(2 Es/N0) sin(pi/8)): with g = Es/N0 the
// received phase error has the density
//   p(t) = exp(-g) / (2 pi) + (1/2) sqrt(g / pi) cos(t) exp(-g sin^2 t) (1 + erf(sqrt(g) cos t)),
// P_k is its integral over the decision sector k steps away, ((2k - 1) pi/8, (2k + 1) pi/8), and
//   BER = (1/3) sum_{k=1..7} P_k d_k,
// where d_k is the Hamming distance between the labels of points k steps apart, averaged over
// the eight points. The integrals use composite Simpson's rule (accurate to about 1e-12).
double ber_8psk_gray(double EsNodB);

// The same for 2^bits-PSK, bits 1 (2-PSK: Q(sqrt(2 Es/N0))), 2 (Gray 4-PSK: Q(sqrt(Es/N0)), each
// bit decided on its own axis) or 3 (ber_8psk_gray); any other count raises
// "hfchain:theory:Constellation".
double ber_psk_gray(int bits, double EsNodB);

// The bits a symbol of the constellation whose rate ber_psk_gray gives for the coded bits of a
// parameter set: its bitsToSym when its data symbols are PSK points (every rate but 75 bit/s;
// at 300 and 150 bit/s every copy of a coded bit counts as a coded bit, as the road counts
// them), 0 for the 75 bit/s patterns, whose coded bits no closed form here describes.
int theory_bits(const ModeParams& mode);

}  // namespace hfchain
