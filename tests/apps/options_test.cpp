// The command line: ranges, accepted values, and the messages of refused ones.
#include "apps/options.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace hfchain::app {
namespace {

Invocation parse(std::vector<const char*> args) {
    args.insert(args.begin(), "hfchain");
    return parse_command_line(static_cast<int>(args.size()), args.data(), "test");
}

TEST(EsnoList, RangesAndValues) {
    struct Case {
        const char* text;
        std::vector<double> points;
    };
    const Case cases[] = {
        {"0:2:10", {0, 2, 4, 6, 8, 10}},
        {"0:2:9", {0, 2, 4, 6, 8}},
        {"10:-5:0", {10, 5, 0}},
        {"3:5", {3, 4, 5}},
        {"7", {7}},
        {"-1.5,2:0.5:3,20", {-1.5, 2, 2.5, 3, 20}},
        {"0:0.1:0.3", {0, 0.1, 0.2, 0.30000000000000004}},  // 0.3 reached despite rounding
        {"1e1", {10}},
    };
    for (const Case& c : cases) {
        const std::vector<double> got = parse_esno_list(c.text);
        ASSERT_EQ(got.size(), c.points.size()) << c.text;
        for (std::size_t i = 0; i < got.size(); ++i)
            EXPECT_DOUBLE_EQ(got[i], c.points[i]) << c.text;
    }
}

TEST(EsnoList, RefusedTexts) {
    for (const char* text : {"", "abc", "1::2", "0:0:5", "5:1:0", "1:2:3:4", "0:1e-9:10", "1,",
                             "nan", "inf", "300", "2x"}) {
        EXPECT_THROW(parse_esno_list(text), UsageError) << text;
    }
}

TEST(CommandLine, AcceptedSweep) {
    const Invocation inv =
        parse({"sweep", "-C", "awgn,muito_ruim", "--esno", "0:5:10", "--min-errors", "50",
               "--max-bits", "1e6", "-j", "2", "--seed", "4294967295", "-i", "4.8", "-M", "4"});
    ASSERT_EQ(inv.command, Command::sweep);
    const SweepConfig& c = inv.sweep.config;
    EXPECT_EQ(c.conditions, (std::vector<std::string>{"awgn", "muito_ruim"}));
    EXPECT_EQ(c.esno, (std::vector<double>{0, 5, 10}));
    EXPECT_EQ(c.minErrors, 50);
    EXPECT_EQ(c.maxBits, 1000000);
    EXPECT_EQ(c.threads, 2);
    EXPECT_EQ(c.seed, 4294967295u);
    EXPECT_EQ(c.interLen, 4.8);
    EXPECT_EQ(c.shaping.oversamplingFactor, 4);
}

TEST(CommandLine, NoArgumentsIsTheDefaultSweepWithItsPicture) {
    const Invocation inv = parse({});
    ASSERT_EQ(inv.command, Command::sweep);
    EXPECT_EQ(inv.sweep.plot, "hfchain-sweep.svg");
    EXPECT_EQ(inv.sweep.config.conditions.size(), 5u);
    EXPECT_NO_THROW(check_sweep_options(inv.sweep));
}

TEST(CommandLine, AcceptedRun) {
    const Invocation inv = parse({"run", "-c", "none", "--nframe", "0.5", "--tx-seed", "0",
                                  "--rolloff", "1", "--delay", "3", "-M", "2"});
    ASSERT_EQ(inv.command, Command::run);
    EXPECT_EQ(inv.run.channel, "none");
    EXPECT_EQ(inv.run.nFrame, 0.5);
    EXPECT_EQ(inv.run.shaping.pulseDelay, 3);
}

TEST(CommandLine, RefusedValuesSayWhatIsAccepted) {
    struct Case {
        std::vector<const char*> args;
        const char* message;
    };
    const Case cases[] = {
        {{"sweep", "-C", "awgn,Bom"},
         "--conditions: unknown condition 'Bom'; accepted: bom, moderado, ruim, muito_ruim, awgn"},
        {{"sweep", "-C", "awgn,awgn"}, "--conditions: 'awgn' is named twice"},
        {{"run", "-c", "rayleigh"},
         "--channel: unknown channel 'rayleigh'; accepted: none, bom, moderado, ruim, "
         "muito_ruim, awgn"},
        {{"sweep", "-i", "1.2"},
         "--interleaver: 1.2 s is not an interleaver length; accepted: 0.6 or 4.8"},
        {{"run", "-i", "0.59"},
         "--interleaver: 0.59 s is not an interleaver length; accepted: 0.6 or 4.8"},
        {{"sweep", "--min-errors", "-5"},
         "--min-errors: -5 is not accepted; give a whole number of at least 1"},
        {{"sweep", "--max-bits", "2.5"},
         "--max-bits: 2.5 is not accepted; give a whole number of at least 1"},
        {{"sweep", "--threads", "-1"},
         "--threads: -1 is not accepted; give a whole number of at least 0"},
        {{"sweep", "--seed", "-1"},
         "--seed: -1 is not a seed; accepted: a whole number from 0 to 4294967295"},
        {{"run", "--channel-seed", "4294967296"},
         "--channel-seed: 4294967296 is not a seed; accepted: a whole number from 0 to "
         "4294967295"},
        {{"run", "--nframe", "-1"},
         "--nframe: -1 is not accepted; give a number of interleaver blocks above 0 and at most "
         "10000"},
        {{"sweep", "--rolloff", "0"}, "--rolloff: 0 is outside the accepted range (0, 1]"},
        {{"sweep", "--delay", "2.5"},
         "--delay: 2.5 is not accepted; give a whole number of symbol periods from 1 to 64"},
        {{"sweep", "-C", "bom", "-M", "4"},
         "--oversampling: with 4 samples per symbol the second ray of 'bom' would lie 4.8 "
         "samples behind the first; 'bom', 'moderado' and 'ruim' need a multiple of 5 "
         "('muito_ruim' and 'awgn' take any)"},
        {{"sweep", "--esno", "0:0:5"},
         "--esno: '0:0:5' is not a range; accepted: START:STEP:STOP with a step that leads from "
         "START to STOP in at most 1000 steps"},
        {{"sweep", "--plot", "x.pdf"},
         "--plot: 'x.pdf' is not accepted; give a file ending in .svg or .png"},
    };
    for (const Case& c : cases) {
        try {
            parse(c.args);
            ADD_FAILURE() << "accepted: " << c.message;
        } catch (const UsageError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
}

}  // namespace
}  // namespace hfchain::app
