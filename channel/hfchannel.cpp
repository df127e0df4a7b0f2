#include "channel/hfchannel.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "channel/fadesim.hpp"
#include "channel/watterson_rays.hpp"
#include "params/waveform.hpp"
#include "runtime/checks.hpp"
#include "runtime/interrupts.hpp"

namespace hfchain {

namespace {

using namespace watterson_rays;

const char* const kInvalidChannel = "hfchain:hfchannel:InvalidChannel";

[[noreturn]] void refuse_path(std::size_t p, const char* field, double value, const char* rule) {
    raise(kInvalidChannel, "Path " + std::to_string(p + 1) + ": " + field + " " +
                               format_value(value) + " is not accepted; " + rule + ".");
}

// Step 1: every value of the channel, before anything is drawn.
void check_channel(const HfChannel& channel) {
    if (channel.paths.empty())
        raise(kInvalidChannel, "The channel has no path; give at least one.");
    for (std::size_t p = 0; p < channel.paths.size(); ++p) {
        const HfPath& path = channel.paths[p];
        if (!(path.delay >= 0 && path.delay <= kMaxPathDelay)) {
            refuse_path(p, "delay", path.delay, "give a delay from 0 to 1 s");
        }
        // The amplitude 10^(power / 20) must be a finite number: about +3080 dB is the limit.
        if (!std::isfinite(path.power) || !std::isfinite(std::pow(10.0, path.power / 10.0))) {
            refuse_path(p, "power", path.power, "give a finite mean power in dB below 3000");
        }
        if (!std::isfinite(path.spread) || path.spread < 0) {
            refuse_path(p, "spread", path.spread, "give a finite Doppler spread of at least 0 Hz");
        }
        if (!std::isfinite(path.shift)) {
            refuse_path(p, "shift", path.shift, "give a finite Doppler shift in Hz");
        }
    }
    if (!std::isfinite(channel.offset)) {
        raise(kInvalidChannel, "The frequency offset " + format_value(channel.offset) +
                                   " is not accepted; give a finite offset in Hz.");
    }
}

// Step 4: the gains of one path, L values, shift included.
void path_gains(const HfPath& path, const Ray* ray, index_t L, double inv_fs, cdouble* g,
                HostServices& host) {
    if (ray == nullptr) {
        const double a = std::sqrt(std::pow(10.0, path.power / 10.0));
        std::fill(g, g + L, cdouble(a, 0.0));
    } else {
        Lanes g_re[kLaneSteps], g_im[kLaneSteps];
        for (index_t n0 = 0; n0 < L; n0 += kAnchorInterval) {
            host.poll_interrupt();
            const index_t count = std::min(kAnchorInterval, L - n0);
            ray_gains(*ray, n0, inv_fs, g_re, g_im);
            for (index_t i = 0; i < count; ++i) {
                g[n0 + i] = {g_re[i / kLanes][i % kLanes], g_im[i / kLanes][i % kLanes]};
            }
        }
    }
    if (path.shift != 0) turn(g, 0, L, path.shift, inv_fs);
}

}  // namespace

void check_hf_channel(const HfChannel& channel) { check_channel(channel); }

double delay_samples(double delay, double M) { return M * (kSymbolRate * delay); }

bool whole_samples(double samples) {
    return std::fabs(samples - std::round(samples)) <= 1e-9 * std::max(1.0, std::fabs(samples));
}

HfchannelOut hfchannel(const ComplexArray& x, const VarHfchannel& varHfchannel,
                       const VarShapping& varShapping, HostServices& host) {
    const HfChannel& channel = varHfchannel.channel;
    const double M = varShapping.oversamplingFactor;
    const index_t L = x.numel();
    const std::size_t P = channel.paths.size();

    // 1. The input, the channel and the noise level, before the host stream is touched.
    check_finite(x, "x", "hfchain:hfchannel:NonFinite", "the input waveform must be finite.");
    check_channel(channel);
    noise_sigma(varHfchannel.EsNodB);
    check_positive(M, "oversamplingFactor");

    // 2. Each delay a whole number of samples (whole_samples), then in samples as fadesim
    // rounds its second ray's.
    const double inv_fs = 1.0 / (M * kSymbolRate);
    HfchannelOut result;
    result.delays = RealArray(static_cast<index_t>(P));
    index_t Dmax = 0;
    for (std::size_t p = 0; p < P; ++p) {
        const double d = delay_samples(channel.paths[p].delay, M);
        if (!whole_samples(d)) {
            raise("hfchain:hfchannel:FractionalDelay",
                  "Path " + std::to_string(p + 1) + ": the delay " +
                      format_value(channel.paths[p].delay) + " s is " + format_value(d) +
                      " samples at " + format_value(M) +
                      " samples per symbol; give a whole number of samples.");
        }
        const index_t D = delay_in_samples(channel.paths[p].delay, inv_fs);
        result.delays[static_cast<index_t>(p)] = static_cast<double>(D);
        Dmax = std::max(Dmax, D);
    }
    const std::int64_t Ly = static_cast<std::int64_t>(L) + Dmax;
    if (Ly > std::numeric_limits<index_t>::max()) {
        raise(errid::kMaxSize, "The faded waveform, " + std::to_string(Ly) +
                                   " samples, exceeds the largest size, 2147483647.");
    }

    // 3. Seeding; the caller's generator comes back on every exit. The fading paths draw in
    // order, each its amplitudes' real parts, imaginary parts, then its frequencies.
    SeededStream stream(host, varHfchannel.seed);
    std::vector<Ray> rays(P);
    for (std::size_t p = 0; p < P; ++p) {
        const HfPath& path = channel.paths[p];
        if (path.spread > 0) {
            rays[p] = draw_ray(host, path.spread, inv_fs,
                               std::sqrt(std::pow(10.0, path.power / 10.0) / 2));
        }
    }

    // 4. The gains of every path at every input sample.
    result.raios = ComplexArray(L, static_cast<index_t>(P));
    for (std::size_t p = 0; p < P; ++p) {
        path_gains(channel.paths[p], channel.paths[p].spread > 0 ? &rays[p] : nullptr, L, inv_fs,
                   result.raios.data() + static_cast<std::ptrdiff_t>(p) * L, host);
    }

    // 5. y(m) = sum_p x(m - D_p) g_p(m - D_p) over the paths whose term lies inside the input,
    // in path order, the first one assigned and the others added: with fadesim's two rays this is
    // fadesim's arithmetic exactly. Rows that no path reaches stay zero.
    result.WattersonOutAwgnIn = ComplexArray(static_cast<index_t>(Ly));
    const double* xs = reinterpret_cast<const double*>(x.data());
    double* y = reinterpret_cast<double*>(result.WattersonOutAwgnIn.data());
    for_each_chunk(static_cast<index_t>(Ly), host, [&](index_t first, index_t last) {
        for (index_t m = first; m < last; ++m) {
            double y_re = 0, y_im = 0;
            bool any = false;
            for (std::size_t p = 0; p < P; ++p) {
                const index_t n = m - static_cast<index_t>(result.delays[static_cast<index_t>(p)]);
                if (n < 0 || n >= L) continue;
                const std::ptrdiff_t xn = interleaved_offset(n);
                const double a = xs[xn], b = xs[xn + 1];
                const cdouble g = result.raios(n, static_cast<index_t>(p));
                const double g_re = g.real(), g_im = g.imag();
                if (!any) {
                    y_re = a * g_re - b * g_im;
                    y_im = a * g_im + b * g_re;
                    any = true;
                } else {
                    y_re += a * g_re - b * g_im;
                    y_im += a * g_im + b * g_re;
                }
            }
            const std::ptrdiff_t ym = interleaved_offset(m);
            y[ym] = y_re;
            y[ym + 1] = y_im;
        }
    });

    // 6. The frequency offset of the whole signal, at the output's sample instants.
    if (channel.offset != 0) {
        turn(result.WattersonOutAwgnIn.data(), 0, static_cast<index_t>(Ly), channel.offset, inv_fs);
    }

    // A huge input through a strong path can overflow: refused rather than handed on.
    for (index_t m = 0; m < static_cast<index_t>(Ly); ++m) {
        const cdouble v = result.WattersonOutAwgnIn[m];
        if (!std::isfinite(v.real()) || !std::isfinite(v.imag())) {
            raise("hfchain:hfchannel:Overflow",
                  "The faded waveform overflows at sample " + std::to_string(m + 1) +
                      ": the input times the path gains must stay below about 1e308.");
        }
    }

    // 7. Noise at EsNodB, real parts from the first draw and imaginary parts from the second.
    add_channel_noise(result.WattersonOutAwgnIn, varHfchannel.EsNodB, host, result.noise,
                      result.AwgnOut);

    // 8. The caller's generator back.
    stream.restore();
    result.offset = channel.offset;
    return result;
}

}  // namespace hfchain
