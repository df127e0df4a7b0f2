#include "channel/h_watterson.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <sstream>
#include <vector>

#include "runtime/builtin_host.hpp"
#include "tests/support/signals.hpp"

namespace hfchain {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

std::string scientific(double v) {
    std::ostringstream text;
    text << std::scientific << v;
    return text.str();
}

// The gains by the formula, sample by sample, from the six rows a host seeded like the block's
// stream yields: for each ray the real and imaginary amplitudes, then the frequencies.
struct DirectGains {
    double g_re[2][20], g_im[2][20], F[2][20];

    DirectGains(double seed, double fd) {
        BuiltinHost host(seed);
        for (int p = 0; p < 2; ++p) {
            const RealArray d1 = host.randn(1, 20), d2 = host.randn(1, 20), d3 = host.randn(1, 20);
            for (int k = 0; k < 20; ++k) {
                g_re[p][k] = 0.5005932648504533 * d1[k];
                g_im[p][k] = 0.5005932648504533 * d2[k];
                F[p][k] = (0.5 * fd) * d3[k];
            }
        }
    }
    cdouble at(int p, index_t n, double fs) const {
        const double two_pi_t = kTwoPi * (n * (1 / fs));
        cdouble sum = 0;
        for (int k = 0; k < 20; ++k) {
            const double phi = two_pi_t * F[p][k];
            sum += cdouble(std::cos(phi) / std::sqrt(20.0), std::sin(phi) / std::sqrt(20.0)) *
                   cdouble(g_re[p][k], g_im[p][k]);
        }
        return sum;
    }
};

// The phasor recurrence must stay within 1e-12 of the formula (relative to the ray's RMS gain)
// over a long record: 100000 samples, many re-anchoring intervals.
TEST(HWatterson, GainsAgreeWithTheFormulaOverALongRecord) {
    const double fs = 2400, fd = 5, seed = 21;
    const index_t L = 100000;
    BuiltinHost host(seed);
    const WattersonOut r = h_watterson(ComplexArray(L), fs, 0.005, fd, host);
    const DirectGains direct(seed, fd);
    for (int p = 0; p < 2; ++p) {
        double power = 0, worst = 0;
        for (index_t n = 0; n < L; ++n) {
            const cdouble g = direct.at(p, n, fs);
            power += std::norm(g);
            worst = std::max(worst, std::abs(r.raios(n, p) - g));
        }
        const double drift = worst / std::sqrt(power / L);
        RecordProperty(p == 0 ? "drift_ray1" : "drift_ray2", scientific(drift));
        EXPECT_LT(drift, 1e-12) << "ray " << p + 1;
    }
}

TEST(HWatterson, ConstantGainsWithoutDopplerSpread) {
    BuiltinHost host(5);
    const WattersonOut r = h_watterson(random_complex(600, 1), 12000, 0.001, 0.0, host);
    const DirectGains direct(5, 0.0);
    for (int p = 0; p < 2; ++p) {
        cdouble sum = 0;
        for (int k = 0; k < 20; ++k) sum += cdouble(direct.g_re[p][k], direct.g_im[p][k]);
        EXPECT_NEAR(std::abs(r.raios(0, p) - sum / std::sqrt(20.0)), 0.0, 1e-15);
        for (index_t n = 1; n < 600; ++n) EXPECT_EQ(r.raios(n, p), r.raios(0, p));
    }
}

// y(m) = x(m) raios(m, 1) + x(m - Dd) raios(m - Dd, 2), terms outside the input counting as zero.
TEST(HWatterson, DelayAndCombinationOfTheRays) {
    const struct {
        index_t L;
        double fs, tau;
        index_t Dd;
    } cases[] = {
        {1000, 12000, 0.0005, 6}, {1000, 12000, 0.001, 12}, {1000, 12000, 0.002, 24},
        {1000, 12000, 0.005, 60}, {700, 2400, 0.005, 12},   {5, 2400, 0.005, 12},  // no overlap
        {12, 2400, 0.005, 12},    {0, 12000, 0.0005, 6},    {300, 12000, 0.0, 0},
    };
    for (const auto& c : cases) {
        BuiltinHost host(9);
        const ComplexArray x = random_complex(c.L, 2);
        const WattersonOut r = h_watterson(x, c.fs, c.tau, 0.5, host);
        ASSERT_EQ(r.raios.rows(), c.L);
        ASSERT_EQ(r.raios.cols(), 2);
        ASSERT_EQ(r.y.numel(), c.L + c.Dd) << c.fs << " " << c.tau;
        for (index_t m = 0; m < c.L + c.Dd; ++m) {
            cdouble expected = 0;
            if (m < c.L) expected += x[m] * r.raios(m, 0);
            if (m >= c.Dd && m - c.Dd < c.L) expected += x[m - c.Dd] * r.raios(m - c.Dd, 1);
            EXPECT_NEAR(std::abs(r.y[m] - expected), 0.0, 1e-15) << "L = " << c.L << ", m = " << m;
        }
    }
}

// Exactly six 1 x 20 rows are drawn, whatever the length.
TEST(HWatterson, DrawsSixRowsOfTwenty) {
    for (index_t L : {0, 1, 1000}) {
        BuiltinHost host(13), twin(13);
        h_watterson(random_complex(L, 1), 12000, 0.001, 1.0, host);
        for (int i = 0; i < 6; ++i) twin.randn(1, 20);
        EXPECT_EQ(host.randn(1, 1)[0], twin.randn(1, 1)[0]) << L;
    }
}

// Averaged over many seeds, each ray has mean power 10^(-3/10), a Gaussian Doppler spectrum of
// standard deviation fd / 2, and the two rays are uncorrelated. With sigma = fd / 2 the structure
// function is E|g(t + lag) - g(t)|^2 = 2 P (1 - exp(-2 pi^2 sigma^2 lag^2)) at every t, so the
// ratio of the mean squared increment to the mean power pins sigma down. Tolerances are five
// standard errors, estimated from the spread across seeds.
TEST(HWatterson, PowerAndDopplerSpreadOverManySeeds) {
    const int kSeeds = 400;
    const index_t L = 2000, lag = 4;
    const double fs = 100, fd = 5, sigma = fd / 2, tau_lag = lag / fs;
    const double P = std::pow(10.0, -0.3);
    const double ratio_expected = 2 * (1 - std::exp(-2 * std::numbers::pi * std::numbers::pi *
                                                    sigma * sigma * tau_lag * tau_lag));
    std::vector<double> power[2], increment[2];
    std::vector<cdouble> cross;
    const ComplexArray x(L);
    for (int s = 1; s <= kSeeds; ++s) {
        BuiltinHost host(s);
        const WattersonOut r = h_watterson(x, fs, 0.0, fd, host);
        for (int p = 0; p < 2; ++p) {
            double pw = 0, inc = 0;
            for (index_t n = 0; n < L; ++n) pw += std::norm(r.raios(n, p));
            for (index_t n = 0; n + lag < L; ++n) {
                inc += std::norm(r.raios(n + lag, p) - r.raios(n, p));
            }
            power[p].push_back(pw / L);
            increment[p].push_back(inc / (L - lag));
        }
        cdouble c = 0;
        for (index_t n = 0; n < L; ++n) c += r.raios(n, 0) * std::conj(r.raios(n, 1));
        cross.push_back(c / double(L));
    }
    auto mean = [](const std::vector<double>& v) {
        double s = 0;
        for (double a : v) s += a;
        return s / v.size();
    };
    for (int p = 0; p < 2; ++p) {
        const double mp = mean(power[p]), mi = mean(increment[p]);
        double var_p = 0, var_r = 0;
        const double ratio = mi / mp;
        for (int s = 0; s < kSeeds; ++s) {
            var_p += (power[p][s] - mp) * (power[p][s] - mp);
            const double resid = increment[p][s] - ratio * power[p][s];
            var_r += resid * resid;
        }
        const double se_power = std::sqrt(var_p / (kSeeds - 1) / kSeeds);
        const double se_ratio = std::sqrt(var_r / (kSeeds - 1) / kSeeds) / mp;
        EXPECT_NEAR(mp, P, 5 * se_power) << "ray " << p + 1;
        EXPECT_NEAR(ratio, ratio_expected, 5 * se_ratio) << "ray " << p + 1;
        const double sigma_est =
            std::sqrt(-std::log(1 - ratio / 2) /
                      (2 * std::numbers::pi * std::numbers::pi * tau_lag * tau_lag));
        RecordProperty(p == 0 ? "doppler_sd_ray1" : "doppler_sd_ray2", scientific(sigma_est));
        RecordProperty(p == 0 ? "power_ray1" : "power_ray2", scientific(mp));
    }
    cdouble mc = 0;
    double var_c = 0;
    for (const cdouble& c : cross) mc += c;
    mc /= double(kSeeds);
    for (const cdouble& c : cross) var_c += std::norm(c - mc);
    EXPECT_LT(std::abs(mc), 5 * std::sqrt(var_c / (kSeeds - 1) / kSeeds));
}

}  // namespace
}  // namespace hfchain
