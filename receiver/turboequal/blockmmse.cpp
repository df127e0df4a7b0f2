#include "receiver/turboequal/blockmmse.hpp"

#include <algorithm>

#include "receiver/chansound/complexmath.hpp"

namespace hfchain {

namespace {

// Smallest error variance reported, relative to a unit-energy symbol: keeps the soft demapper's
// ratios finite on a noiseless channel.
constexpr double kMinVariance = 1e-9;

}  // namespace

BlockMmse::BlockMmse(index_t samples, index_t taps)
    : samples_(samples),
      taps_(taps),
      h_(static_cast<std::size_t>(samples) * taps),
      band_(static_cast<std::size_t>(samples) * taps),
      d_(samples),
      z_(static_cast<std::size_t>(samples) * taps),
      r_(samples) {}

void BlockMmse::equalise(index_t n0, index_t count, const ComplexArray& y,
                         const ComplexArray& basis, const ComplexArray& gains,
                         const RealArray& gainVar, const ComplexArray& mean, const RealArray& var,
                         double N0, cdouble* zhat, double* zvar) {
    const index_t L = basis.rows();
    const index_t r = basis.cols();
    const index_t b = L - 1;
    const index_t Ny = y.numel();
    const index_t symbols = mean.numel();
    const index_t No = std::min({count + L - 1, Ny - n0, samples_});
    if (No <= 0 || L > taps_) {
        for (index_t j = 0; j < count; ++j) {
            zhat[j] = mean[n0 + j];
            zvar[j] = 1.0;
        }
        return;
    }
    std::vector<double> basis_energy(r, 0.0);
    for (index_t p = 0; p < r; ++p) {
        for (index_t i = 0; i < L; ++i) basis_energy[p] += norm2(basis(i, p));
    }

    // 1. Taps at every sample, the residual after every symbol's mean, and the diagonal of C:
    // noise, channel error, and the unknown part of symbols outside the segment.
    cdouble* h = h_.data();
    cdouble* band = band_.data();
    std::fill(band, band + static_cast<std::ptrdiff_t>(No) * L, cdouble{});
    for (index_t k = 0; k < No; ++k) {
        const index_t n = n0 + k;
        cdouble* hk = h + static_cast<std::ptrdiff_t>(k) * L;
        double W = N0;
        for (index_t p = 0; p < r; ++p) W += gainVar(p, n) * basis_energy[p];
        for (index_t i = 0; i < L; ++i) {
            cdouble s{};
            for (index_t p = 0; p < r; ++p) s += cmul(basis(i, p), gains(p, n));
            hk[i] = s;
        }
        cdouble res = y[n];
        const index_t i_end = std::min(L, n + 1);
        for (index_t i = std::max<index_t>(0, n - symbols + 1); i < i_end; ++i) {
            const index_t m = n - i;
            res -= cmul(hk[i], mean[m]);
            if (m < n0 || m >= n0 + count) W += norm2(hk[i]) * var[m];
        }
        r_[k] = res;
        band[static_cast<std::ptrdiff_t>(k) * L] = W;
    }

    // 2. The segment's own symbols: C += v h_j h_j^H over the rows each one reaches.
    for (index_t j = 0; j < count; ++j) {
        const double v = var[n0 + j];
        if (v == 0) continue;
        const index_t rows = std::min(L, No - j);
        for (index_t i = 0; i < rows; ++i) {
            const cdouble ui = h[static_cast<std::ptrdiff_t>(j + i) * L + i] * v;
            cdouble* row = band + static_cast<std::ptrdiff_t>(j + i) * L;
            for (index_t k = 0; k <= i; ++k) {
                const cdouble uk = h[static_cast<std::ptrdiff_t>(j + k) * L + k];
                row[i - k] += cmul(ui, std::conj(uk));
            }
        }
    }

    // 3. C = L D L^H in the band (L(i, j) overwrites C(i, j)).
    auto lower = [&](index_t i, index_t j) -> cdouble& {
        return band[static_cast<std::ptrdiff_t>(i) * L + (i - j)];
    };
    for (index_t j = 0; j < No; ++j) {
        double dj = lower(j, j).real();
        for (index_t k = std::max<index_t>(0, j - b); k < j; ++k) dj -= norm2(lower(j, k)) * d_[k];
        dj = std::max(dj, 1e-300);
        d_[j] = dj;
        const index_t i_end = std::min(No - 1, j + b);
        for (index_t i = j + 1; i <= i_end; ++i) {
            cdouble s = lower(i, j);
            for (index_t k = std::max<index_t>(0, i - b); k < j; ++k) {
                s -= cmul(lower(i, k), std::conj(lower(j, k))) * d_[k];
            }
            lower(i, j) = s / dj;
        }
    }

    // 4. r <- C^-1 r.
    for (index_t i = 0; i < No; ++i) {
        cdouble s = r_[i];
        for (index_t k = std::max<index_t>(0, i - b); k < i; ++k) s -= cmul(lower(i, k), r_[k]);
        r_[i] = s;
    }
    for (index_t i = 0; i < No; ++i) r_[i] /= d_[i];
    for (index_t i = No - 1; i >= 0; --i) {
        cdouble s = r_[i];
        const index_t m_end = std::min(No - 1, i + b);
        for (index_t m = i + 1; m <= m_end; ++m) s -= cmulc(lower(m, i), r_[m]);
        r_[i] = s;
    }

    // 5. The band of Z = C^-1 from the bottom up: Z(j, k) = delta / d_j - sum over m > j of
    // conj(L(m, j)) Z(m, k), for j <= k within the band.
    cdouble* z = z_.data();
    auto upper = [&](index_t j, index_t k) -> cdouble& {
        return z[static_cast<std::ptrdiff_t>(j) * L + (k - j)];
    };
    auto zget = [&](index_t m, index_t k) -> cdouble {
        return m <= k ? upper(m, k) : std::conj(upper(k, m));
    };
    for (index_t j = No - 1; j >= 0; --j) {
        const index_t m_end = std::min(No - 1, j + b);
        for (index_t k = m_end; k > j; --k) {
            cdouble s{};
            for (index_t m = j + 1; m <= m_end; ++m) s -= cmulc(lower(m, j), zget(m, k));
            upper(j, k) = s;
        }
        double s = 1.0 / d_[j];
        for (index_t m = j + 1; m <= m_end; ++m) {
            s -= cmulc(lower(m, j), std::conj(upper(j, m))).real();
        }
        upper(j, j) = s;
    }

    // 6. Each symbol's unbiased estimate and error variance.
    for (index_t j = 0; j < count; ++j) {
        const double v = var[n0 + j];
        if (v == 0) {
            zhat[j] = mean[n0 + j];
            zvar[j] = 0;
            continue;
        }
        const index_t rows = std::min(L, No - j);
        double g = 0;
        cdouble q{};
        for (index_t i = 0; i < rows; ++i) {
            const cdouble ui = h[static_cast<std::ptrdiff_t>(j + i) * L + i];
            q += cmulc(ui, r_[j + i]);
            g += norm2(ui) * upper(j + i, j + i).real();
            cdouble cross{};
            for (index_t k = i + 1; k < rows; ++k) {
                cross += cmul(upper(j + i, j + k), h[static_cast<std::ptrdiff_t>(j + k) * L + k]);
            }
            g += 2 * cmulc(ui, cross).real();
        }
        if (!(g > 0)) {
            zhat[j] = mean[n0 + j];
            zvar[j] = 1.0 / kMinVariance;
            continue;
        }
        zhat[j] = mean[n0 + j] + q / g;
        zvar[j] = std::max(1.0 / g - v, kMinVariance);
    }
}

}  // namespace hfchain
