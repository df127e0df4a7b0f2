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

// The b ratios of one symbol: `factor` is 2 / N0, the correlations c_v = Re(y conj(x_v)) stand
// for the distances, |y - x_v|^2 = |y|^2 + 1 - 2 c_v.
void symbol_ratios(cdouble y, double factor, const Points& points, int b, SoftRule rule,
                   double* llr) {
    double yr = y.real();
    double yi = y.imag();
    if (std::fmax(std::fabs(yr), std::fabs(yi)) > kLargeSymbol) {
        yr /= 16.0;
        yi /= 16.0;
        factor *= 16.0;
    }
    double c[8];
    for (int v = 0; v < points.count; ++v) c[v] = yr * points.re[v] + yi * points.im[v];

    for (int i = 0; i < b; ++i) {
        const int bit = b - 1 - i;  // most significant first
        double best[2] = {-INFINITY, -INFINITY};
        for (int v = 0; v < points.count; ++v) {
            const int value = (v >> bit) & 1;
            best[value] = std::fmax(best[value], c[v]);
        }
        const double diff = best[0] - best[1];
        double ratio = diff == 0.0 ? 0.0 : diff * factor;
        if (rule == SoftRule::exact) {
            // ln sum exp(factor c_v), each sum taken relative to its largest term.
            double sum[2] = {0.0, 0.0};
            for (int v = 0; v < points.count; ++v) {
                const int value = (v >> bit) & 1;
                const double below = c[v] - best[value];
                sum[value] += below == 0.0 ? 1.0 : std::exp(below * factor);
            }
            ratio += std::log(sum[0]) - std::log(sum[1]);
        }
        llr[i] = ratio;
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
    // One variance for all symbols, or one each.
    const index_t stride = noiseVar.numel() == 1 ? 0 : 1;
    for (index_t n = 0; n < N; ++n) {
        const double factor = 2.0 / noiseVar[stride * n];
        symbol_ratios(DemodulatorIn[n], factor, points, b, rule, out.LLR.data() + b * n);
    }
    return out;
}

}  // namespace hfchain
