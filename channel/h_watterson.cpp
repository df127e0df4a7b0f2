#include "channel/h_watterson.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <string>

#include "channel/watterson_rays.hpp"
#include "runtime/checks.hpp"
#include "runtime/interrupts.hpp"
#include "runtime/numeric.hpp"

namespace hfchain {

using namespace watterson_rays;

WattersonOut h_watterson(const ComplexArray& x, double fs, double tau, double fd,
                         HostServices& host) {
    const index_t L = x.numel();

    // 1-2. Sampling period and the delay of ray 2 in samples.
    const double inv_fs = 1.0 / fs;
    const index_t Dd = delay_in_samples(tau, inv_fs);
    const std::int64_t Ly = static_cast<std::int64_t>(L) + Dd;
    if (Ly > std::numeric_limits<index_t>::max()) {
        raise(errid::kMaxSize, "The faded waveform, " + std::to_string(Ly) +
                                   " samples, exceeds the largest size, 2147483647.");
    }

    // 3-4. Ray 1 draws all its numbers before ray 2: amplitudes (real parts, imaginary parts),
    // then frequencies.
    WattersonOut result;
    result.raios = ComplexArray(L, 2);
    result.y = ComplexArray(static_cast<index_t>(Ly));
    const Ray ray1 = draw_ray(host, fd, inv_fs, kAmplitudeScale);
    const Ray ray2 = draw_ray(host, fd, inv_fs, kAmplitudeScale);

    // 4-6. One pass over blocks of samples that stay in cache: the gains of both rays, never the
    // L x 20 term matrix, then
    // y(m) = x(m) raios(m, 1) + x(m - Dd) raios(m - Dd, 2), terms outside 1..L counting as zero.
    const double* xs = reinterpret_cast<const double*>(x.data());
    cdouble* r1 = result.raios.data();
    cdouble* r2 = r1 + L;
    double* y = reinterpret_cast<double*>(result.y.data());
    Lanes g1_re[kLaneSteps], g1_im[kLaneSteps], g2_re[kLaneSteps], g2_im[kLaneSteps];
    for (index_t n0 = 0; n0 < L; n0 += kAnchorInterval) {
        host.poll_interrupt();
        const index_t count = std::min(kAnchorInterval, L - n0);
        ray_gains(ray1, n0, inv_fs, g1_re, g1_im);
        ray_gains(ray2, n0, inv_fs, g2_re, g2_im);
        for (index_t i = 0; i < count; ++i) {
            const index_t j = i / kLanes, l = i % kLanes;
            r1[n0 + i] = {g1_re[j][l], g1_im[j][l]};
            r2[n0 + i] = {g2_re[j][l], g2_im[j][l]};
        }
        for (index_t m = n0; m < n0 + count; ++m) {
            const std::ptrdiff_t xm = interleaved_offset(m);
            const double a = xs[xm], b = xs[xm + 1];
            const double g_re = r1[m].real(), g_im = r1[m].imag();
            double y_re = a * g_re - b * g_im;
            double y_im = a * g_im + b * g_re;
            if (m >= Dd) {
                const index_t d = m - Dd;
                const std::ptrdiff_t xd = interleaved_offset(d);
                const double c = xs[xd], e = xs[xd + 1];
                const double h_re = r2[d].real(), h_im = r2[d].imag();
                y_re += c * h_re - e * h_im;
                y_im += c * h_im + e * h_re;
            }
            y[xm] = y_re;
            y[xm + 1] = y_im;
        }
    }
    // The tail of ray 2 beyond the input, rows L + 1 .. L + Dd (rows between L and Dd, when the
    // rays do not overlap, stay zero).
    const index_t tail_first = std::max(L, Dd);
    for_each_chunk(static_cast<index_t>(Ly) - tail_first, host, [&](index_t first, index_t last) {
        for (index_t m = tail_first + first; m < tail_first + last; ++m) {
            const index_t d = m - Dd;
            const std::ptrdiff_t xd = interleaved_offset(d), ym = interleaved_offset(m);
            const double c = xs[xd], e = xs[xd + 1];
            const double h_re = r2[d].real(), h_im = r2[d].imag();
            y[ym] = c * h_re - e * h_im;
            y[ym + 1] = c * h_im + e * h_re;
        }
    });
    return result;
}

}  // namespace hfchain
