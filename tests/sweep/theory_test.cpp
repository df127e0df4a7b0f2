// The theoretical 8-PSK curve against its limits and against a direct simulation.
#include "chain/theory.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <numbers>

#include "runtime/builtin_host.hpp"
#include "sweep/engine.hpp"

namespace hfchain::sweep {
namespace {

TEST(Ber8pskGray, LimitsAndTheNearestNeighbourApproximation) {
    // Without signal every label is equally likely: half the bits are wrong.
    EXPECT_NEAR(ber_8psk_gray(-80), 0.5, 1e-3);
    // Without noise none: also where Es/N0 itself overflows.
    for (const double db : {300.0, 4000.0, static_cast<double>(INFINITY)})
        EXPECT_EQ(ber_8psk_gray(db), 0.0) << db;
    EXPECT_TRUE(std::isnan(ber_8psk_gray(NAN)));
    // At high Es/N0 only the two neighbours matter, each one bit away: (2/3) Q(sqrt(2g) sin(pi/8)).
    for (const double db : {14.0, 18.0}) {
        const double g = std::pow(10.0, db / 10);
        const double approx =
            (2.0 / 3) * 0.5 *
            std::erfc(std::sqrt(2 * g) * std::sin(std::numbers::pi / 8) / std::sqrt(2.0));
        EXPECT_NEAR(ber_8psk_gray(db) / approx, 1.0, 0.01) << db;
    }
    // Decreasing.
    for (double db = -10; db < 20; db += 1) EXPECT_GT(ber_8psk_gray(db), ber_8psk_gray(db + 1));
}

TEST(Ber8pskGray, AgreesWithADirectSimulationOfTheSlicer) {
    // Gray 8-PSK symbols with noise of variance N0, nearest-point decisions, bit errors counted.
    BuiltinHost host(5);
    for (const double db : {2.0, 8.0}) {
        const int n = 100000;
        const double sigma = std::sqrt(0.5 * std::pow(10.0, -db / 10));
        const RealArray u = host.rand(n);
        const RealArray w = host.randn(2 * n, 1);
        std::int64_t errors = 0;
        for (int k = 0; k < n; ++k) {
            const int s = static_cast<int>(u[k] * 8);
            const double phase = s * std::numbers::pi / 4;
            const double re = std::cos(phase) + sigma * w[2 * k];
            const double im = std::sin(phase) + sigma * w[2 * k + 1];
            const int d =
                ((static_cast<int>(std::lround(std::atan2(im, re) / (std::numbers::pi / 4))) % 8) +
                 8) %
                8;
            errors += std::popcount(static_cast<unsigned>((s ^ (s >> 1)) ^ (d ^ (d >> 1))));
        }
        const Interval ci = wilson_interval(errors, 3 * static_cast<std::int64_t>(n));
        const double theory = ber_8psk_gray(db);
        // Symbol errors make the bit errors of a symbol dependent: allow twice the interval.
        const double half = (ci.high - ci.low);
        EXPECT_NEAR(static_cast<double>(errors) / (3.0 * n), theory, half) << db;
    }
}

}  // namespace
}  // namespace hfchain::sweep
