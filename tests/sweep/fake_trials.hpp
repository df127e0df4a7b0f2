// Stand-in trials for the tests of the sweep engine, the journal and the remote workers: outcomes
// that depend on the seeds alone, and a point's result by its definition.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <tuple>

#include "sweep/engine.hpp"

namespace hfchain::testing {

using namespace hfchain::sweep;

// A stand-in for the chain: the outcome is a function of the seeds alone, and the time a trial
// takes varies so that trials finish out of order on several threads.
class FakeRunner final : public TrialRunner {
public:
    explicit FakeRunner(std::int64_t bits = 1000) : bits_(bits) {}
    TrialOutcome run(const TrialJob& job) override {
        const auto tx = static_cast<std::uint64_t>(job.seeds.tx);
        std::this_thread::sleep_for(std::chrono::microseconds(tx % 300));
        TrialOutcome o;
        o.bits = bits_;
        // Many errors at low Es/N0 (stop by errors), few at high (stop by bits).
        o.errors = static_cast<std::int64_t>(job.esno < 5    ? tx % 40 * 10
                                             : job.esno < 10 ? tx % 40
                                                             : tx % 4);
        o.syncMiss = static_cast<std::uint64_t>(job.seeds.channel) % 4 == 0;
        // Per-receiver counts, different for each receiver, so that a point's sums can be checked.
        for (std::size_t r = 0; r < kReceiverCount; ++r) {
            const auto k = static_cast<std::int64_t>(r + 1);
            o.receivers[r] = {bits_ * k, o.errors * k,
                              bits_ / 2, o.errors / k,
                              k,         static_cast<std::int64_t>((tx >> r) & 1)};
        }
        return o;
    }

private:
    std::int64_t bits_;
};

inline SweepConfig small_config(int threads) {
    SweepConfig c;
    c.interLen = 0.6;
    c.receivers = {ReceiverKind::baseline};
    c.metric = Metric::coded;
    c.minTrials = 1;
    c.conditions = {"awgn", "bom", "ruim"};
    c.esno = {0, 5, 10};
    c.minEvents = 5;
    c.minErrors = 150;
    c.maxBits = 12000;
    c.seed = 11;
    c.threads = threads;
    return c;
}

// The point's result by its definition: trials 0, 1, ... in order until a stop rule holds.
inline PointResult sequential_point(const SweepConfig& c, const std::string& condition,
                                    double esno) {
    FakeRunner runner;
    PointResult p;
    while (p.stop == StopReason::none) {
        TrialJob job;
        job.condition = &condition;
        job.esno = esno;
        job.trial = p.trials;
        job.seeds = trial_seeds(c.seed, job.rate, condition, esno, p.trials);
        const TrialOutcome o = runner.run(job);
        ++p.trials;
        p.bits += o.bits;
        p.errors += o.errors;
        p.syncMisses += o.syncMiss;
        p.spread.add(o.errors, o.bits);
        for (std::size_t r = 0; r < kReceiverCount; ++r) {
            p.receivers[r].add(o.receivers[r]);
            p.codedSpread[r].add(o.receivers[r].codedErrors, o.receivers[r].codedBits);
            p.infoSpread[r].add(o.receivers[r].infoErrors, o.receivers[r].infoBits);
        }
        // The events and wrong bits of the first receiver's metric (the trials' own), or of each
        // receiver's.
        bool enough = p.spread.events >= c.minEvents && p.errors >= c.minErrors;
        p.events = p.spread.events;
        if (c.stopOn == StopOn::all) {
            enough = true;
            p.events = p.trials;
            for (const ReceiverKind r : c.receivers) {
                const ReceiverCounts& n = p.of(r);
                const std::int64_t errors =
                    c.metric == Metric::decoded ? n.infoErrors : n.codedErrors;
                const std::int64_t events = receiver_events(p, r, c.metric);
                enough = enough && events >= c.minEvents && errors >= c.minErrors;
                p.events = std::min(p.events, events);
            }
        }
        if (p.trials < c.minTrials) {
            continue;
        } else if (enough) {
            p.stop = StopReason::events;
        } else if (p.bits >= c.maxBits) {
            p.stop = StopReason::bits;
        }
    }
    return p;
}

// Every point of `c` by its definition, condition-major; with a floor, a condition ends after its
// first point at which every receiver's rate is below it.
inline std::vector<PointResult> sequential_sweep(const SweepConfig& c) {
    std::vector<PointResult> points;
    for (const std::string& cond : c.conditions) {
        for (const double e : c.esno) {
            PointResult p = sequential_point(c, cond, e);
            p.condition = cond;
            p.esno = e;
            points.push_back(p);
            bool below = c.floor > 0;
            for (const ReceiverKind r : c.receivers) {
                below = below && receiver_rate(p, r, c.metric) < c.floor;
            }
            if (below) break;
        }
    }
    return points;
}

inline TrialRunnerFactory fake_runners() {
    return [] { return std::make_unique<FakeRunner>(); };
}

inline void expect_same_points(const std::vector<PointResult>& a,
                               const std::vector<PointResult>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        SCOPED_TRACE(a[i].condition + " " + std::to_string(a[i].esno));
        EXPECT_EQ(a[i].condition, b[i].condition);
        EXPECT_EQ(a[i].esno, b[i].esno);
        EXPECT_EQ(a[i].trials, b[i].trials);
        EXPECT_EQ(a[i].bits, b[i].bits);
        EXPECT_EQ(a[i].errors, b[i].errors);
        EXPECT_EQ(a[i].events, b[i].events);
        EXPECT_EQ(a[i].syncMisses, b[i].syncMisses);
        // The intervals' sums, trial by trial in the same order: exactly equal.
        const auto same_spread = [](const TrialSpread& x, const TrialSpread& y) {
            return x.trials == y.trials && x.events == y.events && x.errors2 == y.errors2 &&
                   x.errorsBits == y.errorsBits && x.bits2 == y.bits2;
        };
        EXPECT_TRUE(same_spread(a[i].spread, b[i].spread));
        EXPECT_EQ(a[i].stop, b[i].stop);
        for (std::size_t r = 0; r < kReceiverCount; ++r) {
            const ReceiverCounts& x = a[i].receivers[r];
            const ReceiverCounts& y = b[i].receivers[r];
            EXPECT_EQ(std::tie(x.codedBits, x.codedErrors, x.infoBits, x.infoErrors, x.blocks,
                               x.blockErrors),
                      std::tie(y.codedBits, y.codedErrors, y.infoBits, y.infoErrors, y.blocks,
                               y.blockErrors))
                << "receiver " << r;
            EXPECT_TRUE(same_spread(a[i].codedSpread[r], b[i].codedSpread[r])) << r;
            EXPECT_TRUE(same_spread(a[i].infoSpread[r], b[i].infoSpread[r])) << r;
        }
    }
}

}  // namespace hfchain::testing
