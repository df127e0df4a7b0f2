// The sum-of-sinusoids ray generator shared by h_watterson and hfchannel, so that a path of
// hfchannel and a ray of fadesim are the same computation, draw for draw and rounding for
// rounding. Private to channel/.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <string>

#include "runtime/array.hpp"
#include "runtime/checks.hpp"
#include "runtime/host.hpp"
#include "runtime/numeric.hpp"

namespace hfchain::watterson_rays {

constexpr int kSinusoids = 20;
constexpr double kTermScale = 0.22360679774997896;      // 1 / sqrt(20)
constexpr double kAmplitudeScale = 0.5005932648504533;  // sqrt(10^(-3/10) / 2)
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Two consecutive samples are evaluated side by side in one compiler vector (an SSE2 register):
// each phasor advances by exp(j 2 pi F 2 / fs) at a time, and the two lanes and the kGroup
// sinusoids carried together are independent chains of work for the processor.
typedef double Lanes __attribute__((vector_size(2 * sizeof(double))));
constexpr index_t kLanes = 2;
constexpr int kGroup = 4;

// Samples between two exact evaluations of the phasors (a multiple of kLanes). Each step of the
// recurrence adds a few units of rounding to a phasor, so between anchors the terms drift by at
// most about (kAnchorInterval / kLanes) x 4e-16 relative (5e-14), far inside the 1e-12 the gains
// must meet.
constexpr index_t kAnchorInterval = 256;
constexpr index_t kLaneSteps = kAnchorInterval / kLanes;

// One ray: amplitudes g_k, Doppler frequencies F_k (Hz), and the phasor step over kLanes samples,
// exp(j 2 pi F_k kLanes / fs).
struct Ray {
    double g_re[kSinusoids];
    double g_im[kSinusoids];
    double F[kSinusoids];
    double step_re[kSinusoids];
    double step_im[kSinusoids];
};

// Draws one ray: each term's amplitude has standard deviation `amplitude_scale` per component
// (the ray's mean power is 2 amplitude_scale^2). d1, d2, d3: three 1 x 20 rows of standard normals,
// in the order the host drew them.
inline Ray draw_ray(HostServices& host, double fd, double inv_fs, double amplitude_scale) {
    Ray ray;
    const RealArray d1 = host.randn(1, kSinusoids);
    const RealArray d2 = host.randn(1, kSinusoids);
    const RealArray d3 = host.randn(1, kSinusoids);
    const double step_time = kTwoPi * (kLanes * inv_fs);
    for (int k = 0; k < kSinusoids; ++k) {
        ray.g_re[k] = amplitude_scale * d1[k];
        ray.g_im[k] = amplitude_scale * d2[k];
        ray.F[k] = (0.5 * fd) * d3[k];
        ray.step_re[k] = std::cos(step_time * ray.F[k]);
        ray.step_im[k] = std::sin(step_time * ray.F[k]);
    }
    return ray;
}

// The exact term E(n, k) g_k: E(n, k) = exp(j phi) / sqrt(20), phi = (2 pi t_n) F_k, t_n = n / fs
// with the reciprocal 1 / fs formed first.
inline void exact_term(const Ray& ray, int k, std::int64_t n, double inv_fs, double& z_re,
                       double& z_im) {
    const double phi = (kTwoPi * (static_cast<double>(n) * inv_fs)) * ray.F[k];
    const double e_re = std::cos(phi) * kTermScale;
    const double e_im = std::sin(phi) * kTermScale;
    z_re = e_re * ray.g_re[k] - e_im * ray.g_im[k];
    z_im = e_re * ray.g_im[k] + e_im * ray.g_re[k];
}

// Terms of sinusoid k for the kLanes samples n0, n0 + 1, ...
inline void exact_lanes(const Ray& ray, int k, std::int64_t n0, double inv_fs, Lanes& z_re,
                        Lanes& z_im) {
    Lanes lanes_re{}, lanes_im{};  // whole vectors, so that no lane is read before it is set
    for (index_t l = 0; l < kLanes; ++l) {
        double re, im;
        exact_term(ray, k, n0 + l, inv_fs, re, im);
        lanes_re[l] = re;
        lanes_im[l] = im;
    }
    z_re = lanes_re;
    z_im = lanes_im;
}

// Gains `raios`(n0 .. n0 + kAnchorInterval - 1, p) of one ray, kLanes samples per element of
// gain_re and gain_im: the terms are anchored exactly at n0 and then carried by the phasor
// recurrence, kGroup sinusoids at a time so that their phasors stay in registers; each sample's
// terms are added in increasing k.
inline void ray_gains(const Ray& ray, std::int64_t n0, double inv_fs, Lanes* gain_re,
                      Lanes* gain_im) {
    for (index_t j = 0; j < kLaneSteps; ++j) {
        gain_re[j] = Lanes{};
        gain_im[j] = Lanes{};
    }
    for (int k = 0; k < kSinusoids; k += kGroup) {
        Lanes z_re[kGroup], z_im[kGroup], w_re[kGroup], w_im[kGroup];
        for (int g = 0; g < kGroup; ++g) {
            exact_lanes(ray, k + g, n0, inv_fs, z_re[g], z_im[g]);
            w_re[g] = Lanes{} + ray.step_re[k + g];
            w_im[g] = Lanes{} + ray.step_im[k + g];
        }
        for (index_t j = 0; j < kLaneSteps; ++j) {
            Lanes s_re = gain_re[j], s_im = gain_im[j];
            for (int g = 0; g < kGroup; ++g) {
                const Lanes zr = z_re[g], zi = z_im[g];
                s_re += zr;
                s_im += zi;
                z_re[g] = zr * w_re[g] - zi * w_im[g];
                z_im[g] = zr * w_im[g] + zi * w_re[g];
            }
            gain_re[j] = s_re;
            gain_im[j] = s_im;
        }
    }
}

// exp(j 2 pi f n / fs) for n = first .. first + count - 1, multiplied into z: exact at every
// kAnchorInterval-th sample and carried by the phasor recurrence between (the drift is the one
// the ray generator accepts, about 5e-14 relative).
inline void turn(cdouble* z, std::int64_t first, index_t count, double f, double inv_fs) {
    const double step = kTwoPi * f * inv_fs;
    const cdouble w{std::cos(step), std::sin(step)};
    for (index_t n0 = 0; n0 < count; n0 += kAnchorInterval) {
        const double phi = kTwoPi * f * (static_cast<double>(first + n0) * inv_fs);
        cdouble e{std::cos(phi), std::sin(phi)};
        const index_t end = std::min(count, n0 + kAnchorInterval);
        for (index_t n = n0; n < end; ++n) {
            z[n] *= e;
            e *= w;
        }
    }
}

// Delay of a ray in samples, Dd = round(tau / (1 / fs)).
inline index_t delay_in_samples(double tau, double inv_fs) {
    const double Dd = round_half_away(tau / inv_fs);
    if (!std::isfinite(Dd) || Dd > std::numeric_limits<index_t>::max()) {
        raise(errid::kNonInteger,
              "The ray delay in samples, " + format_value(Dd) + ", must be a finite whole number.");
    }
    if (Dd < 0) {
        raise(errid::kNegative,
              "The ray delay in samples, " + format_value(Dd) + ", must not be negative.");
    }
    return static_cast<index_t>(Dd);
}

}  // namespace hfchain::watterson_rays
