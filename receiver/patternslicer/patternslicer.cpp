#include "receiver/patternslicer/patternslicer.hpp"

#include <array>
#include <cmath>
#include <numbers>
#include <string>

#include "params/modes.hpp"
#include "params/rateconf.hpp"
#include "runtime/checks.hpp"
#include "runtime/numeric.hpp"
#include "transmitter/codetables.hpp"

namespace hfchain {

namespace {

constexpr int kValues = 4;  // a block carries two coded bits: one of four values
constexpr int kPatternColumns = 8;

// The two bits (first, second) that value v carries: v = gray2bina(u) for u = 2 b1 + b2.
using ValueBits = std::array<std::array<int, 2>, kValues>;
constexpr ValueBits make_value_bits() {
    ValueBits bits{};
    for (int u = 0; u < kValues; ++u) {
        bits[static_cast<int>(kGray2bina[u])] = {(u >> 1) & 1, u & 1};
    }
    return bits;
}
constexpr ValueBits kValueBits = make_value_bits();

// Blocks with a symbol component beyond this are scaled down by kShrink before they are summed:
// 32 such symbols could otherwise overflow a correlation.
constexpr double kLargeSymbol = 1e300;
constexpr double kShrink = 65536.0;

// Where the library's I0 gives way to the asymptotic series of ln I0: I0(700) is about 1e302,
// still finite, and the series' first omitted term, 11025 / (98304 x^4), is below 5e-13 there.
constexpr double kBesselSeriesFrom = 700.0;

// The eight patterns as points, column c holding exp(j 2 pi p / 8) of its symbol numbers p, the
// phase computed as the transmitter computes it.
ComplexArray pattern_points(const RealArray& chSymMapping) {
    ComplexArray points(chSymMapping.rows(), kPatternColumns);
    for (index_t c = 0; c < kPatternColumns; ++c) {
        for (index_t i = 0; i < chSymMapping.rows(); ++i) {
            const double phase = 2.0 * std::numbers::pi * chSymMapping(i, c) / 8.0;
            points(i, c) = cdouble(std::cos(phase), std::sin(phase));
        }
    }
    return points;
}

std::string complex_text(cdouble z) {
    return format_value(z.real()) + (std::signbit(z.imag()) ? " - " : " + ") +
           format_value(std::fabs(z.imag())) + "i";
}

bool finite(cdouble z) { return std::isfinite(z.real()) && std::isfinite(z.imag()); }

// Input checks, in the order the header gives them; returns the number of blocks.
index_t check_inputs(const ComplexArray& in, const ComplexArray& gain, const RealArray& noiseVar,
                     const ModeParams& mode) {
    check_patterns(mode, "patternslicer");
    const RealArray& map = mode.chSymMapping;
    const index_t Ls = map.rows();
    const index_t N = in.numel();
    if (N % Ls != 0) {
        raise("hfchain:patternslicer:PartialBlock", std::to_string(N) +
                                                        " symbols are not a whole number of " +
                                                        std::to_string(Ls) + "-symbol patterns.");
    }
    const index_t B = N / Ls;
    if (gain.numel() != 1 && gain.numel() != B) {
        raise("hfchain:patternslicer:GainSize",
              "gain must hold one value for all blocks or one per block (" + std::to_string(B) +
                  "); it holds " + std::to_string(gain.numel()) + ".");
    }
    if (noiseVar.numel() != 1 && noiseVar.numel() != B) {
        raise("hfchain:patternslicer:NoiseVarSize",
              "noiseVar must hold one value for all blocks or one per block (" + std::to_string(B) +
                  "); it holds " + std::to_string(noiseVar.numel()) + ".");
    }
    for (index_t k = 0; k < gain.numel(); ++k) {
        if (!finite(gain[k])) {
            raise("hfchain:patternslicer:Gain", "gain(" + std::to_string(k + 1) + ") is " +
                                                    complex_text(gain[k]) +
                                                    ": a channel gain must be finite.");
        }
    }
    for (index_t k = 0; k < noiseVar.numel(); ++k) {
        if (!(noiseVar[k] > 0.0)) {
            raise("hfchain:patternslicer:NoiseVar",
                  "noiseVar(" + std::to_string(k + 1) + ") is " + format_value(noiseVar[k]) +
                      ": a noise variance must be positive (+Inf marks an erased block).");
        }
    }
    for (index_t n = 0; n < N; ++n) {
        if (!finite(in[n])) {
            raise("hfchain:patternslicer:NonFinite", "DemodulatorIn(" + std::to_string(n + 1) +
                                                         ") is " + complex_text(in[n]) +
                                                         ": received symbols must be finite.");
        }
    }
    return B;
}

// The correlations c_v = sum_i y_i conj(s_i) of one block with the four patterns from column
// `first`. Returns the factor the block was scaled by (1, or 1 / kShrink for huge symbols).
double correlate(const cdouble* y, index_t Ls, const ComplexArray& points, index_t first,
                 cdouble* c) {
    double largest = 0.0;
    for (index_t i = 0; i < Ls; ++i) {
        largest = std::fmax(largest, std::fmax(std::fabs(y[i].real()), std::fabs(y[i].imag())));
    }
    const double scale = largest > kLargeSymbol ? 1.0 / kShrink : 1.0;
    for (int v = 0; v < kValues; ++v) {
        const cdouble* s = points.data() + static_cast<std::ptrdiff_t>(first + v) * Ls;
        cdouble sum = 0.0;
        for (index_t i = 0; i < Ls; ++i) sum += (y[i] * scale) * std::conj(s[i]);
        c[v] = sum;
    }
    return scale;
}

// The two ratios of one block from its metrics m_v = w r_v, w >= 0 (w r_v for the noncoherent
// exact rule being the argument of ln I0). The common factor w is applied to differences only,
// so that an infinite w gives +-Inf or 0, never NaN.
void block_ratios(const double* r, double w, PatternDetection detection, SoftRule rule,
                  double* llr) {
    const bool bessel = detection == PatternDetection::noncoherent && rule == SoftRule::exact;
    bool exact = rule == SoftRule::exact && std::isfinite(w);
    double m[kValues];  // ln I0(w r_v)
    if (bessel && exact) {
        for (int v = 0; v < kValues; ++v) {
            const double t = w * r[v];
            exact = exact && std::isfinite(t);
            m[v] = exact ? log_bessel_i0(t) : 0.0;
        }
    }
    for (int bit = 0; bit < 2; ++bit) {
        double best[2] = {-INFINITY, -INFINITY};
        for (int v = 0; v < kValues; ++v) {
            const int b = kValueBits[v][bit];
            best[b] = std::fmax(best[b], r[v]);
        }
        const double diff = best[0] - best[1];
        const double max_log = diff == 0.0 ? 0.0 : diff * w;
        if (!exact) {
            llr[bit] = max_log;
            continue;
        }
        if (bessel) {
            // ln sum exp(ln I0(t_v)) per bit value, each sum relative to its largest term.
            double top[2] = {-INFINITY, -INFINITY};
            for (int v = 0; v < kValues; ++v) {
                top[kValueBits[v][bit]] = std::fmax(top[kValueBits[v][bit]], m[v]);
            }
            double sum[2] = {0.0, 0.0};
            for (int v = 0; v < kValues; ++v) {
                const int b = kValueBits[v][bit];
                sum[b] += std::exp(m[v] - top[b]);
            }
            llr[bit] = (top[0] - top[1]) + (std::log(sum[0]) - std::log(sum[1]));
            continue;
        }
        double sum[2] = {0.0, 0.0};
        for (int v = 0; v < kValues; ++v) {
            const int b = kValueBits[v][bit];
            const double below = r[v] - best[b];
            sum[b] += below == 0.0 ? 1.0 : std::exp(below * w);
        }
        llr[bit] = max_log + (std::log(sum[0]) - std::log(sum[1]));
    }
}

}  // namespace

double log_bessel_i0(double x) {
    if (x < kBesselSeriesFrom) return std::log(std::cyl_bessel_i(0.0, x));
    const double r = 1.0 / x;
    const double series = 1.0 + r * (1.0 / 8.0 + r * (9.0 / 128.0 + r * (225.0 / 3072.0)));
    return x - 0.5 * std::log(2.0 * std::numbers::pi * x) + std::log(series);
}

void check_patterns(const ModeParams& mode, const char* block) {
    if (!uses_patterns(mode)) {
        raise("hfchain:patternslicer:Rate",
              std::string(block) +
                  " detects the channel patterns of the 75 bit/s mode; milstd.rate is " +
                  format_value(mode.rate) + " bit/s.");
    }
    const RealArray& map = mode.chSymMapping;
    if (map.cols() != kPatternColumns || map.rows() < 1) {
        raise("hfchain:patternslicer:Patterns",
              "milstd.chSymMapping must hold the 8 channel patterns as columns of at least one "
              "symbol; it is " +
                  std::to_string(map.rows()) + " x " + std::to_string(map.cols()) + ".");
    }
    for (index_t k = 0; k < map.numel(); ++k) {
        const double p = map[k];
        if (!(p >= 0.0 && p <= 7.0 && p == std::floor(p))) {
            raise("hfchain:patternslicer:Patterns",
                  "milstd.chSymMapping(" + std::to_string(k + 1) + ") is " + format_value(p) +
                      ": a pattern holds symbol numbers, whole numbers 0 to 7.");
        }
    }
}

PatternslicerOut patternslicer(const ComplexArray& DemodulatorIn, const ComplexArray& gain,
                               const RealArray& noiseVar, const ModeParams& mode,
                               PatternDetection detection, SoftRule rule) {
    const index_t B = check_inputs(DemodulatorIn, gain, noiseVar, mode);
    const index_t Ls = mode.chSymMapping.rows();
    const ComplexArray points = pattern_points(mode.chSymMapping);
    const double L = alternate_pattern_period(mode);
    const index_t gain_step = gain.numel() == 1 ? 0 : 1;
    const index_t noise_step = noiseVar.numel() == 1 ? 0 : 1;

    PatternslicerOut out;
    out.LLR = RealArray(checked_size_product(2, B));
    out.Correlations = ComplexArray(kValues, B);
    for (index_t k = 0; k < B; ++k) {
        // 1. The block's set: the alternate one for every L-th block, as the transmitter counts.
        const bool alternate = mod(static_cast<double>(k + 1), L) == 0.0;
        const index_t first = alternate ? kValues : 0;

        // 2. The four correlations.
        cdouble c[kValues];
        const double shrunk = correlate(DemodulatorIn.data() + static_cast<std::ptrdiff_t>(k) * Ls,
                                        Ls, points, first, c);
        for (int v = 0; v < kValues; ++v) out.Correlations(v, k) = c[v] / shrunk;

        // 3. m_v = w r_v: r_v = Re(conj(h / |h|) c_v) (coherent) or |c_v| (noncoherent), and
        // w = 2 |h| / N0; the unit phasor and the magnitude of h taken apart keep the products
        // finite. A zero gain leaves every metric 0.
        const cdouble h = gain[gain_step * k];
        const double a = std::abs(h);
        const cdouble phasor = a > 0.0 ? h / a : cdouble(1.0, 0.0);
        double r[kValues];
        for (int v = 0; v < kValues; ++v) {
            r[v] = detection == PatternDetection::coherent ? (std::conj(phasor) * c[v]).real()
                                                           : std::abs(c[v]);
        }
        const double w = 2.0 * a / noiseVar[noise_step * k] / shrunk;

        // 4. The ratios of the two bits.
        block_ratios(r, w, detection, rule, out.LLR.data() + 2 * static_cast<std::ptrdiff_t>(k));
    }
    return out;
}

}  // namespace hfchain
