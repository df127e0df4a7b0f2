// The sweep engine on stand-in trials: seeds, intervals, stop rules, thread-count independence,
// interruption and failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "channel/channel_text.hpp"
#include "fake_trials.hpp"
#include "runtime/builtin_host.hpp"
#include "runtime/error.hpp"
#include "sweep/engine.hpp"

namespace hfchain::sweep {
namespace {

using testing::expect_same_points;
using testing::fake_runners;
using testing::FakeRunner;
using testing::sequential_point;
using testing::small_config;

TEST(TrialSeeds, KnownValuesOfTheDocumentedHash) {
    // Computed independently from the formula in sweep.hpp.
    // 2400 bit/s keeps the seeds it had before the other rates.
    struct Case {
        std::uint32_t seed;
        double rate;
        const char* condition;
        double esno;
        std::int64_t trial;
        double tx, channel;
    };
    const Case cases[] = {
        {1, 2400, "awgn", 0, 0, 787812115, 1700639271},
        {1, 2400, "awgn", 0, 1, 964616905, 3691416981},
        {7, 2400, "muito_ruim", -2.5, 12345, 1243915712, 3962877854},
        {4294967295u, 2400, "bom", 30, 0, 511861974, 1666799511},
        {1, 75, "awgn", 0, 0, 782009575, 3722000785},
        {1, 600, "awgn", 0, 1, 1788541738, 3114488461},
        {7, 4800, "muito_ruim", -2.5, 12345, 470141505, 1731737452},
        {4294967295u, 150, "bom", 30, 0, 3593962096, 2521083785},
    };
    for (const Case& c : cases) {
        const TrialSeeds s = trial_seeds(c.seed, c.rate, c.condition, c.esno, c.trial);
        EXPECT_EQ(s.tx, c.tx) << c.condition << ' ' << c.trial;
        EXPECT_EQ(s.channel, c.channel) << c.condition << ' ' << c.trial;
    }
}

TEST(TrialSeeds, EveryInputChangesTheSeeds) {
    const TrialSeeds base = trial_seeds(1, 2400, "bom", 10, 3);
    const TrialSeeds changed[] = {
        trial_seeds(2, 2400, "bom", 10, 3), trial_seeds(1, 2400, "ruim", 10, 3),
        trial_seeds(1, 2400, "bom", 10.5, 3), trial_seeds(1, 2400, "bom", 10, 4),
        trial_seeds(1, 1200, "bom", 10, 3)};
    for (const TrialSeeds& s : changed) {
        EXPECT_NE(s.tx, base.tx);
        EXPECT_NE(s.channel, base.channel);
    }
    EXPECT_NE(base.tx, base.channel);
}

// Points are numbered rate-major, then condition-major; each rate's points are those of a sweep
// of that rate alone (its own seeds), whatever the thread count, and a sweep of 2400 bit/s alone
// numbers its points as before the other rates.
TEST(RunSweep, RatesAreOrderedAndEachIsItsOwnSweep) {
    SweepConfig c = small_config(1);
    c.rates = {600, 2400, 75};
    const auto per_rate = static_cast<std::int64_t>(c.conditions.size() * c.esno.size());
    ASSERT_EQ(point_count(c), 3 * per_rate);
    for (std::int64_t p = 0; p < point_count(c); ++p) {
        const TrialJob job = trial_job(c, {p, 2});
        EXPECT_EQ(job.rate, c.rates[static_cast<std::size_t>(p / per_rate)]) << p;
        EXPECT_EQ(*job.condition,
                  c.conditions[static_cast<std::size_t>(p / c.esno.size() % c.conditions.size())]);
        EXPECT_EQ(job.esno, c.esno[static_cast<std::size_t>(p) % c.esno.size()]);
        const TrialSeeds s = trial_seeds(c.seed, job.rate, *job.condition, job.esno, 2);
        EXPECT_EQ(job.seeds.tx, s.tx);
    }
    std::vector<PointResult> expected;
    for (const double rate : c.rates) {
        SweepConfig alone = c;
        alone.rates = {rate};
        alone.threads = 1;
        for (PointResult p : run_sweep(alone, fake_runners(), nullptr, nullptr).points) {
            EXPECT_EQ(p.dataRate, rate);
            expected.push_back(p);
        }
    }
    // The rates' seeds differ, and so do their results.
    EXPECT_NE(expected.front().errors, expected[static_cast<std::size_t>(per_rate)].errors);
    for (const int threads : {1, 2, 3}) {
        SCOPED_TRACE(threads);
        c.threads = threads;
        const SweepResult r = run_sweep(c, fake_runners(), nullptr, nullptr);
        ASSERT_EQ(r.points.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ(r.points[i].dataRate, expected[i].dataRate);
        expect_same_points(r.points, expected);
    }
    SweepConfig old = small_config(1);
    EXPECT_EQ(trial_job(old, {5, 1}).seeds.tx,
              trial_seeds(old.seed, 2400, old.conditions[5 / old.esno.size()],
                          old.esno[5 % old.esno.size()], 1)
                  .tx);
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
    bool by_events = false;
    bool by_bits = false;
    for (const PointResult& p : expected) {
        by_events = by_events || p.stop == StopReason::events;
        by_bits = by_bits || p.stop == StopReason::bits;
    }
    ASSERT_TRUE(by_events && by_bits);

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

// With StopOn::all a point stops once every receiver has its events and wrong bits: the HF
// receiver's decoded errors (half the baseline's in the fake trials) decide, so points run longer
// than on the first receiver alone, and the result is still the sequential definition.
TEST(RunSweep, EveryReceiverCountedWhenTheRuleAsks) {
    SweepConfig c = small_config(1);
    c.receivers = {ReceiverKind::baseline, ReceiverKind::hf};
    c.metric = Metric::decoded;
    c.minErrors = 60;
    const std::vector<PointResult> first = testing::sequential_sweep(c);
    c.stopOn = StopOn::all;
    const std::vector<PointResult> all = testing::sequential_sweep(c);
    std::int64_t more = 0;
    for (std::size_t i = 0; i < all.size(); ++i) more += all[i].trials - first[i].trials;
    EXPECT_GT(more, 0);
    for (const int threads : {1, 2, 3}) {
        SCOPED_TRACE(threads);
        c.threads = threads;
        expect_same_points(run_sweep(c, fake_runners(), nullptr, nullptr).points, all);
    }
}

// One trial at least (the stop rules alone), and more trials than the rules need at low Es/N0.
INSTANTIATE_TEST_SUITE_P(MinTrials, ResultIsTheSequentialDefinition, ::testing::Values(1, 4));

// The road's trials count every receiver listed, and the stop rule's bits and errors are the
// metric's of the first one.
TEST(RoadTrials, CountEveryReceiverAndStopOnTheFirstOnesMetric) {
    const ModeParams mode = modeconf(0.6);
    using R = ReceiverKind;
    struct Case {
        std::vector<R> receivers;
        Metric metric;
    };
    const Case cases[] = {{{R::genie, R::baseline}, Metric::decoded},
                          {{R::baseline, R::genie}, Metric::coded},
                          {{R::hf}, Metric::decoded}};
    for (const Case& c : cases) {
        SweepConfig config;
        config.interLen = 0.6;
        config.conditions = {"ruim"};
        config.esno = {6};
        config.receivers = c.receivers;
        config.metric = c.metric;
        const TrialJob job = trial_job(config, {0, 3});
        const TrialOutcome o = road_trial_runners(config, nullptr)()->run(job);

        RoadConfig road;
        road.nFrame = trial_nframe(config, 2400);
        road.shaping = config.shaping;
        road.receivers = c.receivers;
        road.txSeed = job.seeds.tx;
        road.channel = road_channel("ruim", 6, job.seeds.channel);
        BuiltinHost host;
        const RoadResult r = run_road(mode, road, host);
        for (const R kind : {R::baseline, R::hf, R::genie}) {
            const ReceiverCounts& n = o.receivers[static_cast<std::size_t>(kind)];
            const bool listed = std::count(c.receivers.begin(), c.receivers.end(), kind) > 0;
            const Reception& rx = r.reception(kind);
            EXPECT_EQ(n.codedErrors, listed ? rx.codedBitErrors : 0);
            EXPECT_EQ(n.infoBits, listed ? rx.infoBits : 0);
            EXPECT_EQ(n.infoErrors, listed ? rx.infoBitErrors : 0);
            EXPECT_EQ(n.blocks, listed ? rx.blocks : 0);
            EXPECT_EQ(n.blockErrors, listed ? rx.blockErrors : 0);
        }
        const Reception& first = r.reception(c.receivers.front());
        const bool decoded = c.metric == Metric::decoded;
        EXPECT_EQ(o.bits, decoded ? first.infoBits : first.codedBits);
        EXPECT_EQ(o.errors, decoded ? first.infoBitErrors : first.codedBitErrors);
        EXPECT_GT(o.errors, 0);  // 6 dB on ruim: the comparison means something
    }
}

// Every condition runs as run_road with the road's channel of its name and the seeds of its
// canonical spelling: written channels, presets, fadesim's conditions and awgn.
TEST(RoadTrials, EveryConditionRunsAsTheRoadOfItsName) {
    const ModeParams mode = modeconf(0.6);
    const struct {
        const char* condition;
    } cases[] = {{"2p:2ms:1Hz:off=20Hz"}, {"itu_low_moderate"}, {"1p:0ms:0Hz"}, {"ruim"}, {"awgn"}};
    for (const auto& c : cases) {
        SweepConfig config;
        config.interLen = 0.6;
        config.conditions = {c.condition};
        config.esno = {8};
        config.receivers = {ReceiverKind::baseline, ReceiverKind::genie};
        const TrialJob job = trial_job(config, {0, 2});
        EXPECT_EQ(job.seeds.channel, trial_seeds(config.seed, 2400, c.condition, 8, 2).channel);
        const TrialOutcome o = road_trial_runners(config, nullptr)()->run(job);

        RoadConfig road;
        road.nFrame = trial_nframe(config, 2400);
        road.shaping = config.shaping;
        road.receivers = config.receivers;
        road.txSeed = job.seeds.tx;
        road.channel = road_channel(c.condition, 8, job.seeds.channel);
        BuiltinHost host;
        const RoadResult r = run_road(mode, road, host);
        for (const ReceiverKind kind : config.receivers) {
            const ReceiverCounts& n = o.receivers[static_cast<std::size_t>(kind)];
            EXPECT_EQ(n.codedErrors, r.reception(kind).codedBitErrors) << c.condition;
            EXPECT_EQ(n.infoErrors, r.reception(kind).infoBitErrors) << c.condition;
        }
    }
}

// A quick sweep of written channels: every point runs, and the genie does no worse than the
// baseline receiver on a channel it was told.
TEST(RunSweep, AWrittenChannelInAQuickSweep) {
    SweepConfig config;
    config.interLen = 0.6;
    config.conditions = {"2p:1ms:0.5Hz", "paths=0ms/0dB/0Hz+0.5ms/-6dB/2Hz/1Hz:off=3Hz"};
    config.esno = {4, 12};
    config.snr3kAxis = false;
    config.receivers = {ReceiverKind::genie, ReceiverKind::baseline};
    config.minTrials = 3;
    config.maxBits = 1;
    config.threads = 2;
    check_config(config);
    const SweepResult result =
        run_sweep(config, road_trial_runners(config, nullptr), nullptr, nullptr);
    ASSERT_EQ(result.points.size(), 4u);
    for (const PointResult& p : result.points) {
        EXPECT_EQ(p.trials, 3) << p.condition;
        const ReceiverCounts& genie = p.receivers[static_cast<std::size_t>(ReceiverKind::genie)];
        const ReceiverCounts& base = p.receivers[static_cast<std::size_t>(ReceiverKind::baseline)];
        EXPECT_GT(genie.infoBits, 0);
        EXPECT_LE(genie.infoErrors, base.infoErrors) << p.condition << " " << p.esno;
    }
}

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

// With a floor, each condition's curve ends after its first point below it, whatever the thread
// count; the points left out count as done.
TEST(RunSweep, AFloorEndsEachCurveAtItsFirstPointBelowIt) {
    SweepConfig c = small_config(1);
    c.esno = {0, 5, 10, 15};
    c.floor = 0.05;  // the fake trials' rates: about 0.2 at 0 dB, 0.02 at 5 dB
    const std::vector<PointResult> expected = testing::sequential_sweep(c);
    ASSERT_EQ(expected.size(), 6u);
    for (const int threads : {1, 2, 3}) {
        SCOPED_TRACE(threads);
        c.threads = threads;
        SweepProgress last;
        const SweepResult r =
            run_sweep(c, fake_runners(), nullptr, [&](const SweepProgress& p) { last = p; });
        expect_same_points(r.points, expected);
        EXPECT_EQ(last.pointsDone, 12);
        EXPECT_EQ(last.pointsTotal, 12);
        EXPECT_DOUBLE_EQ(last.fraction, 1.0);
    }
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
    TrialOutcome run(const TrialJob& job) override {
        if (++count_ == 20) flag_ = true;
        if (flag_) raise(hfchain::errid::kInterrupted, "Interrupted by the user.");
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
    TrialOutcome run(const TrialJob& job) override {
        if (job.trial == 2) raise_message("ERRO! Tipo de canal Watterson invalido.");
        return FakeRunner().run(job);
    }
};

// An exception of the progress observer (a journal that cannot be written, a Python callback)
// stops the workers before it reaches the caller, instead of ending the process.
TEST(RunSweep, AnObserversExceptionStopsTheSweepAndReachesTheCaller) {
    SweepConfig c = small_config(2);
    c.minTrials = 1000000;
    try {
        run_sweep(c, fake_runners(), nullptr, [](const SweepProgress& p) {
            if (p.elapsed > 0.1) throw Error("hfchain:sweep:WriteFailed", "disk full");
        });
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "disk full");
    }
}

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
}  // namespace hfchain::sweep

namespace hfchain::sweep {
namespace {

using testing::fake_runners;
using testing::FakeRunner;
using testing::sequential_sweep;
using testing::small_config;

// Trial 0 of every point is held up (a descheduled thread, a slow node) while the others run.
class HeldUpRunner final : public TrialRunner {
public:
    explicit HeldUpRunner(std::chrono::milliseconds hold) : hold_(hold) {}
    TrialOutcome run(const TrialJob& job) override {
        if (job.trial == 0) std::this_thread::sleep_for(hold_);
        TrialOutcome o;
        o.bits = 100;
        return o;
    }

private:
    std::chrono::milliseconds hold_;
};

TEST(RunSweep, APointKeepsOnlyTheTrialsThatFinishedOutOfOrder) {
    // Thousands of trials in one point: the outcomes held at once stay bounded, however many
    // trials the point runs and however long one of them is held up.
    struct Case {
        int threads;
        int hold_ms;
        std::size_t most;
    };
    for (const Case k :
         {Case{1, 0, 1}, Case{4, 0, kOutOfOrderReach}, Case{4, 400, kOutOfOrderReach}}) {
        SCOPED_TRACE(std::to_string(k.threads) + " threads, " + std::to_string(k.hold_ms) + " ms");
        SweepConfig c;
        c.conditions = {"awgn"};
        c.esno = {20};
        c.minErrors = 1000000;
        c.maxBits = 3000 * 100;  // 3000 trials of 100 bits
        c.threads = k.threads;
        const SweepResult r = run_sweep(
            c, [&] { return std::make_unique<HeldUpRunner>(std::chrono::milliseconds(k.hold_ms)); },
            nullptr, nullptr);
        ASSERT_EQ(r.points.size(), 1u);
        EXPECT_EQ(r.points[0].trials, 3000);
        EXPECT_GE(r.heldOutcomes, 1u);
        EXPECT_LE(r.heldOutcomes, k.most);
    }
}

// Runs the fake trials and remembers which ran.
class RecordingRunner final : public TrialRunner {
public:
    RecordingRunner(std::mutex& mutex, std::vector<std::pair<std::string, std::int64_t>>& ran)
        : mutex_(mutex), ran_(ran) {}
    TrialOutcome run(const TrialJob& job) override {
        {
            std::lock_guard lock(mutex_);
            ran_.emplace_back(*job.condition + " " + std::to_string(job.esno), job.trial);
        }
        return inner_.run(job);
    }

private:
    std::mutex& mutex_;
    std::vector<std::pair<std::string, std::int64_t>>& ran_;
    FakeRunner inner_;
};

TrialOutcome fake_outcome(const SweepConfig& c, const TrialTicket& t) {
    FakeRunner runner;
    return runner.run(trial_job(c, t));
}

TEST(RunSweep, KnownTrialsAreCountedAndNeverRunAgain) {
    const SweepConfig c = small_config(2);
    const std::vector<PointResult> expected = sequential_sweep(c);
    // What a killed run may leave: prefixes, gaps where trials were still running, trials past a
    // point's stop, a repeated record, and nothing for some points.
    std::vector<KnownTrial> known;
    auto add = [&](std::int64_t point, std::int64_t trial) {
        known.push_back({{point, trial}, fake_outcome(c, {point, trial})});
    };
    // Points 2, 5 and 8 (10 dB) run to the bit limit, 12 trials.
    ASSERT_EQ(expected[2].trials, 12);
    for (std::int64_t t = 0; t < 5; ++t) add(2, t);
    add(2, 7);
    add(2, 6);
    add(2, 3);                                                            // again
    for (std::int64_t t = 0; t < expected[5].trials + 3; ++t) add(5, t);  // past the stop
    add(4, 2);
    add(8, 0);
    for (const int threads : {1, 3}) {
        SCOPED_TRACE(threads);
        SweepConfig ct = c;
        ct.threads = threads;
        std::mutex mutex;
        std::vector<std::pair<std::string, std::int64_t>> ran;
        std::vector<TrialTicket> finished;
        SweepHooks hooks;
        hooks.known = &known;
        hooks.finished = [&](const TrialTicket& t, const TrialOutcome&) {
            std::lock_guard lock(mutex);
            finished.push_back(t);
        };
        const SweepResult r = run_sweep(
            ct, [&] { return std::make_unique<RecordingRunner>(mutex, ran); }, nullptr, nullptr,
            hooks);
        testing::expect_same_points(r.points, expected);
        EXPECT_EQ(r.knownTrials, 5 + expected[5].trials + 1);  // counted from the start
        for (const KnownTrial& k : known) {
            const TrialJob job = trial_job(ct, k.ticket);
            const std::pair<std::string, std::int64_t> key{
                *job.condition + " " + std::to_string(job.esno), k.ticket.trial};
            EXPECT_EQ(std::count(ran.begin(), ran.end(), key), 0)
                << key.first << " trial " << key.second << " ran again";
        }
        // Every trial that ran and counted was reported once, the known ones never.
        for (const TrialTicket& t : finished) {
            EXPECT_EQ(std::count_if(known.begin(), known.end(),
                                    [&](const KnownTrial& k) {
                                        return k.ticket.point == t.point &&
                                               k.ticket.trial == t.trial;
                                    }),
                      0);
            EXPECT_EQ(std::count_if(finished.begin(), finished.end(),
                                    [&](const TrialTicket& u) {
                                        return u.point == t.point && u.trial == t.trial;
                                    }),
                      1);
        }
    }
}

// Workers "in another process": threads of their own that receive trials and send outcomes only
// through poll(), as the other ranks of an MPI job do.
class SimulatedRanks final : public RemoteWorkers {
public:
    SimulatedRanks(const SweepConfig& config, int threads, bool fail = false)
        : config_(config), fail_(fail) {
        for (int t = 0; t < threads; ++t) threads_.emplace_back([this] { work(); });
    }
    ~SimulatedRanks() override {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        for (std::thread& t : threads_) t.join();
    }
    int threads() const override { return static_cast<int>(threads_.size()); }
    int ranks() const override { return 2; }

    bool poll(TrialQueue& queue) override {
        std::deque<std::pair<TrialTicket, std::optional<TrialOutcome>>> out;
        {
            std::lock_guard lock(mutex_);
            out.swap(outbox_);
        }
        for (const auto& [ticket, outcome] : out) {
            if (outcome) {
                queue.give(ticket, *outcome);
            } else {
                queue.fail(std::make_exception_ptr(Error("", "rank 1: trial failed")));
            }
        }
        std::lock_guard lock(mutex_);
        if (!queue.stopping()) {
            while (static_cast<int>(inbox_.size()) + busy_ < static_cast<int>(threads_.size())) {
                const std::optional<TrialTicket> t = queue.take();
                if (!t) break;
                ++taken_;
                inbox_.push_back(*t);
            }
        } else {
            stop_ = true;
            inbox_.clear();
        }
        changed_.notify_all();
        return !(stop_ && busy_ == 0 && outbox_.empty());
    }

    std::int64_t taken() const { return taken_; }

private:
    void work() {
        FakeRunner runner;
        for (;;) {
            TrialTicket t;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return stop_ || !inbox_.empty(); });
                if (stop_) return;
                t = inbox_.front();
                inbox_.pop_front();
                ++busy_;
            }
            std::optional<TrialOutcome> o;
            if (!fail_) o = runner.run(trial_job(config_, t));
            std::lock_guard lock(mutex_);
            --busy_;
            outbox_.emplace_back(t, o);
        }
    }

    const SweepConfig& config_;
    bool fail_;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<TrialTicket> inbox_;
    std::deque<std::pair<TrialTicket, std::optional<TrialOutcome>>> outbox_;
    int busy_ = 0;
    bool stop_ = false;
    std::int64_t taken_ = 0;
};

TEST(RunSweep, WorkersElsewhereGiveTheSameResult) {
    const std::vector<PointResult> expected = sequential_sweep(small_config(1));
    struct Case {
        int local, remote;
    };
    for (const Case k : {Case{1, 1}, Case{1, 3}, Case{2, 2}}) {
        SCOPED_TRACE(std::to_string(k.local) + " here, " + std::to_string(k.remote) + " there");
        const SweepConfig c = small_config(k.local);
        SimulatedRanks ranks(c, k.remote);
        SweepHooks hooks;
        hooks.remote = &ranks;
        const SweepResult r = run_sweep(c, fake_runners(), nullptr, nullptr, hooks);
        testing::expect_same_points(r.points, expected);
        EXPECT_EQ(r.threads, k.local + k.remote);
        EXPECT_EQ(r.ranks, 2);
        EXPECT_GT(ranks.taken(), 0);  // the outside workers did take part
    }
}

class SlowRunner final : public TrialRunner {
public:
    TrialOutcome run(const TrialJob& job) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return inner_.run(job);
    }

private:
    FakeRunner inner_;
};

TEST(RunSweep, AFailureElsewhereStopsTheSweepAndReachesTheCaller) {
    SweepConfig c = small_config(1);
    c.minErrors = 1000000;
    SimulatedRanks ranks(c, 2, /*fail=*/true);
    SweepHooks hooks;
    hooks.remote = &ranks;
    // The local worker is slow: the outside workers get trials (and fail them) long before it
    // could finish the sweep alone.
    try {
        run_sweep(
            c, [] { return std::make_unique<SlowRunner>(); }, nullptr, nullptr, hooks);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "rank 1: trial failed");
    }
}

}  // namespace
}  // namespace hfchain::sweep
