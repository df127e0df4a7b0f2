// Where a curve crosses a target rate, and the crossing table of a sweep.
#include "sweep/crossings.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "params/waveform.hpp"

namespace hfchain::sweep {
namespace {

using Kind = Crossing::Kind;

// Straight lines in log10 of the rate between the bracketing measured points; error-free points
// are passed over; the bounds when no pair brackets the target.
TEST(FindCrossing, KnownCurves) {
    struct Case {
        std::vector<double> x;
        std::vector<double> rate;
        double target;
        Kind kind;
        double at;
        const char* text;
        std::size_t first = 0, last = 0;  // the points it rests on
    };
    const Case cases[] = {
        {{0, 1, 2}, {1e-1, 1e-3, 1e-5}, 1e-4, Kind::at, 1.5, "1.5", 1, 2},
        {{0, 1, 2}, {1e-1, 1e-3, 1e-5}, 1e-3, Kind::at, 1.0, "1.0", 1, 2},  // exactly on a point
        {{4, 6}, {1e-2, 1e-4}, 1e-3, Kind::at, 5.0, "5.0", 0, 1},
        // A quarter of the way in log10: from 1e-2 at 8 dB to 1e-6 at 12 dB, 1e-3 lies at 9 dB.
        {{8, 12}, {1e-2, 1e-6}, 1e-3, Kind::at, 9.0, "9.0", 0, 1},
        {{0, 1, 2, 3}, {1e-2, 0, 1e-4, 1e-6}, 1e-3, Kind::at, 1.0, "1.0", 0, 2},  // 0 passed over
        {{0, 1}, {1e-2, 1e-3}, 1e-5, Kind::not_reached, 1, "> 1.0", 1, 1},
        {{0, 1}, {1e-6, 1e-7}, 1e-3, Kind::below_from_start, 0, "< 0.0"},
        {{0, 1, 2}, {1e-2, 0, 0}, 1e-5, Kind::fell_to_zero, 1, "<= 1.0", 1, 1},
        {{}, {}, 1e-3, Kind::none, 0, "-"},
        {{0, 1}, {1e-2, 1e-4}, 1e-3, Kind::at, 0.5, "0.5", 0, 1},
    };
    for (const Case& c : cases) {
        const Crossing got = find_crossing(c.x, c.rate, c.target);
        EXPECT_EQ(got.kind, c.kind) << c.text;
        // Sums of a few logarithms of exact powers of ten: exact to a few units in the last place.
        EXPECT_NEAR(got.x, c.at, 1e-12) << c.text;
        EXPECT_EQ(crossing_text(got), c.text);
        EXPECT_EQ(got.first, c.first) << c.text;
        EXPECT_EQ(got.last, c.last) << c.text;
    }
}

TEST(TargetText, PowersOfTenAndOthers) {
    EXPECT_EQ(target_text(1e-3), "1e-3");
    EXPECT_EQ(target_text(1e-5), "1e-5");
    EXPECT_EQ(target_text(0.1), "1e-1");
    EXPECT_EQ(target_text(2.5e-4), "2.5e-4");
}

// A sweep of two conditions with the HF receiver and the genie: one row per condition, the gap
// only where both crossings are interpolated, the interleaver and the axis as given.
TEST(WriteCrossings, OneRowPerConditionWithTheGapToTheGenie) {
    SweepConfig config;
    config.interLen = 4.8;
    config.conditions = {"awgn", "ruim"};
    config.receivers = {ReceiverKind::hf, ReceiverKind::genie};
    config.metric = Metric::decoded;
    SweepResult result;
    // The decoded rates (hf, genie) at SNR 6 and 8 dB in 3 kHz, over 1e6 information bits.
    auto point = [](const char* condition, double snr, std::int64_t hf, std::int64_t genie) {
        PointResult p;
        p.condition = condition;
        p.esno = esno_of_snr3k(snr);
        p.receivers[static_cast<std::size_t>(ReceiverKind::hf)].infoBits = 1000000;
        p.receivers[static_cast<std::size_t>(ReceiverKind::hf)].infoErrors = hf;
        p.receivers[static_cast<std::size_t>(ReceiverKind::genie)].infoBits = 1000000;
        p.receivers[static_cast<std::size_t>(ReceiverKind::genie)].infoErrors = genie;
        // An event in every trial with errors, up to 1000 trials: fewer than kFewEvents only
        // where the errors are that few.
        p.infoSpread[static_cast<std::size_t>(ReceiverKind::hf)].events = std::min<long>(hf, 1000);
        p.infoSpread[static_cast<std::size_t>(ReceiverKind::genie)].events =
            std::min<long>(genie, 1000);
        return p;
    };
    result.points = {point("awgn", 6, 10000, 10000), point("awgn", 8, 100, 5),
                     point("ruim", 6, 100000, 10000), point("ruim", 8, 500, 0)};
    std::ostringstream out;
    write_crossings(out, config, result, {1e-3, 1e-5}, true);
    // awgn: hf 1e-2 -> 1e-4 crosses 1e-3 at 7 dB and never reaches 1e-5; the genie 1e-2 ->
    // 5e-6 crosses at 6 + 2 (1 / 3.301) and 6 + 2 (3 / 3.301) dB. ruim: hf 1e-1 -> 5e-4 crosses
    // 1e-3 at 6 + 2 (2 / 2.301) dB; the genie falls from 1e-2 to no error. The genie's 5 errors
    // at 8 dB on awgn and its none on ruim are few events: its crossings and gaps are marked.
    EXPECT_EQ(out.str(),
              "| interleaver | condition | hf @1e-3 | genie @1e-3 | gap | hf @1e-5 | genie @1e-5 "
              "| gap |\n"
              "|---|---|---|---|---|---|---|---|\n"
              "| 4.8 s | awgn | 7.0 | 6.6* | 0.4* | > 8.0 | 7.8* | - |\n"
              "| 4.8 s | ruim | 7.7 | <= 8.0* | - | > 8.0 | <= 8.0* | - |\n");
    // Without the genie there is no gap; on the Es/N0 axis the points move by the offset.
    config.receivers = {ReceiverKind::hf};
    std::ostringstream alone;
    write_crossings(alone, config, result, {1e-3}, false, "# ");
    EXPECT_EQ(alone.str(),
              "# | interleaver | condition | hf @1e-3 |\n# |---|---|---|\n"
              "# | 4.8 s | awgn | 8.0 |\n# | 4.8 s | ruim | 8.7 |\n");
}

}  // namespace
}  // namespace hfchain::sweep
