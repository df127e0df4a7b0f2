#include "measure/measure.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace hfchain::measure {
namespace {

TEST(Measure, SnrInThreeKilohertz) {
    EXPECT_NEAR(esno_of_snr(10) - 10, 0.9691001300805639, 1e-12);
    EXPECT_NEAR(snr_of_esno(esno_of_snr(7.3)), 7.3, 1e-12);
}

// The stop rule: at least minTrials, then the first count at which both receivers have
// minErrors errors in minEvents trials, or the bits reach maxBits.
TEST(Measure, CountsTrialsByTheStopRule) {
    CurveConfig config;
    config.minTrials = 2;
    config.minErrors = 10;
    config.minEvents = 2;
    config.maxBits = 5000;
    struct Case {
        std::vector<TrialCount> trials;  // bits, hf errors, genie errors
        std::int64_t counted;
    };
    const Case cases[] = {
        {{{1000, 20, 20}}, 0},                              // one trial is never enough
        {{{1000, 20, 20}, {1000, 1, 1}}, 2},                // ten errors in two trials each
        {{{1000, 20, 20}, {1000, 0, 0}, {1000, 1, 0}}, 0},  // the genie's in one trial only
        {{{1000, 20, 3}, {1000, 5, 3}, {1000, 0, 3}}, 0},   // the genie still short
        {{{1000, 20, 3}, {1000, 5, 3}, {1000, 0, 4}}, 3},   // ... and now not
        {{{2000, 0, 0}, {2000, 0, 0}, {2000, 0, 0}}, 3},    // the bit limit
        {{{1000, 0, 0}, {1000, 0, 0}}, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(counted_trials(c.trials, config), c.counted);
}

// Crossings by straight lines in log10 of the rate between the bracketing measured points;
// error-free points are skipped, and a target never bracketed gives NaN.
TEST(Measure, FindsWhereTheRateCrossesATarget) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        std::vector<double> snr;
        std::vector<double> rate;
        double target;
        double want;
    };
    const Case cases[] = {
        {{0, 1, 2}, {1e-1, 1e-3, 1e-5}, 1e-4, 1.5},
        {{0, 1, 2}, {1e-1, 1e-3, 1e-5}, 1e-3, 1.0},  // exactly on a point
        {{4, 6}, {1e-2, 1e-4}, 1e-3, 5.0},
        {{0, 1, 2, 3}, {1e-2, 0, 1e-4, 1e-6}, 1e-3, 1.0},  // the error-free point is skipped
        {{0, 1}, {1e-2, 1e-3}, 1e-5, nan},                 // never so low
        {{0, 1}, {1e-6, 1e-7}, 1e-3, nan},                 // always below
        {{0, 1, 2}, {1e-2, 0, 0}, 1e-5, nan},              // fell straight to no error
    };
    for (const Case& c : cases) {
        const double got = snr_at(c.snr, c.rate, c.target);
        if (std::isnan(c.want)) {
            EXPECT_TRUE(std::isnan(got)) << got;
        } else {
            EXPECT_NEAR(got, c.want, 1e-12);
        }
    }
}

// Seeds depend on every part of a trial's name, and the curve does not depend on the number of
// threads.
TEST(Measure, TrialsAreReproducibleWhateverTheThreads) {
    const TrialSeeds a = trial_seeds(1, 0.6, "ruim", 10, 0);
    for (const TrialSeeds& b :
         {trial_seeds(2, 0.6, "ruim", 10, 0), trial_seeds(1, 4.8, "ruim", 10, 0),
          trial_seeds(1, 0.6, "bom", 10, 0), trial_seeds(1, 0.6, "ruim", 10.5, 0),
          trial_seeds(1, 0.6, "ruim", 10, 1)}) {
        EXPECT_NE(a.tx, b.tx);
        EXPECT_NE(a.channel, b.channel);
    }
    const Milstd milstd = modeconf(0.6);
    CurveConfig config;
    config.condition = "moderado";
    config.snr = {8, 11};
    config.minTrials = 3;
    config.minErrors = 5;
    config.minEvents = 2;
    config.maxBits = 8000;
    std::vector<PointStats> runs[2];
    for (const int threads : {1, 2}) {
        config.threads = threads;
        runs[threads - 1] = measure_curve(milstd, config, nullptr, nullptr);
    }
    ASSERT_EQ(runs[0].size(), 2u);
    ASSERT_EQ(runs[1].size(), runs[0].size());
    for (std::size_t i = 0; i < runs[0].size(); ++i) {
        EXPECT_EQ(runs[0][i].snr, runs[1][i].snr);
        EXPECT_EQ(runs[0][i].trials, runs[1][i].trials);
        EXPECT_EQ(runs[0][i].bits, runs[1][i].bits);
        EXPECT_EQ(runs[0][i].hfErrors, runs[1][i].hfErrors);
        EXPECT_EQ(runs[0][i].genieErrors, runs[1][i].genieErrors);
        EXPECT_GE(runs[0][i].trials, 3);
    }
}

}  // namespace
}  // namespace hfchain::measure
