#include "receiver/turboequal/blockmmse.hpp"

#include <algorithm>

#include "receiver/chansound/complexmath.hpp"

namespace hfchain {

namespace {

// Smallest error variance reported, relative to a unit-energy symbol: keeps the soft demapper's
// ratios finite on a noiseless channel.
constexpr double kMinVariance = 1e-9;

}  // namespace

BlockMmse::BlockMmse(index_t count, index_t taps)
    : rows_(count + taps - 1),
      width_(taps),
      band_(static_cast<std::size_t>(rows_) * taps),
      zfull_(static_cast<std::size_t>(rows_) * (2 * taps - 1)),
      d_(rows_),
      r_(rows_),
      tmp_(taps),
      acc_(taps) {}

void BlockMmse::equalise(index_t n0, index_t count, const ChannelView& channel,
                         const ComplexArray& mean, const RealArray& var, cdouble* zhat,
                         double* zvar) {
    const index_t L = channel.L;
    const index_t b = L - 1;
    const index_t symbols = mean.numel();
    const index_t No = std::min({count + L - 1, channel.Ny - n0, rows_});
    if (No <= 0 || L > width_) {
        for (index_t j = 0; j < count; ++j) {
            zhat[j] = mean[n0 + j];
            zvar[j] = 1.0;
        }
        return;
    }
    const cdouble* H = channel.taps;
    auto tap = [&](index_t i, index_t n) { return H[static_cast<std::ptrdiff_t>(n) * L + i]; };
    cdouble* band = band_.data();  // row k: band[k * L + (m - k + b)] = C(k, m), m = k - b .. k
    auto row = [&](index_t k) { return band + static_cast<std::ptrdiff_t>(k) * L; };

    // 1. The residual and the diagonal of C: noise, channel error, and the unknown part of
    // symbols outside the segment.
    std::fill(band, band + static_cast<std::ptrdiff_t>(No) * L, cdouble{});
    for (index_t k = 0; k < No; ++k) {
        const index_t n = n0 + k;
        double W = channel.noise[n];
        // Samples L - 1 .. count - 1 reach only the segment's own symbols.
        if (k < L - 1 || k >= count) {
            const index_t i_end = std::min(L, n + 1);
            for (index_t i = std::max<index_t>(0, n - symbols + 1); i < i_end; ++i) {
                const index_t m = n - i;
                if ((m < n0 || m >= n0 + count) && var[m] > 0) W += norm2(tap(i, n)) * var[m];
            }
        }
        r_[k] = channel.residual[n];
        row(k)[b] = W;
    }

    // 2. The segment's own symbols: C += v h_j h_j^H over the rows each one reaches.
    cdouble* u = acc_.data();
    for (index_t j = 0; j < count; ++j) {
        const double v = var[n0 + j];
        if (v == 0) continue;
        const index_t rows = std::min(L, No - j);
        const cdouble* hj = H + static_cast<std::ptrdiff_t>(n0 + j) * L;  // h(i, n0+j+i)
        for (index_t i = 0; i < rows; ++i) u[i] = std::conj(hj[i * (L + 1)]);
        for (index_t i = 0; i < rows; ++i) {
            const cdouble ui = std::conj(u[i]) * v;
            cdouble* ri = row(j + i) + (b - i);  // C(j + i, j + k) at ri[k]
            for (index_t k = 0; k <= i; ++k) ri[k] += cmul(ui, u[k]);
        }
    }

    // 3. C = L D L^H in the band, left-looking: L(i, j) overwrites C(i, j).
    double* d = d_.data();
    cdouble* t = tmp_.data();
    for (index_t j = 0; j < No; ++j) {
        const index_t k0 = std::max<index_t>(0, j - b);
        cdouble* rj = row(j) + (b - j);  // rj[k] = L(j, k)
        double dj = rj[j].real();
        for (index_t k = k0; k < j; ++k) {
            t[k - k0] = std::conj(rj[k]) * d[k];
            dj -= norm2(rj[k]) * d[k];
        }
        dj = std::max(dj, 1e-300);
        d[j] = dj;
        const index_t i_end = std::min(No - 1, j + b);
        for (index_t i = j + 1; i <= i_end; ++i) {
            cdouble* ri = row(i) + (b - i);
            cdouble s = ri[j];
            for (index_t k = std::max(k0, i - b); k < j; ++k) s -= cmul(ri[k], t[k - k0]);
            ri[j] = s / dj;
        }
    }

    // 4. r <- C^-1 r.
    for (index_t i = 0; i < No; ++i) {
        const cdouble* ri = row(i) + (b - i);
        cdouble s = r_[i];
        for (index_t k = std::max<index_t>(0, i - b); k < i; ++k) s -= cmul(ri[k], r_[k]);
        r_[i] = s;
    }
    for (index_t i = 0; i < No; ++i) r_[i] /= d[i];
    for (index_t i = No - 1; i >= 0; --i) {
        cdouble s = r_[i];
        const index_t m_end = std::min(No - 1, i + b);
        for (index_t m = i + 1; m <= m_end; ++m) s -= cmulc(row(m)[b - m + i], r_[m]);
        r_[i] = s;
    }

    // 5. The band of Z = C^-1 from the bottom up: Z(j, k) = delta / d_j - sum over m > j of
    // conj(L(m, j)) Z(m, k). Rows are kept whole (columns i - b .. i + b) so that every sum runs
    // over contiguous memory.
    const index_t zw = 2 * b + 1;
    cdouble* zf = zfull_.data();
    auto zrow = [&](index_t i) { return zf + static_cast<std::ptrdiff_t>(i) * zw + (b - i); };
    cdouble* acc = acc_.data();
    for (index_t j = No - 1; j >= 0; --j) {
        const index_t m_end = std::min(No - 1, j + b);
        const index_t w = m_end - j;  // columns j + 1 .. m_end
        for (index_t c = 0; c < w; ++c) acc[c] = 0;
        for (index_t m = j + 1; m <= m_end; ++m) {
            const cdouble l = std::conj(row(m)[b - m + j]);
            t[m - j - 1] = l;
            const cdouble* zm = zrow(m) + (j + 1);  // Z(m, j + 1 ..)
            for (index_t c = 0; c < w; ++c) acc[c] -= cmul(l, zm[c]);
        }
        cdouble* zj = zrow(j);
        double diag = 1.0 / d[j];
        for (index_t c = 0; c < w; ++c) {
            zj[j + 1 + c] = acc[c];
            zrow(j + 1 + c)[j] = std::conj(acc[c]);
            diag -= cmul(t[c], std::conj(acc[c])).real();
        }
        zj[j] = diag;
    }

    // 6. Each symbol's unbiased estimate and error variance: g = u^H Z u over the rows the
    // symbol reaches, w = Z u gathered column by column (Z is Hermitian: column k of the block
    // is the conjugated row j + k).
    cdouble* w = t;
    for (index_t j = 0; j < count; ++j) {
        const double v = var[n0 + j];
        if (v == 0) {
            zhat[j] = mean[n0 + j];
            zvar[j] = 0;
            continue;
        }
        const index_t rows = std::min(L, No - j);
        const cdouble* hj = H + static_cast<std::ptrdiff_t>(n0 + j) * L;  // h(i, n0+j+i)
        for (index_t i = 0; i < rows; ++i) w[i] = 0;
        cdouble q{};
        for (index_t k = 0; k < rows; ++k) {
            const cdouble uk = hj[k * (L + 1)];
            q += cmulc(uk, r_[j + k]);
            const cdouble* zk = zrow(j + k) + j;  // Z(j + k, j + i) at zk[i]
            for (index_t i = 0; i < rows; ++i) w[i] += cmulc(zk[i], uk);
        }
        double g = 0;
        for (index_t i = 0; i < rows; ++i) g += cmulc(hj[i * (L + 1)], w[i]).real();
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
