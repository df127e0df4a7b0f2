#include "channel/fadesim.hpp"

#include <cmath>

#include "channel/conditions.hpp"
#include "channel/h_watterson.hpp"
#include "params/waveform.hpp"
#include "runtime/checks.hpp"
#include "runtime/interrupts.hpp"

namespace hfchain {

namespace {

const char* const kInvalidEsNo = "hfchain:channel:InvalidEsNodB";

// Exact, case-sensitive match of the whole name: no trimming, no prefixes.
const WattersonCondition& find_condition(const std::string& model) {
    const WattersonCondition* c = find_watterson_condition(model);
    if (c == nullptr) raise_message("ERRO! Tipo de canal Watterson invalido.");
    return *c;
}

}  // namespace

double noise_sigma(double EsNodB) {
    // Per-component variance N0 / 2 for a unit symbol energy; EsNodB = +Inf gives 0.
    const double sigma2 = (1.0 / std::pow(10.0, EsNodB / 10.0)) * 0.5;
    if (!std::isfinite(sigma2)) {
        raise(kInvalidEsNo, "Value " + format_value(EsNodB) +
                                " of 'EsNodB' gives no finite noise level: Es/N0 must be a "
                                "number of dB above about -3000, or Inf for no noise.");
    }
    return std::sqrt(sigma2);
}

void add_channel_noise(const ComplexArray& x, double EsNodB, HostServices& host,
                       ComplexArray& noise, ComplexArray& noisy) {
    // The draws are taken even when sigma is 0 (EsNodB = +Inf).
    const double sigma = noise_sigma(EsNodB);
    const index_t n = x.numel();
    noise = ComplexArray(n);
    noisy = ComplexArray(n);
    double* w = reinterpret_cast<double*>(noise.data());
    {
        const RealArray r1 = host.randn(n, 1);
        for_each_chunk(n, host, [&](index_t first, index_t last) {
            for (index_t m = first; m < last; ++m) w[interleaved_offset(m)] = sigma * r1[m];
        });
    }
    {
        const RealArray r2 = host.randn(n, 1);
        for_each_chunk(n, host, [&](index_t first, index_t last) {
            for (index_t m = first; m < last; ++m) w[interleaved_offset(m) + 1] = sigma * r2[m];
        });
    }
    const double* y = reinterpret_cast<const double*>(x.data());
    double* out = reinterpret_cast<double*>(noisy.data());
    for_each_chunk(n, host, [&](index_t first, index_t last) {
        const std::ptrdiff_t end = interleaved_offset(last);
        for (std::ptrdiff_t m = interleaved_offset(first); m < end; ++m) out[m] = y[m] + w[m];
    });
}

FadesimOut fadesim(const ComplexArray& WattersonIn, const VarWatterson& varWatterson,
                   const VarShapping& varShapping, HostServices& host) {
    const double M = varShapping.oversamplingFactor;

    // 1. Condition lookup, before the host stream is touched; so is the noise level.
    const WattersonCondition& condition = find_condition(varWatterson.model);
    const double tau = condition.tau;
    const double fd = condition.fd;
    noise_sigma(varWatterson.EsNodB);

    // 2. Seeding; the caller's generator comes back on every exit.
    SeededStream stream(host, varWatterson.seed);

    // 3. The delay of ray 2 must be a whole number of samples.
    const double x = M * (kSymbolRate * tau);
    if (x - std::floor(x) != 0 || std::isnan(x)) {
        raise_message(
            "ERRO! Superamostragem incompativel com o atraso entre raios Watterson desejado.");
    }
    // M = 0 passes the delay rule (a delay of 0 samples) but samples the rays at t = n / 0.
    if (M == 0.0) check_positive(M, "oversamplingFactor");

    // 4. Fading.
    WattersonOut faded = h_watterson(WattersonIn, M * kSymbolRate, tau, fd, host);

    // 5-7. Noise at EsNodB, real parts from the first draw and imaginary parts from the second,
    // and the received waveform.
    FadesimOut result;
    add_channel_noise(faded.y, varWatterson.EsNodB, host, result.noise, result.AwgnOut);

    // 8. The caller's generator back.
    stream.restore();

    // 9. Outputs.
    result.raios = std::move(faded.raios);
    result.RER = tau;
    result.ED = fd;
    result.WattersonOutAwgnIn = std::move(faded.y);
    return result;
}

}  // namespace hfchain
