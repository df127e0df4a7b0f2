// The command line: ranges, sizes, accepted values, and the messages of refused ones.
#include "apps/options.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

#include "tests/support/programs.hpp"

namespace hfchain::app {
namespace {

using sweep::Metric;
using sweep::SweepConfig;

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
    const Invocation inv = parse({"sweep",     "-C",           "awgn,muito_ruim",
                                  "--esno",    "0:5:10",       "--min-errors",
                                  "50",        "--min-events", "40",
                                  "--stop-on", "all",          "--max-bits",
                                  "1e6",       "-j",           "2",
                                  "--seed",    "4294967295",   "-i",
                                  "4.8",       "-M",           "4"});
    ASSERT_EQ(inv.command, Command::sweep);
    const SweepConfig& c = inv.sweep.config;
    EXPECT_EQ(c.conditions, (std::vector<std::string>{"awgn", "muito_ruim"}));
    EXPECT_EQ(c.esno, (std::vector<double>{0, 5, 10}));
    EXPECT_EQ(c.minErrors, 50);
    EXPECT_EQ(c.minEvents, 40);
    EXPECT_EQ(c.stopOn, sweep::StopOn::all);
    EXPECT_EQ(c.maxBits, 1000000);
    EXPECT_EQ(c.threads, 2);
    EXPECT_EQ(c.seed, 4294967295u);
    EXPECT_EQ(c.interLen, 4.8);
    EXPECT_EQ(c.shaping.oversamplingFactor, 4);
    EXPECT_EQ(c.floor, 0);
    EXPECT_TRUE(inv.sweep.targets.empty());
    const Invocation crossings =
        parse({"sweep", "--floor", "1e-6", "--targets", "1e-3,2.5e-5", "--crossings", "/dev/null"});
    EXPECT_EQ(crossings.sweep.config.floor, 1e-6);
    EXPECT_EQ(crossings.sweep.targets, (std::vector<double>{1e-3, 2.5e-5}));
    EXPECT_EQ(crossings.sweep.crossings, "/dev/null");
}

// The table's defaults: the long interleaver, hf and genie, every row; each option sets its field.
TEST(CommandLine, AcceptedRequirements) {
    const Invocation defaults = parse({"requirements"});
    ASSERT_EQ(defaults.command, Command::requirements);
    const sweep::RequirementsConfig& d = defaults.requirements.config;
    EXPECT_EQ(d.interLen, 4.8);
    EXPECT_EQ(d.receivers, (std::vector<ReceiverKind>{ReceiverKind::hf, ReceiverKind::genie}));
    EXPECT_TRUE(d.rows.empty());
    EXPECT_EQ(d.resolution, 0.3);
    const Invocation inv = parse({"requirements",
                                  "--rows",
                                  "10,2",
                                  "-r",
                                  "baseline,hf",
                                  "-i",
                                  "0.6",
                                  "--resolution",
                                  "0.2",
                                  "--step",
                                  "3",
                                  "--lowest",
                                  "-5",
                                  "--highest",
                                  "35",
                                  "--max-bits",
                                  "2e5",
                                  "--min-trials",
                                  "7",
                                  "--stop-on",
                                  "all",
                                  "-s",
                                  "9",
                                  "-j",
                                  "3",
                                  "-q"});
    const sweep::RequirementsConfig& c = inv.requirements.config;
    EXPECT_EQ(c.rows, (std::vector<std::size_t>{10, 2}));
    EXPECT_EQ(c.receivers, (std::vector<ReceiverKind>{ReceiverKind::baseline, ReceiverKind::hf}));
    EXPECT_EQ(c.interLen, 0.6);
    EXPECT_EQ(c.resolution, 0.2);
    EXPECT_EQ(c.step, 3);
    EXPECT_EQ(c.lowest, -5);
    EXPECT_EQ(c.highest, 35);
    EXPECT_EQ(c.stop.maxBits, 200000);
    EXPECT_EQ(c.stop.minTrials, 7);
    EXPECT_EQ(c.stop.stopOn, sweep::StopOn::all);
    EXPECT_EQ(c.seed, 9u);
    EXPECT_EQ(c.threads, 3);
    EXPECT_FALSE(inv.requirements.progress);
}

TEST(CommandLine, RefusedRequirementsSayWhatIsAccepted) {
    struct Case {
        std::vector<const char*> args;
        const char* message;
    };
    const Case cases[] = {
        {{"requirements", "--rows", "1,x"},
         "--rows: '1,x' is not accepted; give row numbers (0 to 10) joined by commas, for "
         "example 2,3"},
        {{"requirements", "--rows", "-1"},
         "--rows: '-1' is not accepted; give row numbers (0 to 10) joined by commas, for "
         "example 2,3"},
        {{"requirements", "--rows", "3,"},
         "--rows: '3,' is not accepted; give row numbers (0 to 10) joined by commas, for "
         "example 2,3"},
        {{"requirements", "--rows", "12"}, "--rows: 12 is no row; give rows 0 to 10"},
        {{"requirements", "--rows", "4,4"}, "--rows: row 4 is given twice; give each row once"},
        {{"requirements", "--resolution", "0"},
         "--resolution: 0 dB is not accepted; give a resolution above 0.001 dB and at most the "
         "step (2 dB)"},
        {{"requirements", "--step", "50"},
         "--step: 50 dB is not accepted; give a step from 0.1 to 20 dB"},
        {{"requirements", "--highest", "20"},
         "--highest: row 1 requires 27 dB, outside the search range -10 to 20 dB"},
        {{"requirements", "-i", "1.2"},
         "--interleaver: 1.2 s is not an interleaver length; accepted: 0.6 or 4.8"},
        {{"requirements", "-r", "hf,hf"}, "--receiver: 'hf' is named twice"},
        {{"requirements", "-r", "equaliser"},
         "--receiver: unknown receiver 'equaliser'; accepted: a comma-separated list of "
         "baseline, hf, genie"},
        {{"requirements", "--stop-on", "each"},
         "--stop-on: 'each' is not accepted; give first or all"},
        {{"requirements", "--max-bits", "0"},
         "--max-bits: 0 is not accepted; give a whole number of at least 1"},
        {{"requirements", "--plot", "table.pdf"},
         "--plot: 'table.pdf' is not accepted; give a file ending in .svg or .png"},
        {{"requirements", "--plot-axis", "snr"},
         "--plot-axis: 'snr' is not accepted; give esno, snr3k or ebno"},
        {{"requirements", "--rows", ""}, "--rows: an empty value is not accepted"},
        {{"requirements", "--csv", ""}, "--csv: an empty value is not accepted"},
    };
    for (const Case& c : cases) {
        try {
            parse(c.args);
            ADD_FAILURE() << "accepted: " << c.message;
        } catch (const UsageError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
    // Two outputs naming one file, by different spellings.
    RequirementsOptions o = default_requirements();
    o.csv = "/tmp/hfchain-req-clash";
    o.json = "/tmp/./hfchain-req-clash";
    EXPECT_THROW(check_requirements_outputs(o), UsageError);
}

// --rate takes one rate for run and a list for sweep, in order; without -n each rate takes its
// default blocks per trial (the sweep's nFrame 0), with -n every rate the blocks given.
TEST(CommandLine, RatesAndTheirBlocksPerTrial) {
    const Invocation sweep =
        parse({"sweep", "--rate", "75,4800,2400", "-i", "0.6", "-r", "baseline"});
    ASSERT_EQ(sweep.command, Command::sweep);
    EXPECT_EQ(sweep.sweep.config.rates, (std::vector<double>{75, 4800, 2400}));
    EXPECT_EQ(sweep.sweep.config.nFrame, 0);
    EXPECT_EQ(sweep::nframe_text(sweep.sweep.config), "4,1,1");
    EXPECT_EQ(parse({"sweep"}).sweep.config.rates, (std::vector<double>{2400}));
    EXPECT_EQ(parse({"sweep", "--rate", "600", "-n", "3", "-r", "baseline"}).sweep.config.nFrame,
              3);
    const Invocation run = parse({"run", "--rate", "150", "-n", "2", "-r", "baseline"});
    ASSERT_EQ(run.command, Command::run);
    EXPECT_EQ(run.run.rate, 150);
    EXPECT_EQ(run.run.nFrame, 2);
    EXPECT_EQ(parse({"run"}).run.rate, 2400);
    EXPECT_EQ(parse({"run"}).run.nFrame, 1);
    // run without -n: the rate's fewest blocks, as the sweep's.
    for (const auto& [rate, blocks] : {std::pair{"75", 4.0}, {"150", 2.0}, {"300", 1.0}}) {
        EXPECT_EQ(parse({"run", "--rate", rate, "-i", "0.6", "-r", "baseline"}).run.nFrame, blocks)
            << rate;
    }
    EXPECT_EQ(parse({"run", "--rate", "75", "-i", "4.8", "-r", "baseline"}).run.nFrame, 1);
}

// The points given as SNR in 3 kHz become Es/N0 = SNR + 10 log10(3000/2400); the plot's axis
// follows what was given unless --axis (or, for the picture alone, --plot-axis) says otherwise;
// receivers and metric as listed.
TEST(CommandLine, PointsReceiversMetricAndAxis) {
    struct Case {
        std::vector<const char*> args;
        std::vector<double> esno;
        bool snr3kAxis, plotSnr3k;
        std::vector<ReceiverKind> receivers;
        Metric metric;
        sweep::PlotAxis plotAxis;
    };
    using A = sweep::PlotAxis;
    const double o = 10 * std::log10(3000.0 / 2400.0);
    using R = ReceiverKind;
    const Case cases[] = {
        {{"sweep", "--snr3k", "0,6"},
         {o, 6 + o},
         true,
         true,
         {R::hf, R::genie},
         Metric::decoded,
         A::snr3k},
        {{"sweep", "-e", "0,6"}, {0, 6}, false, false, {R::hf, R::genie}, Metric::decoded, A::esno},
        {{"sweep", "-e", "0,6", "--plot-axis", "ebno"},
         {0, 6},
         false,
         false,
         {R::hf, R::genie},
         Metric::decoded,
         A::ebno},
        {{"sweep", "-e", "3", "--axis", "snr3k", "-r", "genie,baseline", "--metric", "coded"},
         {3},
         false,
         true,
         {R::genie, R::baseline},
         Metric::coded,
         A::snr3k},
        {{"sweep", "--snr3k", "1", "--axis", "esno", "-r", "baseline"},
         {1 + o},
         true,
         false,
         {R::baseline},
         Metric::decoded,
         A::esno},
    };
    for (const Case& c : cases) {
        const Invocation inv = parse(c.args);
        ASSERT_EQ(inv.command, Command::sweep);
        const SweepConfig& k = inv.sweep.config;
        ASSERT_EQ(k.esno.size(), c.esno.size());
        for (std::size_t i = 0; i < c.esno.size(); ++i) EXPECT_NEAR(k.esno[i], c.esno[i], 1e-12);
        EXPECT_EQ(k.snr3kAxis, c.snr3kAxis);
        EXPECT_EQ(inv.sweep.plotSnr3k, c.plotSnr3k);
        EXPECT_EQ(inv.sweep.plotAxis, c.plotAxis);
        EXPECT_EQ(k.receivers, c.receivers);
        EXPECT_EQ(k.metric, c.metric);
    }
    EXPECT_EQ(parse({"run", "-r", "genie"}).run.receivers, std::vector<R>{R::genie});
    EXPECT_EQ(parse({"run"}).run.receivers, (std::vector<R>{R::baseline, R::hf, R::genie}));
}

// Without arguments the program only prints its usage; the main job is `sweep` on its defaults
// (scripts/run.sh adds the picture).
TEST(CommandLine, NoArgumentsIsTheUsageAndSweepAloneTheDefaultSweep) {
    const Invocation bare = parse({});
    EXPECT_EQ(bare.command, Command::none);
    EXPECT_EQ(bare.exitCode, 0);
    const Invocation inv = parse({"sweep"});
    ASSERT_EQ(inv.command, Command::sweep);
    EXPECT_EQ(inv.sweep.plot, "");
    EXPECT_EQ(inv.sweep.format, TableFormat::automatic);
    EXPECT_EQ(inv.sweep.config.conditions.size(), 5u);
    EXPECT_NO_THROW(check_sweep_options(inv.sweep));
}

TEST(CommandLine, AcceptedRun) {
    const Invocation inv =
        parse({"run", "-c", "none", "--nframe", "0.5", "--tx-seed", "0", "--rolloff", "1",
               "--delay", "3", "-M", "2", "--max-memory", "2G"});
    ASSERT_EQ(inv.command, Command::run);
    EXPECT_EQ(inv.run.channel, "none");
    EXPECT_EQ(inv.run.nFrame, 0.5);
    EXPECT_EQ(inv.run.shaping.pulseDelay, 3);
    EXPECT_EQ(inv.run.maxMemory, 2.0 * 1073741824);
}

TEST(CommandLine, HelpAndVersionAreNoErrors) {
    for (const std::vector<const char*>& args :
         {std::vector<const char*>{"--help"}, {"--version"}, {"sweep", "--help"}}) {
        const Invocation inv = parse_command_line(
            static_cast<int>(args.size()) + 1,
            [&] {
                static std::vector<const char*> a;
                a = args;
                a.insert(a.begin(), "hfchain");
                return a.data();
            }(),
            "test", /*print=*/false);
        EXPECT_EQ(inv.command, Command::none);
        EXPECT_EQ(inv.exitCode, 0);
    }
}

TEST(OutputChecks, MissingFoldersAndClashesAreRefusedBeforeAnyWork) {
    testing::ScratchDir dir("outputs");
    const std::string missing = dir / "missing";
    const std::string file = dir / "file.txt";
    std::ofstream(file) << "x";
    struct Case {
        const char* option;
        std::string path;
        std::string message;
    };
    const Case cases[] = {
        {"--csv", missing + "/t.csv",
         "--csv: the folder '" + missing + "' of '" + missing + "/t.csv' does not exist"},
        {"--json", dir.path().string(),
         "--json: '" + dir.path().string() + "' is a folder; give a file name"},
        {"--output", file + "/t.txt",
         "--output: '" + file + "' in '" + file + "/t.txt' is not a folder"},
        {"--plot", missing + "/p.svg",
         "--plot: the folder '" + missing + "' of '" + missing + "/p.svg' does not exist"},
        {"--checkpoint", missing + "/j.txt",
         "--checkpoint: the folder '" + missing + "' of '" + missing + "/j.txt' does not exist"},
        {"--save", missing + "/r.mat",
         "--save: the folder '" + missing + "' of '" + missing + "/r.mat' does not exist"},
        {"run --plot", missing + "/p.png",
         "--plot: the folder '" + missing + "' of '" + missing + "/p.png' does not exist"},
        {"run --plot", dir / "r.mat", "--plot: '" + (dir / "r.mat") + "' is also given to --save"},
    };
    for (const Case& c : cases) {
        SweepOptions s = default_sweep();
        s.plot.clear();
        RunOptions r;
        const std::string option = c.option;
        if (option == "--csv") s.csv = c.path;
        if (option == "--json") s.json = c.path;
        if (option == "--output") s.output = c.path;
        if (option == "--plot") s.plot = c.path;
        if (option == "--checkpoint") s.checkpoint = c.path;
        if (option == "--save") r.save = c.path;
        if (option == "run --plot") {
            r.plot = c.path;
            r.save = dir / "r.mat";  // the picture must not go over the signals
        }
        try {
            if (option == "--save" || option == "run --plot") {
                check_run_outputs(r);
            } else {
                check_sweep_outputs(s);
            }
            ADD_FAILURE() << "accepted " << c.option << ' ' << c.path;
        } catch (const UsageError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
    // Two results into one file.
    SweepOptions s = default_sweep();
    s.plot.clear();
    s.csv = file;
    s.checkpoint = file;
    try {
        check_sweep_outputs(s);
        ADD_FAILURE() << "accepted one file twice";
    } catch (const UsageError& e) {
        EXPECT_EQ(std::string(e.what()), "--checkpoint: '" + file + "' is also given to --csv");
    }
    // The same file by another spelling, a link, or the journal as a result.
    const std::string sub = dir / "sub";
    std::filesystem::create_directory(sub);
    std::filesystem::create_symlink(file, dir / "link.txt");
    const std::string other_spellings[][3] = {
        {"--csv", dir / "s2", dir.path().string() + "/./s2"},
        {"--csv", dir / "s2", sub + "/../s2"},
        {"--checkpoint", dir / "jj", dir.path().string() + "/sub/../jj"},
        {"--checkpoint", file, dir / "link.txt"},
    };
    for (const auto& [first, a, b] : other_spellings) {
        SweepOptions t = default_sweep();
        t.plot.clear();
        (first == "--csv" ? t.csv : t.checkpoint) = a;
        t.json = b;
        try {
            check_sweep_outputs(t);
            ADD_FAILURE() << "accepted " << a << " and " << b;
        } catch (const UsageError& e) {
            // Named by the later option of the list.
            EXPECT_EQ(std::string(e.what()),
                      first == "--csv"
                          ? "--json: '" + b + "' is also given to --csv (as '" + a + "')"
                          : "--checkpoint: '" + a + "' is also given to --json (as '" + b + "')");
        }
    }
    // Devices are written in place.
    s.checkpoint.clear();
    s.csv = "/dev/null";
    EXPECT_NO_THROW(check_sweep_outputs(s));
}

TEST(CommandLine, RefusedValuesSayWhatIsAccepted) {
    struct Case {
        std::vector<const char*> args;
        const char* message;
    };
    const Case cases[] = {
        {{"sweep", "-C", "awgn,Bom"},
         "--conditions: unknown condition 'Bom'; accepted: bom, moderado, ruim, "
         "muito_ruim, itu_low_quiet, itu_low_moderate, itu_low_disturbed, itu_mid_quiet, "
         "itu_mid_moderate, itu_mid_disturbed, itu_mid_disturbed_nvis, itu_high_quiet, "
         "itu_high_moderate, itu_high_disturbed, awgn, or a written channel such as "
         "2p:2ms:1Hz"},
        {{"sweep", "-C", "awgn,awgn"}, "--conditions: 'awgn' is named twice"},
        {{"run", "-c", "rayleigh"},
         "--channel: unknown channel 'rayleigh'; accepted: none, bom, moderado, ruim, "
         "muito_ruim, itu_low_quiet, itu_low_moderate, itu_low_disturbed, itu_mid_quiet, "
         "itu_mid_moderate, itu_mid_disturbed, itu_mid_disturbed_nvis, itu_high_quiet, "
         "itu_high_moderate, itu_high_disturbed, awgn, or a written channel such as 2p:2ms:1Hz"},
        {{"run", "-c", "2p:2ms:xHz"},
         "--channel: In '2p:2ms:xHz': 'xHz' is not a Doppler spread (a number followed by Hz)."},
        {{"run", "-c", "2p:7ms:1Hz", "-r", "hf"},
         "--receiver: '2p:7ms:1Hz': The hf receiver's channel sounder finds paths at most 12 "
         "symbols (5 ms) apart; this channel's lie 16.8 symbols apart. Run it with the baseline "
         "receiver and the genie."},
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
        {{"sweep", "--rate", "9600"},
         "--rate: 9600 bit/s is not a data rate of the waveform; accepted: 4800, 2400, 1200, "
         "600, 300, 150, 75"},
        {{"sweep", "--rate", "600,fast"},
         "--rate: '600,fast' is not a list of data rates; accepted: bit/s from 4800, 2400, 1200, "
         "600, 300, 150, 75, joined by commas"},
        {{"sweep", "--rate", "600,"},
         "--rate: '600,' holds an empty item; give names joined by single commas"},
        {{"sweep", "--rate", "600,600", "-r", "baseline"}, "--rate: 600 bit/s is named twice"},
        {{"run", "--rate", "4800", "-i", "4.8", "-r", "baseline"},
         "--rate: 4800 bit/s is uncoded and has no 4.8 s interleaver; give it with --interleaver "
         "0.6"},
        {{"run", "--rate", "75", "-n", "1", "-r", "baseline"},
         "--nframe: 1 block of 0.6 s at 75 bit/s carries no information bit besides the encoder's "
         "144 flush bits (a block holds 45 bits); give at least 4 (a whole number)"},
        {{"sweep", "--rate", "75,2400", "-i", "0.6", "-n", "2", "-r", "baseline"},
         "--nframe: 2 blocks of 0.6 s at 75 bit/s carry no information bit besides the encoder's "
         "144 flush bits (a block holds 45 bits); give at least 4 (a whole number)"},
        {{"sweep", "-n", "0"},
         "--nframe: 0 is not accepted; give a number of interleaver blocks above 0 and at most "
         "10000"},
        {{"run", "-n", "1.1", "-r", "baseline"},
         "--nframe: 1.1 blocks of 0.6 s at 2400 bit/s do not give a whole number of information "
         "bits: the transmitter counts nFrame x 1440 - 144 in double precision, here "
         "1440.0000000000002 (a fraction without an exact binary form, such as 1.1, misses the "
         "whole number by rounding); give a multiple of 1/32, exact in binary, such as 1.09375 "
         "or 1.125"},
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
        {{"run", "-n", "0.11"},
         "--nframe: 0.11 blocks of 0.6 s at 2400 bit/s do not give a whole number of information "
         "bits: the transmitter counts nFrame x 1440 - 144 in double precision, here "
         "14.400000000000006 (a fraction without an exact binary form, such as 1.1, misses the "
         "whole number by rounding); give a multiple of 1/32, exact in binary, such as 0.125"},
        {{"sweep", "-i", "0.6", "-n", "0.05"},
         "--nframe: 0.05 blocks of 0.6 s at 2400 bit/s carry no information bit besides the "
         "encoder's 144 flush bits (a block holds 1440 bits); give at least 0.125 (a multiple of "
         "1/32, exact in binary)"},
        {{"run", "-i", "4.8", "-n", "0.01"},
         "--nframe: 0.01 blocks of 4.8 s at 2400 bit/s carry no information bit besides the "
         "encoder's 144 flush bits (a block holds 11520 bits); give at least 0.015625 (a multiple "
         "of 1/256, exact in binary)"},
        {{"sweep", "--max-memory", "lots"},
         "--max-memory: 'lots' is not a size; give bytes with an optional K, M, G or T (powers "
         "of 1024), for example 512M or 1.5G"},
        // The parser's own refusals name the option too.
        {{"sweep", "--bogus"}, "The following argument was not expected: --bogus"},
        {{"sweep", "-j", "abc"}, "Could not convert: --threads = abc"},
        {{"sweep", "-e"}, "--esno: 1 required DB missing"},
        {{"frobnicate"}, "The following argument was not expected: frobnicate"},
        // Receivers, metric, the SNR axis.
        {{"sweep", "-e", "3", "--snr3k", "2"},
         "--snr3k: give the points either as Es/N0 (--esno) or as SNR in a 3 kHz bandwidth "
         "(--snr3k), not both"},
        {{"sweep", "--snr3k", "0:2:x"},
         "--snr3k: '0:2:x' is not a list of SNR values; accepted: numbers in dB and "
         "START:STEP:STOP ranges joined by commas, for example 0:2:20,25"},
        {{"sweep", "-r", "hf,oracle"},
         "--receiver: unknown receiver 'oracle'; accepted: a comma-separated list of baseline, hf, "
         "genie"},
        {{"sweep", "-r", "genie,genie"}, "--receiver: 'genie' is named twice"},
        {{"run", "-r", ""}, "--receiver: an empty value is not accepted"},
        {{"run", "-r", "hf,"},
         "--receiver: unknown receiver ''; accepted: a comma-separated list of baseline, hf, "
         "genie"},
        {{"sweep", "--stop-on", "both"}, "--stop-on: 'both' is not accepted; give first or all"},
        {{"sweep", "--min-events", "0"},
         "--min-events: 0 is not accepted; give a whole number of at least 1"},
        {{"sweep", "--metric", "blocks"},
         "--metric: 'blocks' is not accepted; give coded, decoded or acquisition"},
        {{"sweep", "--axis", "ebno"}, "--axis: 'ebno' is not accepted; give esno or snr3k"},
        {{"sweep", "--late", "postamble"},
         "--late: 'postamble' is not accepted; give preamble or data"},
        // The crossings and the floor.
        {{"sweep", "--targets", "1e-3,2"},
         "--targets: '1e-3,2' is not accepted; give up to 20 error rates above 0 and below 1, "
         "joined by commas, for example 1e-3,1e-5"},
        {{"sweep", "--crossings", "x.md"},
         "--crossings: give the error rates to cross with --targets"},
        {{"sweep", "--snr3k", "10,8", "--floor", "1e-6"},
         "--floor: a curve ends at its first point below the floor, so its points must ascend; 8 "
         "dB comes after 10 dB"},
        {{"sweep", "--floor", "2"}, "--floor: 2 is not an error rate; give one from 0 (none) to 1"},
        // Lists: decimal numbers only, no empty item, no point twice.
        {{"sweep", "--esno", "0x10"},
         "--esno: '0x10' is not a list of Es/N0 values; accepted: numbers in dB and "
         "START:STEP:STOP ranges joined by commas, for example 0:2:20,25"},
        {{"sweep", "--esno", "3,"},
         "--esno: '3,' is not a list of Es/N0 values; accepted: numbers in dB and "
         "START:STEP:STOP ranges joined by commas, for example 0:2:20,25"},
        {{"sweep", "-C", "awgn,"},
         "--conditions: 'awgn,' holds an empty item; give names joined by single commas"},
        {{"sweep", "-C", "awgn,,bom"},
         "--conditions: 'awgn,,bom' holds an empty item; give names joined by single commas"},
        {{"sweep", "--esno", "4,4"}, "--esno: 4 dB is given twice"},
        {{"sweep", "--esno", "0:2:6,4"}, "--esno: 4 dB is given twice"},
        {{"sweep", "--snr3k", "3,3"}, "--snr3k: 3 dB is given twice"},
        {{"sweep", "--targets", "0x1p-3"},
         "--targets: '0x1p-3' is not accepted; give up to 20 error rates above 0 and below 1, "
         "joined by commas, for example 1e-3,1e-5"},
        {{"sweep", "--max-memory", "0x10M"},
         "--max-memory: '0x10M' is not a size; give bytes with an optional K, M, G or T (powers "
         "of 1024), for example 512M or 1.5G"},
        {{"sweep", "--max-bits", "1e19"},
         "--max-bits: 1e+19 is not accepted; give a whole number from 1 to 9007199254740992 "
         "(2^53, the largest held exactly)"},
        // The shaping blocks' own rule, before any work.
        {{"sweep", "--rolloff", "4.9e-324"},
         "--rolloff: 5e-324 is too small: the pulse's taps would overflow; give a "
         "roll-off in (0, 1] such as 0.35"},
        {{"run", "--rolloff", "4.9e-324"},
         "--rolloff: 5e-324 is too small: the pulse's taps would overflow; give a "
         "roll-off in (0, 1] such as 0.35"},
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

TEST(CommandLine, AnEmptyValueIsRefusedNamingItsOption) {
    // Every option that takes a value: an unset variable in a script must not become a default.
    const std::vector<std::pair<const char*, std::vector<const char*>>> commands = {
        {"run",
         {"--interleaver", "--nframe", "--rolloff", "--delay", "--oversampling", "--tx-seed",
          "--channel", "--esno", "--channel-seed", "--receiver", "--save", "--plot",
          "--max-memory"}},
        {"sweep", {"--interleaver", "--nframe",     "--rolloff",  "--delay",     "--oversampling",
                   "--conditions",  "--esno",       "--snr3k",    "--receiver",  "--metric",
                   "--min-trials",  "--min-errors", "--max-bits", "--floor",     "--seed",
                   "--threads",     "--output",     "--csv",      "--json",      "--plot",
                   "--axis",        "--plot-axis",  "--targets",  "--crossings", "--checkpoint",
                   "--max-memory"}},
    };
    for (const auto& [command, options] : commands) {
        for (const char* option : options) {
            try {
                parse({command, option, ""});
                ADD_FAILURE() << "accepted " << command << ' ' << option << " \"\"";
            } catch (const UsageError& e) {
                EXPECT_EQ(std::string(e.what()),
                          std::string(option) + ": an empty value is not accepted");
            }
        }
    }
    // Short spellings too.
    for (const char* option : {"-o", "-s", "-j", "-C", "-e"}) {
        EXPECT_THROW(parse({"sweep", option, ""}), UsageError) << option;
    }
}

TEST(MemorySize, AcceptedTexts) {
    struct Case {
        const char* text;
        double bytes;
    };
    const Case cases[] = {
        {"100", 100},
        {"2K", 2048},
        {"2KiB", 2048},
        {"512M", 512.0 * 1048576},
        {"512mb", 512.0 * 1048576},
        {"1.5G", 1.5 * 1073741824},
        {"1T", 1099511627776.0},
        {"4e9", 4e9},
        {"64B", 64},
    };
    for (const Case& c : cases) EXPECT_EQ(parse_memory_size(c.text), c.bytes) << c.text;
}

TEST(MemorySize, RefusedTexts) {
    for (const char* text :
         {"", "G", "abc", "-1", "0", "0.5", "5X", "5 G", "1e400", "nan", "2GiBs"}) {
        try {
            parse_memory_size(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const UsageError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "--max-memory: '" + std::string(text) +
                          "' is not a size; give bytes with an optional K, M, G or T (powers of "
                          "1024), for example 512M or 1.5G");
        }
    }
}

TEST(MemoryCheck, ARunThatCannotFitIsRefusedBeforeAnyWork) {
    RunOptions o;
    o.interLen = 4.8;
    o.nFrame = 10000;
    try {
        check_run_memory(o);
        ADD_FAILURE() << "accepted";
    } catch (const UsageError& e) {
        const std::string m = e.what();
        EXPECT_TRUE(
            m.starts_with("--nframe: one transmission of 10000 interleaver blocks of 4.8 "
                          "s at 2400 bit/s and 5 samples per symbol needs about "))
            << m;
        EXPECT_NE(m.find("GiB of memory, more than the "), std::string::npos) << m;
    }
    o.nFrame = 1;
    EXPECT_NO_THROW(check_run_memory(o));
    o.maxMemory = 1048576;
    EXPECT_THROW(check_run_memory(o), UsageError);
}

}  // namespace
}  // namespace hfchain::app

namespace hfchain::app {
namespace {

// transmit's and receive's refusals, each naming its option, before any file is read.
TEST(CommandLine, RefusedTransmitAndReceive) {
    const struct {
        std::vector<const char*> args;
        const char* names;
    } cases[] = {
        {{"transmit", "--peak", "3", "-o", "x.wav"}, "--peak"},
        {{"transmit", "--peak", "-3", "--rms", "-10", "-o", "x.wav"}, "--rms"},
        {{"transmit", "--message", "m", "--seed", "2", "-o", "x.wav"}, "--seed"},
        {{"transmit", "--message", "m", "-n", "2", "-o", "x.wav"}, "--nframe"},
        {{"transmit", "--sample-rate", "7000", "-o", "x.wav"}, "--sample-rate"},
        {{"transmit", "--carrier", "3500", "-o", "x.wav"}, "--carrier"},
        {{"transmit", "--rate", "4800", "-i", "4.8", "-o", "x.wav"}, "--interleaver"},
        {{"transmit"}, "--output"},
        {{"receive", "in.wav", "--rate", "100"}, "--rate"},
        {{"receive", "in.wav", "--raw-rate", "100"}, "--raw-rate"},
        {{"receive", "in.wav", "--channel", "0"}, "--channel"},
        {{"receive", "in.wav", "-o", "-", "--json", "-"}, "--json"},
        {{"receive"}, "input"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.names);
        try {
            parse(c.args);
            ADD_FAILURE() << "accepted";
        } catch (const UsageError& e) {
            EXPECT_NE(std::string(e.what()).find(c.names), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace hfchain::app
