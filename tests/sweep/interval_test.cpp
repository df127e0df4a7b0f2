// Intervals of an error rate: Wilson's over bits, and the one over trials that holds when errors
// come in bursts.
#include "sweep/interval.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "runtime/builtin_host.hpp"

namespace hfchain::sweep {
namespace {

TEST(WilsonInterval, KnownValues) {
    struct Case {
        std::int64_t errors, bits;
        double low, high;
    };
    const Case cases[] = {
        {0, 100, 0.0, 0.036993498207},
        {5, 100, 0.0215436791544, 0.111750469232},
        {50, 100, 0.403831530366, 0.596168469634},
        {100, 100, 0.963006501793, 1.0},
        {12, 1000000, 6.86477261577e-06, 2.09765792535e-05},
        {0, 0, 0.0, 1.0},
    };
    for (const Case& c : cases) {
        const Interval i = wilson_interval(c.errors, c.bits);
        EXPECT_NEAR(i.low, c.low, 1e-11 * std::max(1.0, c.low / 1e-6)) << c.errors << '/' << c.bits;
        EXPECT_NEAR(i.high, c.high, 1e-11 * std::max(1.0, c.high / 1e-6))
            << c.errors << '/' << c.bits;
    }
}

// The interval over trials of the given trials' errors e_i among b_i bits.
Interval over_trials(const std::vector<std::int64_t>& e, const std::vector<std::int64_t>& b) {
    TrialSpread spread;
    std::int64_t errors = 0;
    std::int64_t bits = 0;
    for (std::size_t i = 0; i < e.size(); ++i) {
        spread.add(e[i], b[i]);
        errors += e[i];
        bits += b[i];
    }
    return trial_interval(errors, bits, spread);
}

TEST(TrialInterval, KnownValues) {
    const std::vector<std::int64_t> thousand(10, 1000);
    struct Case {
        const char* what;
        std::vector<std::int64_t> e, b;
        double low, high;
    };
    const Interval even = wilson_interval(50, 10000);
    const Interval none = wilson_interval(0, 10000);
    const Interval alone = wilson_interval(50, 1000);
    // One trial of ten holds all 50 errors: r = 0.005, sum (e_i - r b_i)^2 = 45^2 + 9 5^2 = 2250,
    // var = 10/9 2250 / 10000^2 = 2.5e-5, s = 0.005: r exp(-+1.959963984540054 s / r).
    const double burst = std::exp(1.959963984540054);
    const Case cases[] = {
        // Every trial at the rate: no spread, what the bits alone give.
        {"even", std::vector<std::int64_t>(10, 5), thousand, even.low, even.high},
        {"no error", std::vector<std::int64_t>(10, 0), thousand, none.low, none.high},
        {"one trial", {50}, {1000}, alone.low, alone.high},
        {"one burst", {50, 0, 0, 0, 0, 0, 0, 0, 0, 0}, thousand, 0.005 / burst, 0.005 * burst},
    };
    for (const Case& c : cases) {
        const Interval i = over_trials(c.e, c.b);
        // A few roundings of sums of exact whole numbers.
        EXPECT_NEAR(i.low, c.low, 1e-15) << c.what;
        EXPECT_NEAR(i.high, c.high, 1e-15) << c.what;
    }
    // Trials of unequal length weigh by their bits: a burst of 50 in a trial of 1000 bits beside
    // three error-free trials of 100 bits. r = 50 / 1300; the trials' deviations e_i - r b_i are
    // 50 - 1000 r and three times -100 r.
    const Interval mixed = over_trials({50, 0, 0, 0}, {1000, 100, 100, 100});
    const double r = 50.0 / 1300;
    const double scatter = (50 - 1000 * r) * (50 - 1000 * r) + 3 * (100 * r) * (100 * r);
    const double factor = std::exp(1.959963984540054 * std::sqrt(4.0 / 3 * scatter) / 1300 / r);
    EXPECT_NEAR(mixed.low, r / factor, 1e-15);
    EXPECT_NEAR(mixed.high, r * factor, 1e-15);
}

// Trials whose errors come in bursts: an event in a trial with probability q, then a burst of a
// geometric number of wrong bits (mean m). Over many replicates of a point, the interval over
// trials holds the true rate about 95 % of the time; Wilson's, which counts bits as independent,
// far less often.
TEST(TrialInterval, HoldsTheRateOfBurstyTrials) {
    BuiltinHost host(2024);
    const int replicates = 400;
    const int trials = 200;
    const double q = 0.3;
    const double m = 20;
    const std::int64_t bits = 10000;
    const double rate = q * m / static_cast<double>(bits);
    int held = 0;
    int wilson_held = 0;
    for (int k = 0; k < replicates; ++k) {
        const RealArray u = host.rand(2 * trials);
        TrialSpread spread;
        std::int64_t errors = 0;
        for (int i = 0; i < trials; ++i) {
            std::int64_t e = 0;
            if (u[2 * i] < q) {
                // Geometric on 1, 2, ... with mean m.
                e = 1 + static_cast<std::int64_t>(
                            std::floor(std::log(1 - u[2 * i + 1]) / std::log(1 - 1 / m)));
            }
            spread.add(e, bits);
            errors += e;
        }
        const Interval t = trial_interval(errors, trials * bits, spread);
        const Interval w = wilson_interval(errors, trials * bits);
        held += t.low <= rate && rate <= t.high ? 1 : 0;

        wilson_held += w.low <= rate && rate <= w.high ? 1 : 0;
    }
    // 95 % of 400: 380, with a binomial spread of 4.4; the estimate of the variance from 60
    // events makes it a little narrower than exact. Wilson's half-width is some sqrt(m) times too
    // small: it holds in well under half the replicates.
    EXPECT_GE(held, 360);
    EXPECT_LE(held, 395);
    EXPECT_LT(wilson_held, 200);
}

}  // namespace
}  // namespace hfchain::sweep
