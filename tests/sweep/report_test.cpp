// The sweep's writers and picture, on a made-up result.
#include "sweep/report.hpp"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

#include "params/waveform.hpp"
#include "runtime/checks.hpp"
#include "sweep/crossings.hpp"
#include "sweep/sweep_picture.hpp"
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
              "hf_few_events,hf_block_errors,hf_bler,genie_coded_errors,genie_coded_ber,"
              "genie_info_errors,genie_ber,genie_ci95_low,genie_ci95_high,genie_few_events,"
              "genie_block_errors,genie_bler,seconds,stop");
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

// An interval resting on fewer error events than kFewEvents is marked in every output, receiver
// by receiver (the point's own interval in the JSON by the stop rule's events), and only such.
TEST(WriteFewEvents, EveryOutputMarksAnIntervalRestingOnFewEvents) {
    SweepConfig c = config_for_test();
    c.conditions = {"awgn"};
    c.esno = {0};
    SweepResult r = result_for_test();
    r.points.resize(1);
    r.interrupted = false;
    PointResult& p = r.points[0];
    const auto events = [&p](ReceiverKind k) -> std::int64_t& {
        return p.infoSpread[static_cast<std::size_t>(k)].events;
    };
    struct Case {
        std::int64_t hf, genie, rule;  // error events of each receiver and of the stop rule
        const char* note;              // the table row's end
        const char* flags;             // CSV: hf's, genie's; JSON: the point's, hf's, genie's
    };
    const Case cases[] = {
        {kFewEvents, kFewEvents - 1, kFewEvents, "  # few events: genie\n", "0,1 0,0,1"},
        {kFewEvents - 1, 0, kFewEvents - 1, "  # few events: hf genie\n", "1,1 1,1,1"},
        {500, 500, 500, "\n", "0,0 0,0,0"},
    };
    for (const Case& k : cases) {
        events(ReceiverKind::hf) = k.hf;
        events(ReceiverKind::genie) = k.genie;
        p.spread.events = k.rule;
        std::ostringstream table, csv, json;
        write_table(table, c, r, "9.9");
        EXPECT_TRUE(table.str().ends_with(std::string("0.25") + k.note)) << table.str();
        write_csv(csv, c, r);
        std::istringstream lines(csv.str());
        std::string head, row, name, value, flags;
        std::getline(lines, head);
        std::getline(lines, row);
        std::istringstream names(head), values(row);
        while (std::getline(names, name, ',') && std::getline(values, value, ',')) {
            if (name.ends_with("few_events")) flags += (flags.empty() ? "" : ",") + value;
        }
        write_json(json, c, r, "9.9");
        const std::string j = json.str();
        flags += ' ';
        for (std::size_t at = 0; (at = j.find("\"few_events\": ", at)) != std::string::npos;) {
            at += 14;
            flags += (flags.back() == ' ' ? "" : ",") + j.substr(at, 1);
        }
        EXPECT_EQ(flags, k.flags) << csv.str() << j;
    }
    std::ostringstream table;
    write_table(table, c, r, "9.9");
    EXPECT_NE(
        table.str().find("# a row ending '# few events: R': R's interval rests on fewer than " +
                         std::to_string(kFewEvents) + " trials with a wrong bit"),
        std::string::npos);
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
              "| 0.6 s | 75 | awgn | <= 10.0* |\n| 0.6 s | 2400 | awgn | <= 10.0* |\n");

    const std::string script = sweep_plot_script("x.svg", c, r, PlotAxis::esno);
    // The rate is a third key of the picture: a line width each, stated once in the key.
    EXPECT_NE(script.find("data rate} (line width)"), std::string::npos) << script;
    const std::size_t slow = script.find("linewidth 0.7 title '75 bit/s'");
    const std::size_t fast = script.find("linewidth 1.5 title '2400 bit/s'");
    EXPECT_NE(slow, std::string::npos) << script;
    EXPECT_NE(fast, std::string::npos) << script;
    EXPECT_EQ(script.find("title '75 bit/s'", slow + 40), std::string::npos);  // once

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

// The plot command of a picture's script, taken apart: each item of the plot command with its
// style, and the rows of each inline data block.
struct PlotItem {
    std::string data;   // "$c0", "$f0", "$b0", "$theory3" (of 2^3-PSK), or "keyentry"
    std::string style;  // "yerrorlines", "points", "labels", ...
    std::string colour, dashtype, pointtype, title;
    std::string label;  // the text of "with labels"
};

std::string word_after(const std::string& item, const std::string& word) {
    const std::size_t at = item.find(word);
    if (at == std::string::npos) return "";
    const std::size_t from = at + word.size();
    const char end = item[from] == '\'' ? '\'' : ' ';
    const std::size_t begin = from + (end == '\'' ? 1 : 0);
    return item.substr(begin, item.find(end, begin) - begin);
}

std::vector<PlotItem> plot_items(const std::string& script) {
    const std::size_t plot = script.find("\nplot ");
    const std::string command = script.substr(plot + 6, script.find("\nset output\n", plot) - plot);
    std::vector<PlotItem> items;
    std::size_t from = 0;
    while (from < command.size()) {
        std::size_t end = command.find(", \\\n", from);
        if (end == std::string::npos) end = command.size();
        std::string item = command.substr(from, end - from);
        item = item.substr(item.find_first_not_of(' '));
        PlotItem it;
        it.data = item.substr(0, item.find(' '));
        it.style = word_after(item, "with ");
        it.label = word_after(item, "using 1:2:(");
        it.colour = word_after(item, "linecolor rgb ");
        if (it.colour.empty()) it.colour = word_after(item, "textcolor rgb ");
        it.dashtype = word_after(item, "dashtype ");
        it.pointtype = word_after(item, "pointtype ");
        it.title = item.find("notitle") != std::string::npos ? "" : word_after(item, "title ");
        items.push_back(it);
        from = end + 4;
    }
    return items;
}

// The script writes numbers with 6 significant digits: relative error at most 5e-6 (absolute on
// an axis value of magnitude below 10).
constexpr double kWritten = 5e-6;

std::vector<std::vector<double>> data_rows(const std::string& script, const std::string& block) {
    const std::size_t at = script.find(block + " << EOD\n");
    if (at == std::string::npos) return {};
    std::istringstream lines(
        script.substr(at, script.find("\nEOD\n", at) + 1 - at).substr(block.size() + 8));
    std::vector<std::vector<double>> rows;
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::vector<double> row;
        double v;
        while (fields >> v) row.push_back(v);
        rows.push_back(row);  // empty: a break in the curve
    }
    return rows;
}

// Each condition i and receiver r of `c` at Es/N0 0, 5 and 10 dB: 1000 + 100 i + 10 r + j wrong
// bits of 10^5 at the j-th point, none at 10 dB; the rate of a row tells its curve.
SweepResult numbered_result(const SweepConfig& c) {
    SweepResult result;
    for (std::size_t i = 0; i < c.conditions.size(); ++i) {
        for (int j = 0; j < 3; ++j) {
            PointResult p;
            p.condition = c.conditions[i];
            p.esno = 5.0 * j;
            p.trials = 10;
            for (const ReceiverKind r : c.receivers) {
                const auto k = static_cast<std::int64_t>(r);
                const std::int64_t errors = j == 2 ? 0 : 1000 + 100 * i + 10 * k + j;
                p.receivers[static_cast<std::size_t>(r)] = {100000, errors, 100000, errors, 10, 0};
            }
            result.points.push_back(p);
        }
    }
    return result;
}

// One colour per condition, one dash and marker per receiver, whichever curves share them; the key
// names each condition, each receiver and the theory once and no curve, and keeps out of the
// curves; a run of points without errors is one marker at its upper bound, in the curve's colour.
TEST(SweepPlotScript, OneColourPerConditionOneLinePerReceiverEachNamedOnce) {
    using R = ReceiverKind;
    struct Case {
        std::vector<std::string> conditions;
        std::vector<ReceiverKind> receivers;
        Metric metric;
        bool snr3k;
    };
    const Case cases[] = {
        {{"ruim"}, {R::hf}, Metric::decoded, true},
        {{"awgn", "muito_ruim"}, {R::hf, R::genie}, Metric::decoded, false},
        {{"awgn", "bom", "moderado", "ruim", "muito_ruim"},
         {R::hf, R::genie, R::baseline},
         Metric::decoded,
         true},
        {{"bom", "awgn", "ruim"}, {R::baseline, R::hf, R::genie}, Metric::coded, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.conditions.size() * 10 + k.receivers.size());
        SweepConfig c = config_for_test();
        c.conditions = k.conditions;
        c.receivers = k.receivers;
        c.metric = k.metric;
        c.esno = {0, 5, 10};
        const SweepResult result = numbered_result(c);
        const PlotAxis axis = k.snr3k ? PlotAxis::snr3k : PlotAxis::esno;
        const std::string script = sweep_plot_script("x.png", c, result, axis);
        EXPECT_EQ(script, sweep_plot_script("x.png", c, result, axis)) << "not reproducible";
        EXPECT_NE(script.find("\nset key outside right"), std::string::npos);

        std::map<std::size_t, std::set<std::string>> colours;   // by condition
        std::map<std::string, std::set<std::size_t>> coloured;  // conditions by colour
        std::map<ReceiverKind, std::set<std::string>> lines;    // dash and marker by receiver
        std::map<std::string, std::set<ReceiverKind>> lined;
        std::map<std::string, int> titles;  // of the key's entries
        const std::size_t xrange = script.find("set xrange [");
        ASSERT_NE(xrange, std::string::npos);
        const double x_high = std::stod(script.substr(script.find(':', xrange) + 1));
        std::size_t curves = 0;
        const std::size_t curves_drawn = k.conditions.size() * k.receivers.size();
        for (const PlotItem& item : plot_items(script)) {
            if (item.data == "keyentry" || item.data.starts_with("$theory")) {
                if (!item.title.empty()) ++titles[item.title];
                continue;
            }
            EXPECT_EQ(item.title, "") << "a curve named in the key: " << item.data;
            if (item.data.starts_with("$f")) {
                // Every measured point rests on 10 trials with errors: each is hollowed out.
                EXPECT_EQ(item.colour, "white");
                EXPECT_EQ(data_rows(script, item.data).size(), 2u);
                continue;
            }
            const auto rows = data_rows(script, "$c" + item.data.substr(2));
            ASSERT_FALSE(rows.empty()) << item.data;
            // The first row: 0 dB Es/N0 (shifted on the SNR axis), the curve's numbered rate.
            EXPECT_NEAR(rows[0][0], k.snr3k ? -kSnr3kOffset : 0, kWritten);
            const auto n = std::lround(rows[0][1] * 100000) - 1000;
            const auto i = static_cast<std::size_t>(n / 100);
            const auto r = static_cast<ReceiverKind>(n % 100 / 10);
            colours[i].insert(item.colour);
            coloured[item.colour].insert(i);
            if (item.data.starts_with("$c")) {
                ++curves;
                lines[r].insert(item.dashtype + "/" + item.pointtype);
                lined[item.dashtype + "/" + item.pointtype].insert(r);
                // Measured rows at 0 and 5 dB, then the break at 10 dB.
                EXPECT_EQ(rows.size(), 3u);
                EXPECT_TRUE(rows.back().empty());
            } else if (item.style == "labels") {
                // Each bound names its receiver.
                EXPECT_EQ(item.label, receiver_name(r));
            } else {
                // The bound of 0 errors in 10^5 bits at 10 dB, set aside from the others there
                // by a fiftieth of the axis's span (10 dB + 1) each.
                const auto bounds = data_rows(script, item.data);
                ASSERT_EQ(bounds.size(), 1u);
                const double others = static_cast<double>(curves_drawn - 1);
                EXPECT_NEAR(bounds[0][0], 10 - (k.snr3k ? kSnr3kOffset : 0),
                            others / 2 * 0.02 * 11 + 1e-4);  // to the digits written
                // Half a dB of room beyond it, as beyond the outer points (to rounding).
                EXPECT_GE(x_high - bounds[0][0], 0.5 - 1e-4) << "a bound at the frame's edge";
                EXPECT_NEAR(bounds[0][1] / wilson_interval(0, 100000).high, 1, kWritten);
                EXPECT_EQ(item.pointtype, "11");
            }
        }
        EXPECT_EQ(curves, k.conditions.size() * k.receivers.size());
        for (const auto& [i, set] : colours) EXPECT_EQ(set.size(), 1u) << k.conditions[i];
        for (const auto& [colour, set] : coloured) EXPECT_EQ(set.size(), 1u) << colour;
        for (const auto& [r, set] : lines) EXPECT_EQ(set.size(), 1u) << receiver_name(r);
        for (const auto& [line, set] : lined) EXPECT_EQ(set.size(), 1u) << line;
        EXPECT_EQ(colours.size(), k.conditions.size());
        EXPECT_EQ(lines.size(), k.receivers.size());

        // The key: each condition and receiver once, the theory once, the white-noise reference
        // once where the metric is decoded; nothing else names a condition or a receiver.
        std::size_t entries = 0;
        std::size_t reference = 0;
        for (const auto& [title, count] : titles) {
            EXPECT_EQ(count, 1) << title;
            reference += title.find("simulated reference") != std::string::npos ? 1 : 0;
            for (const std::string& name : k.conditions) {
                entries += title.starts_with(name + ":") ? 1 : 0;
            }
            for (const ReceiverKind r : k.receivers) {
                entries += title.starts_with(std::string(receiver_name(r)) + ":") ? 1 : 0;
            }
        }
        EXPECT_EQ(entries, k.conditions.size() + k.receivers.size());
        const bool awgn =
            std::find(k.conditions.begin(), k.conditions.end(), "awgn") != k.conditions.end();
        EXPECT_EQ(reference, awgn && k.metric == Metric::decoded ? 1u : 0u);
        EXPECT_EQ(titles.count("theory: Gray 8-PSK on white noise"), 1u);
        EXPECT_NE(script.find(k.metric == Metric::decoded ? "Decoded information-bit error rate"
                                                          : "Coded-bit error rate"),
                  std::string::npos);
        EXPECT_EQ(script.find("SNR in 3 kHz") != std::string::npos, k.snr3k);
    }
}

// The theory of the coded bits is drawn once for each constellation among the rates, named once
// in the key, and not at all for the 75 bit/s patterns alone.
TEST(SweepPlotScript, OneTheoryPerConstellationOfTheRates) {
    struct Case {
        std::vector<double> rates;
        std::vector<std::string> labels;  // 8-PSK first
    };
    const Case cases[] = {
        {{2400}, {"theory: Gray 8-PSK on white noise"}},
        {{4800, 2400}, {"theory: Gray 8-PSK on white noise"}},
        {{75, 600, 300, 2400},
         {"theory: Gray 8-PSK on white noise", "theory: 2-PSK on white noise"}},
        {{1200, 150}, {"theory: Gray 4-PSK on white noise", "theory: 2-PSK on white noise"}},
        {{75}, {}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.rates.size() * 10 + k.labels.size());
        SweepConfig c = config_for_test();
        c.rates = k.rates;
        c.conditions = {"awgn"};
        c.esno = {0, 5, 10};
        const std::string script =
            sweep_plot_script("x.png", c, numbered_result(c), PlotAxis::esno);
        std::vector<std::string> drawn, named;
        for (const PlotItem& item : plot_items(script)) {
            if (item.data.starts_with("$theory")) drawn.push_back(item.data);
            if (item.title.starts_with("theory")) named.push_back(item.title);
        }
        EXPECT_EQ(named, k.labels);
        EXPECT_EQ(drawn.size(), k.labels.size());
        EXPECT_EQ(script.find("(coded bits, before decoding)") != std::string::npos,
                  !k.labels.empty());
    }
    // The curves at 0 dB Es/N0: Q(sqrt(2)) for 2-PSK, Q(1) for Gray 4-PSK.
    SweepConfig c = config_for_test();
    c.rates = {1200, 600};
    c.conditions = {"awgn"};
    c.esno = {0, 5, 10};
    const std::string script = sweep_plot_script("x.png", c, numbered_result(c), PlotAxis::esno);
    EXPECT_NEAR(data_rows(script, "$theory1")[0][1], 0.5 * std::erfc(1.0), kWritten);
    EXPECT_NEAR(data_rows(script, "$theory2")[0][1], 0.5 * std::erfc(std::sqrt(0.5)), kWritten);
}

// Points without errors along one curve, given out of order: the curve runs through the measured
// points in order along the axis and breaks at each run without errors, which is drawn once, at
// the upper bound of its first point; a point without bits (stopped before its first trial) is
// not drawn; the axis reaches below every bound and interval drawn.
TEST(SweepPlotScript, PointsWithoutErrorsAreUpperBoundsOncePerRun) {
    SweepConfig c = config_for_test();
    c.conditions = {"bom"};
    c.receivers = {ReceiverKind::hf};
    // Es/N0 -> (wrong bits, bits): measured, none, none, measured, none, unmeasured.
    const std::map<double, std::pair<std::int64_t, std::int64_t>> counts = {
        {0, {500, 10000}}, {2, {0, 20000}},   {4, {0, 1000000}},
        {6, {3, 2000000}}, {8, {0, 4000000}}, {10, {0, 0}},
    };
    c.esno = {10, 8, 6, 4, 2, 0};
    SweepResult result;
    for (const double e : c.esno) {
        PointResult p;
        p.condition = "bom";
        p.esno = e;
        const auto [errors, bits] = counts.at(e);
        p.receivers[1] = {bits, errors, bits, errors, 1, 0};
        result.points.push_back(p);
    }
    const std::string script = sweep_plot_script("x.svg", c, result, PlotAxis::esno);
    const auto rows = data_rows(script, "$c0");
    ASSERT_EQ(rows.size(), 4u) << script;
    EXPECT_EQ(rows[0].size(), 4u);  // x, rate, interval
    EXPECT_EQ(rows[0][0], 0);
    EXPECT_NEAR(rows[0][1], 0.05, 0.05 * kWritten);
    EXPECT_TRUE(rows[1].empty());
    EXPECT_EQ(rows[2][0], 6);
    EXPECT_NEAR(rows[2][1], 1.5e-6, 1.5e-6 * kWritten);
    EXPECT_TRUE(rows[3].empty());
    const auto bounds = data_rows(script, "$b0");
    ASSERT_EQ(bounds.size(), 2u);
    EXPECT_NEAR(bounds[0][0], 2, 1e-9);  // one condition: not set aside
    EXPECT_NEAR(bounds[0][1] / wilson_interval(0, 20000).high, 1, kWritten);
    EXPECT_NEAR(bounds[1][0], 8, 1e-9);
    EXPECT_NEAR(bounds[1][1] / wilson_interval(0, 4000000).high, 1, kWritten);
    // The axis reaches below the lowest interval end (about 5e-7 at 6 dB) and bound drawn, by
    // at most two decades.
    double lowest = std::min(bounds[0][1], bounds[1][1]);
    for (const auto& row : rows) lowest = row.empty() ? lowest : std::min(lowest, row[2]);
    const std::size_t at = script.find("set yrange [");
    ASSERT_NE(at, std::string::npos);
    const double axis_floor = std::stod(script.substr(at + 12));
    EXPECT_LE(axis_floor, lowest);
    EXPECT_GT(axis_floor, lowest / 100);
    EXPECT_EQ(script.find("NaN"), std::string::npos);
}

TEST(GnuplotQuote, DoublesSingleQuotes) {
    EXPECT_EQ(gnuplot_quote("a'b.svg"), "'a''b.svg'");
    EXPECT_EQ(gnuplot_quote(""), "''");
}

// Every writer of JSON (the sweep's, the requirements') quotes its text here.
TEST(JsonQuote, EscapesQuotesBackslashesAndControlCharacters) {
    const struct {
        std::string in;
        const char* out;
    } cases[] = {
        {"hf", "\"hf\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"1.0\n\t\x01\x1f", "\"1.0\\u000a\\u0009\\u0001\\u001f\""},
        {std::string("a\0b", 3), "\"a\\u0000b\""},
        {"\x7f\xc3\xa9", "\"\x7f\xc3\xa9\""},
    };
    for (const auto& c : cases) EXPECT_EQ(json_quote(c.in), c.out) << c.out;
}

TEST(PlotSweep, WritesSvgAndPng) {
    if (!have_program("gnuplot")) GTEST_SKIP() << "gnuplot not installed";
    ScratchDir dir("plot");
    for (const char* name : {"sweep.svg", "it's.png"}) {
        const std::string file = dir / name;
        plot_sweep(file, "--plot", config_for_test(), result_for_test(), PlotAxis::esno);
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
