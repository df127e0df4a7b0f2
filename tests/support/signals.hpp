// Test and benchmark signals.
#pragma once

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

}  // namespace hfchain
