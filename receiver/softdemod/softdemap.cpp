#include "receiver/softdemod/softdemap.hpp"

#include <cmath>

namespace hfchain {

namespace {

// Symbols beyond this magnitude are scaled down by 16 before the correlations, which could
// otherwise overflow.
constexpr double kLargeSymbol = 1e300;

// The correlations c_v of one symbol with the K points, and the factor 2 / N0 that turns them
// into log-likelihoods; a symbol too large for the correlations to be formed is scaled down by
// 16 first, and the factor up.
template <int K>
inline double correlations(cdouble y, double factor, const Constellation& points, double* c) {
    double yr = y.real();
    double yi = y.imag();
    const double ar = std::fabs(yr);
    const double ai = std::fabs(yi);
    if ((ar > ai ? ar : ai) > kLargeSymbol) {
        yr /= 16.0;
        yi /= 16.0;
        factor *= 16.0;
    }
    for (int v = 0; v < K; ++v) c[v] = yr * points.point[v].real() + yi * points.point[v].imag();
    return factor;
}

// Below this, a sum of exponentials is too near underflow to be divided by.
constexpr double kSmallestSum = 1e-290;

// The exact rule's exponentials once a symbol rather than once a bit: e_v = exp((m_v - M) scale)
// with M the largest metric, so that each bit needs one logarithm. False (use the per-bit form)
// when the factor or M is not finite.
template <int K>
inline bool shared_exponentials(const double* m, double scale, double* e) {
    if (!std::isfinite(scale)) return false;
    double top = m[0];
    for (int v = 1; v < K; ++v) top = m[v] > top ? m[v] : top;
    if (!std::isfinite(top)) return false;
    for (int v = 0; v < K; ++v) e[v] = m[v] == top ? 1.0 : std::exp((m[v] - top) * scale);
    return true;
}

// One bit's exact correction to the max-log ratio from the shared exponentials, with arg[c] the
// likeliest point whose bit is c: ln((S0 / e0) / (S1 / e1)), S_c the sum over the points whose bit
// is c and e_c = e[arg[c]], so that a tiny max-log ratio stays as it is. False when a side is too
// small to divide by (its ratio is then beyond any clamp, and the per-bit form, which never
// underflows, gives it).
template <int K>
inline bool shared_correction(const double* e, int bit, const int* arg, double& correction) {
    if (arg[0] < 0 || arg[1] < 0) return false;
    const double e0 = e[arg[0]];
    const double e1 = e[arg[1]];
    if (!(e0 > kSmallestSum && e1 > kSmallestSum)) return false;
    double sum[2] = {0.0, 0.0};
    for (int v = 0; v < K; ++v) sum[(v >> bit) & 1] += e[v];
    // One of e0, e1 is 1 (the likeliest point of all): neither product underflows.
    correction = std::log((sum[0] * e1) / (sum[1] * e0));
    return true;
}

// B bits a symbol; `Prior` says whether a-priori ratios come in. Without them the metrics stay
// correlations and the factor is applied to differences only (a difference of 0 gives 0 even
// when the factor is infinite); with them each metric is m_v in full and the factor is 1.
template <int B, bool Prior>
void demap(const Constellation& points, SoftRule rule, index_t N, const cdouble* y,
           const double* noiseVar, index_t noiseStride, const double* prior, double* llr) {
    constexpr int K = 1 << B;
    for (index_t n = 0; n < N; ++n) {
        double m[K];
        double scale = correlations<K>(y[n], 2.0 / noiseVar[noiseStride * n], points, m);
        const double* a = Prior ? prior + static_cast<std::ptrdiff_t>(B) * n : nullptr;
        if constexpr (Prior) {
            for (int v = 0; v < K; ++v) {
                m[v] *= scale;
                for (int l = 0; l < B; ++l)
                    m[v] += points.bit(v, l) == 0 ? 0.5 * a[l] : -0.5 * a[l];
            }
            scale = 1.0;
        }
        double e[K];
        const bool shared = rule == SoftRule::exact && shared_exponentials<K>(m, scale, e);
        for (int i = 0; i < B; ++i) {
            const int bit = B - 1 - i;  // most significant first
            double best[2] = {-INFINITY, -INFINITY};
            int arg[2] = {-1, -1};
            for (int v = 0; v < K; ++v) {
                const int value = (v >> bit) & 1;
                if (m[v] > best[value]) {
                    best[value] = m[v];
                    arg[value] = v;
                }
            }
            const double diff = best[0] - best[1];
            double ratio = diff == 0.0 ? 0.0 : diff * scale;
            double correction = 0;
            if (rule == SoftRule::exact && shared &&
                shared_correction<K>(e, bit, arg, correction)) {
                ratio += correction;
            } else if (rule == SoftRule::exact) {
                double sum[2] = {0.0, 0.0};
                for (int v = 0; v < K; ++v) {
                    const int value = (v >> bit) & 1;
                    const double below = m[v] - best[value];
                    sum[value] += below == 0.0 ? 1.0 : std::exp(below * scale);
                }
                ratio = ratio + (std::log(sum[0]) - std::log(sum[1]));
            }
            if constexpr (Prior) ratio -= a[i];
            llr[static_cast<std::ptrdiff_t>(B) * n + i] = ratio;
        }
    }
}

template <int B>
void demap_bits(const Constellation& points, SoftRule rule, index_t N, const cdouble* y,
                const double* noiseVar, index_t noiseStride, const double* prior, double* llr) {
    if (prior != nullptr) {
        demap<B, true>(points, rule, N, y, noiseVar, noiseStride, prior, llr);
    } else {
        demap<B, false>(points, rule, N, y, noiseVar, noiseStride, nullptr, llr);
    }
}

}  // namespace

void soft_demap(const Constellation& points, SoftRule rule, index_t N, const cdouble* y,
                const double* noiseVar, index_t noiseStride, const double* prior, double* llr) {
    switch (points.bits) {
        case 1:
            demap_bits<1>(points, rule, N, y, noiseVar, noiseStride, prior, llr);
            break;
        case 2:
            demap_bits<2>(points, rule, N, y, noiseVar, noiseStride, prior, llr);
            break;
        default:
            demap_bits<3>(points, rule, N, y, noiseVar, noiseStride, prior, llr);
            break;
    }
}

}  // namespace hfchain
