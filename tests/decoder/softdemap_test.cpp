#include "receiver/softdemod/softdemap.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "tests/support/signals.hpp"

namespace hfchain {
namespace {

// The transmitter's labels stated independently: the b-bit value v goes out at phase
// 2 pi gray2bina(v) 2^(3 - b) / 8, its bits most significant first.
cdouble labelled_point(int b, int v) {
    const int gray2bina[8] = {0, 1, 3, 2, 7, 6, 4, 5};
    return std::polar(1.0, 2 * std::numbers::pi * gray2bina[v] * (1 << (3 - b)) / 8);
}

// The ratio of bit i by its definition, enumerating every point: the log-likelihood of point v
// is -|y - x_v|^2 / N0 plus +-a_l / 2 for each bit l of v, and the prior of bit i itself is taken
// away at the end. Sums in long double, each relative to the largest term.
double brute_force(int b, SoftRule rule, cdouble y, double N0, const double* a, int i) {
    const int K = 1 << b;
    std::vector<long double> metric(K);
    for (int v = 0; v < K; ++v) {
        long double m = -static_cast<long double>(std::norm(y - labelled_point(b, v))) / N0;
        for (int l = 0; l < b && a != nullptr; ++l) {
            m += (((v >> (b - 1 - l)) & 1) == 0 ? 0.5L : -0.5L) * a[l];
        }
        metric[v] = m;
    }
    long double side[2];
    for (int value = 0; value < 2; ++value) {
        long double best = -std::numeric_limits<long double>::infinity();
        for (int v = 0; v < K; ++v) {
            if (((v >> (b - 1 - i)) & 1) == value) best = std::max(best, metric[v]);
        }
        long double sum = 0;
        for (int v = 0; v < K; ++v) {
            if (((v >> (b - 1 - i)) & 1) == value) sum += std::exp(metric[v] - best);
        }
        side[value] = rule == SoftRule::max_log ? best : best + std::log(sum);
    }
    return static_cast<double>(side[0] - side[1] - (a != nullptr ? a[i] : 0.0L));
}

// Every bit count and both rules, without and with priors (weak, strong, and strong enough that
// a whole side of a bit lies far below the likeliest point while the extrinsic ratio stays
// moderate), over symbols near and far from the points and noise from 30 dB to -5 dB.
TEST(Softdemap, RatiosEqualTheirDefinitionOverEveryPoint) {
    struct Case {
        int b;
        SoftRule rule;
        double priorScale;  // 0: no priors
    };
    const Case cases[] = {
        {1, SoftRule::exact, 0},   {2, SoftRule::exact, 0},    {3, SoftRule::exact, 0},
        {1, SoftRule::max_log, 0}, {2, SoftRule::max_log, 0},  {3, SoftRule::max_log, 0},
        {1, SoftRule::exact, 3},   {2, SoftRule::exact, 3},    {3, SoftRule::exact, 3},
        {1, SoftRule::max_log, 3}, {2, SoftRule::max_log, 3},  {3, SoftRule::max_log, 3},
        {3, SoftRule::exact, 20},  {3, SoftRule::max_log, 20}, {2, SoftRule::exact, 20},
    };
    const index_t N = 60;
    const ComplexArray y = random_complex(N, 31);
    const ComplexArray draws = random_complex(3 * N, 32);
    std::vector<double> N0(N);
    for (index_t n = 0; n < N; ++n) N0[n] = std::pow(10.0, -3.0 + 0.06 * static_cast<double>(n));
    for (const Case& c : cases) {
        const Constellation& points = constellation(c.b);
        std::vector<double> prior(c.b * N), llr(c.b * N);
        for (index_t k = 0; k < c.b * N; ++k) prior[k] = c.priorScale * draws[k].real();
        const double* a = c.priorScale > 0 ? prior.data() : nullptr;
        soft_demap(points, c.rule, N, y.data(), N0.data(), 1, a, llr.data());
        for (index_t n = 0; n < N; ++n) {
            for (int i = 0; i < c.b; ++i) {
                const double want =
                    brute_force(c.b, c.rule, y[n], N0[n], a != nullptr ? a + c.b * n : nullptr, i);
                // Each metric is a handful of roundings of terms up to (|y| + 1)^2 / N0 plus the
                // priors; the ratio is a difference of two of them.
                const double scale =
                    (std::abs(y[n]) + 1) * (std::abs(y[n]) + 1) / N0[n] + 3 * c.priorScale * 4;
                ASSERT_NEAR(llr[c.b * n + i], want, 1e-13 * scale)
                    << "b " << c.b << " rule " << static_cast<int>(c.rule) << " prior "
                    << c.priorScale << " symbol " << n << " bit " << i;
            }
        }
    }
}

// One noise variance for all symbols (stride 0) equals the same value given per symbol, and an
// erased symbol (infinite noise) says nothing of its bits beyond their priors: its extrinsic
// ratios are 0 under both rules.
TEST(Softdemap, SharedNoiseAndErasures) {
    const index_t N = 5;
    const ComplexArray y = random_complex(N, 33);
    const double prior[3 * N] = {4, -2, 1, 0, 7, -7, 1, 1, 1, -3, 2, 5, 0.5, -0.5, 9};
    for (const SoftRule rule : {SoftRule::exact, SoftRule::max_log}) {
        const double one = 0.3;
        const std::vector<double> each(N, one);
        std::vector<double> shared(3 * N), separate(3 * N);
        soft_demap(constellation(3), rule, N, y.data(), &one, 0, prior, shared.data());
        soft_demap(constellation(3), rule, N, y.data(), each.data(), 1, prior, separate.data());
        EXPECT_EQ(shared, separate);

        const double erased = std::numeric_limits<double>::infinity();
        std::vector<double> llr(3 * N);
        soft_demap(constellation(3), rule, N, y.data(), &erased, 0, prior, llr.data());
        for (index_t k = 0; k < 3 * N; ++k) EXPECT_NEAR(llr[k], 0.0, 1e-14 * 9) << k;
        soft_demap(constellation(3), rule, N, y.data(), &erased, 0, nullptr, llr.data());
        for (index_t k = 0; k < 3 * N; ++k) EXPECT_EQ(llr[k], 0.0) << k;
    }
}

}  // namespace
}  // namespace hfchain
