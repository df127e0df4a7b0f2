// The differential correlation that freqlock and blocklock share: a known stretch of symbols cut
// into segments, each segment's correlation with its reference taken coherently, and the products
// of neighbouring segments' correlations summed. An offset of f Hz turns each product by
// 2 pi f (segment length) T, whatever the channel's phase, so the sum's argument reads the offset
// and its magnitude how well the windows match the reference.
#pragma once

#include <utility>
#include <vector>

#include "runtime/array.hpp"
#include "runtime/host.hpp"

namespace hfchain {

// The differential sums D(w) = sum over j of c_{j+1} conj(c_j), c_j = sum over the j-th segment of
// `seg` symbols of x(w + k M) p_k, over `count` whole segments against the reference p, for the
// windows w = 0 .. W - 1 of x at once: the windows innermost (the samples they read lie side by
// side, so the loops vectorise); each segment's sum starts from its first product. `Windows`,
// when not 0, fixes W at compile time (one window: plain scalar loops).
template <index_t Windows>
void differential_sums(const cdouble* x, index_t W_, index_t M, const std::vector<cdouble>& p,
                       index_t seg, index_t count, HostServices* host, cdouble* D) {
    const index_t W = Windows > 0 ? Windows : W_;
    // Many windows read the parts of every sample apart (loads the vectorised loops take two at
    // a time: S = 1); one window reads them in place (real and imaginary parts interleaved:
    // S = 2).
    constexpr index_t S = Windows == 1 ? 2 : 1;
    std::vector<double> xr, xi;
    const double* re = reinterpret_cast<const double*>(x);
    const double* im = re + 1;
    if constexpr (S == 1) {
        const index_t span = W + (count * seg - 1) * M;
        xr.resize(static_cast<std::size_t>(span));
        xi.resize(xr.size());
        for (index_t n = 0; n < span; ++n) {
            xr[n] = x[n].real();
            xi[n] = x[n].imag();
        }
        re = xr.data();
        im = xi.data();
    }
    const auto size = static_cast<std::size_t>(W);
    std::vector<double> cr(size), ci(size), pr(size), pi(size), sr(size, 0.0), si(size, 0.0);
    for (index_t j = 0; j < count; ++j) {
        if (host != nullptr) host->poll_interrupt();
        for (index_t k = j * seg; k < (j + 1) * seg; ++k) {
            const double a = p[k].real(), b = p[k].imag();
            const double* ur = re + S * k * M;
            const double* ui = im + S * k * M;
            if (k == j * seg) {
                for (index_t w = 0; w < W; ++w) {
                    cr[w] = ur[S * w] * a - ui[S * w] * b;
                    ci[w] = ur[S * w] * b + ui[S * w] * a;
                }
                continue;
            }
            for (index_t w = 0; w < W; ++w) {
                cr[w] += ur[S * w] * a - ui[S * w] * b;
                ci[w] += ur[S * w] * b + ui[S * w] * a;
            }
        }
        if (j > 0) {
            // c conj(previous)
            for (index_t w = 0; w < W; ++w) {
                sr[w] += cr[w] * pr[w] + ci[w] * pi[w];
                si[w] += ci[w] * pr[w] - cr[w] * pi[w];
            }
        }
        std::swap(cr, pr);
        std::swap(ci, pi);
    }
    for (index_t w = 0; w < W; ++w) D[w] = cdouble(sr[w], si[w]);
}

// The differential sum of the one window at x.
inline cdouble differential_sum(const cdouble* x, index_t M, const std::vector<cdouble>& p,
                                index_t seg, index_t count) {
    cdouble D;
    differential_sums<1>(x, 1, M, p, seg, count, nullptr, &D);
    return D;
}

}  // namespace hfchain
