// Sample-clock tracking: the offset it reads from a received transmission, and what it refuses;
// the reading refined from the known symbols, within the uncertainty it gives.
#include "receiver/clocktrack/clocktrack.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "audio/filters.hpp"
#include "chain/road_channel.hpp"
#include "params/rateconf.hpp"
#include "receiver/clocktrack/clockrefine.hpp"
#include "receiver/layout/layout.hpp"
#include "receiver/matchedfilter/pulsematch.hpp"
#include "runtime/builtin_host.hpp"
#include "shaping/pulseshaper.hpp"
#include "tests/receiver/expect_error.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain {
namespace {

const VarShapping kShaping{0.35, 6, 5};

// A shaped transmission of `blocks` 0.6 s interleaver blocks at `rate`, through the channel
// `condition` at Es/N0 `esno`, as a receiver whose clock runs `ppm` faster takes it: the
// baseband resampled by (1 + ppm 1e-6) (the audio resampler on the complex samples).
ComplexArray received(double rate, double blocks, const std::string& condition, double esno,
                      double ppm, double seed) {
    BuiltinHost host;
    const SendchainOut tx = sendchain(rateconf(rate, 0.6), blocks, seed, host);
    const ComplexArray shaped = pulseshaper(tx.MultiplexOut, kShaping).out;
    std::vector<cdouble> x(shaped.begin(), shaped.end()), y;
    audio::Resampler resampler(1, 1 + ppm * 1e-6);
    resampler.push(x.data(), x.size(), y);
    resampler.finish(y);
    ComplexArray drifted(static_cast<index_t>(y.size()));
    std::copy(y.begin(), y.end(), drifted.begin());
    const RoadChannel channel = road_channel(condition, esno, seed + 1);
    if (channel.kind == ChannelKind::none) return drifted;
    return pass_channel(channel, drifted, kShaping, host).AwgnOut;
}

// The offset read within a tolerance across +-100 ppm, on white noise and through fading (whose
// paths wander the symbol-rate line's phase, so the tolerance is wider), at 2400 bit/s (10 blocks,
// 6 s) and at 75 bit/s, which has no known symbols in its data. The largest errors seen over
// these seeds: 0.7 ppm on white noise at 2400 bit/s, 4.3 at 75 bit/s (Es/N0 0 dB), 7.6 on
// "ruim", 0.5 on "muito_ruim" (its two paths of equal power keep the line's phase steadier).
TEST(Clocktrack, ReadsTheOffsetWithinItsTolerance) {
    struct Case {
        const char* condition;
        double rate, blocks, esno, tolerance;  // tolerance in ppm
    };
    const Case cases[] = {
        {"awgn", 2400, 10, 10, 2},
        {"awgn", 75, 8, 0, 8},
        {"ruim", 2400, 10, 15, 12},
        {"muito_ruim", 600, 10, 10, 5},
    };
    for (const Case& c : cases) {
        for (const double ppm : {-100.0, -30.0, 0.0, 50.0, 100.0}) {
            const ComplexArray x = received(c.rate, c.blocks, c.condition, c.esno, ppm, 200 + ppm);
            const ClocktrackOut out = clocktrack(x, kShaping, {});
            EXPECT_NEAR(out.ppm, ppm, c.tolerance) << c.condition << " at " << c.rate;
            EXPECT_EQ(out.centre.numel(), out.timing.numel());
        }
    }
}

// A span names where the transmission lies: noise before and after it does not move the reading.
TEST(Clocktrack, ReadsOnlyTheSpanItIsGiven) {
    const ComplexArray x = received(2400, 4, "awgn", 12, 80, 3);
    ComplexArray padded(x.numel() + 20000);
    BuiltinHost host(5);
    const RealArray re = host.randn(padded.numel(), 1);
    for (index_t k = 0; k < padded.numel(); ++k) padded[k] = 0.3 * re[k];
    for (index_t k = 0; k < x.numel(); ++k) padded[10000 + k] += x[k];
    VarClocktrack span;
    span.first = 10000;
    span.count = static_cast<double>(x.numel());
    EXPECT_NEAR(clocktrack(padded, kShaping, span).ppm, 80, 3);
}

// The refinement from the known symbols: the offset set lies within the uncertainty given, which
// stays narrow enough to tell, through two paths 1 ms apart too (where the symbol-rate line
// wanders: clocktrack's reading is handed over as it is), and from a reading that drifts most of
// a symbol away over the transmission (80 ppm over 3.6 s, 50 over 6.6 s); at
// 75 bit/s, whose blocks carry no known symbols, there is nothing to refine.
TEST(Clocktrack, RefinedReadingHoldsTheOffsetWithinItsUncertainty) {
    struct Case {
        const char* condition;
        double rate, blocks, esno, ppm, misread, widest;  // ppm; misread: added to clocktrack's
    };
    const Case cases[] = {
        {"awgn", 2400, 3, 10, 100, 0, 30},    {"awgn", 600, 5, 5, -100, 80, 20},
        {"moderado", 2400, 5, 15, 0, 0, 60},  {"moderado", 2400, 5, 15, -100, 0, 60},
        {"ruim", 2400, 10, 15, 100, -50, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.condition) + " at " + std::to_string(c.ppm) + " ppm");
        const ComplexArray x = received(c.rate, c.blocks, c.condition, c.esno, c.ppm, 7);
        const ModeParams mode = rateconf(c.rate, 0.6);
        const auto M = static_cast<index_t>(kShaping.oversamplingFactor);
        const index_t symbols = x.numel() / M - 2 * static_cast<index_t>(kShaping.pulseDelay);
        const KnownSymbols known =
            known_symbols(mode, transmission_layout(mode, whole_frames(mode, symbols)));
        const double window = clocktrack_window(x.numel(), M);
        const ClockrefineIn in{.M = M,
                               .peak = 2 * static_cast<index_t>(kShaping.pulseDelay) * M,
                               .ppm = clocktrack(x, kShaping, {0, 0, window}).ppm + c.misread,
                               .window = window,
                               .preamble = mode.preamSync.numel()};
        const auto refined = clockrefine(pulsematch(x, kShaping).out, known.mean, known.var, in);
        ASSERT_TRUE(refined.has_value());
        EXPECT_NEAR(refined->ppm, c.ppm, refined->uncertainty);
        EXPECT_LE(refined->uncertainty, c.widest);
    }
    const ComplexArray x = received(75, 8, "awgn", 10, 0, 7);
    const ModeParams mode = rateconf(75, 0.6);
    const KnownSymbols known =
        known_symbols(mode, transmission_layout(mode, whole_frames(mode, x.numel() / 5 - 12)));
    EXPECT_FALSE(
        clockrefine(pulsematch(x, kShaping).out, known.mean, known.var,
                    {.M = 5, .peak = 60, .window = 256, .preamble = mode.preamSync.numel()})
            .has_value());
}

TEST(Clocktrack, RefusesWhatItCannotRead) {
    const ComplexArray x = received(2400, 1, "none", 0, 0, 1);
    const double n = static_cast<double>(x.numel());
    struct Case {
        const char* what;
        VarShapping shaping;
        VarClocktrack settings;
        std::string words;
    };
    const Case cases[] = {
        {"M 1", {0.35, 5, 1}, {}, "M 1 gives no symbol-rate line"},
        {"short window", kShaping, {0, 0, 8}, "window 8 symbols"},
        {"first past the end", kShaping, {n + 1, 0, 256}, "is no sample"},
        {"count past the end", kShaping, {10, n, 256}, "reaches past"},
        {"fractional first", kShaping, {0.5, 0, 256}, "is no sample"},
        {"too few windows", kShaping, {0, 2000, 256}, "it takes at least 3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testing::expect_error([&] { clocktrack(x, c.shaping, c.settings); }, kClocktrackRefused,
                              c.words);
    }
    ComplexArray bad = x;
    bad[100] = cdouble(std::nan(""), 0);
    testing::expect_error([&] { clocktrack(bad, kShaping, {}); }, kClocktrackRefused,
                          "sample 100 is not finite");
}

}  // namespace
}  // namespace hfchain
