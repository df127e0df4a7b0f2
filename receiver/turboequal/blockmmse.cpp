#include "receiver/turboequal/blockmmse.hpp"

#include <algorithm>
#include <limits>

#include "runtime/complexmath.hpp"
#include "runtime/numeric.hpp"

namespace hfchain {

namespace {

// Smallest error variance reported, relative to a unit-energy symbol: keeps the soft demapper's
// ratios finite on a noiseless channel.
constexpr double kMinVariance = 1e-9;

// A symbol counts as all but known when its variance is below this and what it still disturbs
// a sample by stays below this share of the noise.
constexpr double kCertainVariance = 0.01;
constexpr double kCertainShare = 0.02;

}  // namespace

BlockMmse::BlockMmse(index_t count, index_t taps)
    : rows_(count + taps - 1),
      width_(taps),
      band_(static_cast<std::size_t>(rows_) * taps),
      zfull_(static_cast<std::size_t>(rows_) * (2 * taps - 1)),
      d_(rows_),
      r_(rows_),
      coupled_(rows_),
      tmp_(taps),
      acc_(taps),
      mult_(taps),
      mult_turned_(taps),
      sums_(taps) {}

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
    auto column = [&](index_t j) { return H + static_cast<std::ptrdiff_t>(n0 + j) * L; };

    // 1. The residual and the diagonal of C: noise, channel error, and the unknown part of
    // symbols outside the segment.
    std::fill(band, band + static_cast<std::ptrdiff_t>(No) * L, cdouble{});
    double floor = std::numeric_limits<double>::infinity();
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
        floor = std::min(floor, W);
    }

    // 2. The segment's own symbols. A symbol the decoder is all but sure of disturbs each sample
    // it reaches by a small fraction of the noise; its variance joins the diagonal. The others
    // add v h_j h_j^H over the rows they reach, and mark those rows as coupled.
    cdouble* u = acc_.data();
    std::fill(coupled_.begin(), coupled_.begin() + No, 0);
    for (index_t j = 0; j < count; ++j) {
        const double v = var[n0 + j];
        if (v == 0) continue;
        const index_t rows = std::min(L, No - j);
        const cdouble* hj = column(j);  // h(i, n0 + j + i) at hj[i (L + 1)]
        double energy = 0;
        for (index_t i = 0; i < rows; ++i) energy += norm2(hj[i * (L + 1)]);
        if (v < kCertainVariance && v * energy < kCertainShare * floor) {
            for (index_t i = 0; i < rows; ++i) row(j + i)[b] += v * norm2(hj[i * (L + 1)]);
            continue;
        }
        for (index_t i = 0; i < rows; ++i) {
            u[i] = std::conj(hj[i * (L + 1)]);
            coupled_[j + i] = 1;
        }
        for (index_t i = 0; i < rows; ++i) {
            const cdouble ui = std::conj(u[i]) * v;
            const cpair a = lanes(ui), a_turned = turned(ui);
            cdouble* ri = row(j + i) + (b - i);  // C(j + i, j + k) at ri[k]
            for (index_t k = 0; k <= i; ++k) {
                ri[k] = from_lanes(lanes(ri[k]) + cmul_lanes(a, a_turned, u[k]));  // cmul(ui, u[k])
            }
        }
    }

    // 3. C is block diagonal: runs of coupled rows, each banded, and single rows between them.
    // Each run gets C = L D L^H, r <- C^-1 r and the band of Z = C^-1 (Takahashi's recursion,
    // Z(j, k) = delta / d_j - sum over m > j of conj(L(m, j)) Z(m, k)); a single row is its own
    // inverse. Rows of Z are kept whole (columns i - b .. i + b, zero across runs) so that every
    // sum runs over contiguous memory.
    const index_t zw = 2 * b + 1;
    cdouble* zf = zfull_.data();
    // One run over every row writes every element of the band that is read (all of it within the
    // run); with several runs, those across runs must read as zero.
    if (std::find(coupled_.begin(), coupled_.begin() + No, 0) != coupled_.begin() + No) {
        std::fill(zf, zf + static_cast<std::ptrdiff_t>(No) * zw, cdouble{});
    }
    auto zrow = [&](index_t i) { return zf + static_cast<std::ptrdiff_t>(i) * zw + (b - i); };
    double* d = d_.data();
    cdouble* t = tmp_.data();
    for (index_t lo = 0; lo < No;) {
        if (!coupled_[lo]) {
            const double W = row(lo)[b].real();
            d[lo] = W;
            r_[lo] /= W;
            zrow(lo)[lo] = 1.0 / W;
            ++lo;
            continue;
        }
        index_t hi = lo;
        while (hi + 1 < No && coupled_[hi + 1]) ++hi;

        // L D L^H, left-looking: L(i, j) overwrites C(i, j).
        for (index_t j = lo; j <= hi; ++j) {
            const index_t k0 = std::max(lo, j - b);
            cdouble* rj = row(j) + (b - j);  // rj[k] = L(j, k)
            double dj = rj[j].real();
            for (index_t k = k0; k < j; ++k) {
                const cdouble tk = std::conj(rj[k]) * d[k];
                mult_[k - k0] = lanes(tk);
                mult_turned_[k - k0] = turned(tk);
                dj -= norm2(rj[k]) * d[k];
            }
            dj = std::max(dj, kSmallestDivisor);
            d[j] = dj;
            const index_t i_end = std::min(hi, j + b);
            for (index_t i = j + 1; i <= i_end; ++i) {
                cdouble* ri = row(i) + (b - i);
                cpair s = lanes(ri[j]);
                for (index_t k = std::max(k0, i - b); k < j; ++k) {
                    // cmul(ri[k], t): the same two products in each part, in the other order
                    s -= cmul_lanes(mult_[k - k0], mult_turned_[k - k0], ri[k]);
                }
                ri[j] = from_lanes(s) / dj;
            }
        }

        // r <- C^-1 r.
        for (index_t i = lo; i <= hi; ++i) {
            const cdouble* ri = row(i) + (b - i);
            cdouble s = r_[i];
            for (index_t k = std::max(lo, i - b); k < i; ++k) s -= cmul(ri[k], r_[k]);
            r_[i] = s;
        }
        for (index_t i = lo; i <= hi; ++i) r_[i] /= d[i];
        for (index_t i = hi; i >= lo; --i) {
            cdouble s = r_[i];
            const index_t m_end = std::min(hi, i + b);
            for (index_t m = i + 1; m <= m_end; ++m) s -= cmulc(row(m)[b - m + i], r_[m]);
            r_[i] = s;
        }

        // The band of Z, from the bottom up.
        for (index_t j = hi; j >= lo; --j) {
            const index_t m_end = std::min(hi, j + b);
            const index_t w = m_end - j;  // columns j + 1 .. m_end
            cpair* sums = sums_.data();
            for (index_t c = 0; c < w; ++c) sums[c] = cpair{0.0, 0.0};
            for (index_t m = j + 1; m <= m_end; ++m) {
                const cdouble l = std::conj(row(m)[b - m + j]);
                t[m - j - 1] = l;
                const cpair a = lanes(l), a_turned = turned(l);
                const cdouble* zm = zrow(m) + (j + 1);  // Z(m, j + 1 ..)
                for (index_t c = 0; c < w; ++c) sums[c] -= cmul_lanes(a, a_turned, zm[c]);
            }
            cdouble* zj = zrow(j);
            double diag = 1.0 / d[j];
            for (index_t c = 0; c < w; ++c) {
                const cdouble z = from_lanes(sums[c]);
                zj[j + 1 + c] = z;
                zrow(j + 1 + c)[j] = std::conj(z);
                diag -= cmul(t[c], std::conj(z)).real();
            }
            zj[j] = diag;
        }
        lo = hi + 1;
    }

    // 4. Each symbol's unbiased estimate and error variance: g = u^H Z u over the rows the
    // symbol reaches. Over single rows Z is diagonal.
    for (index_t j = 0; j < count; ++j) {
        const double v = var[n0 + j];
        if (v == 0) {
            zhat[j] = mean[n0 + j];
            zvar[j] = 0;
            continue;
        }
        const index_t rows = std::min(L, No - j);
        const cdouble* hj = column(j);  // h(i, n0+j+i) at hj[i (L + 1)]
        bool single = true;
        for (index_t i = 0; i < rows && single; ++i) single = !coupled_[j + i];
        double g = 0;
        cdouble q{};
        if (single) {
            for (index_t i = 0; i < rows; ++i) {
                const cdouble ui = hj[i * (L + 1)];
                q += cmulc(ui, r_[j + i]);
                g += norm2(ui) * zrow(j + i)[j + i].real();
            }
        } else {
            // Z is Hermitian: g = sum_i |u_i|^2 Z_ii + 2 Re sum_{i < k} conj(u_i) Z_ik u_k.
            for (index_t i = 0; i < rows; ++i) {
                const cdouble ui = hj[i * (L + 1)];
                q += cmulc(ui, r_[j + i]);
                const cdouble* zi = zrow(j + i) + j;  // Z(j + i, j + k) at zi[k]
                cdouble cross{};
                for (index_t k = i + 1; k < rows; ++k) cross += cmul(zi[k], hj[k * (L + 1)]);
                g += norm2(ui) * zi[i].real() + 2 * cmulc(ui, cross).real();
            }
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
