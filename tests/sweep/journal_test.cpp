// The checkpoint journal: its checksum and record text, reading back what a killed run left (torn
// and damaged records), refusals, and a resumed sweep giving the uninterrupted result.
#include "sweep/journal.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <fstream>
#include <limits>
#include <memory>
#include <thread>
#include <tuple>

#include "fake_trials.hpp"
#include "runtime/error.hpp"
#include "sweep/trial.hpp"
#include "tests/support/programs.hpp"

namespace hfchain::sweep {
namespace {

using testing::read_file;
using testing::ScratchDir;

TEST(Crc32, KnownValues) {
    struct Case {
        const char* text;
        std::uint32_t crc;
    };
    const Case cases[] = {
        {"", 0x00000000U},
        {"a", 0xe8b7be43U},
        {"123456789", 0xcbf43926U},
        {"The quick brown fox jumps over the lazy dog", 0x414fa339U},
    };
    for (const Case& c : cases) EXPECT_EQ(crc32(c.text), c.crc) << c.text;
}

TEST(OutcomeText, ReadsBackExactly) {
    const ReceiverCounts some{5760, 97, 2736, 12, 2, 1};
    const ReceiverCounts huge{std::numeric_limits<std::int64_t>::max(), 0, 1, 1, 1, 0};
    const TrialOutcome cases[] = {
        {0, 0, false, 0.0, {}, {}},
        {2880, 1902, true, 0.1, {{some, {}, {}}}, {}},
        {std::numeric_limits<std::int64_t>::max(), 1, false, 1e-300, {{{}, huge, some}}, {}},
        {23040, 7, true, 123456.78901234567, {{{}, {}, huge}}, {}},
        {5, 5, false, std::nextafter(1.0, 2.0), {{some, some, some}}, {}},
    };
    std::string names = "bits errors sync_miss seconds";
    for (const char* r : {"baseline", "hf", "genie"}) {
        for (const char* f :
             {"coded_bits", "coded_errors", "info_bits", "info_errors", "blocks", "block_errors"}) {
            names += std::string(" ") + r + "_" + f;
        }
    }
    EXPECT_EQ(outcome_field_names(Metric::decoded), names);
    for (const TrialOutcome& o : cases) {
        const std::string text = encode_outcome(o, Metric::decoded);
        TrialOutcome back;
        ASSERT_TRUE(decode_outcome(text, back, Metric::decoded)) << text;
        EXPECT_EQ(back.bits, o.bits) << text;
        EXPECT_EQ(back.errors, o.errors) << text;
        EXPECT_EQ(back.syncMiss, o.syncMiss) << text;
        EXPECT_EQ(back.seconds, o.seconds)
            << text;  // exact: the text reads back to the same double
        for (std::size_t r = 0; r < kReceiverCount; ++r) {
            const ReceiverCounts& a = back.receivers[r];
            const ReceiverCounts& b = o.receivers[r];
            EXPECT_EQ(std::tie(a.codedBits, a.codedErrors, a.infoBits, a.infoErrors, a.blocks,
                               a.blockErrors),
                      std::tie(b.codedBits, b.codedErrors, b.infoBits, b.infoErrors, b.blocks,
                               b.blockErrors))
                << text;
        }
    }
}

TEST(OutcomeText, RefusesAnythingElse) {
    const std::string counts = " 0 0 0 0 0 0 5760 97 2736 12 2 1 0 0 0 0 0 0";
    const std::string good = "2880 3 0 0.5" + counts;
    TrialOutcome o;
    ASSERT_TRUE(decode_outcome(good, o, Metric::decoded));
    for (const std::string& text :
         {std::string(), std::string("2880 3 0 0.5"), good + " 7", "2880 3 2 0.5" + counts,
          "2880 x 0 0.5" + counts, " " + good, good + " ", "2880  3 0 0.5" + counts,
          "2880 3 0 0.5x" + counts, "99999999999999999999 3 0 0.5" + counts,
          good.substr(0, good.size() - 2)}) {
        EXPECT_FALSE(decode_outcome(text, o, Metric::decoded)) << "'" << text << "'";
    }
}

SweepConfig journal_config() {
    SweepConfig c = testing::small_config(2);
    c.minTrials = 3;
    return c;
}

// The receivers' counts of a record of a trial at `rate` of `config` without errors, as text: a
// trial's own for the receivers that run, zeros for the others.
std::string trial_counts(const SweepConfig& config, double rate = 2400) {
    const ReceiverCounts size = trial_size(config, rate);
    std::string s;
    for (std::size_t r = 0; r < kReceiverCount; ++r) {
        const bool runs = std::find(config.receivers.begin(), config.receivers.end(),
                                    static_cast<ReceiverKind>(r)) != config.receivers.end();
        for (const std::int64_t v : {size.codedBits, std::int64_t{0}, size.infoBits,
                                     std::int64_t{0}, size.blocks, std::int64_t{0}}) {
            s += " " + std::to_string(runs ? v : 0);
        }
    }
    return s;
}

// An outcome of a trial of journal_config() (2880 coded bits a trial, the baseline receiver).
TrialOutcome trial_outcome(std::int64_t errors, bool syncMiss, double seconds) {
    TrialOutcome o{2880, errors, syncMiss, seconds, {}, {}};
    o.receivers[static_cast<std::size_t>(ReceiverKind::baseline)] =
        trial_size(journal_config(), 2400);
    return o;
}

// The CRC of a record `text` in a journal of `config`: seeded with its header's.
std::string record_crc(const SweepConfig& config, const std::string& text) {
    const std::string header = journal_header(sweep_parameters(config, "9.9"));
    const auto seed = static_cast<std::uint32_t>(
        std::stoul(header.substr(header.rfind("end ") + 4, 8), nullptr, 16));
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08x", crc32(text, seed));
    return buf;
}

// Appends `text` to `file` as it is.
void append_raw(const std::string& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::app);
    out << text;
}

TEST(Journal, NewFileGetsItsHeaderAndRecordsReadBack) {
    ScratchDir dir("journal-new");
    const std::string file = dir / "j.txt";
    const SweepConfig c = journal_config();
    {
        Journal j(file, c, "9.9");
        EXPECT_EQ(j.known_count(), 0);
        j.append({0, 0}, trial_outcome(12, false, 0.25));
        j.append({8, 41}, trial_outcome(0, true, 1.5));
    }
    EXPECT_TRUE(read_file(file).starts_with(journal_header(sweep_parameters(c, "9.9"))));
    Journal j(file, c, "9.9");
    EXPECT_EQ(j.known_count(), 2);
    EXPECT_FALSE(j.torn_record());
    EXPECT_EQ(j.damaged_records(), 0);
    const std::vector<KnownTrial> known = j.take_known();
    ASSERT_EQ(known.size(), 2u);
    EXPECT_EQ(known[1].ticket.point, 8);
    EXPECT_EQ(known[1].ticket.trial, 41);
    EXPECT_EQ(known[1].outcome.bits, 2880);
    EXPECT_TRUE(known[1].outcome.syncMiss);
    EXPECT_EQ(known[1].outcome.seconds, 1.5);
}

TEST(Journal, ATornLastRecordIsDroppedAndCutOff) {
    ScratchDir dir("journal-torn");
    const std::string file = dir / "j.txt";
    const SweepConfig c = journal_config();
    {
        Journal j(file, c, "9.9");
        j.append({1, 0}, trial_outcome(12, false, 0.25));
        j.append({1, 1}, trial_outcome(13, false, 0.25));
    }
    const std::string whole = read_file(file);
    // A kill in the middle of the third record's write.
    append_raw(file, "1 2 2880 1");
    {
        Journal j(file, c, "9.9");
        EXPECT_TRUE(j.torn_record());
        EXPECT_EQ(j.known_count(), 2);
        EXPECT_EQ(read_file(file), whole);  // cut back to the last whole record
        j.append({1, 2}, trial_outcome(14, false, 0.25));
    }
    Journal j(file, c, "9.9");
    EXPECT_FALSE(j.torn_record());
    EXPECT_EQ(j.damaged_records(), 0);
    EXPECT_EQ(j.known_count(), 3);
}

TEST(Journal, DamagedRecordsAreSkippedNotTrusted) {
    ScratchDir dir("journal-damaged");
    const std::string file = dir / "j.txt";
    const SweepConfig c = journal_config();
    {
        Journal j(file, c, "9.9");
        j.append({1, 0}, trial_outcome(12, false, 0.25));
    }
    const std::string counts = trial_counts(c);
    const std::string good = "1 1 2880 13 0 0.25" + counts;
    const std::string crc = record_crc(c, good);
    append_raw(file, "1 1 2880 99 0 0.25" + counts + " " + crc + "\n");  // a changed count
    append_raw(file, good + " 00000000\n");                              // a wrong checksum
    append_raw(file, "\n");                                              // an empty line
    // A record of another journal (another seed): its CRC is seeded with the other header's.
    SweepConfig other = c;
    other.seed = 99;
    append_raw(file, "1 2 2880 1 0 0.25" + counts + " " +
                         record_crc(other, "1 2 2880 1 0 0.25" + counts) + "\n");
    append_raw(file, good + " " + crc + "\n");  // the one sound record after them
    Journal j(file, c, "9.9");
    EXPECT_EQ(j.damaged_records(), 4);
    EXPECT_EQ(j.known_count(), 2);
    const std::vector<KnownTrial> known = j.take_known();
    EXPECT_EQ(known[1].outcome.errors, 13);
}

TEST(Journal, AJournalOfAnotherSweepIsRefusedNamingTheParameter) {
    ScratchDir dir("journal-other");
    const std::string file = dir / "j.txt";
    const SweepConfig c = journal_config();
    { Journal j(file, c, "9.9"); }
    struct Case {
        void (*change)(SweepConfig&);
        const char* version;
        const char* difference;
    };
    const Case cases[] = {
        {[](SweepConfig& x) { x.seed = 12; }, "9.9", "seed 11 in the journal, 12 here"},
        {[](SweepConfig& x) { x.minErrors = 151; }, "9.9",
         "minErrors 150 in the journal, 151 here"},
        {[](SweepConfig& x) { x.maxBits = 1; }, "9.9", "maxBits 12000 in the journal, 1 here"},
        {[](SweepConfig& x) { x.minTrials = 1; }, "9.9", "minTrials 3 in the journal, 1 here"},
        {[](SweepConfig& x) {
             x.esno = {0, 5};
         },
         "9.9", "esno 0,5,10 in the journal, 0,5 here"},
        {[](SweepConfig& x) { x.conditions = {"bom"}; }, "9.9",
         "conditions awgn,bom,ruim in the journal, bom here"},
        {[](SweepConfig& x) { x.interLen = 4.8; }, "9.9", "interLen 0.6 in the journal, 4.8 here"},
        {[](SweepConfig& x) { x.nFrame = 2; }, "9.9", "nFrame 1 in the journal, 2 here"},
        {[](SweepConfig& x) { x.shaping.rolloffFactor = 0.5; }, "9.9",
         "shaping.rolloffFactor 0.35 in the journal, 0.5 here"},
        {[](SweepConfig& x) { x.shaping.pulseDelay = 4; }, "9.9",
         "shaping.pulseDelay 6 in the journal, 4 here"},
        {[](SweepConfig& x) { x.shaping.oversamplingFactor = 10; }, "9.9",
         "shaping.oversamplingFactor 5 in the journal, 10 here"},
        {[](SweepConfig&) {}, "10.0", "version 9.9 in the journal, 10.0 here"},
        {[](SweepConfig& x) {
             x.receivers = {ReceiverKind::hf, ReceiverKind::genie};
         },
         "9.9", "receivers baseline in the journal, hf,genie here"},
        {[](SweepConfig& x) { x.metric = Metric::decoded; }, "9.9",
         "metric coded in the journal, decoded here"},
        {[](SweepConfig& x) { x.floor = 1e-6; }, "9.9", "floor 0 in the journal, 1e-06 here"},
        {[](SweepConfig& x) { x.minEvents = 7; }, "9.9", "minEvents 5 in the journal, 7 here"},
        {[](SweepConfig& x) { x.stopOn = StopOn::all; }, "9.9",
         "stopOn first in the journal, all here"},
    };
    for (const Case& k : cases) {
        SweepConfig other = c;
        k.change(other);
        try {
            Journal j(file, other, k.version);
            ADD_FAILURE() << "accepted: " << k.difference;
        } catch (const Error& e) {
            EXPECT_EQ(e.identifier(), errid::kUnusableFile);
            EXPECT_EQ(std::string(e.what()),
                      "checkpoint: '" + file + "' holds the trials of another sweep (" +
                          k.difference +
                          "); give the same parameters to resume it, or another file");
        }
    }
    // Threads are no parameter of the results.
    SweepConfig more_threads = c;
    more_threads.threads = 7;
    EXPECT_NO_THROW(Journal(file, more_threads, "9.9"));
}

TEST(Journal, RefusesWhatIsNotItsOwn) {
    ScratchDir dir("journal-foreign");
    const SweepConfig c = journal_config();
    struct Case {
        const char* name;
        std::string content;
        const char* message;
    };
    const std::string header = journal_header(sweep_parameters(c, "9.9"));
    std::string bad_crc = header;
    bad_crc[bad_crc.size() - 2] = bad_crc[bad_crc.size() - 2] == '0' ? '1' : '0';
    // A sound header, but for records of another layout.
    std::string other_fields = header.substr(0, header.find("end "));
    other_fields.replace(other_fields.find("record point trial"), 18, "record point trial x");
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", crc32(other_fields));
    other_fields += std::string("end ") + crc + "\n";
    // A journal written when the baseline receiver had its former name (format 1).
    std::string old_names = header.substr(0, header.find("end "));
    old_names.replace(old_names.find("format 4"), 8, "format 1");
    for (std::size_t at; (at = old_names.find(" baseline_")) != std::string::npos;) {
        old_names.replace(at, 10, " spec_");
    }
    std::snprintf(crc, sizeof crc, "%08x", crc32(old_names));
    old_names += std::string("end ") + crc + "\n";
    // A journal of format 2, whose records were not tied to their header.
    std::string format2 = header.substr(0, header.find("end "));
    format2.replace(format2.find("format 4"), 8, "format 2");
    std::snprintf(crc, sizeof crc, "%08x", crc32(format2));
    format2 += std::string("end ") + crc + "\n";
    const Case cases[] = {
        {"table.txt", "# hfchain 0.1.0 sweep\n     1    0.00\n",
         "is not a checkpoint journal of hfchain"},
        {"crc.txt", bad_crc, "has a damaged header"},
        {"format.txt", "hfchain checkpoint journal, format 5\n",
         "is a journal of format 5, written by another hfchain (this one reads format 4, whose "
         "points stop on error events); it cannot be resumed"},
        {"format2.txt", format2,
         "is a journal of format 2, written by another hfchain (this one reads format 4, whose "
         "points stop on error events); it cannot be resumed"},
        {"fields.txt", other_fields, "holds records of other fields"},
        {"renamed.txt", old_names,
         "before the receiver without equaliser took its present name 'baseline'"},
        {"format1.txt", "hfchain checkpoint journal, format 1\nversion 0.1.0\n--interleaver 0.6\n",
         "is a journal of format 1, written by another hfchain"},
    };
    for (const Case& k : cases) {
        const std::string file = dir / k.name;
        append_raw(file, k.content);
        try {
            Journal j(file, c, "9.9");
            ADD_FAILURE() << "accepted " << k.name;
        } catch (const Error& e) {
            EXPECT_EQ(e.identifier(), errid::kUnusableFile) << k.name;
            EXPECT_NE(std::string(e.what()).find(k.message), std::string::npos) << e.what();
        }
        EXPECT_EQ(read_file(file), k.content) << "changed " << k.name;
    }
    // An empty file (made with `touch`), or one whose creator was killed while writing the
    // header, becomes a new journal.
    for (const std::string& start : {std::string(), header.substr(0, header.size() / 2)}) {
        const std::string empty = dir / "empty.txt";
        std::ofstream(empty, std::ios::binary) << start;
        EXPECT_NO_THROW(Journal(empty, c, "9.9"));
        EXPECT_EQ(read_file(empty), header);
    }
    // A folder is no journal.
    try {
        Journal j(dir.path().string(), c, "9.9");
        ADD_FAILURE() << "accepted a folder";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("is a folder"), std::string::npos) << e.what();
    }
}

TEST(Journal, RecordsThatNoTrialOfTheSweepCanHaveWrittenAreRefusedNamingTheirLine) {
    ScratchDir dir("journal-impossible");
    const SweepConfig c = journal_config();  // 9 points, at least 3 trials, at most 12000 bits
    const std::string header = journal_header(sweep_parameters(c, "9.9"));
    const int first_record = static_cast<int>(std::count(header.begin(), header.end(), '\n')) + 1;
    const std::string counts = trial_counts(c);
    auto record = [&](const std::string& text) { return text + " " + record_crc(c, text) + "\n"; };
    const std::string good = record("0 0 2880 3 0 0.5" + counts);
    SweepConfig other = c;
    other.seed = 99;
    const std::string other_journal = journal_header(sweep_parameters(other, "9.9"));
    struct Case {
        std::string body;
        int line;  // of the refused record, counted from the first record
        std::string message;
    };
    const Case cases[] = {
        {record("9 0 2880 1 0 0.5" + counts), 0, "point 9 is not one of the sweep's 9"},
        {record("0 1000000000000 2880 1 0 0.5" + counts), 0,
         "trial 1000000000000 is beyond what its point can need"},
        {good + record("0 1 0 0 0 0.5" + counts), 1,
         "0 bits, where every trial of its rate compares 2880"},
        {good + record("0 1 2000 0 0 0.5" + counts), 1,
         "2000 bits, where every trial of its rate compares 2880"},
        // Every record alike, but not what a trial of the parameters compares.
        {record("0 0 1 0 0 0.5" + counts) + record("0 1 1 0 0 0.5" + counts), 0,
         "1 bits, where every trial of its rate compares 2880"},
        {record("0 1 2880 1 0 0.5 2880 0 1000000000000000 0 1 0" + counts.substr(18)), 0,
         "baseline's 2880 coded bits, 1000000000000000 information bits and 1 blocks, where "
         "every trial of its rate has 2880, 1296 and 1"},
        {record("0 1 2880 1 0 0.5 2880 0 1296 0 2 0" + counts.substr(18)), 0,
         "baseline's 2880 coded bits, 1296 information bits and 2 blocks, where every trial of "
         "its rate has 2880, 1296 and 1"},
        // A receiver the sweep does not run.
        {record("0 1 2880 1 0 0.5" + counts.substr(0, 18) + " 2880 0 1296 0 1 0" +
                counts.substr(18 + 12)),
         0,
         "hf's 2880 coded bits, 1296 information bits and 1 blocks, where every trial of its "
         "rate has 0, 0 and 0"},
        {record("0 1 2880 1 0 -1e+308" + counts), 0, "a time of -1e+308 s"},
        {record("0 1 2880 1 0 nan" + counts), 0, "a time of NaN s"},
        {record("0 1 2880 1 0 inf" + counts), 0, "a time of Inf s"},
        {record("0 1 2880 2881 0 0.5" + counts), 0, "more errors than bits, or a negative count"},
        {record("0 1 2880 -1 0 0.5" + counts), 0, "more errors than bits, or a negative count"},
        {record("0 1 2880 1 0 0.5 2880 2881 1296 0 1 0" + counts.substr(18)), 0,
         "more errors than bits, or a negative count"},
        // Two journals joined: `cat part.journal other-seed.journal > j`.
        {good + other_journal + good, 1, "a second journal header (two journals joined into one?)"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.message);
        const std::string file = dir / "j.txt";
        std::ofstream(file, std::ios::binary) << header << k.body;
        try {
            Journal j(file, c, "9.9");
            ADD_FAILURE() << "accepted";
        } catch (const Error& e) {
            EXPECT_EQ(e.identifier(), errid::kUnusableFile);
            EXPECT_EQ(std::string(e.what()), "checkpoint: '" + file + "', line " +
                                                 std::to_string(first_record + k.line) + ": " +
                                                 k.message +
                                                 "; it was not written by this sweep: give "
                                                 "another file");
        }
        EXPECT_EQ(read_file(file), header + k.body);
    }
    // The last trial the engine may have finished out of order is still taken.
    const std::string file = dir / "far.txt";
    std::ofstream(file, std::ios::binary) << header << record("0 500000 2880 1 0 0.5" + counts);
    EXPECT_EQ(Journal(file, c, "9.9").known_count(), 1);
}

// The header records the rates and each rate's blocks per trial. A header without a rates line
// (written before the other rates) holds 2400 bit/s trials numbered and seeded as a sweep of
// 2400 bit/s alone still does: it resumes as such and is refused for any other rates.
TEST(Journal, RecordsTheRatesAndReadsAHeaderWithoutThemAs2400) {
    ScratchDir dir("journal-rates");
    SweepConfig c = journal_config();
    const std::string counts = trial_counts(c);

    SweepConfig rates = c;
    rates.rates = {75, 2400};
    const SweepParameters p = sweep_parameters(rates, "9.9");
    const std::string header = journal_header(p);
    EXPECT_NE(header.find("\nrates 75,2400\nint"), std::string::npos) << header;
    EXPECT_NE(header.find("\nnFrame 4,1\n"), std::string::npos) << header;
    {
        // Each rate's trials compare their own number of bits (points 0..8: 75 bit/s).
        const std::string file = dir / "two.txt";
        auto record = [&](const std::string& text) {
            return text + " " + record_crc(rates, text) + "\n";
        };
        std::ofstream(file, std::ios::binary)
            << header << record("0 0 360 3 0 0.5" + trial_counts(rates, 75))
            << record("9 0 2880 3 0 0.5" + counts) << record("10 0 2880 3 0 0.5" + counts);
        EXPECT_EQ(Journal(file, rates, "9.9").known_count(), 3);
        SweepConfig alone = c;
        try {
            Journal j(file, alone, "9.9");
            ADD_FAILURE() << "accepted";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()),
                      "checkpoint: '" + file +
                          "' holds the trials of another sweep (rates 75,2400 in the journal, "
                          "2400 here); give the same parameters to resume it, or another file");
        }
    }

    // The header as the program before the rates wrote it: the same lines without "rates".
    SweepParameters before;
    for (const auto& item : sweep_parameters(c, "9.9")) {
        if (item.first != "rates") before.push_back(item);
    }
    const std::string old_header = journal_header(before);
    const auto seed = static_cast<std::uint32_t>(
        std::stoul(old_header.substr(old_header.rfind("end ") + 4, 8), nullptr, 16));
    const std::string text = "4 1 2880 3 0 0.5" + counts;
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", crc32(text, seed));
    const std::string file = dir / "old.txt";
    std::ofstream(file, std::ios::binary) << old_header << text << ' ' << crc << '\n';
    {
        Journal j(file, c, "9.9");
        const std::vector<KnownTrial> known = j.take_known();
        ASSERT_EQ(known.size(), 1u);
        EXPECT_EQ(known[0].ticket.point, 4);
    }
    SweepConfig other = c;
    other.rates = {600};
    EXPECT_THROW(Journal(file, other, "9.9"), Error);
}

TEST(Journal, OfTwoSweepsStartedTogetherOnANewFileOneRunsAndTheOtherIsRefused) {
    ScratchDir dir("journal-race");
    const SweepConfig c = journal_config();
    // The race is narrow: many tries, each two threads released at once on a new file.
    for (int attempt = 0; attempt < 200; ++attempt) {
        const std::string file = dir / ("j" + std::to_string(attempt) + ".txt");
        std::atomic<int> ready{0};
        std::unique_ptr<Journal> journals[2];
        std::string refusals[2];
        auto start = [&](int k) {
            ++ready;
            while (ready.load() < 2) {
            }
            try {
                journals[k] = std::make_unique<Journal>(file, c, "9.9");
            } catch (const Error& e) {
                refusals[k] = e.what();
            }
        };
        std::thread a(start, 0);
        std::thread b(start, 1);
        a.join();
        b.join();
        const int running = (journals[0] != nullptr) + (journals[1] != nullptr);
        ASSERT_EQ(running, 1) << "attempt " << attempt << ": " << refusals[0] << refusals[1];
        EXPECT_EQ(refusals[0] + refusals[1],
                  "checkpoint: '" + file + "' is in use by another running sweep");
        // The one running writes into the file under the name, not into a replaced one.
        Journal& j = *(journals[0] != nullptr ? journals[0] : journals[1]);
        j.append({0, 0}, trial_outcome(1, false, 0.5));
        j.sync();
        EXPECT_NE(read_file(file).find("\n0 0 2880 1 0 0.5 "), std::string::npos);
    }
}

TEST(Journal, OneSweepAtATime) {
    ScratchDir dir("journal-lock");
    const std::string file = dir / "j.txt";
    const SweepConfig c = journal_config();
    Journal first(file, c, "9.9");
    try {
        Journal second(file, c, "9.9");
        ADD_FAILURE() << "two journals on one file";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "checkpoint: '" + file + "' is in use by another running sweep");
    }
}

// The stand-in's errors in outcomes of the size of journal_config()'s trials, as the journal
// takes them back.
class SizedRunner final : public TrialRunner {
public:
    TrialOutcome run(const TrialJob& job) override {
        const TrialOutcome fake = inner_.run(job);
        TrialOutcome o = trial_outcome(fake.errors, fake.syncMiss, fake.seconds);
        ReceiverCounts& baseline = o.receivers[static_cast<std::size_t>(ReceiverKind::baseline)];
        baseline.codedErrors = fake.errors;
        baseline.infoErrors = std::min(fake.errors, baseline.infoBits);
        baseline.blockErrors = fake.errors > 0 ? 1 : 0;
        return o;
    }

private:
    testing::FakeRunner inner_{2880};
};

// Stops the sweep (as a stop signal would) after a number of trials.
class StoppingRunner final : public TrialRunner {
public:
    StoppingRunner(std::atomic<bool>& flag, std::atomic<int>& count, int after)
        : flag_(flag), count_(count), after_(after) {}
    TrialOutcome run(const TrialJob& job) override {
        if (++count_ >= after_) flag_ = true;
        if (flag_) raise(hfchain::errid::kInterrupted, "Interrupted by the user.");
        return inner_.run(job);
    }

private:
    std::atomic<bool>& flag_;
    std::atomic<int>& count_;
    int after_;
    SizedRunner inner_;
};

TEST(Journal, ResumedSweepsGiveTheUninterruptedResult) {
    const TrialRunnerFactory sized = [] { return std::make_unique<SizedRunner>(); };
    const std::vector<PointResult> expected =
        run_sweep(journal_config(), sized, nullptr, nullptr).points;
    for (const int stop_after : {1, 7, 25, 60}) {
        SCOPED_TRACE(stop_after);
        ScratchDir dir("journal-resume");
        const std::string file = dir / "j.txt";
        SweepConfig c = journal_config();
        // Runs that stop early, one after the other, each resuming the last.
        std::atomic<std::int64_t> journaled{0};
        for (int run = 0; run < 3; ++run) {
            Journal j(file, c, "9.9");
            EXPECT_EQ(j.known_count(), journaled.load());
            const std::vector<KnownTrial> known = j.take_known();
            std::atomic<bool> flag{false};
            std::atomic<int> count{0};
            SweepHooks hooks;
            hooks.known = &known;
            hooks.finished = [&](const TrialTicket& t, const TrialOutcome& o) {
                j.append(t, o);
                ++journaled;
            };
            run_sweep(
                c, [&] { return std::make_unique<StoppingRunner>(flag, count, stop_after); }, &flag,
                nullptr, hooks);
        }
        Journal j(file, c, "9.9");
        const std::vector<KnownTrial> known = j.take_known();
        SweepHooks hooks;
        hooks.known = &known;
        hooks.finished = [&](const TrialTicket& t, const TrialOutcome& o) { j.append(t, o); };
        const SweepResult r = run_sweep(c, sized, nullptr, nullptr, hooks);
        EXPECT_FALSE(r.interrupted);
        testing::expect_same_points(r.points, expected);
    }
}

}  // namespace
}  // namespace hfchain::sweep
