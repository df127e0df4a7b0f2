#include "runtime/cholesky.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "tests/support/signals.hpp"

namespace hfchain {
namespace {

// A Hermitian positive definite n x n matrix B B^H + n I, eigenvalues within n .. n + |B|^2: a
// condition number of a few units, so that solutions are good to a few ulps times n.
std::vector<cdouble> hermitian(index_t n, double seed, bool real) {
    const ComplexArray B = random_complex(n * n, seed);
    auto b = [&](index_t i, index_t j) {
        return real ? cdouble(B[i + j * n].real()) : B[i + j * n];
    };
    std::vector<cdouble> A(n * n);
    for (index_t i = 0; i < n; ++i) {
        for (index_t j = 0; j < n; ++j) {
            cdouble s = i == j ? cdouble(static_cast<double>(n)) : cdouble{};
            for (index_t k = 0; k < n; ++k) s += b(i, k) * std::conj(b(j, k));
            A[i + j * n] = s;
        }
    }
    return A;
}

// The inverse by Gauss-Jordan elimination with partial pivoting, the direct computation.
std::vector<cdouble> inverse(index_t n, std::vector<cdouble> A) {
    std::vector<cdouble> X(n * n);
    for (index_t i = 0; i < n; ++i) X[i + i * n] = 1.0;
    for (index_t c = 0; c < n; ++c) {
        index_t p = c;
        for (index_t r = c + 1; r < n; ++r) {
            if (std::abs(A[r + c * n]) > std::abs(A[p + c * n])) p = r;
        }
        for (index_t j = 0; j < n; ++j) {
            std::swap(A[c + j * n], A[p + j * n]);
            std::swap(X[c + j * n], X[p + j * n]);
        }
        const cdouble pivot = A[c + c * n];
        for (index_t j = 0; j < n; ++j) {
            A[c + j * n] /= pivot;
            X[c + j * n] /= pivot;
        }
        for (index_t r = 0; r < n; ++r) {
            if (r == c) continue;
            const cdouble f = A[r + c * n];
            for (index_t j = 0; j < n; ++j) {
                A[r + j * n] -= f * A[c + j * n];
                X[r + j * n] -= f * X[c + j * n];
            }
        }
    }
    return X;
}

// Sizes from one unknown to the sounder's 35 taps (across the stack and heap work columns), complex
// and real matrices: the solution and the diagonal of the inverse against the direct inverse.
TEST(Cholesky, SolvesAndInvertsAgainstTheDirectInverse) {
    for (const index_t n : {1, 2, 4, 8, 9, 35}) {
        for (const bool real : {false, true}) {
            const std::vector<cdouble> A = hermitian(n, 40 + n, real);
            ComplexArray rhs = random_complex(n, 80 + n);
            if (real) {
                for (index_t i = 0; i < n; ++i) rhs[i] = rhs[i].real();
            }
            std::vector<cdouble> G = A;
            ASSERT_TRUE(cholesky_factor(n, G.data())) << n;
            std::vector<cdouble> x(rhs.data(), rhs.data() + n);
            cholesky_solve(n, G.data(), x.data());
            std::vector<double> diagonal(n);
            cholesky_inverse_diagonal(n, G.data(), diagonal.data());

            const std::vector<cdouble> X = inverse(n, A);
            for (index_t i = 0; i < n; ++i) {
                cdouble want{};
                for (index_t j = 0; j < n; ++j) want += X[i + j * n] * rhs[j];
                // |x| is at most |rhs| / n here; rounding grows with n.
                EXPECT_NEAR(std::abs(x[i] - want), 0.0, 1e-14 * n) << n << " " << i;
                EXPECT_NEAR(diagonal[i], X[i + i * n].real(), 1e-14) << n << " " << i;
                if (real) {
                    // A real system stays real to the bit, so the imaginary parts of a complex
                    // right-hand side never mix into the real ones: the path fit relies on it.
                    EXPECT_EQ(x[i].imag(), 0.0) << n << " " << i;
                }
            }
        }
    }
}

// A matrix that is not positive definite is refused, not factored into NaNs.
TEST(Cholesky, RefusesWhatIsNotPositiveDefinite) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<std::vector<cdouble>> cases = {
        {0.0},                                     // singular
        {-1.0},                                    // negative
        {1.0, 2.0, 2.0, 1.0},                      // indefinite: eigenvalues 3 and -1
        {1.0, 1.0, 1.0, 1.0},                      // singular 2 x 2
        {nan},                                     // not a number
        {4.0, cdouble(0, 2), cdouble(0, -2), 1.0}  // Hermitian, determinant 0
    };
    for (std::vector<cdouble> A : cases) {
        const auto n = static_cast<index_t>(std::lround(std::sqrt(A.size())));
        EXPECT_FALSE(cholesky_factor(n, A.data())) << A[0];
    }
}

}  // namespace
}  // namespace hfchain
