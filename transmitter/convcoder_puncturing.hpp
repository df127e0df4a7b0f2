// Feed-forward convolutional encoder (7 taps per generator) with optional puncturing.
//
// The encoder starts from the all-zero state and is not flushed: it emits one time step per input
// bit, and any tail of zero bits is the caller's business. At each time step the serial output
// holds the bits of streams 1..P in turn; stream p is the parity of the input bits its generator
// row taps. A mask with zeros then drops coded bits: the serial stream, padded with zeros to a
// whole number of mask periods, keeps in each period the positions where the mask is 1.
#pragma once

#include "runtime/array.hpp"
#include "runtime/interrupts.hpp"

namespace hfchain {

// bits: N x 1 of 0/1 (N >= 0).
// genPolinomials: P x 7 of 0/1, one generator per row; column 1 weighs the current bit, column 7
//   the bit six steps back (the code 133/171 is the rows 1 0 1 1 0 1 1 and 1 1 1 1 0 0 1).
// puncturingMask: L x 1 of 0/1 (1 keeps), L a whole multiple of P; one period covers L / P input
//   bits.
// Returns the first Nout = ceil(N K1 P / L) coded bits as a column (K1 = ones in the mask); with
// an all-ones mask that is the whole serial stream, P N bits.
//
// Errors, checked in this order before any encoding, each a message without identifier:
//   "ERRO! Um ou mais polinomios geradores invalidos (genPolinomials)." (an entry not 0 or 1),
//   "ERRO! Mascara de truncamento invalida (puncturingMask)." (an entry not 0 or 1),
//   "ERRO! O comprimento da mascara de truncamento deve ser um multiplo do numero de polinomios
//   geradores." (L not a multiple of P),
//   "ERRO! Taxa de codificacao resultante igual ou superior a 1." (L / P >= K1, or no generator).
// Also: "hfchain:runtime:SizeMismatch" when genPolinomials does not have 7 columns (checked
// first), "Coder:MATLAB:pmaxsize" when P N exceeds a dimension, and
// "hfchain:convcoder:NonBinaryInput" for an input bit other than 0 and 1. Polls `host` for
// interrupts while encoding.
RealArray convcoder_puncturing(const RealArray& bits, const RealArray& genPolinomials,
                               const RealArray& puncturingMask, HostServices& host = no_host());

}  // namespace hfchain
