// The differential sums of modelock's search over every window of a stretch of input at once,
// from the structure of the common symbols rather than 288 products a window.
//
// The common symbols are 32-symbol patterns scrambled by the period-32 preamble sequence, so each
// coarse segment j of S = 8 symbols is p_{8j+i} = conj(s_{(8j+i) mod 32}) b_j(i): the conjugated
// sequence point s times the segment's pattern signs b_j, which repeat every 4 symbols and are one
// of the four rows of a 4 x 4 Hadamard matrix. So, per sampling phase, with y_m the symbol-spaced
// samples, the correlation of the segment at symbol n,
//   c(n) = sum over i < 8 of y_{n+i} conj(s_{8q+i}) b(i)   (q = j mod 4),
// is the Hadamard transform of u_i = y_{n+i} conj(s_{8q+i}) + y_{n+i+4} conj(s_{8q+i+4}), i < 4,
// which gives all four patterns at once with 12 additions; the products conj(s) y are 8 rotations
// of y computed once. A window's sum D(w) = sum over j of c_{j+1} conj(c_j) then reads 36 of
// these values: about a sixth of the arithmetic of correlating every window with its 288 symbols.
#pragma once

#include <vector>

#include "runtime/array.hpp"

namespace hfchain::detail {

class CommonSums {
public:
    // For the reference p (the 288 conjugated common points), which must have the structure above
    // (else std::logic_error).
    explicit CommonSums(const std::vector<cdouble>& p);

    // D(w) for the windows w = first .. first + W - 1 of x (0-based samples, M a symbol; x holds
    // every sample the windows read), into D[0 .. W - 1]: those whose phase (w - first) mod M is
    // a multiple of `step` (1: every window); the others are left as they are.
    void sums(const cdouble* x, index_t first, index_t W, index_t M, cdouble* D, index_t step = 1);

private:
    std::vector<int> quarter_;   // q of each segment
    std::vector<int> pattern_;   // its Hadamard row
    std::vector<int> sequence_;  // the sequence value k of s_i = exp(j pi k / 4), i < 32
    // Work arrays, kept between calls: rotations of y (8), the transforms (16) and the sums,
    // real and imaginary parts apart.
    std::vector<double> rot_re_, rot_im_, c_re_, c_im_, dr_, di_;
};

}  // namespace hfchain::detail
