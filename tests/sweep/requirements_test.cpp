// The minimum-performance table: its rows, the search of a crossing on curves of known shape,
// the crossing's interval, the verdicts and the refusals.
#include "sweep/requirements.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <sstream>

#include "params/waveform.hpp"
#include "runtime/error.hpp"
#include "sweep/trial.hpp"
#include "tests/support/programs.hpp"

namespace hfchain::sweep {
namespace {

using Kind = Crossing::Kind;

// A trial whose decoded error rate is a known function of SNR(3 kHz): log10(rate) falls by
// `slope` decades a dB through 1e-3 at `at` dB (never above 0.5), the same for every receiver.
// With `spread`, trials alternate between half and one and a half times the rate, so that the
// points have a spread between trials (the interval's) but the same mean.
class CurveRunner final : public TrialRunner {
public:
    CurveRunner(double at, double slope, bool spread) : at_(at), slope_(slope), spread_(spread) {}
    TrialOutcome run(const TrialJob& job) override {
        const double snr = snr3k_of_esno(job.esno);
        double rate = std::min(0.5, std::pow(10.0, -3 - slope_ * (snr - at_)));
        if (spread_) rate *= job.trial % 2 == 0 ? 0.5 : 1.5;
        TrialOutcome o;
        o.bits = kBits;
        o.errors = std::llround(rate * kBits);
        for (auto& r : o.receivers) {
            r.infoBits = kBits;
            r.infoErrors = o.errors;
            r.blocks = 1;
            r.blockErrors = o.errors > 0;
        }
        return o;
    }
    static constexpr std::int64_t kBits = 1000000000;

private:
    double at_, slope_;
    bool spread_;
};

RowRunners curve(double at, double slope, bool spread = false) {
    return [=](const SweepConfig&) -> TrialRunnerFactory {
        return [=] { return std::make_unique<CurveRunner>(at, slope, spread); };
    };
}

// Row 3 (2400 bit/s, 2p:2ms:1Hz, 18 dB, 1e-5) with the curve's trials: one a point unless the
// trials spread (then a few, for the interval).
RequirementsConfig one_row(std::size_t row, int trials = 1) {
    RequirementsConfig c;
    c.rows = {row};
    c.receivers = {ReceiverKind::hf};
    c.stop.minTrials = trials;
    c.stop.maxBits = 1;
    c.threads = 1;
    return c;
}

// The SNR at which the curve crosses `target`.
double true_crossing(double at, double slope, double target) {
    return at + (-3 - std::log10(target)) / slope;
}

TEST(RequirementRows, TheElevenRowsOfTheTable) {
    const std::vector<RequirementRow> expected = {
        {4800, "1p:0ms:0Hz", 17, 1e-3}, {4800, "2p:2ms:0.5Hz", 27, 1e-3},
        {2400, "1p:0ms:0Hz", 10, 1e-5}, {2400, "2p:2ms:1Hz", 18, 1e-5},
        {2400, "2p:2ms:5Hz", 30, 1e-3}, {2400, "2p:5ms:1Hz", 30, 1e-5},
        {1200, "2p:2ms:1Hz", 11, 1e-5}, {600, "2p:2ms:1Hz", 7, 1e-5},
        {300, "2p:5ms:5Hz", 7, 1e-5},   {150, "2p:5ms:5Hz", 5, 1e-5},
        {75, "2p:5ms:5Hz", 2, 1e-5}};
    const auto& rows = requirement_rows();
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].rate, expected[i].rate) << i;
        EXPECT_EQ(rows[i].channel, expected[i].channel) << i;
        EXPECT_EQ(rows[i].snr3k, expected[i].snr3k) << i;
        EXPECT_EQ(rows[i].ber, expected[i].ber) << i;
        // Each channel is written as the sweep spells it, so its seeds are the sweep's.
        EXPECT_EQ(canonical_condition(rows[i].channel), rows[i].channel) << i;
    }
    // Every row runs with hf and genie on the long interleaver (4800 bit/s: its 0.6 s frame),
    // within the hf receiver's reach.
    RequirementsConfig all;
    EXPECT_NO_THROW(check_requirements(all));
    EXPECT_EQ(row_interleaver(rows[0], 4.8), 0.6);
    EXPECT_EQ(row_interleaver(rows[3], 4.8), 4.8);
}

// The crossing is found within the resolution whether the requirement lies above or below it,
// by a bracket that the bisection narrowed to at most the resolution.
TEST(RequirementSearch, FindsAKnownCrossingFromEitherSide) {
    struct Case {
        double at;     // the curve's 1e-3 point
        double slope;  // decades a dB
        double resolution;
    };
    // Row 3 requires 1e-5 at 18 dB.
    const Case cases[] = {
        {5.3, 1.0, 0.3},   // crossing at 7.3: far below the requirement, stepping down
        {16.1, 1.0, 0.3},  // 18.1: just above it, stepping up
        {25.7, 0.5, 0.3},  // 29.7: far above
        {17.0, 2.0, 0.1},  // 18.0: on it, a finer resolution
        {-8.0, 1.0, 0.3},  // -6: near the bottom of the range
    };
    for (const Case& c : cases) {
        const double truth = true_crossing(c.at, c.slope, 1e-5);
        SCOPED_TRACE(truth);
        RequirementsConfig config = one_row(3);
        config.resolution = c.resolution;
        const RequirementsResult r = run_requirements(config, curve(c.at, c.slope), nullptr);
        ASSERT_EQ(r.rows.size(), 1u);
        const RequirementOutcome& o = r.rows[0].receivers.at(0);
        ASSERT_EQ(o.measured.kind, Kind::at);
        // On a curve straight in log10(rate) the interpolation is exact but for the counts'
        // rounding to whole errors (1e9 bits a point: a relative 1e-4 at 1e-5, 1e-4 dB).
        EXPECT_NEAR(o.measured.x, truth, 0.01);
        // The bracket: the nearest points on either side at most the resolution apart.
        double below = -1e9, above = 1e9;
        for (const PointResult& p : r.rows[0].points) {
            const double x = snr3k_of_esno(p.esno);
            if (x <= truth) below = std::max(below, x);
            if (x > truth) above = std::min(above, x);
        }
        EXPECT_LE(above - below, c.resolution + 1e-9);
        if (std::fabs(truth - 18) < 0.01) {
            // On the requirement: the interval (Wilson's of 1e9 bits) holds it on either side.
            EXPECT_TRUE(o.verdict == Verdict::pass_within || o.verdict == Verdict::fail_within);
        } else {
            EXPECT_EQ(o.verdict, truth < 18 ? Verdict::pass : Verdict::fail);
        }
        // The points are the sweep's: ascending, each once.
        for (std::size_t i = 1; i < r.rows[0].points.size(); ++i) {
            EXPECT_LT(r.rows[0].points[i - 1].esno, r.rows[0].points[i].esno);
        }
    }
}

// A target never crossed within the range is a bound at the range's end, said honestly.
TEST(RequirementSearch, ATargetNotReachedInTheRangeIsABound) {
    struct Case {
        double at;
        Kind kind;
        double x;
        const char* text;
        Verdict verdict;
    };
    const Case cases[] = {
        {80, Kind::not_reached, 40, "> 40.0", Verdict::fail},          // always above 1e-5
        {-40, Kind::below_from_start, -10, "< -10.0", Verdict::pass},  // always below
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const RequirementsResult r = run_requirements(one_row(3), curve(c.at, 1.0), nullptr);
        const RequirementOutcome& o = r.rows.at(0).receivers.at(0);
        EXPECT_EQ(o.measured.kind, c.kind);
        EXPECT_EQ(o.measured.x, c.x);
        EXPECT_EQ(crossing_text(o.measured), c.text);
        EXPECT_EQ(o.verdict, c.verdict);
        // Steps of 2 dB from 18 to the range's end, never past it.
        for (const PointResult& p : r.rows[0].points) {
            EXPECT_GE(snr3k_of_esno(p.esno), -10 - 1e-9);
            EXPECT_LE(snr3k_of_esno(p.esno), 40 + 1e-9);
        }
        EXPECT_LE(r.rows[0].points.size(), 16u);
    }
}

// The interval: around the crossing, wider when the trials spread, its ends read where the
// points' intervals cross the target; the search adds points until both ends are bracketed.
TEST(RequirementInterval, HoldsTheCrossingAndWidensWithTheSpread) {
    RequirementsConfig config = one_row(3, 8);
    const RequirementsResult tight = run_requirements(config, curve(16.0, 1.0, false), nullptr);
    const RequirementsResult wide = run_requirements(config, curve(16.0, 1.0, true), nullptr);
    const RequirementOutcome& t = tight.rows.at(0).receivers.at(0);
    const RequirementOutcome& w = wide.rows.at(0).receivers.at(0);
    for (const RequirementOutcome* o : {&t, &w}) {
        ASSERT_EQ(o->measured.kind, Kind::at);
        ASSERT_EQ(o->low.kind, Kind::at);
        ASSERT_EQ(o->high.kind, Kind::at);
        EXPECT_LE(o->low.x, o->measured.x);
        EXPECT_GE(o->high.x, o->measured.x);
        EXPECT_NEAR(o->measured.x, 18.0, 0.01);  // the spread keeps the mean
    }
    // 8e9 bits without spread: only the Wilson interval of about 8e4 errors, +-0.7 %, that is
    // 0.003 dB on a slope of a decade a dB.
    EXPECT_LT(t.high.x - t.low.x, 0.01);
    // Half and one and a half times the rate by turns: a standard error of half the rate over
    // sqrt(8) trials, +-0.35 decades in log... about +-0.15 dB.
    EXPECT_GT(w.high.x - w.low.x, 0.1);
    // At 18.0 the requirement lies within the wide interval.
    EXPECT_TRUE(w.verdict == Verdict::pass_within || w.verdict == Verdict::fail_within);
}

// Points with few errors make curves that are not monotone: the interval still holds the
// crossing, its high end at the last place the upper bounds cross the target.
TEST(RequirementInterval, HoldsTheCrossingOnANoisyCurve) {
    // One trial a point with 1e5 bits: the rate itself and its Wilson interval.
    const auto point = [](double snr, std::int64_t errors) {
        PointResult p;
        p.esno = esno_of_snr3k(snr);
        ReceiverCounts& n = p.receivers[static_cast<std::size_t>(ReceiverKind::hf)];
        n.infoBits = 100000;
        n.infoErrors = errors;
        p.infoSpread[static_cast<std::size_t>(ReceiverKind::hf)].add(errors, 100000);
        return p;
    };
    // 1e-3 target: above at 0, below at 1 (30 errors), above again at 2 (150), then below.
    const std::vector<PointResult> points = {point(0, 400), point(1, 30), point(2, 150),
                                             point(3, 20), point(4, 2)};
    const RequirementOutcome o = read_outcome(points, ReceiverKind::hf, 1e-3, 5);
    ASSERT_EQ(o.measured.kind, Kind::at);
    EXPECT_GT(o.measured.x, 0);
    EXPECT_LT(o.measured.x, 1);
    ASSERT_EQ(o.low.kind, Kind::at);
    ASSERT_EQ(o.high.kind, Kind::at);
    EXPECT_LE(o.low.x, o.measured.x);
    // The upper bounds last cross 1e-3 between 2 and 3 dB (150 errors in 1e5 bits lie above it
    // with their interval, 20 below).
    EXPECT_GT(o.high.x, 2);
    EXPECT_LT(o.high.x, 3);
    // One error event a point: the crossing is marked as resting on few events; not once the two
    // points of its bracket have enough.
    EXPECT_TRUE(o.fewEvents);
    std::vector<PointResult> many = points;
    for (const std::size_t k : {0, 1})
        many[k].infoSpread[static_cast<std::size_t>(ReceiverKind::hf)].events = kFewEvents;
    EXPECT_FALSE(read_outcome(many, ReceiverKind::hf, 1e-3, 5).fewEvents);
    // A curve that fell to no error at 1 dB, then had errors again: the low end at or below it.
    const std::vector<PointResult> zero = {point(0, 400), point(1, 0), point(2, 150), point(3, 0)};
    const RequirementOutcome z = read_outcome(zero, ReceiverKind::hf, 1e-3, 5);
    ASSERT_EQ(z.measured.kind, Kind::fell_to_zero);
    EXPECT_EQ(z.measured.x, 1);
    EXPECT_TRUE(z.low.kind != Kind::at || z.low.x <= 1);
    EXPECT_TRUE(z.low.kind == Kind::at || z.low.kind == Kind::fell_to_zero);
    EXPECT_LE(z.low.x, 1);
    ASSERT_EQ(z.high.kind, Kind::at);
    EXPECT_GT(z.high.x, 2);
    // last_crossing on the rates themselves: between 2 and 3 dB too.
    std::vector<double> x, rate;
    for (const PointResult& p : points) {
        x.push_back(snr3k_of_esno(p.esno));
        rate.push_back(receiver_rate(p, ReceiverKind::hf, Metric::decoded));
    }
    const Crossing last = last_crossing(x, rate, 1e-3);
    ASSERT_EQ(last.kind, Kind::at);
    // log10 from 1.5e-3 at 2 dB to 2e-4 at 3 dB: 1e-3 at 2 + log10(1.5) / log10(7.5).
    EXPECT_NEAR(last.x, 2 + std::log10(1.5) / std::log10(7.5), 1e-9);
}

TEST(RequirementVerdict, FromTheCrossingAndItsInterval) {
    const auto at = [](double x) { return Crossing{Kind::at, x}; };
    struct Case {
        Crossing measured, low, high;
        Verdict verdict;
        const char* margin;
    };
    const double required = 10;
    const Case cases[] = {
        {at(8), at(7.5), at(8.5), Verdict::pass, "2.0"},
        {at(10), at(9.5), at(10), Verdict::pass, "0.0"},  // on it: at or below passes
        {at(9.8), at(9.5), at(10.3), Verdict::pass_within, "0.2"},
        {at(10.2), at(9.9), at(10.5), Verdict::fail_within, "-0.2"},
        {at(12), at(11), at(13), Verdict::fail, "-2.0"},
        {at(9), at(8), {Kind::not_reached, 9.5}, Verdict::pass_within, "1.0"},
        {{Kind::fell_to_zero, 9.5}, at(9), at(9.6), Verdict::pass, ">= 0.5"},
        {{Kind::fell_to_zero, 10.5}, at(9), at(11), Verdict::undecided, ">= -0.5"},
        {{Kind::below_from_start, -10},
         {Kind::below_from_start, -10},
         at(-9),
         Verdict::pass,
         "> 20.0"},
        {{Kind::not_reached, 40}, at(38), {Kind::not_reached, 40}, Verdict::fail, "< -30.0"},
        {{Kind::not_reached, 9}, at(8), {Kind::not_reached, 9}, Verdict::undecided, "< 1.0"},
        {{}, {}, {}, Verdict::undecided, "-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.margin);
        EXPECT_EQ(judge(c.measured, c.low, c.high, required), c.verdict);
        RequirementOutcome o;
        o.measured = c.measured;
        EXPECT_EQ(margin_text(o, required), c.margin);
    }
}

// The search's points, and so the table, do not depend on the worker threads.
TEST(RequirementSearch, SameTableForAnyThreads) {
    RequirementsConfig config = one_row(3, 4);
    config.receivers = {ReceiverKind::hf, ReceiverKind::genie};
    std::string tables[2];
    for (const int threads : {1, 3}) {
        config.threads = threads;
        RequirementsResult r = run_requirements(config, curve(15.2, 0.7, true), nullptr);
        r.wallSeconds = 0;
        std::ostringstream out;
        write_requirements_table(out, config, r, "test");
        write_requirements_csv(out, config, r);
        tables[threads == 1 ? 0 : 1] = out.str();
    }
    EXPECT_EQ(tables[0], tables[1]);
    EXPECT_NE(tables[0].find("2400 2p:2ms:1Hz"), std::string::npos);
}

// Trials with the counts a trial of the point's rate has (as the journal checks them): the
// curve's errors (through 1e-3 at `at` dB, a decade a dB, spread between trials), counted in
// `count`; the run's interrupt (if any) is raised once `stopAfter` trials have run.
RowRunners sized_curve(double at, std::atomic<bool>* interrupt, int stopAfter,
                       std::shared_ptr<std::atomic<int>> count) {
    return [=](const SweepConfig& pointConfig) -> TrialRunnerFactory {
        const ReceiverCounts size = trial_size(pointConfig, pointConfig.rates[0]);
        const std::vector<ReceiverKind> receivers = pointConfig.receivers;
        return [=]() -> std::unique_ptr<TrialRunner> {
            class Runner final : public TrialRunner {
            public:
                std::function<TrialOutcome(const TrialJob&)> f;
                TrialOutcome run(const TrialJob& job) override { return f(job); }
            };
            auto runner = std::make_unique<Runner>();
            runner->f = [=](const TrialJob& job) {
                const int ran = ++*count;
                if (interrupt != nullptr && ran >= stopAfter) interrupt->store(true);
                const double snr = snr3k_of_esno(job.esno);
                const double rate = std::min(0.5, std::pow(10.0, -3 - (snr - at))) *
                                    (job.trial % 2 == 0 ? 0.5 : 1.5);
                TrialOutcome o;
                o.bits = size.infoBits;
                o.errors = std::llround(rate * static_cast<double>(size.infoBits));
                for (const ReceiverKind r : receivers) {
                    ReceiverCounts& n = o.receivers[static_cast<std::size_t>(r)];
                    n = size;
                    n.infoErrors = o.errors;
                    n.codedErrors = std::min(size.codedBits, 2 * o.errors);
                    n.blockErrors = o.errors > 0 ? size.blocks : 0;
                }
                return o;
            };
            return runner;
        };
    };
}

std::string table_text(const RequirementsConfig& config, RequirementsResult r) {
    r.wallSeconds = 0;
    std::ostringstream out;
    write_requirements_table(out, config, r, "test");
    write_requirements_json(out, config, r, "test");
    return out.str();
}

// Stopped after any number of trials, the run writes the rows finished and the interrupted one's
// points (marked incomplete); resumed from its journal, it gives the uninterrupted run's table,
// however often it was stopped.
TEST(RequirementJournal, InterruptedRowKeptAndResumedToTheSameTable) {
    RequirementsConfig config;
    config.rows = {7, 6};  // 600 and 1200 bit/s: points of two rates in one journal
    config.receivers = {ReceiverKind::hf, ReceiverKind::genie};
    config.stop.minTrials = 3;
    config.stop.maxBits = 1;
    config.threads = 1;  // the trials counted below run once each
    const auto whole_trials = std::make_shared<std::atomic<int>>(0);
    const std::string whole = table_text(
        config, run_requirements(config, sized_curve(6, nullptr, 0, whole_trials), nullptr));
    EXPECT_EQ(whole.find("incomplete"), std::string::npos);
    const struct {
        std::vector<int> stops;  // trials run before each stop, in turn (1: before any point)
    } cases[] = {{{1}}, {{7}}, {{60}}, {{5, 8, 12}}};
    for (const auto& c : cases) {
        testing::ScratchDir dir("requirements-journal");
        const std::string file = dir / "journal";
        for (const int stopAfter : c.stops) {
            SCOPED_TRACE("stopped after " + std::to_string(stopAfter) + " trials");
            std::atomic<bool> interrupt{false};
            const auto count = std::make_shared<std::atomic<int>>(0);
            const auto journal = requirements_journal(file, config, "test");
            const RequirementsResult r =
                run_requirements(config, sized_curve(6, &interrupt, stopAfter, count), &interrupt,
                                 {}, journal.get());
            ASSERT_TRUE(r.interrupted);
            // Before its first point a row has nothing to show; after it, the interrupted row is
            // written with its points.
            if (stopAfter == 1) {
                EXPECT_TRUE(r.rows.empty());
                continue;
            }
            ASSERT_FALSE(r.rows.empty());
            EXPECT_FALSE(r.rows.back().complete);
            EXPECT_FALSE(r.rows.back().points.empty());
            for (std::size_t i = 0; i + 1 < r.rows.size(); ++i) EXPECT_TRUE(r.rows[i].complete);
            EXPECT_NE(table_text(config, r).find("incomplete"), std::string::npos);
        }
        const auto journal = requirements_journal(file, config, "test");
        EXPECT_GT(journal->known_count(), 0);
        const auto trials = std::make_shared<std::atomic<int>>(0);
        const RequirementsResult resumed = run_requirements(
            config, sized_curve(6, nullptr, 0, trials), nullptr, {}, journal.get());
        EXPECT_FALSE(resumed.interrupted);
        EXPECT_LE(*trials, *whole_trials - journal->known_count());  // the known ones not rerun
        EXPECT_EQ(table_text(config, resumed), whole);
    }
    // The journal is tied to the table's parameters: other rows are another run.
    testing::ScratchDir dir("requirements-journal-other");
    requirements_journal(dir / "journal", config, "test");
    RequirementsConfig other = config;
    other.rows = {7};
    EXPECT_THROW(requirements_journal(dir / "journal", other, "test"), Error);
}

// The JSON gives each crossing and margin as a number, with its relation and the table's text
// beside it: on a curve that crosses the target in the range, "=" and the number the text rounds.
TEST(RequirementJson, CrossingsAreNumbersWithTheirRelation) {
    RequirementsConfig config;
    config.rows = {7};
    config.receivers = {ReceiverKind::hf};
    config.stop.minTrials = 3;
    config.stop.maxBits = 1;
    config.threads = 1;
    const auto trials = std::make_shared<std::atomic<int>>(0);
    const RequirementsResult result =
        run_requirements(config, sized_curve(6, nullptr, 0, trials), nullptr);
    ASSERT_EQ(result.rows.size(), 1u);
    std::ostringstream out;
    write_requirements_json(out, config, result, "test");
    const std::string json = out.str();
    // The value after `"name": `, up to the next comma.
    const auto field = [&](const std::string& name) {
        const std::string key = "\"" + name + "\": ";
        const std::size_t at = json.find(key);
        if (at == std::string::npos) return std::string("missing");
        const std::size_t from = at + key.size();
        return json.substr(from, json.find(',', from) - from);
    };
    // The crossing, or the bound where the curve fell to no error (this curve's case), is the
    // number; the relation says which.
    const RequirementOutcome& o = result.rows[0].receivers[0];
    ASSERT_NE(o.measured.kind, Kind::none);
    const char* relation[] = {"=", "<", "<=", ">"};
    const char* margin_relation[] = {"=", ">", ">=", "<"};
    const auto kind = static_cast<std::size_t>(o.measured.kind);
    EXPECT_EQ(field("measured_relation"), "\"" + std::string(relation[kind]) + "\"");
    EXPECT_EQ(field("margin_relation"), "\"" + std::string(margin_relation[kind]) + "\"");
    EXPECT_EQ(field("measured_text"), "\"" + crossing_text(o.measured) + "\"");
    EXPECT_NEAR(std::stod(field("measured")), o.measured.x, 1e-4);
    const double required = requirement_rows()[7].snr3k;
    EXPECT_NEAR(std::stod(field("margin")), required - o.measured.x, 1e-4);
    EXPECT_EQ(field("margin_text"), "\"" + margin_text(o, required) + "\"");
    for (const char* name : {"ci95_low", "ci95_high"}) {
        EXPECT_NE(field(std::string(name) + "_relation"), "missing") << name;
        EXPECT_NE(field(name).front(), '"') << name;  // a number or null, never text
    }
}

TEST(RequirementChecks, RefusedValuesNameTheirField) {
    struct Case {
        void (*change)(RequirementsConfig&);
        const char* message;
    };
    const Case cases[] = {
        {[](RequirementsConfig& c) { c.rows = {11}; }, "rows: 11 is no row; give rows 0 to 10"},
        {[](RequirementsConfig& c) {
             c.rows = {0};
             c.interLen = 0.7;
         },
         "interLen: 0.7 s is not an interleaver length; accepted: 0.6 or 4.8"},
        {[](RequirementsConfig& c) {
             c.rows = {2, 3, 2};
         },
         "rows: row 2 is given twice; give each row once"},
        {[](RequirementsConfig& c) { c.resolution = 0; },
         "resolution: 0 dB is not accepted; give a resolution above 0.001 dB and at most the "
         "step (2 dB)"},
        {[](RequirementsConfig& c) { c.resolution = 3; },
         "resolution: 3 dB is not accepted; give a resolution above 0.001 dB and at most the "
         "step (2 dB)"},
        {[](RequirementsConfig& c) { c.step = std::nan(""); },
         "step: NaN dB is not accepted; give a step from 0.1 to 20 dB"},
        {[](RequirementsConfig& c) { c.highest = -20; },
         "highest: -20 dB is not accepted; give -50 to 100, above -10 dB"},
        {[](RequirementsConfig& c) { c.highest = 25; },
         "highest: row 1 requires 27 dB, outside the search range -10 to 25 dB"},
        {[](RequirementsConfig& c) { c.lowest = 3; },
         "lowest: row 10 requires 2 dB, outside the search range 3 to 40 dB"},
    };
    for (const Case& c : cases) {
        RequirementsConfig config;
        c.change(config);
        try {
            check_requirements(config);
            ADD_FAILURE() << "accepted: " << c.message;
        } catch (const Error& e) {
            EXPECT_EQ(e.identifier(), errid::kInvalidConfig);
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
}

}  // namespace
}  // namespace hfchain::sweep
