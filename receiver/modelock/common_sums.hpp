// The detection sums of modelock's search: freqlock's differential sums with every segment's
// correlation normalised by its own energy,
//   N(w) = sum over j of c_{j+1} conj(c_j) / (S sqrt(e_{j+1} e_j)),
// c_j the correlation of the j-th segment of S = 8 symbols of the window w with the reference p
// and e_j the energy of those 8 samples (a term with e = 0 counts 0). Each term is at most 1 in
// magnitude, 1 for a clean segment; on noise alone its distribution does not depend on the noise
// power, even where that power changes from segment to segment (noise through fading paths).
//
// CommonSums gives N for every window of a stretch of input at once, from the structure of the
// common symbols rather than 288 products a window. They are 32-symbol patterns scrambled by the
// period-32 preamble sequence, so each segment is p_{8j+i} = conj(s_{(8j+i) mod 32}) b_j(i): the
// conjugated sequence point s times the segment's pattern signs b_j, which repeat every 4 symbols
// and are one of the four rows of a 4 x 4 Hadamard matrix. So, per sampling phase, with y_m the
// symbol-spaced samples, the correlation of the segment at symbol n,
//   c(n) = sum over i < 8 of y_{n+i} conj(s_{8q+i}) b(i)   (q = j mod 4),
// is the Hadamard transform of u_i = y_{n+i} conj(s_{8q+i}) + y_{n+i+4} conj(s_{8q+i+4}), i < 4,
// which gives all four patterns at once with 12 additions; the products conj(s) y are 8 rotations
// of y computed once. A block of 32 symbols holds one pattern, so the sum of its three products
// is computed once for every symbol and row; a window's sum then adds 9 of those and the 8
// products across blocks: about a seventh of the arithmetic of correlating every window with its
// 288 symbols.
#pragma once

#include <array>
#include <vector>

#include "runtime/array.hpp"

namespace hfchain::detail {

class CommonSums {
public:
    // For the reference p (the 288 conjugated common points), which must have the structure above
    // (else std::logic_error).
    explicit CommonSums(const std::vector<cdouble>& p);

    // N(w) for the windows w = first .. first + W - 1 of x (0-based samples, M a symbol; x holds
    // every sample the windows read), into D[0 .. W - 1]: those whose phase (w - first) mod M is
    // a multiple of `step` (1: every window); the others are left as they are.
    void sums(const cdouble* x, index_t first, index_t W, index_t M, cdouble* D, index_t step = 1);

private:
    // One sampling phase's windows: y its first symbol-spaced sample, Ws windows, span samples
    // read, starts segment starts.
    struct Phase {
        const cdouble* y = nullptr;
        index_t M = 1, Ws = 0, span = 0, starts = 0;
    };
    void rotate(const Phase& ph);
    void transform(const Phase& ph);
    void normalise(const Phase& ph);
    void block_products(const Phase& ph);
    void add_products(const Phase& ph);

    std::vector<int> quarter_;           // q of each segment
    std::vector<int> pattern_;           // its Hadamard row, the same in each 32-symbol block
    std::array<bool, 4> row_used_ = {};  // the rows some block holds
    std::vector<int> sequence_;          // the sequence value k of s_i = exp(j pi k / 4), i < 32
    // Work arrays, kept between calls: rotations of y (8), the transforms (16), the segments'
    // scales and the sums, real and imaginary parts apart.
    std::vector<double> rot_re_, rot_im_, c_re_, c_im_, scale_, q_re_, q_im_, dr_, di_;
};

// N(w) of the one window at x, term by term (the rule CommonSums computes faster).
cdouble normalised_sum(const cdouble* x, index_t M, const std::vector<cdouble>& p);

}  // namespace hfchain::detail
