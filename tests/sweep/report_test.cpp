// The sweep's writers and picture, on a made-up result.
#include "sweep/report.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "params/waveform.hpp"
#include "runtime/checks.hpp"
#include "sweep/crossings.hpp"
#include "tests/support/programs.hpp"

namespace hfchain::sweep {
namespace {

using testing::have_program;
using testing::read_file;
using testing::run_command;
using testing::ScratchDir;

SweepConfig config_for_test() {
    SweepConfig c;
    c.interLen = 0.6;
    c.minTrials = 1;
    c.conditions = {"awgn", "muito_ruim"};
    c.esno = {0, 10};
    c.minErrors = 100;
    c.maxBits = 50000;
    c.seed = 9;
    c.receivers = {ReceiverKind::hf, ReceiverKind::genie};
    c.metric = Metric::decoded;
    return c;
}

SweepResult result_for_test() {
    SweepResult r;
    r.threads = 2;
    r.wallSeconds = 1.5;
    auto point = [](const char* c, double e, std::int64_t bits, std::int64_t errors,
                    StopReason stop) {
        PointResult p;
        p.condition = c;
        p.esno = e;
        p.trials = bits / 2880;
        p.bits = bits / 2;
        p.errors = errors / 10;
        p.events = p.errors > 0 ? 1 : 0;
        // hf: the given coded-bit errors, a tenth of them after decoding; genie: half of those.
        ReceiverCounts hf{bits,        errors,   bits / 2,
                          errors / 10, p.trials, std::min(p.trials, errors)};
        ReceiverCounts genie = hf;
        genie.codedErrors /= 2;
        genie.infoErrors /= 2;
        p.receivers[1] = hf;
        p.receivers[2] = genie;
        p.syncMisses = 1;
        p.seconds = 0.25;
        p.stop = stop;
        return p;
    };
    r.points = {point("awgn", 0, 2880, 700, StopReason::events),
                point("awgn", 10, 51840, 0, StopReason::bits),
                point("muito_ruim", 0, 2880, 900, StopReason::events),
                point("muito_ruim", 10, 5760, 40, StopReason::interrupted)};
    r.interrupted = true;
    return r;
}

TEST(WriteTable, HeaderRecordsEveryParameterAndRowsAreNumeric) {
    std::ostringstream out;
    write_table(out, config_for_test(), result_for_test(), "9.9");
    const std::string text = out.str();
    for (const char* expected :
         {"# hfchain 9.9 sweep", "# interleaver 0.6 s, nFrame 1 ", "rolloffFactor 0.35",
          "pulseDelay 6", "oversamplingFactor 5", "# conditions: 1=awgn 2=muito_ruim",
          "# Es/N0 (dB): 0 10", "# SNR in 3 kHz (dB) = Es/N0 - 10 log10(3000/2400): -0.9691",
          "# receivers: hf genie; the stop rule counts hf's decoded information bits",
          "then stop once 500 of them had a wrong bit (error events) and the wrong bits reached "
          "100, or at 50000 information bits",
          "# base seed 9", "the 95 % interval of R_ber over the trials", "INTERRUPTED",
          " hf_coded_errors hf_coded_ber hf_info_errors hf_ber hf_ci95_low hf_ci95_high "
          "hf_block_errors hf_bler genie_coded_errors",
          "genie_bler seconds\n"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected;
    }
    std::istringstream lines(text);
    std::string line;
    int rows = 0;
    while (std::getline(lines, line)) {
        if (line.starts_with("#")) continue;
        std::istringstream fields(line.substr(0, line.find('#')));
        double v;
        int n = 0;
        while (fields >> v) ++n;
        EXPECT_EQ(n, 8 + 2 * 8 + 1) << line;
        ++rows;
    }
    EXPECT_EQ(rows, 4);
    EXPECT_NE(text.find("0.25  # interrupted"), std::string::npos) << "missing marker\n" << text;
}

TEST(WriteTable, OctaveLoadReadsTheTableAsAMatrix) {
    if (!have_program("octave-cli")) GTEST_SKIP() << "octave-cli not installed";
    ScratchDir dir("table");
    {
        std::ofstream f(dir / "table.txt");
        write_table(f, config_for_test(), result_for_test(), "9.9");
    }
    const auto r = run_command(
        "octave-cli --norc --no-history --quiet --eval \"t = load('" + (dir / "table.txt") +
            "'); printf('%d %d %d %d %d %d\\n', size(t), t(3,1), t(2,5), t(3,11), t(3,19))\"",
        dir);
    EXPECT_EQ(r.status, 0) << r.err;
    // Row 3 (muito_ruim at 0 dB): 2880 coded bits, 90 hf and 45 genie information-bit errors.
    EXPECT_EQ(r.out, "4 25 2 51840 90 45\n");
}

TEST(WriteCsvAndJson, OneRecordPerPointWithNamesAndStopReasons) {
    std::ostringstream csv;
    write_csv(csv, config_for_test(), result_for_test());
    EXPECT_EQ(csv.str().substr(0, csv.str().find('\n')),
              "condition,esno_db,snr3k_db,trials,coded_bits,info_bits,blocks,sync_misses,events,"
              "hf_coded_errors,hf_coded_ber,hf_info_errors,hf_ber,hf_ci95_low,hf_ci95_high,"
              "hf_block_errors,hf_bler,genie_coded_errors,genie_coded_ber,genie_info_errors,"
              "genie_ber,genie_ci95_low,genie_ci95_high,genie_block_errors,genie_bler,seconds,"
              "stop");
    const std::string snr10 = format_value(10 - kSnr3kOffset);
    EXPECT_NEAR(std::stod(snr10), 9.0309, 1e-4);
    EXPECT_NE(csv.str().find("\nmuito_ruim,10," + snr10 +
                             ",2,5760,2880,2,1,1,40,6.9444e-03,4,1.3889e-03,"),
              std::string::npos)
        << csv.str();
    EXPECT_NE(csv.str().find(",interrupted\n"), std::string::npos);

    std::ostringstream json;
    write_json(json, config_for_test(), result_for_test(), "9.9");
    const std::string j = json.str();
    EXPECT_NE(j.find("\"conditions\": [\"awgn\", \"muito_ruim\"]"), std::string::npos);
    EXPECT_NE(j.find("\"interrupted\": true"), std::string::npos);
    EXPECT_NE(j.find("\"receivers\": [\"hf\", \"genie\"],\n    \"metric\": \"decoded\""),
              std::string::npos);
    EXPECT_NE(j.find("{\"condition\": \"awgn\", \"esno_db\": 10, \"snr3k_db\": " + snr10 +
                     ", \"trials\": 18, \"bits\": 25920, \"errors\": 0, \"events\": 0, \"ber\": "
                     "0.0000e+00"),
              std::string::npos);
    EXPECT_NE(j.find("\"genie\": {\"coded_bits\": 2880, \"coded_errors\": 450, \"coded_ber\": "
                     "1.5625e-01, \"info_bits\": 1440, \"info_errors\": 45, \"ber\": 3.1250e-02, "),
              std::string::npos)
        << j;
}

// With rates other than 2400 bit/s alone every writer carries the rate: a column before the
// condition (the table's first, numeric for Octave), the rates and each one's blocks per trial in
// the header, a crossing row and a curve per rate and condition. A sweep of 2400 bit/s alone
// keeps the layout it had before the rates.
TEST(WriteRates, EveryWriterCarriesTheRateOfEachPoint) {
    SweepConfig c = config_for_test();
    c.rates = {75, 2400};
    c.receivers = {ReceiverKind::baseline};
    c.conditions = {"awgn"};
    SweepResult r;
    for (const double rate : c.rates) {
        for (const double esno : c.esno) {
            PointResult p;
            p.dataRate = rate;
            p.condition = "awgn";
            p.esno = esno;
            p.trials = 2;
            p.receivers[0] = {720, esno > 0 ? 0 : 70, 72, esno > 0 ? 0 : 7, 2, esno > 0 ? 0 : 2};
            r.points.push_back(p);
        }
    }
    std::ostringstream table;
    write_table(table, c, r, "9.9");
    const std::string t = table.str();
    EXPECT_NE(t.find("# data rates (bit/s): 75 2400\n# interleaver 0.6 s, nFrame 4,1 interleaver "
                     "blocks per trial (by rate)\n"),
              std::string::npos)
        << t;
    EXPECT_NE(t.find("(trial seeds from seed, rate, condition, Es/N0, trial)"), std::string::npos);
    EXPECT_NE(t.find("\n#  rate cond esno_db snr3k_db"), std::string::npos);
    EXPECT_NE(t.find("\n     75     1    0.00"), std::string::npos) << t;
    EXPECT_NE(t.find("\n   2400     1   10.00"), std::string::npos) << t;

    std::ostringstream csv;
    write_csv(csv, c, r);
    EXPECT_TRUE(csv.str().starts_with("rate,condition,esno_db,")) << csv.str();
    EXPECT_NE(csv.str().find("\n75,awgn,0,"), std::string::npos);
    EXPECT_NE(csv.str().find("\n2400,awgn,10,"), std::string::npos);

    std::ostringstream json;
    write_json(json, c, r, "9.9");
    EXPECT_NE(json.str().find("\"rates\": [75, 2400],\n    \"nFrame\": [4, 1],"), std::string::npos)
        << json.str();
    EXPECT_NE(json.str().find("{\"rate\": 2400, \"condition\": \"awgn\", \"esno_db\": 0,"),
              std::string::npos);

    std::ostringstream crossings;
    write_crossings(crossings, c, r, {1e-3}, false);
    EXPECT_EQ(crossings.str(),
              "| interleaver | rate | condition | baseline @1e-3 |\n|---|---|---|---|\n"
              "| 0.6 s | 75 | awgn | <= 10.0 |\n| 0.6 s | 2400 | awgn | <= 10.0 |\n");

    const std::string script = sweep_plot_script("x.svg", c, r, false);
    EXPECT_NE(script.find("'75 bit/s awgn baseline (simulated white-noise reference)'"),
              std::string::npos);
    EXPECT_NE(script.find("'2400 bit/s awgn baseline (simulated white-noise reference)'"),
              std::string::npos);

    // 2400 bit/s alone: no rate anywhere.
    c.rates = {2400};
    r.points.resize(2);
    for (PointResult& p : r.points) p.dataRate = 2400;
    std::ostringstream alone;
    write_csv(alone, c, r);
    EXPECT_TRUE(alone.str().starts_with("condition,esno_db,")) << alone.str();
    std::ostringstream alone_table;
    write_table(alone_table, c, r, "9.9");
    EXPECT_EQ(alone_table.str().find("# data rates"), std::string::npos);
    EXPECT_NE(alone_table.str().find("\n# cond esno_db"), std::string::npos);
}

// One curve per condition and receiver, the genie's dashed; the axis in SNR(3 kHz) shifts every
// point by 10 log10(3000/2400); the decoded curves' white-noise reference is the awgn condition,
// labelled as simulated.
TEST(SweepPlotScript, CurvesPerReceiverAxisAndReference) {
    for (const bool snr3k : {false, true}) {
        const std::string script =
            sweep_plot_script("x.svg", config_for_test(), result_for_test(), snr3k);
        for (const char* curve : {"'awgn hf (simulated white-noise reference)'",
                                  "'awgn genie (simulated white-noise reference)'",
                                  "'muito_ruim hf'", "'muito_ruim genie'"}) {
            EXPECT_NE(script.find(curve), std::string::npos) << curve;
        }
        const std::size_t hf = script.find("title 'muito_ruim hf'");
        const std::size_t genie = script.find("title 'muito_ruim genie'");
        ASSERT_NE(hf, std::string::npos);
        ASSERT_NE(genie, std::string::npos);
        auto dash = [&script](std::size_t at) {
            const std::size_t d = script.rfind("dashtype ", at);
            return script.substr(d + 9, 1);
        };
        EXPECT_EQ(dash(hf), "1");
        EXPECT_EQ(dash(genie), "2");
        EXPECT_NE(script.find("decoded information-bit error rate"), std::string::npos);
        EXPECT_EQ(script.find("SNR in 3 kHz") != std::string::npos, snr3k);
        // The awgn hf curve's first point: 0 dB Es/N0, 70 of 1440 bits wrong.
        const std::string first = (snr3k ? "-0.9691" : "0") + std::string(" 0.04861");
        EXPECT_NE(script.find("\n" + first), std::string::npos) << first << "\n" << script;
    }
}

TEST(GnuplotQuote, DoublesSingleQuotes) {
    EXPECT_EQ(gnuplot_quote("a'b.svg"), "'a''b.svg'");
    EXPECT_EQ(gnuplot_quote(""), "''");
}

TEST(PlotSweep, WritesSvgAndPng) {
    if (!have_program("gnuplot")) GTEST_SKIP() << "gnuplot not installed";
    ScratchDir dir("plot");
    for (const char* name : {"sweep.svg", "it's.png"}) {
        const std::string file = dir / name;
        plot_sweep(file, "--plot", config_for_test(), result_for_test(), false);
        const std::string content = read_file(file);
        if (std::string(name).ends_with(".svg")) {
            EXPECT_NE(content.find("<svg"), std::string::npos);
            EXPECT_NE(content.find("muito_ruim"), std::string::npos);
            EXPECT_NE(content.find("theory"), std::string::npos);
        } else {
            EXPECT_EQ(content.substr(1, 3), "PNG");
        }
    }
}

}  // namespace
}  // namespace hfchain::sweep
