// The configuration's checks: each refusal names the field it refuses, as the caller names it.
#include "sweep/config.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "runtime/error.hpp"
#include "sweep/trial.hpp"

namespace hfchain::sweep {
namespace {

SweepConfig accepted() {
    SweepConfig c;
    c.conditions = {"awgn", "ruim"};
    c.esno = {0, 10};
    c.snr3kAxis = false;
    return c;
}

// The message of the refusal of `config` under `names`, or "accepted".
std::string refusal(const SweepConfig& config, const FieldNames& names = {}) {
    try {
        check_config(config, names);
    } catch (const Error& e) {
        EXPECT_EQ(e.identifier(), errid::kInvalidConfig) << e.what();
        return e.what();
    }
    return "accepted";
}

TEST(CheckConfig, EachRefusalNamesItsField) {
    struct Case {
        std::function<void(SweepConfig&)> change;
        const char* message;
    };
    const Case cases[] = {
        {[](SweepConfig&) {}, "accepted"},
        {[](SweepConfig& c) { c.interLen = 1.2; },
         "interLen: 1.2 s is not an interleaver length; accepted: 0.6 or 4.8"},
        {[](SweepConfig& c) { c.nFrame = 0; }, "accepted"},  // each rate's default
        {[](SweepConfig& c) { c.nFrame = -1; },
         "nFrame: -1 is not accepted; give a number of interleaver blocks above 0 and at most "
         "10000"},
        {[](SweepConfig& c) { c.rates = {}; },
         "rates: no data rate given; accepted: 4800, 2400, 1200, 600, 300, 150, 75"},
        {[](SweepConfig& c) {
             c.rates = {2400, 9600};
         },
         "rates: 9600 bit/s is not a data rate of the waveform; accepted: 4800, 2400, 1200, 600, "
         "300, 150, 75"},
        {[](SweepConfig& c) {
             c.rates = {600, 2400, 600};
             c.receivers = {ReceiverKind::baseline};
         },
         "rates: 600 bit/s is named twice"},
        {[](SweepConfig& c) {  // with its only frame, 0.6 s (rate_interleaver)
             c.rates = {4800, 2400};
             c.receivers = {ReceiverKind::baseline};
         },
         "accepted"},
        {[](SweepConfig& c) {
             c.rates = {4800, 75};
             c.interLen = 0.6;
             c.receivers = {ReceiverKind::baseline};
         },
         "accepted"},
        {[](SweepConfig& c) {
             c.rates = {2400, 600};
             c.receivers = {ReceiverKind::baseline, ReceiverKind::hf, ReceiverKind::genie};
         },
         "accepted"},
        {[](SweepConfig& c) {
             c.rates = {75};
             c.interLen = 0.6;
             c.nFrame = 3;
             c.receivers = {ReceiverKind::baseline};
         },
         "nFrame: 3 blocks of 0.6 s at 75 bit/s carry no information bit besides the encoder's "
         "144 flush bits (a block holds 45 bits); give at least 4 (a whole number)"},
        {[](SweepConfig& c) {
             c.rates = {2400, 150};
             c.interLen = 0.6;
             c.nFrame = 1;
             c.receivers = {ReceiverKind::baseline};
         },
         "nFrame: 1 block of 0.6 s at 150 bit/s carries no information bit besides the encoder's "
         "144 flush bits (a block holds 90 bits); give at least 2 (a multiple of 1/2, exact in "
         "binary)"},
        {[](SweepConfig& c) { c.shaping.rolloffFactor = 0; },
         "shaping.rolloffFactor: 0 is outside the accepted range (0, 1]"},
        {[](SweepConfig& c) { c.shaping.pulseDelay = 65; },
         "shaping.pulseDelay: 65 is not accepted; give a whole number of symbol periods from 1 "
         "to 64"},
        {[](SweepConfig& c) { c.shaping.oversamplingFactor = 4; },
         "shaping.oversamplingFactor: with 4 samples per symbol the second ray of 'ruim' would "
         "lie 19.2 samples behind the first; 'bom', 'moderado' and 'ruim' need a multiple of 5 "
         "('muito_ruim' and 'awgn' take any)"},
        {[](SweepConfig& c) { c.conditions = {}; },
         "conditions: no condition given; accepted: bom, moderado, ruim, muito_ruim, "
         "itu_low_quiet, itu_low_moderate, itu_low_disturbed, itu_mid_quiet, "
         "itu_mid_moderate, itu_mid_disturbed, itu_mid_disturbed_nvis, itu_high_quiet, "
         "itu_high_moderate, itu_high_disturbed, awgn, or a written channel such as "
         "2p:2ms:1Hz"},
        {[](SweepConfig& c) { c.conditions = {"Ruim"}; },
         "conditions: unknown condition 'Ruim'; accepted: bom, moderado, ruim, "
         "muito_ruim, itu_low_quiet, itu_low_moderate, itu_low_disturbed, itu_mid_quiet, "
         "itu_mid_moderate, itu_mid_disturbed, itu_mid_disturbed_nvis, itu_high_quiet, "
         "itu_high_moderate, itu_high_disturbed, awgn, or a written channel such as "
         "2p:2ms:1Hz"},
        {[](SweepConfig& c) {
             c.conditions = {"ruim", "awgn", "ruim"};
         },
         "conditions: 'ruim' is named twice"},
        {[](SweepConfig& c) {
             c.conditions = {"itu_high_moderate", "2p:2ms:1Hz:off=-75Hz"};
         },
         "accepted"},
        {[](SweepConfig& c) { c.conditions = {"paths=0ms/0dB/1Hz+2ms/0dB/1Hz"}; },
         "conditions: 'paths=0ms/0dB/1Hz+2ms/0dB/1Hz' is the channel '2p:2ms:1Hz': give it in that "
         "spelling (canonical_condition makes it)"},
        {[](SweepConfig& c) {
             c.conditions = {"2p:2ms:1Hz", "2p:2ms"};
         },
         "conditions: In '2p:2ms': expected Np:DELAY:SPREAD; write a preset's name, "
         "Np:DELAY:SPREAD[:shift=F][:off=F] (such as 2p:2ms:1Hz) or "
         "paths=DELAY/POWER/SPREAD[/SHIFT]+...[:off=F] (such as "
         "paths=0ms/0dB/1Hz+2ms/-3dB/1Hz)."},
        {[](SweepConfig& c) {
             c.conditions = {"2p:5ms:1Hz", "itu_low_disturbed"};
             c.receivers = {ReceiverKind::genie, ReceiverKind::hf};
         },
         "receivers: 'itu_low_disturbed': The hf receiver's channel sounder finds paths at most "
         "12 symbols (5 ms) apart; this channel's lie 14.4 symbols apart. Run it with the "
         "baseline receiver and the genie."},
        {[](SweepConfig& c) {
             c.conditions = {"itu_high_disturbed", "muito_ruim", "2p:5ms:1Hz"};
             c.receivers = {ReceiverKind::genie, ReceiverKind::baseline};
         },
         "accepted"},
        {[](SweepConfig& c) {
             c.conditions = {"itu_mid_disturbed_nvis"};
             c.shaping.oversamplingFactor = 4;
         },
         "shaping.oversamplingFactor: with 4 samples per symbol path 2 of "
         "'itu_mid_disturbed_nvis' would lie 67.2 samples behind the start; give samples per "
         "symbol that make every delay a whole number of samples"},
        // The channel block's rule: whole to a billionth of a sample, as decimal delays are
        // rarely exact in binary (2.25 ms at 5 samples per symbol is 26.999999999999996).
        {[](SweepConfig& c) {
             c.conditions = {"2p:2.25ms:1Hz", "16p:0.25ms:1Hz"};
             c.receivers = {ReceiverKind::baseline};
         },
         "accepted"},
        {[](SweepConfig& c) {
             c.conditions = {"2p:1.1ms:1Hz"};
             c.shaping.oversamplingFactor = 25;
         },
         "accepted"},
        {[](SweepConfig& c) { c.conditions = {"2p:1.1ms:1Hz"}; },
         "shaping.oversamplingFactor: with 5 samples per symbol path 2 of '2p:1.1ms:1Hz' would "
         "lie 13.200000000000001 samples behind the start; give samples per symbol that make "
         "every delay a whole number of samples"},
        {[](SweepConfig& c) { c.esno = {}; }, "esno: no Es/N0 value given"},
        {[](SweepConfig& c) {
             c.esno = {3, NAN};
         },
         "esno: NaN dB is not accepted; give finite values from -200 to 200 dB"},
        {[](SweepConfig& c) { c.receivers = {}; },
         "receivers: no receiver given; accepted: baseline, hf, genie"},
        {[](SweepConfig& c) {
             c.receivers = {ReceiverKind::hf, ReceiverKind::hf};
         },
         "receivers: 'hf' is named twice"},
        {[](SweepConfig& c) { c.minTrials = 0; },
         "minTrials: 0 is not accepted; give a whole number of at least 1"},
        {[](SweepConfig& c) { c.minErrors = -1; },
         "minErrors: -1 is not accepted; give a whole number of at least 1"},
        {[](SweepConfig& c) { c.maxBits = 0; },
         "maxBits: 0 is not accepted; give a whole number of at least 1"},
        {[](SweepConfig& c) { c.threads = -2; },
         "threads: -2 is not accepted; give a whole number of at least 0"},
        {[](SweepConfig& c) { c.threads = 257; }, "threads: at most 256 worker threads"},
        {[](SweepConfig& c) { c.floor = 2; },
         "floor: 2 is not an error rate; give one from 0 (none) to 1"},
        {[](SweepConfig& c) { c.floor = -1e-6; },
         "floor: -1e-06 is not an error rate; give one from 0 (none) to 1"},
        {[](SweepConfig& c) {
             c.floor = 1e-6;
             c.esno = {10, 0};
         },
         "floor: a curve ends at its first point below the floor, so its points must ascend; 0 "
         "dB comes after 10 dB"},
        {[](SweepConfig& c) {
             c.floor = 1e-6;
             c.esno = {10, 0};
             c.floor = 0;
         },
         "accepted"},
        // An entry in the data: a whole block after it; decoded, by the hf receiver alone.
        {[](SweepConfig& c) {
             c.late = LateEntry::data;
             c.receivers = {ReceiverKind::hf};
         },
         "accepted"},
        {[](SweepConfig& c) {
             c.late = LateEntry::data;
             c.metric = Metric::acquisition;
             c.rates = {2400, 150};
             c.interLen = 0.6;
             c.nFrame = 3;
         },
         "nFrame: 3 blocks at 150 bit/s; an entry in the data needs its block and the next whole "
         "block to hold information bits, before the blocks the flush bits reach: give a whole "
         "number of at least 4 (0: at each rate the fewest)"},
        {[](SweepConfig& c) {
             c.late = LateEntry::data;
             c.receivers = {ReceiverKind::hf};
             c.nFrame = 3.5;
         },
         "nFrame: 3.5 blocks at 2400 bit/s; an entry in the data needs its block and the next "
         "whole block to hold information bits, before the blocks the flush bits reach: give a "
         "whole number of at least 3 (0: at each rate the fewest)"},
        {[](SweepConfig& c) { c.late = LateEntry::data; },
         "late: an entry in the data is decoded by the hf receiver alone (the others need the "
         "preamble); give receivers hf"},
        {[](SweepConfig& c) {
             c.late = LateEntry::data;
             c.receivers = {ReceiverKind::hf};
             c.metric = Metric::coded;
         },
         "late: an entry in the data counts the decoded bits of the next whole block; give metric "
         "decoded or acquisition"},
        {[](SweepConfig& c) {
             c.late = LateEntry::data;
             c.receivers = {ReceiverKind::hf};
             c.rates = {2400, 75};
         },
         "accepted"},
        {[](SweepConfig& c) { c.late = LateEntry::preamble; },
         "late: only an acquisition sweep takes it; give metric acquisition"},
    };
    for (const Case& k : cases) {
        SweepConfig c = accepted();
        k.change(c);
        EXPECT_EQ(refusal(c), k.message);
    }
}

// The defaults are a whole sweep, the main job's: every condition at SNR(3 kHz) 0, 2, ..., 20 dB.
// Two spellings of one channel are one condition: the callers canonicalise, and the check then
// finds the two named twice.
TEST(CheckConfig, SpellingsOfOneChannelAreOneCondition) {
    SweepConfig c = accepted();
    c.conditions = {"2p:2ms:1Hz", "paths=2ms/-1dB/1Hz+0ms/-1dB/1Hz", "ruim", "nonsense"};
    for (std::string& name : c.conditions) name = canonical_condition(name);
    EXPECT_EQ(c.conditions,
              (std::vector<std::string>{"2p:2ms:1Hz", "2p:2ms:1Hz", "ruim", "nonsense"}));
    c.conditions.pop_back();
    EXPECT_EQ(refusal(c), "conditions: '2p:2ms:1Hz' is named twice");
}

TEST(CheckConfig, TheDefaultsAreTheMainJob) {
    const SweepConfig c;
    EXPECT_EQ(refusal(c), "accepted");
    EXPECT_EQ(c.conditions,
              (std::vector<std::string>{"bom", "moderado", "ruim", "muito_ruim", "awgn"}));
    ASSERT_EQ(c.esno.size(), 11u);
    for (std::size_t i = 0; i < c.esno.size(); ++i) {
        EXPECT_NEAR(c.esno[i], 2.0 * static_cast<double>(i) + 0.9691001300805639, 1e-12);
    }
    EXPECT_TRUE(c.snr3kAxis);
    EXPECT_EQ(c.receivers, (std::vector<ReceiverKind>{ReceiverKind::hf, ReceiverKind::genie}));
}

// A fractional nFrame is accepted where the transmitter's count of information bits is whole, and
// refused naming nFrame where it is not: 1.1 blocks are 1584 pairs of coded bits, but 1.1 has no
// exact binary form and the double-precision count misses the whole number.
TEST(CheckNframe, FractionsAreRefusedNamingNframeWhereTheCountIsNotWhole) {
    struct Case {
        double nFrame, rate, interLen;
        const char* message;  // empty: accepted
    };
    const Case cases[] = {
        {1.125, 2400, 0.6, ""},
        {1.5, 2400, 4.8, ""},
        {1.25, 75, 4.8, ""},
        {1.1, 2400, 0.6,
         "nFrame: 1.1 blocks of 0.6 s at 2400 bit/s do not give a whole number of information "
         "bits: the transmitter counts nFrame x 1440 - 144 in double precision, here "
         "1440.0000000000002 (a fraction without an exact binary form, such as 1.1, misses the "
         "whole number by rounding); give a multiple of 1/32, exact in binary, such as 1.09375 "
         "or 1.125"},
        {1.0001, 2400, 0.6,
         "nFrame: 1.0001 blocks of 0.6 s at 2400 bit/s do not give a whole number of information "
         "bits: the transmitter counts nFrame x 1440 - 144 in double precision, here "
         "1296.144 (a fraction without an exact binary form, such as 1.1, misses the whole "
         "number by rounding); give a multiple of 1/32, exact in binary, such as 1 or 1.03125"},
        {5, 75, 0.6, ""},
        {4.1, 75, 0.6,
         "nFrame: 4.1 blocks of 0.6 s at 75 bit/s do not give a whole number of information "
         "bits: the transmitter counts nFrame x 45 - 144 in double precision, here "
         "40.499999999999972 (a fraction without an exact binary form, such as 1.1, misses the "
         "whole number by rounding); give a whole number, such as 4 or 5"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.nFrame << " blocks at " << k.rate << " bit/s");
        try {
            check_nframe(k.nFrame, k.rate, k.interLen);
            EXPECT_STREQ(k.message, "");
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), k.message);
        }
    }
}

// Without -n each rate takes the fewest whole blocks that carry information bits: one at 2400
// bit/s (the blocks per trial before the other rates), more where a block holds fewer encoder
// input bits than the 144 flush bits. Each default is accepted and one block fewer is not.
TEST(DefaultNframe, TheFewestWholeBlocksThatCarryInformationBits) {
    struct Case {
        double rate, interLen, blocks;
    };
    const Case cases[] = {
        {4800, 0.6, 1}, {2400, 0.6, 1}, {2400, 4.8, 1}, {1200, 0.6, 1}, {600, 0.6, 1},
        {300, 0.6, 1},  {150, 0.6, 2},  {150, 4.8, 1},  {75, 0.6, 4},   {75, 4.8, 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.rate << " bit/s, " << k.interLen << " s");
        EXPECT_EQ(default_nframe(k.rate, k.interLen), k.blocks);
        EXPECT_NO_THROW(check_nframe(k.blocks, k.rate, k.interLen));
        if (k.blocks > 1) {
            EXPECT_THROW(check_nframe(k.blocks - 1, k.rate, k.interLen), Error);
        }
    }
    SweepConfig c;
    c.interLen = 0.6;
    c.rates = {75, 150, 2400};
    EXPECT_EQ(nframe_text(c), "4,2,1");
    EXPECT_TRUE(shows_rate(c));
    c.nFrame = 5;
    EXPECT_EQ(nframe_text(c), "5");
    EXPECT_EQ(trial_nframe(c, 75), 5);
    c.rates = {2400};
    c.nFrame = 0;
    EXPECT_EQ(nframe_text(c), "1");
    EXPECT_FALSE(shows_rate(c));
    // An entry in the data sends its block and the next of information bits, then the blocks
    // the flush bits reach.
    c.late = LateEntry::data;
    c.rates = {75, 150, 2400};
    EXPECT_EQ(nframe_text(c), "6,4,3");
}

// The caller's names replace the fields' own in the message, nested fields included.
TEST(CheckConfig, MessagesUseTheCallersNames) {
    const FieldNames names = [](std::string_view field) { return "<" + std::string(field) + ">"; };
    SweepConfig c = accepted();
    c.shaping.pulseDelay = 0.5;
    EXPECT_EQ(refusal(c, names),
              "<shaping.pulseDelay>: 0.5 is not accepted; give a whole number of symbol periods "
              "from 1 to 64");
    EXPECT_EQ(field_name({}, "seed"), "seed");
    EXPECT_EQ(field_name(names, "seed"), "<seed>");
}

TEST(SingleValueChecks, SeedsAndCountsAreWholeNumbersInRange) {
    struct Case {
        std::function<void()> check;
        const char* message;  // empty: accepted
    };
    const Case cases[] = {
        {[] { check_seed(4294967295.0, "seed"); }, ""},
        {[] { check_seed(4294967296.0, "txSeed"); },
         "txSeed: 4294967296 is not a seed; accepted: a whole number from 0 to 4294967295"},
        {[] { check_seed(1.5, "seed"); },
         "seed: 1.5 is not a seed; accepted: a whole number from 0 to 4294967295"},
        {[] { EXPECT_EQ(check_count(9007199254740992.0, 1, "maxBits"), 9007199254740992); }, ""},
        {[] { check_count(9007199254740994.0, 1, "maxBits"); },
         "maxBits: 9007199254740994 is not accepted; give a whole number from 1 to "
         "9007199254740992 (2^53, the largest held exactly)"},
        {[] { check_count(2.5, 0, "threads"); },
         "threads: 2.5 is not accepted; give a whole number of at least 0"},
        {[] { check_point(-200, "esno"); }, ""},
        {[] { check_point(200.5, "esno"); },
         "esno: 200.5 dB is not accepted; give finite values from -200 to 200 dB"},
    };
    for (const Case& k : cases) {
        try {
            k.check();
            EXPECT_STREQ(k.message, "");
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), k.message);
        }
    }
}

// A sweep with the 4.8 s interleaver runs 4800 bit/s with its only frame, 0.6 s, and says so in
// its tables; the other rates keep the long one.
TEST(RateInterleaver, FourThousandEightHundredKeepsItsOwnFrame) {
    SweepConfig long_frame;
    long_frame.rates = {2400, 4800};
    SweepConfig short_frame = long_frame;
    short_frame.interLen = 0.6;
    EXPECT_EQ(trial_size(long_frame, 4800).codedBits, trial_size(short_frame, 4800).codedBits);
    EXPECT_EQ(trial_size(long_frame, 2400).codedBits, 8 * trial_size(short_frame, 2400).codedBits);
    EXPECT_EQ(interleaver_note(long_frame), " (4800 bit/s: 0.6 s, its only frame)");
    EXPECT_EQ(interleaver_note(short_frame), "");
}

// The bit limit holds at every rate: a slow rate whose trials carry few bits takes most of the
// time, which the note says; not where the least number of trials sets the time, nor for one rate.
TEST(BudgetNote, NamesTheRateTheBitLimitMakesSlow) {
    struct Case {
        std::vector<double> rates;
        std::int64_t maxBits;
        const char* note;  // its start, or empty
    };
    const Case cases[] = {
        {{75, 600, 2400}, 1000000, "75 bit/s takes about 9"},
        {{2400}, 1000000, ""},
        {{75, 2400}, 100, ""},
        {{1200, 2400}, 1000000, ""},
    };
    for (const Case& c : cases) {
        SweepConfig config;
        config.interLen = 0.6;
        config.rates = c.rates;
        config.maxBits = c.maxBits;
        const std::string note = budget_note(config);
        EXPECT_EQ(note.substr(0, std::string(c.note).size()), c.note) << note;
        EXPECT_EQ(note.empty(), std::string(c.note).empty()) << note;
    }
}

}  // namespace
}  // namespace hfchain::sweep
