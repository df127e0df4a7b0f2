#include "receiver/freqlock/diffsum.hpp"

#include <cmath>
#include <numbers>

#include "params/waveform.hpp"
#include "receiver/layout/layout.hpp"

namespace hfchain {

namespace {

// differential_sums with the windows innermost (the samples they read lie side by
// side, so the loops vectorise); each segment's sum starts from its first product. `Windows`,
// when not 0, fixes W at compile time (one window: plain scalar loops).
template <index_t Windows>
void sums(const cdouble* x, index_t W_, index_t M, const std::vector<cdouble>& p, index_t seg,
          index_t count, HostServices* host, cdouble* D) {
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

}  // namespace

// The scrambled preamble points p_k, conjugated once for all windows.
std::vector<cdouble> conjugated_preamble(const ModeParams& mode) {
    const Layout layout = transmission_layout(mode, 0);
    const KnownSymbols known = known_symbols(mode, layout);
    std::vector<cdouble> p(static_cast<std::size_t>(known.mean.numel()));
    for (index_t k = 0; k < known.mean.numel(); ++k) p[k] = std::conj(known.mean[k]);
    return p;
}

void differential_sums(const cdouble* x, index_t W, index_t M, const std::vector<cdouble>& p,
                       index_t seg, index_t count, HostServices* host, cdouble* D) {
    sums<0>(x, W, M, p, seg, count, host, D);
}

cdouble differential_sum(const cdouble* x, index_t M, const std::vector<cdouble>& p, index_t seg,
                         index_t count) {
    cdouble D;
    sums<1>(x, 1, M, p, seg, count, nullptr, &D);
    return D;
}

double offset_of(cdouble D, index_t seg) {
    return std::arg(D) * kSymbolRate / (2 * std::numbers::pi * static_cast<double>(seg));
}

double fine_offset(const cdouble* x, index_t Lmf, index_t M, const std::vector<cdouble>& p,
                   double coarse, const std::vector<index_t>& taps) {
    // The reference turned by the coarse offset: p_k exp(-j 2 pi f k T), which turns the signal
    // back.
    const double step = -2 * std::numbers::pi * coarse / kSymbolRate;
    std::vector<cdouble> turned(p.size());
    for (std::size_t k = 0; k < p.size(); ++k) {
        turned[k] = p[k] * std::polar(1.0, step * static_cast<double>(k));
    }
    const auto P = static_cast<index_t>(p.size());
    cdouble sum = 0.0;
    for (const index_t w : taps) {
        const index_t symbols = std::min(P, (Lmf - 1 - w) / M + 1);
        sum += differential_sum(x + w, M, turned, kFineSegment, symbols / kFineSegment);
    }
    if (sum == cdouble(0.0, 0.0)) return coarse;
    return coarse + offset_of(sum, kFineSegment);
}

}  // namespace hfchain
