#include "receiver/geniecombine/geniecombine.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "receiver/chansound/chansound.hpp"
#include "receiver/layout/layout.hpp"
#include "runtime/checks.hpp"
#include "runtime/complexmath.hpp"
#include "shaping/rrc_fir.hpp"

namespace hfchain {

GeniecombineOut geniecombine(const ComplexArray& MultiplexOut, const ComplexArray& raios,
                             const ComplexArray& noise, double EsNodB, const Milstd& milstd,
                             const VarShapping& varShapping) {
    // The transmission: the preamble and whole frames.
    const index_t S = MultiplexOut.numel();
    check_receiver_mode(milstd);
    const Layout layout = transmission_layout(milstd, whole_frames(milstd, S));
    check_size_equal(layout.symbols, S, "MultiplexOut");
    const KnownSymbols known = known_symbols(milstd, layout);

    // The matched filter and the instants: symbol n peaks at sample n M + D M of the shaped
    // waveform (where the rays' gains are read) and at n M + 2 D M of the matched-filter output.
    // The sizes are checked before the filter is designed: a huge pulseDelay or
    // oversamplingFactor is refused by the length of raios or noise, not after a long design.
    const index_t M = oversampling_factor(varShapping);
    check_rolloff(varShapping.rolloffFactor);
    const index_t taps = rrc_length(varShapping.pulseDelay, varShapping.oversamplingFactor);
    const index_t half = taps / 2;  // D M
    const index_t shaped = checked_size_product(S + 2 * (half / M), M) + 2 * (half % M);
    const bool fading = !raios.empty();
    if (fading) {
        check_size_equal(shaped, raios.rows(), "raios");
        check_size_equal(2, raios.cols(), "raios");
    }
    if (noise.numel() < shaped) check_size_equal(shaped, noise.numel(), "noise");
    const RealArray filter = unit_energy_filter(
        rrc_fir(varShapping.rolloffFactor, varShapping.pulseDelay, varShapping.oversamplingFactor));
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
        double g = 1.0;
        if (fading) {
            const index_t peak = n * M + half;
            g = std::sqrt(norm2(raios(peak, 0)) + norm2(raios(peak, 1)));
        }
        const cdouble z = MultiplexOut[n] + w / g;
        out.out[k] = cmulc(known.rotation[k], z);
        out.noiseVar[k] = std::max(N0 / (g * g), std::numeric_limits<double>::min());
        out.gain[k] = g;
    }
    return out;
}

}  // namespace hfchain
