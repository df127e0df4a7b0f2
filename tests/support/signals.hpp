// Test and benchmark signals.
#pragma once

#include <cstring>

#include "runtime/array.hpp"
#include "runtime/builtin_host.hpp"

namespace hfchain {

// n x 1 column of complex Gaussian samples (unit-variance real and imaginary parts), the real
// parts drawn first, from the built-in host seeded with `seed`.
inline ComplexArray random_complex(index_t n, double seed) {
    BuiltinHost host(seed);
    const RealArray re = host.randn(n, 1);
    const RealArray im = host.randn(n, 1);
    ComplexArray x(n);
    for (index_t i = 0; i < n; ++i) x[i] = {re[i], im[i]};
    return x;
}

// Bit for bit, so that -0 and 0 or two NaNs are told apart as a byte comparison would.
inline bool same_bits(const ComplexArray& a, const ComplexArray& b) {
    return a.rows() == b.rows() && a.cols() == b.cols() &&
           std::memcmp(a.data(), b.data(), sizeof(cdouble) * static_cast<std::size_t>(a.numel())) ==
               0;
}

}  // namespace hfchain
