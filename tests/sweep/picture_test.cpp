// The pictures of error rates: a frame that follows what is drawn, the Eb/N0 axis, the marks of
// few error events and of bounds, and the requirement inside the frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "params/waveform.hpp"
#include "sweep/requirements_picture.hpp"
#include "sweep/sweep_picture.hpp"

namespace hfchain::sweep {
namespace {

// A point of `trials` trials of 10^5 information (and coded) bits each, `errors` wrong bits in
// each trial (0: none), for every receiver.
PointResult point(double rate, const std::string& condition, double esno, std::int64_t errors,
                  int trials) {
    PointResult p;
    p.dataRate = rate;
    p.condition = condition;
    p.esno = esno;
    p.trials = trials;
    for (std::size_t r = 0; r < kReceiverCount; ++r) {
        for (int t = 0; t < trials; ++t) {
            p.infoSpread[r].add(errors, 100000);
            p.codedSpread[r].add(errors, 100000);
        }
        p.receivers[r] = {100000LL * trials, errors * trials, 100000LL * trials,
                          errors * trials,   trials,          errors > 0 ? trials : 0};
    }
    return p;
}

// The two ends of "set <axis>range [LOW:HIGH]" in a script.
std::pair<double, double> range(const std::string& script, const std::string& axis) {
    const std::size_t at = script.find("set " + axis + "range [");
    EXPECT_NE(at, std::string::npos) << script;
    if (at == std::string::npos) return {0, 0};
    const std::size_t from = at + 12;
    const std::size_t colon = script.find(':', from);
    return {std::stod(script.substr(from, colon - from)), std::stod(script.substr(colon + 1))};
}

// The rows of the inline block `$name`.
std::vector<std::vector<double>> block_rows(const std::string& script, const std::string& name) {
    std::vector<std::vector<double>> rows;
    const std::size_t at = script.find(name + " << EOD\n");
    if (at == std::string::npos) return rows;
    std::istringstream lines(script.substr(
        at + name.size() + 8, script.find("EOD\n", at + name.size() + 8) - (at + name.size() + 8)));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::vector<double> row;
        double v;
        while (fields >> v) row.push_back(v);
        if (!row.empty()) rows.push_back(row);
    }
    return rows;
}

// The rate axis runs over whole decades from the one at or below the lowest rate, interval end
// or bound drawn to the one at or above the highest, wherever the data lie; the Es/N0 axis holds
// every point with half a dB beside it.
TEST(SweepPicture, TheFrameFollowsTheData) {
    struct Case {
        std::int64_t errors;  // per trial of 10^5 bits at the first point; a tenth at the second
        int trials;           // at the second point
    };
    // Rates 0.2 and 0.02; 3e-3 and 3e-4; 5e-4 and 5e-5 on 3 trials; 3e-5 and none (a bound).
    const Case cases[] = {{20000, 40}, {300, 40}, {50, 3}, {3, 40}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.errors);
        SweepConfig c;
        c.conditions = {"bom"};
        c.receivers = {ReceiverKind::hf};
        c.esno = {4, 9};
        SweepResult result;
        result.points = {point(2400, "bom", 4, k.errors, 40),
                         point(2400, "bom", 9, k.errors / 10, k.trials)};
        const std::string script = sweep_plot_script("x.svg", c, result, PlotAxis::esno);
        double lowest = 1;
        double highest = 0;
        for (const auto& row : block_rows(script, "$c0")) {
            lowest = std::min(lowest, row[2]);
            highest = std::max(highest, row[3]);
        }
        for (const auto& row : block_rows(script, "$b0")) {
            lowest = std::min(lowest, row[1]);
            highest = std::max(highest, row[1]);
        }
        // Whole decades, the nearest outside what is drawn with a tenth of a decade of room.
        const auto [low, high] = range(script, "y");
        EXPECT_NEAR(std::log10(low), std::round(std::log10(low)), 1e-9);
        EXPECT_LE(std::log10(low), std::log10(lowest) - 0.1);
        EXPECT_GT(std::log10(low), std::log10(lowest) - 1.1);
        EXPECT_TRUE(high == 1 || std::log10(high) >= std::log10(highest) + 0.1) << high;
        EXPECT_LT(std::log10(high), std::log10(highest) + 1.1);
        EXPECT_LE(high, 1);
        const auto [left, right] = range(script, "x");
        EXPECT_NEAR(left, 3.5, 1e-9);
        EXPECT_NEAR(right, 9.5, 1e-9);
    }
}

// On the Eb/N0 axis each rate's curve lies 10 log10(2400 / rate) dB to the right of its Es/N0;
// on the SNR axis every curve lies 0.97 dB to the left.
TEST(SweepPicture, EachRateOnTheEbN0Axis) {
    SweepConfig c;
    c.conditions = {"awgn"};
    c.receivers = {ReceiverKind::hf};
    c.rates = {2400, 600, 4800};
    c.esno = {3};
    SweepResult result;
    for (const double rate : c.rates) result.points.push_back(point(rate, "awgn", 3, 100, 40));
    const struct {
        PlotAxis axis;
        double shift[3];
        const char* label;
    } cases[] = {
        {PlotAxis::ebno, {0, 10 * std::log10(4.0), -10 * std::log10(2.0)}, "E_b/N_0 (dB)"},
        {PlotAxis::snr3k, {-kSnr3kOffset, -kSnr3kOffset, -kSnr3kOffset}, "SNR in 3 kHz"},
        {PlotAxis::esno, {0, 0, 0}, "'E_s/N_0 (dB)'"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(plot_axis_name(k.axis));
        const std::string script = sweep_plot_script("x.svg", c, result, k.axis);
        for (std::size_t i = 0; i < 3; ++i) {
            const auto rows = block_rows(script, "$c" + std::to_string(i));
            ASSERT_EQ(rows.size(), 1u);
            EXPECT_NEAR(rows[0][0], 3 + k.shift[i], 1e-5);
        }
        EXPECT_NE(script.find(k.label), std::string::npos);
    }
}

// The requirements' picture: intervals, few-event points hollow, runs without errors as bounds
// named by their receiver, and the requirement's cross inside the frame however far it lies from
// the measured points.
TEST(RequirementsPicture, IntervalsBoundsAndTheCrossInsideTheFrame) {
    RequirementsConfig config;
    config.receivers = {ReceiverKind::hf, ReceiverKind::genie};
    // A row whose target, 1e-5, lies on a decade.
    std::size_t row = 0;
    while (requirement_rows()[row].ber != 1e-5) ++row;
    const RequirementRow& req = requirement_rows()[row];
    const double x_cross = req.snr3k;
    struct Case {
        double first;  // the first point's SNR (3 kHz)
        int trials;    // at the last point, without errors (1: its bound lies above the target)
    };
    for (const Case& k : {Case{x_cross - 12, 40}, Case{x_cross + 9, 1}, Case{x_cross, 1}}) {
        SCOPED_TRACE(k.first);
        RequirementRowResult rr;
        rr.index = row;
        // Rates of 3e-2 (many events), 3e-2 on few events, then none at all.
        rr.points = {point(req.rate, "", esno_of_snr3k(k.first), 3000, 40),
                     point(req.rate, "", esno_of_snr3k(k.first + 1), 3000, 5),
                     point(req.rate, "", esno_of_snr3k(k.first + 2), 0, k.trials)};
        RequirementsResult result;
        result.rows = {rr};
        const std::string script = requirements_plot_script("t.png", config, result);
        EXPECT_NE(script.find("$c0 using 1:2:3:4 with yerrorlines"), std::string::npos);
        EXPECT_EQ(block_rows(script, "$f0").size(), 1u) << "the few-events point is hollow";
        EXPECT_NE(script.find("'hollow: interval rests on fewer than"), std::string::npos);
        // Each receiver's bound, labelled with its name.
        for (const char* name : {"hf", "genie"}) {
            EXPECT_NE(script.find("with labels"), std::string::npos);
            EXPECT_NE(script.find(std::string(":('") + name + "') with labels"), std::string::npos)
                << name;
        }
        const auto [left, right] = range(script, "x");
        const auto [low, high] = range(script, "y");
        EXPECT_LT(left, x_cross);
        EXPECT_GT(right, x_cross);
        EXPECT_LT(low, req.ber) << "the cross on the frame";
        EXPECT_GE(high, 3e-2);
        EXPECT_LE(high, 1);
        for (const auto& bound : block_rows(script, "$b0")) EXPECT_GE(bound[1], low);
    }
}

}  // namespace
}  // namespace hfchain::sweep
