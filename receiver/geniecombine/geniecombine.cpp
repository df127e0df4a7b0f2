#include "receiver/geniecombine/geniecombine.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "channel/fadesim.hpp"
#include "receiver/layout/layout.hpp"
#include "receiver/layout/reception.hpp"
#include "runtime/checks.hpp"
#include "runtime/complexmath.hpp"
#include "shaping/rrc_fir.hpp"

namespace hfchain {

namespace {

const char* const kNonFinite = "hfchain:geniecombine:NonFinite";
constexpr double kInf = std::numeric_limits<double>::infinity();

// g = sqrt(|h1|^2 + |h2|^2 + ...) over the rays of row `peak` (0-based). The squares are formed
// directly, as always; gains so large or so small that they overflow or lose their precision are
// taken through hypot, which scales. A g beyond the largest double cannot be reported: refused,
// naming the sample.
double combined_gain(const ComplexArray& raios, index_t peak) {
    double g2 = norm2(raios(peak, 0));
    for (index_t p = 1; p < raios.cols(); ++p) g2 += norm2(raios(peak, p));
    if (g2 >= std::numeric_limits<double>::min() && g2 <= std::numeric_limits<double>::max()) {
        return std::sqrt(g2);
    }
    double g = std::abs(raios(peak, 0));
    for (index_t p = 1; p < raios.cols(); ++p) g = std::hypot(g, std::abs(raios(peak, p)));
    if (!std::isfinite(g)) {
        raise("hfchain:geniecombine:Overflow",
              "The combined gain of raios(" + std::to_string(peak + 1) +
                  ", :) overflows: ray gains must stay below about 1e308.");
    }
    return g;
}

// N0 / g^2, infinite when nothing of the symbol arrives: a gain of 0 (whatever N0, even 0), or
// one so small against the noise that the variance overflows.
double error_variance(double N0, double g) {
    if (g == 0) return kInf;
    const double g2 = g * g;
    // g^2 may underflow to 0 for a g that does not: the same ratio without the square.
    return g2 > 0 ? N0 / g2 : N0 / g / g;
}

}  // namespace

GeniecombineOut geniecombine(const ComplexArray& MultiplexOut, const ComplexArray& raios,
                             const ComplexArray& noise, double EsNodB, const ModeParams& mode,
                             const VarShapping& varShapping) {
    // The transmission: the preamble and whole frames.
    const index_t S = MultiplexOut.numel();
    check_receiver_mode(mode, "geniecombine");
    const Layout layout = transmission_layout(mode, whole_frames(mode, S));
    check_size_equal(layout.symbols, S, "MultiplexOut");
    const KnownSymbols known = known_symbols(mode, layout);

    // The matched filter and the instants: symbol n peaks at sample n M + D M of the shaped
    // waveform (where the rays' gains are read) and at n M + 2 D M of the matched-filter output.
    // The sizes are checked before the filter is designed: a huge pulseDelay or
    // oversamplingFactor is refused by the length of raios or noise, not after a long design.
    const index_t M = oversampling_factor(varShapping, "geniecombine");
    check_rolloff(varShapping.rolloffFactor);
    const index_t taps = rrc_length(varShapping.pulseDelay, varShapping.oversamplingFactor);
    const index_t half = taps / 2;  // D M
    const index_t shaped = checked_size_product(S + 2 * (half / M), M) + 2 * (half % M);
    const bool fading = !raios.empty();
    if (fading) {
        check_size_equal(shaped, raios.rows(), "raios");
    }
    if (noise.numel() < shaped) check_size_equal(shaped, noise.numel(), "noise");

    // The values: finite inputs, and the channel's own rule for Es/N0 (NaN, -Inf and levels
    // below about -3000 dB give no noise variance).
    check_finite(MultiplexOut, "MultiplexOut", kNonFinite, "transmitted symbols must be finite.");
    check_finite(raios, "raios", kNonFinite, "ray gains must be finite.");
    check_finite(noise, "noise", kNonFinite, "noise samples must be finite.");
    noise_sigma(EsNodB);
    const RealArray filter = shaping_filter(varShapping.rolloffFactor, varShapping.pulseDelay,
                                            varShapping.oversamplingFactor, no_host());
    const double N0 = std::pow(10.0, -EsNodB / 10.0);

    const index_t N = layout.dataSymbols();
    GeniecombineOut out;
    out.out = ComplexArray(N);
    out.noiseVar = RealArray(N);
    out.gain = RealArray(N);
    for (index_t k = 0; k < N; ++k) {
        const index_t n = layout.dataIndex(k);
        // Noise through the matched filter at the symbol's first-ray peak, 2 D M + n M:
        // sum over t of filter(t) noise(2 D M + n M - t).
        cdouble w{};
        const cdouble* x = noise.data() + n * M;
        for (index_t t = 0; t < taps; ++t) w += filter[t] * x[2 * half - t];
        const index_t peak = n * M + half;
        const double g = fading ? combined_gain(raios, peak) : 1.0;
        out.gain[k] = g;
        const double var = error_variance(N0, g);
        if (var == kInf) {
            // Nothing of the symbol arrives: an erasure, which the soft demapper turns into
            // ratios of 0.
            out.out[k] = 0.0;
            out.noiseVar[k] = kInf;
            continue;
        }
        const cdouble z = cmulc(known.rotation[k], MultiplexOut[n] + w / g);
        if (!std::isfinite(z.real()) || !std::isfinite(z.imag())) {
            raise("hfchain:geniecombine:Overflow",
                  "Data symbol " + std::to_string(k + 1) + " (MultiplexOut(" +
                      std::to_string(n + 1) + ") plus its matched-filtered noise over the gain " +
                      format_value(g) + ", descrambled) overflows: MultiplexOut or noise is " +
                      "too large for raios.");
        }
        out.out[k] = z;
        out.noiseVar[k] = std::max(var, std::numeric_limits<double>::min());
    }
    return out;
}

}  // namespace hfchain
