// The sweep engine on stand-in trials: seeds, intervals, stop rules, thread-count independence,
// interruption and failure.
#include "apps/sweep.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "runtime/error.hpp"

namespace hfchain::app {
namespace {

TEST(TrialSeeds, KnownValuesOfTheDocumentedHash) {
    // Computed independently from the formula in sweep.hpp.
    struct Case {
        std::uint32_t seed;
        const char* condition;
        double esno;
        std::int64_t trial;
        double tx, channel;
    };
    const Case cases[] = {
        {1, "awgn", 0, 0, 787812115, 1700639271},
        {1, "awgn", 0, 1, 964616905, 3691416981},
        {7, "muito_ruim", -2.5, 12345, 1243915712, 3962877854},
        {4294967295u, "bom", 30, 0, 511861974, 1666799511},
    };
    for (const Case& c : cases) {
        const TrialSeeds s = trial_seeds(c.seed, c.condition, c.esno, c.trial);
        EXPECT_EQ(s.tx, c.tx) << c.condition << ' ' << c.trial;
        EXPECT_EQ(s.channel, c.channel) << c.condition << ' ' << c.trial;
    }
}

TEST(TrialSeeds, EveryInputChangesTheSeeds) {
    const TrialSeeds base = trial_seeds(1, "bom", 10, 3);
    const TrialSeeds changed[] = {trial_seeds(2, "bom", 10, 3), trial_seeds(1, "ruim", 10, 3),
                                  trial_seeds(1, "bom", 10.5, 3), trial_seeds(1, "bom", 10, 4)};
    for (const TrialSeeds& s : changed) {
        EXPECT_NE(s.tx, base.tx);
        EXPECT_NE(s.channel, base.channel);
    }
    EXPECT_NE(base.tx, base.channel);
}

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

// A stand-in for the chain: the outcome is a function of the seeds alone, and the time a trial
// takes varies so that trials finish out of order on several threads.
class FakeRunner final : public TrialRunner {
public:
    explicit FakeRunner(std::int64_t bits = 1000) : bits_(bits) {}
    TrialOutcome run(const TrialSpec& job) override {
        const auto tx = static_cast<std::uint64_t>(job.seeds.tx);
        std::this_thread::sleep_for(std::chrono::microseconds(tx % 300));
        TrialOutcome o;
        o.bits = bits_;
        // Many errors at low Es/N0 (stop by errors), few at high (stop by bits).
        o.errors = static_cast<std::int64_t>(job.esno < 5    ? tx % 40 * 10
                                             : job.esno < 10 ? tx % 40
                                                             : tx % 4);
        o.syncMiss = static_cast<std::uint64_t>(job.seeds.channel) % 4 == 0;
        return o;
    }

private:
    std::int64_t bits_;
};

SweepConfig small_config(int threads) {
    SweepConfig c;
    c.conditions = {"awgn", "bom", "ruim"};
    c.esno = {0, 5, 10};
    c.minErrors = 150;
    c.maxBits = 12000;
    c.seed = 11;
    c.threads = threads;
    return c;
}

// The point's result by its definition: trials 0, 1, ... in order until a stop rule holds.
PointResult sequential_point(const SweepConfig& c, const std::string& condition, double esno) {
    FakeRunner runner;
    PointResult p;
    while (p.stop == StopReason::none) {
        TrialSpec job;
        job.condition = &condition;
        job.esno = esno;
        job.trial = p.trials;
        job.seeds = trial_seeds(c.seed, condition, esno, p.trials);
        const TrialOutcome o = runner.run(job);
        ++p.trials;
        p.bits += o.bits;
        p.errors += o.errors;
        p.syncMisses += o.syncMiss;
        if (p.trials < c.minTrials) {
            continue;
        } else if (p.errors >= c.minErrors) {
            p.stop = StopReason::errors;
        } else if (p.bits >= c.maxBits) {
            p.stop = StopReason::bits;
        }
    }
    return p;
}

TrialRunnerFactory fake_runners() {
    return [] { return std::make_unique<FakeRunner>(); };
}

void expect_same_points(const std::vector<PointResult>& a, const std::vector<PointResult>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        SCOPED_TRACE(a[i].condition + " " + std::to_string(a[i].esno));
        EXPECT_EQ(a[i].condition, b[i].condition);
        EXPECT_EQ(a[i].esno, b[i].esno);
        EXPECT_EQ(a[i].trials, b[i].trials);
        EXPECT_EQ(a[i].bits, b[i].bits);
        EXPECT_EQ(a[i].errors, b[i].errors);
        EXPECT_EQ(a[i].syncMisses, b[i].syncMisses);
        EXPECT_EQ(a[i].stop, b[i].stop);
    }
}

class ResultIsTheSequentialDefinition : public ::testing::TestWithParam<std::int64_t> {};

TEST_P(ResultIsTheSequentialDefinition, WhateverTheThreadCount) {
    std::vector<PointResult> expected;
    SweepConfig c1 = small_config(1);
    c1.minTrials = GetParam();
    for (const std::string& cond : c1.conditions) {
        for (const double e : c1.esno) {
            PointResult p = sequential_point(c1, cond, e);
            p.condition = cond;
            p.esno = e;
            expected.push_back(p);
        }
    }
    // Both stop rules occur in this configuration.
    bool by_errors = false;
    bool by_bits = false;
    for (const PointResult& p : expected) {
        by_errors = by_errors || p.stop == StopReason::errors;
        by_bits = by_bits || p.stop == StopReason::bits;
    }
    ASSERT_TRUE(by_errors && by_bits);

    for (const int threads : {1, 2, 3, 8}) {
        SCOPED_TRACE(threads);
        SweepConfig c = c1;
        c.threads = threads;
        const SweepResult r = run_sweep(c, fake_runners(), nullptr, nullptr);
        EXPECT_FALSE(r.interrupted);
        EXPECT_EQ(r.threads, threads);
        expect_same_points(r.points, expected);
    }
}

// One trial at least (the stop rules alone), and more trials than the rules need at low Es/N0.
INSTANTIATE_TEST_SUITE_P(MinTrials, ResultIsTheSequentialDefinition, ::testing::Values(1, 4));

TEST(RunSweep, APointRerunAloneGivesTheSameLine) {
    const SweepResult all = run_sweep(small_config(2), fake_runners(), nullptr, nullptr);
    SweepConfig one = small_config(2);
    one.conditions = {"ruim"};
    one.esno = {5};
    const SweepResult alone = run_sweep(one, fake_runners(), nullptr, nullptr);
    ASSERT_EQ(alone.points.size(), 1u);
    const std::vector<PointResult> expected = {all.points[7]};  // ruim, 5 dB
    expect_same_points(alone.points, expected);
}

TEST(RunSweep, ATrialOfNoBitsEndsItsPoint) {
    SweepConfig c = small_config(2);
    const SweepResult r = run_sweep(
        c, [] { return std::make_unique<FakeRunner>(0); }, nullptr, nullptr);
    ASSERT_EQ(r.points.size(), 9u);
    for (const PointResult& p : r.points) {
        EXPECT_EQ(p.trials, 1);
        EXPECT_EQ(p.stop, StopReason::bits);
    }
}

TEST(RunSweep, ProgressReportsEveryPointOnceAndEndsAtTheTotal) {
    int finished = 0;
    SweepProgress last;
    run_sweep(small_config(2), fake_runners(), nullptr, [&](const SweepProgress& p) {
        if (p.finished != nullptr) ++finished;
        last = p;
    });
    EXPECT_EQ(finished, 9);
    EXPECT_EQ(last.pointsDone, 9);
    EXPECT_EQ(last.pointsTotal, 9);
    EXPECT_DOUBLE_EQ(last.fraction, 1.0);
}

// Raises the interrupt flag after a number of trials, as Ctrl-C would, and from then on behaves
// like a block that polls the flag.
class InterruptingRunner final : public TrialRunner {
public:
    InterruptingRunner(std::atomic<bool>& flag, std::atomic<int>& count)
        : flag_(flag), count_(count) {}
    TrialOutcome run(const TrialSpec& job) override {
        if (++count_ == 20) flag_ = true;
        if (flag_) raise(errid::kInterrupted, "Interrupted by the user.");
        return inner_.run(job);
    }

private:
    std::atomic<bool>& flag_;
    std::atomic<int>& count_;
    FakeRunner inner_;
};

TEST(RunSweep, InterruptKeepsTheFinishedTrialsOfEachPoint) {
    const SweepResult full = run_sweep(small_config(1), fake_runners(), nullptr, nullptr);
    for (const int threads : {1, 2}) {
        std::atomic<bool> flag{false};
        std::atomic<int> count{0};
        const SweepResult r = run_sweep(
            small_config(threads),
            [&] { return std::make_unique<InterruptingRunner>(flag, count); }, &flag, nullptr);
        EXPECT_TRUE(r.interrupted);
        ASSERT_FALSE(r.points.empty());
        EXPECT_LT(r.points.size(), full.points.size());
        for (const PointResult& p : r.points) {
            // Every point kept is the start of the same point of the uninterrupted sweep.
            const PointResult* f = nullptr;
            for (const PointResult& q : full.points) {
                if (q.condition == p.condition && q.esno == p.esno) f = &q;
            }
            ASSERT_NE(f, nullptr);
            EXPECT_GE(p.trials, 1);
            EXPECT_LE(p.trials, f->trials);
            if (p.stop == StopReason::interrupted) {
                EXPECT_LT(p.trials, f->trials);
            } else {
                EXPECT_EQ(p.errors, f->errors);
                EXPECT_EQ(p.trials, f->trials);
            }
        }
    }
}

class FailingRunner final : public TrialRunner {
public:
    TrialOutcome run(const TrialSpec& job) override {
        if (job.trial == 2) raise_message("ERRO! Tipo de canal Watterson invalido.");
        return FakeRunner().run(job);
    }
};

TEST(RunSweep, ABlockErrorStopsTheSweepAndReachesTheCaller) {
    SweepConfig c = small_config(2);
    c.minErrors = 1000000;
    try {
        run_sweep(
            c, [] { return std::make_unique<FailingRunner>(); }, nullptr, nullptr);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "ERRO! Tipo de canal Watterson invalido.");
    }
}

}  // namespace
}  // namespace hfchain::app
