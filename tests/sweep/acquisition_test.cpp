// Acquisition in the sweep: a trial's class from what the search found, the Poisson interval of
// the false detections, the metric's columns and journal records, and a short run at a high SNR.
#include "sweep/acquisition.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "params/rateconf.hpp"
#include "sweep/columns.hpp"
#include "sweep/engine.hpp"
#include "sweep/journal.hpp"
#include "sweep/report.hpp"
#include "tests/support/programs.hpp"

namespace hfchain::sweep {
namespace {

TEST(Acquisition, ClassifiesATrial) {
    // A transmission of mode 3 whose first path's preamble peaks at sample 1001, a second path 60
    // samples (12 symbols at M 5) behind: the tolerance is 6 symbols, 30 samples.
    const AcquisitionTruth truth{.mode = 3, .preambleStart = 1001, .spread = 60, .M = 5};
    const auto found = [](int mode, double preambleStart, double confidence = 1) {
        ModelockOut f;
        f.found = true;
        f.mode = mode;
        f.confidence = confidence;
        f.preambleStart = preambleStart;
        return f;
    };
    struct Case {
        const char* what;
        ModelockOut out;
        Acquired expected;
    };
    const Case cases[] = {
        {"nothing found", ModelockOut(), Acquired::missed},
        {"on the first path", found(3, 1001), Acquired::right},
        {"on the second path", found(3, 1061), Acquired::right},
        {"6 symbols early", found(3, 971), Acquired::right},
        {"a sample further", found(3, 970), Acquired::missed},
        {"6 symbols past the second path", found(3, 1091), Acquired::right},
        {"a sample further", found(3, 1092), Acquired::missed},
        {"a segment off (a count misread)", found(3, 1001 - 2400), Acquired::missed},
        {"another mode at the start", found(4, 1001), Acquired::wrongMode},
        {"no mode read at the start", found(-1, 1003), Acquired::wrongMode},
        {"its mode read unsurely", found(3, 1001, 0.89), Acquired::wrongMode},
        {"its mode read just surely", found(3, 1001, 0.9), Acquired::right},
        {"another mode elsewhere", found(4, 5000), Acquired::missed},
    };
    for (const Case& c : cases) EXPECT_EQ(classify(c.out, truth), c.expected) << c.what;

    // Entered late: the preamble began before the first sample.
    const AcquisitionTruth late{.mode = 0, .preambleStart = -4000, .spread = 0, .M = 4};
    EXPECT_EQ(classify(found(0, -4010), late), Acquired::right);
    EXPECT_EQ(classify(found(0, -4000 + 1920), late), Acquired::missed);

    // Read from the frames after the preamble: right on the first data block only.
    const AcquisitionTruth frames{
        .mode = 3, .preambleStart = -4000, .spread = 0, .firstData = 1760, .M = 4};
    const auto block = [](int mode, double blockStart, double confidence = 1) {
        BlocklockOut b;
        b.found = true;
        b.mode = mode;
        b.confidence = confidence;
        b.blockStart = blockStart;
        return b;
    };
    EXPECT_EQ(classify(block(3, 1762), frames), Acquired::right);
    EXPECT_EQ(classify(block(3, 1760 + 1440 * 4), frames), Acquired::missed);  // the next block
    EXPECT_EQ(classify(block(4, 1760), frames), Acquired::wrongMode);
    EXPECT_EQ(classify(BlocklockOut(), frames), Acquired::missed);

    // Entered in the data of a transmission of 3 blocks of 1440 symbols (M 4, a path 8 samples
    // behind the first): the start of any of them counts, and names its block.
    const double B = 1440 * 4;
    const AcquisitionTruth data{.mode = 3,
                                .preambleStart = -20000,
                                .spread = 8,
                                .firstData = -9000,
                                .M = 4,
                                .block = B,
                                .blocks = 3};
    struct Late {
        const char* what;
        BlocklockOut out;
        Acquired expected;
        int block;  // the block named; -1: none
    };
    const Late entries[] = {
        {"the next block", block(3, -9000 + B + 2), Acquired::right, 1},
        {"on the second path", block(3, -9000 + B + 8), Acquired::right, 1},
        {"the last block", block(3, -9000 + 2 * B - 24), Acquired::right, 2},
        {"inside a block", block(3, -9000 + 1.5 * B), Acquired::missed, -1},
        {"where the data ends", block(3, -9000 + 3 * B), Acquired::missed, -1},
        {"a block start, another mode", block(5, -9000 + B), Acquired::wrongMode, 1},
        {"another mode inside a block", block(5, -9000 + 1.5 * B), Acquired::missed, -1},
        {"a block start, its mode unsure", block(3, -9000 + B, 0.5), Acquired::wrongMode, 1},
        {"nothing found", BlocklockOut(), Acquired::missed, -1},
    };
    for (const Late& c : entries) {
        int named = -1;
        EXPECT_EQ(classify(c.out, data, &named), c.expected) << c.what;
        EXPECT_EQ(named, c.block) << c.what;
    }
}

TEST(Acquisition, EntersTheDataOfABlockFollowedByOneOfInformationBits) {
    const ModeParams mode = rateconf(2400, 0.6);  // 1440 symbols a block, a 0.6 s preamble
    const index_t preamble = mode.preamSync.numel() * 4;
    const index_t B = 1440 * 4;
    const ModeParams slow = rateconf(150, 0.6);  // the flush bits reach the last 2 blocks
    struct Case {
        const ModeParams& mode;
        LateEntry late;
        double nFrame, u;
        index_t sample;
    };
    const Case cases[] = {
        {mode, LateEntry::none, 3, 0.5, 0},
        {mode, LateEntry::preamble, 3, 0.5, preamble / 2},
        {mode, LateEntry::preamble, 3, 0.9999999999, preamble - 1},
        {mode, LateEntry::data, 3, 0, preamble},
        {mode, LateEntry::data, 3, 0.5, preamble + B / 2},
        {mode, LateEntry::data, 3, 0.9999999999, preamble + B - 1},
        {mode, LateEntry::data, 5, 0.9999999999, preamble + 3 * B - 1},
        {slow, LateEntry::data, 4, 0.9999999999, preamble + B - 1},
        {slow, LateEntry::data, 6, 0.5, preamble + 3 * B / 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(entry_sample(c.mode, c.nFrame, c.late, 4, c.u), c.sample)
            << late_name(c.late) << ' ' << c.nFrame << ' ' << c.u;
    }
}

TEST(Acquisition, OutcomesCountOneTrial) {
    struct Case {
        TrialOutcome o;
        std::int64_t errors, right, wrongMode, missed, falseDetections;
    };
    const Case cases[] = {
        {acquisition_outcome(Acquired::right), 0, 1, 0, 0, 0},
        {acquisition_outcome(Acquired::wrongMode), 1, 0, 1, 0, 0},
        {acquisition_outcome(Acquired::missed), 1, 0, 0, 1, 0},
        {noise_outcome(0, 60), 0, 0, 0, 0, 0},  // noise alone, nothing found
        {noise_outcome(3, 60), 1, 0, 0, 0, 3},  // three false detections: one failed trial
    };
    for (const Case& c : cases) {
        const AcquisitionCounts& a = c.o.acquisition;
        EXPECT_EQ(c.o.bits, 1);
        EXPECT_EQ(std::tie(c.o.errors, a.right, a.wrongMode, a.missed, a.falseDetections),
                  std::tie(c.errors, c.right, c.wrongMode, c.missed, c.falseDetections));
    }
}

TEST(Acquisition, PoissonIntervalIsGarwoods) {
    struct Case {
        std::int64_t count;
        double low, high;  // the tabulated exact 95 % limits
    };
    const Case cases[] = {{0, 0, 3.6889},
                          {1, 0.0253, 5.5716},
                          {2, 0.2422, 7.2247},
                          {10, 4.7954, 18.3904},
                          {100, 81.3640, 121.6268}};
    for (const Case& c : cases) {
        const Interval i = poisson_interval(c.count);
        EXPECT_NEAR(i.low, c.low, 1e-4) << c.count;
        EXPECT_NEAR(i.high, c.high, 1e-4) << c.count;
    }
}

SweepConfig acquisition_config() {
    SweepConfig c;
    c.metric = Metric::acquisition;
    c.rates = {2400, 75};
    c.interLen = 0.6;
    c.conditions = {"awgn"};
    c.esno = {20};
    c.minTrials = 6;
    c.minEvents = 6;
    c.maxBits = 6;
    c.threads = 2;
    return c;
}

TEST(Acquisition, ColumnsAreItsOwn) {
    SweepConfig c = acquisition_config();
    SweepResult r;
    std::ostringstream csv;
    write_csv(csv, c, r);
    EXPECT_EQ(csv.str(),
              "rate,condition,esno_db,snr3k_db,trials,events,right,right_ci95_low,right_ci95_high,"
              "wrong_mode,wrong_mode_ci95_low,wrong_mode_ci95_high,missed,missed_ci95_low,"
              "missed_ci95_high,false_detections,hours,false_per_hour,false_per_hour_ci95_low,"
              "false_per_hour_ci95_high,seconds,stop\n");
    // Noise alone: 2 false detections in 2 hours.
    PointResult p;
    p.trials = 120;
    p.acquisition.falseDetections = 2;
    p.acquisition.searched = 7200;
    EXPECT_DOUBLE_EQ(false_per_hour(p), 1.0);
    EXPECT_NEAR(false_per_hour_interval(p).high, 7.2247 / 2, 1e-4);
}

TEST(Acquisition, JournalRecordsItsFieldsAndRefusesImpossibleOnes) {
    const SweepConfig c = acquisition_config();
    EXPECT_EQ(outcome_field_names(Metric::acquisition),
              "bits errors sync_miss seconds right wrong_mode missed false_detections searched");
    TrialOutcome o = acquisition_outcome(Acquired::wrongMode);
    o.seconds = 0.25;
    const std::string text = encode_outcome(o, Metric::acquisition);
    EXPECT_EQ(text, "1 1 0 0.25 0 1 0 0 0");
    // A record of the bit-error sweep's fields is not one of acquisition's, and back.
    TrialOutcome back;
    EXPECT_FALSE(decode_outcome(text, back, Metric::decoded));
    ASSERT_TRUE(decode_outcome(text, back, Metric::acquisition));
    EXPECT_EQ(back.acquisition.wrongMode, 1);

    testing::ScratchDir dir("acquisition-journal");
    const std::string file = dir / "j.txt";
    {
        Journal j(file, c, "9.9");
        j.append({1, 0}, o);
    }
    EXPECT_NE(testing::read_file(file).find("\nmetric acquisition\n"), std::string::npos);
    Journal again(file, c, "9.9");
    const std::vector<KnownTrial> known = again.take_known();
    ASSERT_EQ(known.size(), 1U);
    EXPECT_EQ(known[0].outcome.acquisition.wrongMode, 1);
    EXPECT_EQ(known[0].outcome.seconds, 0.25);

    TrialOutcome two = acquisition_outcome(Acquired::right);
    two.acquisition.missed = 1;  // two classes in one trial
    const TrialOutcome noise =
        noise_outcome(1, 60);  // a trial of noise in a sweep of transmissions
    for (const TrialOutcome& bad : {two, noise}) {
        EXPECT_FALSE(impossible_record({{0, 0}, bad}, c, 2, {}).empty());
    }
    EXPECT_TRUE(impossible_record({{0, 0}, o}, c, 2, {}).empty());
}

TEST(Acquisition, FindsEveryTransmissionAtAHighSnr) {
    for (const LateEntry late : {LateEntry::none, LateEntry::data}) {
        SweepConfig c = acquisition_config();
        c.late = late;
        const SweepResult r = run_sweep(c, acquisition_trial_runners(c, nullptr), nullptr, {});
        ASSERT_EQ(r.points.size(), 2U);
        for (const PointResult& p : r.points) {
            EXPECT_EQ(p.trials, 6);
            EXPECT_EQ(p.acquisition.right, 6) << p.dataRate << ' ' << late_name(late);
            EXPECT_EQ(acquisition_share(p, 0), 1.0);
        }
    }
}

}  // namespace
}  // namespace hfchain::sweep
