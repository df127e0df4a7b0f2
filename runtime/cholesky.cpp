#include "runtime/cholesky.hpp"

#include <cmath>
#include <vector>

#include "runtime/complexmath.hpp"

namespace hfchain {

namespace {

// Systems up to this size find their work column on the stack.
constexpr index_t kStackColumn = 8;

}  // namespace

bool cholesky_factor(index_t n, cdouble* A) {
    for (index_t j = 0; j < n; ++j) {
        double d = A[j + j * n].real();
        for (index_t k = 0; k < j; ++k) d -= norm2(A[j + k * n]);
        if (!(d > 0)) return false;
        const double g = std::sqrt(d);
        A[j + j * n] = g;
        for (index_t i = j + 1; i < n; ++i) {
            cdouble s = A[i + j * n];
            for (index_t k = 0; k < j; ++k) s -= cmul(A[i + k * n], std::conj(A[j + k * n]));
            A[i + j * n] = s / g;
        }
    }
    return true;
}

void cholesky_solve(index_t n, const cdouble* G, cdouble* b) {
    for (index_t i = 0; i < n; ++i) {
        cdouble s = b[i];
        for (index_t k = 0; k < i; ++k) s -= cmul(G[i + k * n], b[k]);
        b[i] = s / G[i + i * n].real();
    }
    for (index_t i = n - 1; i >= 0; --i) {
        cdouble s = b[i];
        for (index_t k = i + 1; k < n; ++k) s -= cmulc(G[k + i * n], b[k]);
        b[i] = s / G[i + i * n].real();
    }
}

void cholesky_inverse_diagonal(index_t n, const cdouble* G, double* diagonal) {
    // Column p of G^-1 is zero above row p: forward substitution from row p on.
    cdouble stack[kStackColumn];
    std::vector<cdouble> heap(n > kStackColumn ? n : 0);
    cdouble* e = n > kStackColumn ? heap.data() : stack;
    for (index_t p = 0; p < n; ++p) {
        double sum = 0;
        for (index_t i = p; i < n; ++i) {
            cdouble s = i == p ? cdouble(1.0) : cdouble{};
            for (index_t k = p; k < i; ++k) s -= cmul(G[i + k * n], e[k]);
            e[i] = s / G[i + i * n].real();
            sum += norm2(e[i]);
        }
        diagonal[p] = sum;
    }
}

}  // namespace hfchain
