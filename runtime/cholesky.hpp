// Small dense Hermitian positive definite systems A x = b, by Cholesky: A = G G^H with G lower
// triangular, then a forward and a backward substitution. The receiver's least-squares fits
// (the sounder's response search and path fit, the tracker's window gains) solve their normal
// equations with it: at most a few dozen unknowns, where n^3 / 3 operations cost less than any
// structure could save.
#pragma once

#include "runtime/array.hpp"

namespace hfchain {

// Factors the n x n column-major Hermitian matrix A in place: G overwrites its lower half (the
// strict upper half is left as it was and never read). Returns false, with A partly
// overwritten, when A is not positive definite (a pivot that is not above 0, or NaN).
bool cholesky_factor(index_t n, cdouble* A);

// Solves G G^H x = b in place (b: n values) for the factor G of cholesky_factor.
void cholesky_solve(index_t n, const cdouble* G, cdouble* b);

// The diagonal of A^-1 = G^-H G^-1 (n values, each the squared norm of a column of G^-1): the
// error variances of a least-squares fit whose normal matrix is A.
void cholesky_inverse_diagonal(index_t n, const cdouble* G, double* diagonal);

}  // namespace hfchain
