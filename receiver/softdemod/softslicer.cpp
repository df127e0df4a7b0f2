#include "receiver/softdemod/softslicer.hpp"

#include <cmath>
#include <numbers>
#include <string>

#include "runtime/checks.hpp"
#include "transmitter/codetables.hpp"

namespace hfchain {

namespace {

// Symbols beyond this magnitude are scaled down by 16 before the correlations, which could
// otherwise overflow.
constexpr double kLargeSymbol = 1e300;

// The 2^b points of the transmitter, indexed by the b-bit value v they carry.
struct Points {
    int count = 0;
    double re[8] = {};
    double im[8] = {};
};

// The value v goes out as symbol gray2bina(v) scaled by 2^(3 - b) onto the eight phases, the
// point of phase 2 pi s / 8 computed as the transmitter computes it.
Points transmitter_points(int b) {
    Points p;
    p.count = 1 << b;
    const int scale = 1 << (3 - b);
    for (int v = 0; v < p.count; ++v) {
        const double s = kGray2bina[v] * scale;
        const double phase = 2.0 * std::numbers::pi * s / 8.0;
        p.re[v] = std::cos(phase);
        p.im[v] = std::sin(phase);
    }
    return p;
}

std::string complex_text(cdouble z) {
    return format_value(z.real()) + (std::signbit(z.imag()) ? " - " : " + ") +
           format_value(std::fabs(z.imag())) + "i";
}

// Input checks, in the order the header gives them; returns b.
int check_inputs(const ComplexArray& DemodulatorIn, const RealArray& noiseVar,
                 const Milstd& milstd) {
    if (milstd.rate == 75) {
        raise("hfchain:softslicer:Rate75",
              "The 75 bit/s mode sends each value as a 32-symbol channel pattern, not as one "
              "Gray-mapped point: softslicer has no soft decisions for it.");
    }
    const double b = milstd.bitsToSym;
    if (b != 1.0 && b != 2.0 && b != 3.0) {
        raise("hfchain:softslicer:BitsToSym",
              "softslicer demaps 1, 2 or 3 bits a symbol; milstd.bitsToSym is " + format_value(b) +
                  ".");
    }
    const index_t N = DemodulatorIn.numel();
    if (noiseVar.numel() != 1 && noiseVar.numel() != N) {
        raise("hfchain:softslicer:NoiseVarSize",
              "noiseVar must hold one value for all symbols or one per symbol (" +
                  std::to_string(N) + "); it holds " + std::to_string(noiseVar.numel()) + ".");
    }
    for (index_t n = 0; n < noiseVar.numel(); ++n) {
        if (!(noiseVar[n] > 0.0)) {
            raise("hfchain:softslicer:NoiseVar",
                  "noiseVar(" + std::to_string(n + 1) + ") is " + format_value(noiseVar[n]) +
                      ": a noise variance must be positive (+Inf marks an erased symbol).");
        }
    }
    for (index_t n = 0; n < N; ++n) {
        const cdouble y = DemodulatorIn[n];
        if (!std::isfinite(y.real()) || !std::isfinite(y.imag())) {
            raise("hfchain:softslicer:NonFinite", "DemodulatorIn(" + std::to_string(n + 1) +
                                                      ") is " + complex_text(y) +
                                                      ": received symbols must be finite.");
        }
    }
    return static_cast<int>(b);
}

// The correlations c_v = Re(y conj(x_v)) of one symbol with the K points stand for the
// distances, |y - x_v|^2 = |y|^2 + 1 - 2 c_v, so that the ratio of a bit is `factor` = 2 / N0
// times the difference of the largest correlations of its two values. Symbols too large for the
// correlations to be formed are scaled down by 16 first, and the factor up.
template <int K>
inline double correlations(cdouble y, double factor, const Points& points, double* c) {
    double yr = y.real();
    double yi = y.imag();
    const double ar = std::fabs(yr);
    const double ai = std::fabs(yi);
    if ((ar > ai ? ar : ai) > kLargeSymbol) {
        yr /= 16.0;
        yi /= 16.0;
        factor *= 16.0;
    }
    for (int v = 0; v < K; ++v) c[v] = yr * points.re[v] + yi * points.im[v];
    return factor;
}

// Max-log ratios of B bits a symbol.
template <int B>
void max_log_ratios(const ComplexArray& in, const RealArray& noiseVar, const Points& points,
                    double* llr) {
    constexpr int K = 1 << B;
    const index_t stride = noiseVar.numel() == 1 ? 0 : 1;
    for (index_t n = 0; n < in.numel(); ++n) {
        double c[K];
        const double factor = correlations<K>(in[n], 2.0 / noiseVar[stride * n], points, c);
        for (int i = 0; i < B; ++i) {
            const int bit = B - 1 - i;  // most significant first
            double best0 = -INFINITY;
            double best1 = -INFINITY;
            for (int v = 0; v < K; ++v) {
                if (((v >> bit) & 1) != 0) {
                    best1 = c[v] > best1 ? c[v] : best1;
                } else {
                    best0 = c[v] > best0 ? c[v] : best0;
                }
            }
            const double diff = best0 - best1;
            llr[B * n + i] = diff == 0.0 ? 0.0 : diff * factor;  // 0 also when factor is Inf
        }
    }
}

// Exact ratios: ln of the sums of exp(factor c_v) over the points of each bit value, each sum
// taken relative to its largest term.
template <int B>
void exact_ratios(const ComplexArray& in, const RealArray& noiseVar, const Points& points,
                  double* llr) {
    constexpr int K = 1 << B;
    const index_t stride = noiseVar.numel() == 1 ? 0 : 1;
    for (index_t n = 0; n < in.numel(); ++n) {
        double c[K];
        const double factor = correlations<K>(in[n], 2.0 / noiseVar[stride * n], points, c);
        for (int i = 0; i < B; ++i) {
            const int bit = B - 1 - i;
            double best[2] = {-INFINITY, -INFINITY};
            for (int v = 0; v < K; ++v) {
                const int value = (v >> bit) & 1;
                best[value] = c[v] > best[value] ? c[v] : best[value];
            }
            double sum[2] = {0.0, 0.0};
            for (int v = 0; v < K; ++v) {
                const int value = (v >> bit) & 1;
                const double below = c[v] - best[value];
                sum[value] += below == 0.0 ? 1.0 : std::exp(below * factor);
            }
            const double diff = best[0] - best[1];
            llr[B * n + i] =
                (diff == 0.0 ? 0.0 : diff * factor) + (std::log(sum[0]) - std::log(sum[1]));
        }
    }
}

template <int B>
void ratios(const ComplexArray& in, const RealArray& noiseVar, const Points& points, SoftRule rule,
            double* llr) {
    if (rule == SoftRule::exact) {
        exact_ratios<B>(in, noiseVar, points, llr);
    } else {
        max_log_ratios<B>(in, noiseVar, points, llr);
    }
}

}  // namespace

SoftslicerOut softslicer(const ComplexArray& DemodulatorIn, const RealArray& noiseVar,
                         const Milstd& milstd, SoftRule rule) {
    const int b = check_inputs(DemodulatorIn, noiseVar, milstd);
    const Points points = transmitter_points(b);

    const index_t N = DemodulatorIn.numel();
    SoftslicerOut out;
    out.LLR = RealArray(checked_size_product(b, N));
    double* llr = out.LLR.data();
    if (b == 3) ratios<3>(DemodulatorIn, noiseVar, points, rule, llr);
    if (b == 2) ratios<2>(DemodulatorIn, noiseVar, points, rule, llr);
    if (b == 1) ratios<1>(DemodulatorIn, noiseVar, points, rule, llr);
    return out;
}

}  // namespace hfchain
