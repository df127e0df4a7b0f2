// The compact table and the crossings summary that a terminal shows of a sweep.
#include "sweep/summary.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "params/waveform.hpp"
#include "sweep/crossings.hpp"
#include "sweep/interval.hpp"

namespace hfchain::sweep {
namespace {

constexpr auto kHf = static_cast<std::size_t>(ReceiverKind::hf);
constexpr auto kGenie = static_cast<std::size_t>(ReceiverKind::genie);

// A point of the default sweep: `hf` and `genie` decoded errors in 1e6 bits of 100 trials, each
// wrong trial one event.
PointResult point(const std::string& condition, double snr, std::int64_t hf, std::int64_t genie,
                  StopReason stop) {
    PointResult p;
    p.condition = condition;
    p.esno = esno_of_snr3k(snr);
    p.trials = 100;
    p.stop = stop;
    const std::int64_t errors[] = {0, hf, genie};
    for (const std::size_t r : {kHf, kGenie}) {
        ReceiverCounts& n = p.receivers[r];
        n.infoBits = 1000000;
        n.infoErrors = errors[r];
        n.blocks = 100;
        n.blockErrors = std::min<std::int64_t>(errors[r], 100);
        p.infoSpread[r].events = std::min<std::int64_t>(errors[r], 100);
    }
    return p;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The default sweep's conditions and receivers: every line within 110 characters, one line a
// point with the condition's name, the SNR as given, each receiver's rate, interval and blocks
// wrong, and what stopped it; a few-events interval marked, a point without bits shown as such.
TEST(CompactTable, DefaultSweepFitsAndShowsEachPoint) {
    SweepConfig config;  // all five conditions, hf and genie, SNR in 3 kHz
    SweepResult result;
    result.wallSeconds = 12.25;
    for (const std::string& c : config.conditions) {
        result.points.push_back(point(c, 4, 20000, 5000, StopReason::events));
        result.points.push_back(point(c, 6, 12, 0, StopReason::bits));
    }
    result.points.back().receivers[kHf] = {};  // hf ran none of its trials
    std::ostringstream out;
    write_compact_table(out, config, result, "9.9", true);
    const std::vector<std::string> lines = lines_of(out.str());
    for (const std::string& line : lines) EXPECT_LE(line.size(), 110u) << line;
    ASSERT_GE(lines.size(), result.points.size());
    EXPECT_EQ(lines.front().rfind("hfchain 9.9 sweep: 2400 bit/s, interleaver 4.8 s, 1 block", 0),
              0u);
    const std::size_t first = lines.size() - result.points.size();
    const struct {
        std::size_t row;
        const char* line;
    } cases[] = {
        {0,
         "bom            4.0     100  2.00e-02  [2.0e-02,2.0e-02]     100  5.00e-03  "
         "[4.9e-03,5.1e-03]     100  events"},
        {1,
         "bom            6.0     100  1.20e-05  [6.9e-06,2.1e-05]*     12         0  "
         "[0,3.8e-06]*            0  bits"},
        {9,
         "awgn           6.0     100         -  -                       0         0  "
         "[0,3.8e-06]*            0  bits"},
    };
    for (const auto& c : cases) EXPECT_EQ(lines[first + c.row], c.line);
    EXPECT_NE(lines[first - 1].find("BER  95 % interval     blk err"), std::string::npos);
}

// The summary holds the crossing table's cells, aligned under its head, under a legend of at
// most 100 characters a line.
TEST(CrossingsSummary, AlignsTheCrossingTable) {
    SweepConfig config;
    config.conditions = {"awgn", "muito_ruim"};
    SweepResult result;
    result.points = {point("awgn", 4, 20000, 5000, StopReason::events),
                     point("awgn", 6, 12, 0, StopReason::bits),
                     point("muito_ruim", 4, 90000, 20000, StopReason::events),
                     point("muito_ruim", 6, 500, 100, StopReason::events)};
    std::ostringstream out;
    write_crossings_summary(out, config, result, default_targets(), true);
    const std::vector<std::string> lines = lines_of(out.str());
    ASSERT_GE(lines.size(), 3u);
    const CrossingTable table = crossing_table(config, result, default_targets(), true);
    ASSERT_EQ(table.rows.size(), 2u);
    const std::size_t head = lines.size() - 3;
    for (std::size_t k = 0; k < head; ++k) EXPECT_LE(lines[k].size(), 100u) << lines[k];
    // awgn: hf from 2e-2 to 1.2e-5 (12 errors: few events), the genie from 5e-3 to no error;
    // muito_ruim: hf from 9e-2 to 5e-4, the genie from 2e-2 to 1e-4, both crossing 1e-3.
    EXPECT_EQ(lines[head], "condition   hf @1e-3  genie @1e-3  gap  hf @1e-5  genie @1e-5  gap");
    EXPECT_EQ(lines[head + 1],
              "awgn            4.8*      <= 6.0*    -    > 6.0*      <= 6.0*    -");
    EXPECT_EQ(lines[head + 2],
              "muito_ruim       5.7          5.1  0.6     > 6.0        > 6.0    -");
}

TEST(Wrapped, BreaksAtSpacesWithinTheWidth) {
    EXPECT_EQ(wrapped("one two three four", 9), "one two\nthree\nfour\n");
    EXPECT_EQ(wrapped("a verylongword b", 4), "a\nverylongword\nb\n");
    EXPECT_EQ(wrapped("", 10), "");
}

}  // namespace
}  // namespace hfchain::sweep
