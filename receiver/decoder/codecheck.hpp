// Whether hard decisions of the coded bits are a codeword of the rate-1/2, constraint-length-7
// code (133, 171) that the encoder, starting from the all-zero state, can have sent.
//
// When the signs of a decoder's input ratios form such a codeword, that codeword is the one the
// decoder picks: it maximises the correlation sum over bits of (+-1) times the ratio over every
// binary sequence, so over the codewords too; the Viterbi decoder and the max-log-MAP decisions
// return it (a ratio of exactly 0 aside), and the decoder would change none of the decisions.
// An iterative receiver can stop there.
#pragma once

#include <cstdint>

#include "runtime/array.hpp"

namespace hfchain {

// True when the hard decisions are a codeword.
//   coded: 2 N bits, 0 or 1 (any other value counts as 1), in encoder order: at each of the N
//     steps the bit of generator 133, then that of 171.
//   K: the encoder inputs that may be 1; inputs K .. N - 1 are known zeros (the flush bits and
//     padding), so a sequence that needs a 1 there is no codeword. K >= N: every input free.
// Linear in N: the input bits follow from the 133 bits one step at a time (the generator taps
// the current input), and the 171 bits must then match.
bool is_codeword(index_t N, const std::uint8_t* coded, index_t K);

}  // namespace hfchain
