// The runner on the real chain: reproducibility, thread-count independence, agreement with
// theory, the MAT file through Octave, pictures, refused options and Ctrl-C, driving the
// `hfchain` program itself where the behaviour is the program's.
#include <gtest/gtest.h>

#include <cmath>

#include "apps/matfile.hpp"
#include "apps/run_report.hpp"
#include "apps/run_road.hpp"
#include "chain/theory.hpp"
#include "params/rateconf.hpp"
#include "runtime/builtin_host.hpp"
#include "runtime/checks.hpp"
#include "sweep/engine.hpp"
#include "tests/support/programs.hpp"

#ifndef HFCHAIN_EXE
#define HFCHAIN_EXE "hfchain"
#endif

namespace hfchain::app {
namespace {

using namespace hfchain::sweep;

using testing::have_program;
using testing::read_file;
using testing::run_command;
using testing::ScratchDir;
using testing::table_without_times;

const std::string kExe = HFCHAIN_EXE;

TEST(Program, RunIsReproducibleFromItsSeeds) {
    ScratchDir dir("run");
    const std::string cmd = kExe + " run -c moderado -e 12 --tx-seed 5 --channel-seed ";
    const auto a = run_command(cmd + "7", dir);
    const auto b = run_command(cmd + "7", dir);
    const auto c = run_command(cmd + "8", dir);
    ASSERT_EQ(a.status, 0) << a.err;
    EXPECT_NE(a.out.find("framelock"), std::string::npos);
    EXPECT_NE(a.out.find("coded-bit errors in"), std::string::npos);
    EXPECT_EQ(a.out, b.out);
    EXPECT_NE(a.out, c.out);
}

TEST(Program, SweepTableIsTheSameOnOneAndTwoThreads) {
    ScratchDir dir("threads");
    const std::string cmd =
        kExe +
        " sweep -q -i 0.6 -C awgn,muito_ruim -e 3,9 --min-trials 2 --min-events 3 --min-errors 300 "
        "--max-bits 4000 --seed 3 -r hf,baseline,genie -j ";
    const auto one = run_command(cmd + "1", dir);
    const auto two = run_command(cmd + "2", dir);
    ASSERT_EQ(one.status, 0) << one.err;
    ASSERT_EQ(two.status, 0) << two.err;
    EXPECT_NE(one.out.find("# threads 1"), std::string::npos);
    EXPECT_NE(two.out.find("# threads 2"), std::string::npos);
    EXPECT_EQ(table_without_times(one.out), table_without_times(two.out));

    // One point rerun alone gives its line of the whole sweep.
    const auto alone = run_command(
        kExe +
            " sweep -q -i 0.6 -C muito_ruim -e 9 --min-trials 2 --min-events 3 --min-errors 300 "
            "--max-bits 4000 --seed 3 -r hf,baseline,genie",
        dir);
    const std::string last = table_without_times(alone.out);
    const std::string line = last.substr(last.rfind("\n", last.size() - 2) + 1);
    EXPECT_NE(table_without_times(one.out).find(line.substr(line.find(' '))), std::string::npos)
        << line;
}

// Coded bits on white noise: 8-PSK at 2400, Gray 4-PSK at 1200, 2-PSK at 600 and, every copy of a
// coded bit counted, at 300 bit/s.
TEST(Sweep, AwgnAgreesWithTheTheoryWithinItsIntervals) {
    SweepConfig c;
    c.rates = {2400, 1200, 600, 300};
    c.interLen = 0.6;
    c.receivers = {ReceiverKind::baseline};
    c.metric = Metric::coded;  // the theory's bits
    c.conditions = {"awgn"};
    c.esno = {0, 4, 7};
    c.minTrials = 1;
    c.minEvents = 1;
    c.minErrors = 400;
    c.maxBits = 60000;
    c.threads = 2;
    const SweepResult r = run_sweep(c, road_trial_runners(c, nullptr), nullptr, nullptr);
    ASSERT_EQ(r.points.size(), 12u);
    for (const PointResult& p : r.points) {
        const Interval ci = p.interval();
        const double theory = ber_psk_gray(theory_bits(rateconf(p.dataRate, 0.6)), p.esno);
        EXPECT_LE(ci.low, theory) << p.dataRate << " bit/s, " << p.esno << " dB: " << p.errors
                                  << '/' << p.bits;
        EXPECT_GE(ci.high, theory)
            << p.dataRate << " bit/s, " << p.esno << " dB: " << p.errors << '/' << p.bits;
        EXPECT_EQ(p.syncMisses, 0) << p.esno;
    }
}

// Octave prints, per variable: name, class, complex flag, size, sum of real and imaginary parts.
TEST(MatFile, RoundTripsThroughOctaveLoad) {
    if (!have_program("octave-cli")) GTEST_SKIP() << "octave-cli not installed";
    ScratchDir dir("mat");
    RunOptions o;
    o.channel = "ruim";
    o.esno = 15;
    const ModeParams mode = modeconf(o.interLen);
    BuiltinHost host;
    const RoadResult road = run_road(mode, road_config(o), host);
    const std::string file = dir / "road.mat";
    save_road_mat(file, o, mode, road);

    const std::string script =
        "s = load('" + file +
        "'); f = fieldnames(s); for k = 1:numel(f), v = s.(f{k}); "
        "if isnumeric(v), printf('%s %d %d %.17g %.17g\\n', f{k}, rows(v), columns(v), "
        "sum(real(v(:))), sum(imag(v(:)))); else printf('%s %s\\n', f{k}, class(v)); end, end; "
        "printf('model %s\\n', s.varWatterson.model); "
        "printf('chansound_gains %d %d\\n', size(s.chansound.gains)); "
        "printf('interTable %d\\n', isequal(s.milstd.interTable, s.milstd.interTable(:)));";
    const auto r =
        run_command("octave-cli --norc --no-history --quiet --eval \"" + script + "\"", dir);
    ASSERT_EQ(r.status, 0) << r.err;

    struct Expected {
        const char* name;
        index_t rows, cols;
        double re, im;
    };
    auto sums = [](const auto& a) {
        double re = 0, im = 0;
        for (const auto& x : a) {
            re += std::real(x);
            im += std::imag(x);
        }
        return std::pair{re, im};
    };
    std::vector<Expected> expected;
    auto add = [&](const char* name, const auto& a) {
        const auto [re, im] = sums(a);
        expected.push_back({name, a.rows(), a.cols(), re, im});
    };
    add("BitInCodIn", road.tx.BitInCodIn);
    add("CodOutInterIn", road.tx.CodOutInterIn);
    add("InterOutMapIn", road.tx.InterOutMapIn);
    add("MapOutMultiplexIn", road.tx.MapOutMultiplexIn);
    add("ComplexPSKSymbols", road.tx.ComplexPSKSymbols);
    add("ModConstellation", road.tx.ModConstellation);
    add("ProbeInfo", road.tx.ProbeInfo);
    add("MultiplexOut", road.tx.MultiplexOut);
    add("pulseshaper_filter", road.shaped.filter);
    add("pulseshaper_out", road.shaped.out);
    add("raios", road.faded.raios);
    add("WattersonOutAwgnIn", road.faded.WattersonOutAwgnIn);
    add("noise", road.faded.noise);
    add("AwgnOut", road.faded.AwgnOut);
    add("pulsematch_out", road.matched.out);
    add("framelock_out", road.frameStart);
    add("tickalign_out", road.symbols.out);
    add("unframer_out", road.data.out);
    add("DemodOutDemapIn", road.demod.DemodOutDemapIn);
    add("DemapOut", road.demod.DemapOut);
    add("unshuffle_out", road.deinterleaved.out);
    expected.push_back({"RER", 1, 1, 0.002, 0});
    expected.push_back({"codedBitErrors", 1, 1, static_cast<double>(road.codedBitErrors), 0});
    // Every receiver's soft values, decoded bits and counts under its name.
    const std::pair<const char*, const Reception*> receivers[] = {
        {"baseline", &road.baseline}, {"hf", &road.hf}, {"genie", &road.genie}};
    std::vector<std::string> names;  // kept alive for `expected`
    names.reserve(11 * 3);
    for (const auto& [who, rx] : receivers) {
        ASSERT_TRUE(rx->ran) << who;
        auto named = [&, who = who](const char* field) {
            names.push_back(std::string(who) + "_" + field);
            return names.back().c_str();
        };
        add(named("symbols"), rx->symbols);
        add(named("noiseVar"), rx->noiseVar);
        add(named("LLR"), rx->soft.LLR);
        add(named("unshuffle_LLR"), rx->deinterleaved.out);
        add(named("DecodOut"), rx->decoded.DecodOut);
        add(named("InfoBits"), rx->decoded.InfoBits);
        expected.push_back(
            {named("infoBitErrors"), 1, 1, static_cast<double>(rx->infoBitErrors), 0});
        expected.push_back({named("blocks"), 1, 1, static_cast<double>(rx->blocks), 0});
        expected.push_back({named("blockErrors"), 1, 1, static_cast<double>(rx->blockErrors), 0});
    }

    for (const Expected& e : expected) {
        SCOPED_TRACE(e.name);
        const std::string key = std::string("\n") + e.name + " ";
        const std::size_t at = ("\n" + r.out).find(key);
        ASSERT_NE(at, std::string::npos) << r.out;
        std::istringstream line(r.out.substr(at + key.size() - 1));
        index_t rows = -1, cols = -1;
        double re = 0, im = 0;
        line >> rows >> cols >> re >> im;
        // Octave loads 0 x n as 0 x n; empty arrays keep their shape.
        EXPECT_EQ(rows, e.rows);
        EXPECT_EQ(cols, e.cols);
        const double scale = 1e-9 * std::max<double>(1.0, e.rows * e.cols);
        EXPECT_NEAR(re, e.re, scale);
        EXPECT_NEAR(im, e.im, scale);
    }
    EXPECT_NE(("\n" + r.out).find("\nmilstd struct\n"), std::string::npos);
    for (const char* name : {"\nfreqlock struct\n", "\nchansound struct\n", "\nturboequal struct\n",
                             "\ngeniecombine struct\n"}) {
        EXPECT_NE(r.out.find(name), std::string::npos) << name;
    }
    EXPECT_NE(r.out.find("\nchansound_gains "), std::string::npos);  // a field read back

    EXPECT_NE(r.out.find("\nchannel char\n"), std::string::npos);
    EXPECT_NE(r.out.find("\nmodel ruim\n"), std::string::npos);
    EXPECT_NE(r.out.find("\ninterTable 1"), std::string::npos);
}

// At 75 bit/s the HF receiver has no equaliser: its pattern detector's structure is saved in
// the equaliser's place, with one ratio per coded bit.
TEST(MatFile, SavesThePatternDetectorAt75) {
    if (!have_program("octave-cli")) GTEST_SKIP() << "octave-cli not installed";
    ScratchDir dir("mat75");
    RunOptions o;
    o.rate = 75;
    o.interLen = 0.6;
    o.nFrame = 4;  // the fewest 0.6 s blocks that carry information bits at 75 bit/s
    o.channel = "ruim";
    o.esno = 5;
    o.receivers = {ReceiverKind::hf};
    const ModeParams mode = rateconf(o.rate, o.interLen);
    BuiltinHost host;
    const RoadResult road = run_road(mode, road_config(o), host);
    ASSERT_TRUE(road.hf.ran);
    const std::string file = dir / "road.mat";
    save_road_mat(file, o, mode, road);
    const std::string script = "s = load('" + file +
                               "'); printf('%d %d %d %.17g\\n', isfield(s, 'turboequal'), "
                               "numel(s.patterntrack.LLR), numel(s.hf_LLR), "
                               "s.patterntrack.passes);";
    const auto r =
        run_command("octave-cli --norc --no-history --quiet --eval \"" + script + "\"", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string expected = "0 " + std::to_string(road.patterns.LLR.numel()) + " " +
                                 std::to_string(road.patterns.LLR.numel()) + " " +
                                 format_value(road.patterns.passes) + "\n";
    EXPECT_EQ(r.out, expected);
}

// run's figure: for each receiver its received and decided symbols against the rate's points,
// and every path's gain with the sounding's estimate of each path it found, whatever the paths.
TEST(Program, RunPlotDrawsEachReceiverAndEveryPath) {
    if (!have_program("gnuplot")) GTEST_SKIP() << "gnuplot not installed";
    ScratchDir dir("runplot");
    struct Case {
        const char* args;
        int paths;
        const char* points;  // of the decided symbols
    };
    const Case cases[] = {
        {"--rate 2400 -c 1p:0ms:0Hz", 1, "8-PSK"},
        {"--rate 1200 -c 2p:1ms:0.5Hz", 2, "4-PSK"},
        {"--rate 2400 -c 4p:1.5ms:0.5Hz", 4, "8-PSK"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const std::string file = dir / (std::to_string(c.paths) + ".svg");
        const auto r = run_command(
            kExe + " run -e 25 -r baseline,hf,genie " + c.args + " --plot '" + file + "'", dir);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string svg = read_file(file);
        for (const char* panel :
             {"baseline: received data symbols, no equaliser",
              "hf: received, every symbol (matched filter)", "hf: equalised data symbols",
              "genie: data symbols through the known gains", "path gains: true (solid)"}) {
            EXPECT_NE(svg.find(panel), std::string::npos) << panel;
        }
        for (int p = 1; p <= 4; ++p) {
            const std::string path = "path " + std::to_string(p) + " (";
            EXPECT_EQ(svg.find(path) != std::string::npos, p <= c.paths) << path;
        }
        // The sounding found at least one path; each estimate names a true one.
        EXPECT_NE(svg.find("estimate of path 1"), std::string::npos);
        EXPECT_EQ(svg.find("estimate of path " + std::to_string(c.paths + 1)), std::string::npos);
    }
    // PNG as the other pictures; white noise alone has no gains to draw.
    const std::string png = dir / "awgn.png";
    const auto r = run_command(kExe + " run -c awgn -r hf --plot '" + png + "'", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(png).substr(1, 3), "PNG");
}

// run takes the sweep's channels: presets and written channels (any number of paths) through
// hfchannel, each path's power reported; and each rate's fewest blocks when -n is not given.
TEST(Program, RunTakesPresetsAndWrittenChannels) {
    ScratchDir dir("runchannels");
    struct Case {
        const char* args;
        const char* line;  // the channel's line begins so
    };
    const Case cases[] = {
        {"-c 1p:0ms:0Hz",
         "hfchannel   1p:0ms:0Hz: 1 path over 0 ms (0 samples), largest "
         "Doppler spread 0 Hz, path powers 1.000, "},
        {"-c 3p:1ms:1Hz:off=5Hz -r genie", "hfchannel   3p:1ms:1Hz:off=5Hz: 3 paths over 2 ms"},
        {"-c itu_mid_quiet", "hfchannel   itu_mid_quiet: 2 paths over 0.5 ms"},
        {"-c 2p:1000us:0.5Hz", "hfchannel   2p:1ms:0.5Hz: 2 paths over 1 ms"},
        {"-c moderado", "fadesim     moderado: second ray 1 ms"},
        {"--rate 75 -c awgn", "awgn        white noise only"},
    };
    for (const Case& c : cases) {
        const auto r = run_command(kExe + " run -e 15 " + c.args, dir);
        ASSERT_EQ(r.status, 0) << c.args << ": " << r.err;
        EXPECT_NE(r.out.find(std::string("\n") + c.line), std::string::npos) << r.out;
    }
}

// The run report says what each count is: the baseline's ratios at 75 bit/s have their own sign
// errors (its hard decisions on the patterns' symbols mean little), a frame start on the later,
// stronger path is no miss, a single pass or path is singular; -q leaves stderr empty.
TEST(Program, RunReportSaysWhatEachCountIs) {
    ScratchDir dir("runlabels");
    struct Case {
        const char* args;
        std::vector<const char*> lines;  // each a line's end or middle
    };
    const Case cases[] = {
        {"--rate 75 -c bom -e 20 -r baseline,hf",
         {"188 coded-bit errors in 360 bits (hard decisions)",
          "baseline: 360 ratios deinterleaved, 0 of them with the wrong sign (0.0000e+00)",
          "noncoherent then 1 coherent pass on the track"}},
        {"-c paths=0ms/-20dB/0Hz+2ms/0dB/0Hz -e 30 -r hf",
         {"expected 61: found on the path 24 samples behind the first"}},
        {"-c 1p:0ms:0Hz -e 30 -r hf -q --save r.mat", {"1 path over 0 ms"}},
    };
    for (const Case& c : cases) {
        const auto r =
            run_command("cd '" + dir.path().string() + "' && " + kExe + " run " + c.args, dir);
        ASSERT_EQ(r.status, 0) << c.args << ": " << r.err;
        for (const char* line : c.lines) {
            EXPECT_NE(r.out.find(line), std::string::npos) << c.args << "\n" << r.out;
        }
        EXPECT_EQ(r.out.find("MISSED"), std::string::npos) << r.out;
        if (std::string(c.args).find(" -q") != std::string::npos) {
            EXPECT_EQ(r.err, "");
        }
    }
}

TEST(Program, RefusedOptionsStopBeforeAnyWork) {
    ScratchDir dir("refused");
    struct Case {
        const char* args;
        const char* message;
    };
    const Case cases[] = {
        {"sweep -C awgn,rayleigh --csv out.csv",
         "hfchain: --conditions: unknown condition 'rayleigh'; accepted: bom, moderado, "
         "ruim, muito_ruim, itu_low_quiet, itu_low_moderate, itu_low_disturbed, "
         "itu_mid_quiet, itu_mid_moderate, itu_mid_disturbed, itu_mid_disturbed_nvis, "
         "itu_high_quiet, itu_high_moderate, itu_high_disturbed, awgn, or a written "
         "channel such as 2p:2ms:1Hz\n"},
        {"sweep --min-errors -3",
         "hfchain: --min-errors: -3 is not accepted; give a whole number "
         "of at least 1\n"},
        {"run -i 2.4",
         "hfchain: --interleaver: 2.4 s is not an interleaver length; accepted: 0.6 "
         "or 4.8\n"},
    };
    for (const Case& c : cases) {
        const auto r =
            run_command("cd '" + dir.path().string() + "' && " + kExe + " " + c.args, dir);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_EQ(r.out, "") << c.args;
        EXPECT_TRUE(r.err.starts_with(c.message)) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.csv"));
}

TEST(Program, CtrlCStopsAndStillWritesTheFinishedPoints) {
    if (!have_program("bash")) GTEST_SKIP() << "bash not installed";
    ScratchDir dir("sigint");
    // Job control gives the background job its own SIGINT (otherwise it is ignored); a watchdog
    // ends it should the interrupt be lost.
    const std::string script = "set -m; " + kExe +
                               " sweep -q -i 0.6 -C awgn -e 0:1:40 --max-bits 1e9 --min-errors 1e9 "
                               "--csv '" +
                               (dir / "out.csv") + "' > '" + (dir / "out.txt") +
                               "' & pid=\\$!; (sleep 60; kill -KILL \\$pid) >/dev/null 2>&1 & "
                               "dog=\\$!; sleep 2; kill -INT \\$pid; wait \\$pid; "
                               "echo \\$?; kill -- -\\$dog";
    const auto r = run_command("bash -c \"" + script + "\"", dir);
    EXPECT_EQ(r.out, "130\n") << r.err;
    const std::string table = read_file(dir.path() / "out.txt");
    EXPECT_NE(table.find("INTERRUPTED"), std::string::npos) << table;
    EXPECT_NE(table.find("\n     1    0.00"), std::string::npos) << table;
    EXPECT_NE(read_file(dir.path() / "out.csv").find(",interrupted\n"), std::string::npos);
}

}  // namespace
}  // namespace hfchain::app
