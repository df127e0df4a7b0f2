// Decoding after an entry in the data, in the sweep: the counts of the blocks decoded, their
// journal records, and a short run at a high SNR.
#include "sweep/late_decode.hpp"

#include <gtest/gtest.h>

#include "sweep/engine.hpp"
#include "sweep/journal.hpp"

namespace hfchain::sweep {
namespace {

TEST(LateDecode, CountsTheWholeBlocksFromTheOneDecoded) {
    const RealArray sent{0, 1, 1, 0, 1, 0, 0, 1, 1};  // 3 blocks of 3 bits
    struct Case {
        const char* what;
        RealArray decoded;  // from the first bit of block `from` on
        index_t from;
        std::int64_t bits, errors, blocks, blockErrors;
    };
    const Case cases[] = {
        {"the last two blocks right", {0, 1, 0, 0, 1, 1}, 1, 6, 0, 2, 0},
        {"a wrong bit in the last block", {0, 1, 0, 0, 0, 1}, 1, 6, 1, 2, 1},
        {"every block, two wrong in the first", {1, 0, 1, 0, 1, 0, 0, 1, 1}, 0, 9, 2, 3, 1},
        {"the last block's bits missing", {0, 1, 0}, 1, 6, 3, 2, 1},
        {"nothing decoded", {}, 2, 3, 3, 1, 1},
    };
    for (const Case& c : cases) {
        const ReceiverCounts n = late_block_counts(c.decoded, sent, c.from, 3, 3);
        EXPECT_EQ(std::tie(n.infoBits, n.infoErrors, n.blocks, n.blockErrors),
                  std::tie(c.bits, c.errors, c.blocks, c.blockErrors))
            << c.what;
        EXPECT_EQ(n.codedBits, 0);
    }
}

SweepConfig late_config() {
    SweepConfig c;
    c.late = LateEntry::data;
    c.receivers = {ReceiverKind::hf};
    c.rates = {2400, 600};
    c.interLen = 0.6;
    c.conditions = {"awgn"};
    c.esno = {20};
    c.snr3kAxis = false;
    c.minTrials = 4;
    c.minEvents = 4;
    c.maxBits = 1;
    c.threads = 2;
    return c;
}

// At a high SNR every trial finds a block start and decodes the next whole block without an
// error, each of its encoder input bits (a second block only for a start read within the
// tolerance before the first sample).
TEST(LateDecode, DecodesTheWholeBlocksAfterTheEntryAtAHighSnr) {
    const SweepConfig c = late_config();
    check_config(c);
    const SweepResult r = run_sweep(c, sweep_trial_runners(c, nullptr), nullptr, {});
    ASSERT_EQ(r.points.size(), 2U);
    for (const PointResult& p : r.points) {
        const ReceiverCounts& hf = p.of(ReceiverKind::hf);
        const std::int64_t per = p.dataRate == 2400 ? 1440 : 360;  // encoder input bits a block
        EXPECT_EQ(p.trials, 4);
        EXPECT_EQ(p.syncMisses, 0) << p.dataRate;
        EXPECT_EQ(hf.infoErrors, 0) << p.dataRate;
        EXPECT_GE(hf.blocks, 4);
        EXPECT_LE(hf.blocks, 5);
        EXPECT_EQ(hf.infoBits, hf.blocks * per) << p.dataRate;
        EXPECT_EQ(hf.codedBits, 0);
    }
}

// Trials through "ruim" (two paths 2 ms apart) at a high SNR whose block the sounding from the
// probes once lost, hundreds of bits wrong, where the full reception of the same bits, fading and
// noise decodes every one: its fit, which counts the unknown data between the probes as noise,
// took a third path 9 to 14 symbols from the other two, the noise was then read as nothing and
// the gains' track ran away. Each now decodes its block as the full reception does.
TEST(LateDecode, ThroughTwoPathsTheProbesFindNoPathBeyondTheLargestSpread) {
    SweepConfig c = late_config();
    c.rates = {2400};
    c.conditions = {"ruim"};
    c.nFrame = 3;
    const struct {
        double esno;
        std::int64_t trial;
    } cases[] = {{18, 142}, {20, 120}, {20, 302}};
    const std::unique_ptr<TrialRunner> runner = late_decode_trial_runners(c, nullptr)();
    for (const auto& k : cases) {
        TrialJob job;
        job.condition = &c.conditions.front();
        job.esno = k.esno;
        job.trial = k.trial;
        job.seeds = trial_seeds(c.seed, 2400, "ruim", k.esno, k.trial);
        const TrialOutcome o = runner->run(job);
        const ReceiverCounts& hf = o.receivers[static_cast<std::size_t>(ReceiverKind::hf)];
        EXPECT_FALSE(o.syncMiss) << k.esno << " dB, trial " << k.trial;
        EXPECT_EQ(hf.infoBits, 1440) << k.esno << " dB, trial " << k.trial;
        EXPECT_EQ(hf.infoErrors, 0) << k.esno << " dB, trial " << k.trial;
    }
}

TEST(LateDecode, TheJournalRefusesCountsNoTrialGives) {
    const SweepConfig c = late_config();
    const ReceiverCounts size = trial_size(c, 2400);
    EXPECT_EQ(std::tie(size.infoBits, size.blocks, size.codedBits),
              std::make_tuple(std::int64_t{4320}, std::int64_t{3}, std::int64_t{0}));
    const auto outcome = [](std::int64_t blocks, std::int64_t bits, std::int64_t coded) {
        TrialOutcome o;
        ReceiverCounts& hf = o.receivers[static_cast<std::size_t>(ReceiverKind::hf)];
        hf.blocks = blocks;
        hf.infoBits = bits;
        hf.infoErrors = 3;
        hf.blockErrors = 1;
        hf.codedBits = coded;
        o.bits = bits;
        o.errors = 3;
        return o;
    };
    struct Case {
        const char* what;
        TrialOutcome o;
        bool possible;
    };
    const Case cases[] = {
        {"one block", outcome(1, 1440, 0), true},
        {"every block", outcome(3, 4320, 0), true},
        {"part of a block", outcome(1, 1000, 0), false},
        {"more blocks than sent", outcome(4, 5760, 0), false},
        {"no block", outcome(0, 0, 0), false},
        {"coded bits", outcome(1, 1440, 10), false},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(impossible_record({{0, 0}, k.o}, c, 2, size).empty(), k.possible) << k.what;
    }
}

}  // namespace
}  // namespace hfchain::sweep
