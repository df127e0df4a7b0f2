#include "receiver/freqlock/freqlock.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "channel/hfchannel.hpp"
#include "receiver/chansound/chansound.hpp"
#include "receiver/framesync/framelock.hpp"
#include "receiver/matchedfilter/pulsematch.hpp"
#include "runtime/builtin_host.hpp"
#include "shaping/pulseshaper.hpp"
#include "tests/channel/recording_host.hpp"
#include "tests/receiver/expect_error.hpp"
#include "tests/receiver/hf_support.hpp"
#include "tests/support/signals.hpp"

namespace hfchain {
namespace {

using testing::expect_error;

const VarShapping kShaping{0.35, 6, 5};

// One 2400 bit/s transmission (0.6 s interleaver, one block) through `channel` at Es/N0 `EsNodB`,
// matched-filtered.
// `impulse`, when not 0, replaces received sample `at` before the matched filter.
ComplexArray received(const HfChannel& channel, double EsNodB, double seed, cdouble impulse = 0.0,
                      index_t at = 0) {
    BuiltinHost host;
    const ModeParams& mode = testing::standard(0.6);
    const SendchainOut tx = sendchain(mode, 1, seed, host);
    const ComplexArray x = pulseshaper(tx.MultiplexOut, kShaping).out;
    HfchannelOut y = hfchannel(x, {channel, EsNodB, seed + 1}, kShaping, host);
    if (impulse != 0.0) y.AwgnOut[at] = impulse;
    return pulsematch(y.AwgnOut, kShaping).out;
}

HfChannel fixed_path(double offset) { return {{{0, 0, 0, 0}}, offset}; }

// Two equal paths 2 ms (24 samples at M = 5) apart, 1 Hz spread.
HfChannel two_paths(double offset) {
    return {{{0, -3, 1, 0}, {24.0 / (2400 * 5), -3, 1, 0}}, offset};
}

// The estimate's standard deviation on a steady path (freqlock.hpp): 1 / (2 pi F T (K - 1)
// sqrt(rho F)) with F = 48, T = 1 / 2400, K = 1440 / 48 = 30 segments and rho the Es/N0.
double steady_sigma(double EsNodB) {
    const double rho = std::pow(10.0, EsNodB / 10);
    return 1 / (2 * std::numbers::pi * 48 / 2400.0 * 29 * std::sqrt(rho * 48));
}

// Offsets across the acquisition range, the ends included, and beyond it up to 120 Hz (the
// coarse step tells offsets apart up to 150 Hz).
const double kOffsets[] = {-120, -75, -74.9, -50, -37,  -10, -0.3, 0,
                           0.3,  10,  37,    50,  74.9, 75,  120};

TEST(Freqlock, AcquiresEveryOffsetOnWhiteNoise) {
    // At 6 dB Es/N0 the steady-path deviation is 0.02 Hz; 6 of them (never reached by chance
    // in this table) is the tolerance. The start is framelock's without offset: sample 2 D M + 1.
    const double EsNodB = 6;
    const double tolerance = 6 * steady_sigma(EsNodB);
    double seed = 10;
    for (const double f : kOffsets) {
        const FreqlockOut got =
            freqlock(received(fixed_path(f), EsNodB, seed++), testing::standard(0.6), kShaping);
        EXPECT_NEAR(got.offset, f, tolerance) << "offset " << f;
        EXPECT_NEAR(got.coarseOffset, f, 2.0) << "offset " << f;
        ASSERT_EQ(got.start.numel(), 1) << "offset " << f;
        EXPECT_EQ(got.start[0], 61) << "offset " << f;
    }
}

TEST(Freqlock, AcquiresEveryOffsetOnTwoFadingPaths) {
    // Through 1 Hz of Doppler spread the estimate is the paths' power-weighted mean frequency
    // over the preamble. The 0.6 s preamble is shorter than the fading's correlation, so that
    // mean can lie anywhere in the Doppler spectrum, whose two-sided spread (twice its standard
    // deviation) is 1 Hz: the tolerance. The start is either path's (framelock locks on the
    // stronger), at the sample of its peak or beside it.
    const double EsNodB = 12;
    double seed = 40;
    for (const double f : kOffsets) {
        const FreqlockOut got =
            freqlock(received(two_paths(f), EsNodB, seed++), testing::standard(0.6), kShaping);
        EXPECT_NEAR(got.offset, f, 1.0) << "offset " << f;
        ASSERT_EQ(got.start.numel(), 1) << "offset " << f;
        const double start = got.start[0];
        EXPECT_TRUE(std::abs(start - 61) <= 1 || std::abs(start - 85) <= 1)
            << "offset " << f << ": start " << start;
    }
}

// One received sample 1e3 or 1e6 times the RMS (about 1), in the preamble, leaves the offset
// and the start where they are without it; before the estimates blanked it, the offset read
// tens of hertz off and the start hundreds of samples away.
TEST(Freqlock, OneImpulseDoesNotThrowTheEstimates) {
    struct Case {
        double offset;
        cdouble size;
        index_t at;
    };
    const Case cases[] = {
        {0, 1e6, 3000}, {-50, cdouble(0, 1e3), 500}, {37, -1e6, 6100}, {10, cdouble(7e5, 7e5), 77}};
    double seed = 60;
    for (const Case& c : cases) {
        const ComplexArray hit = received(two_paths(c.offset), 12, seed, c.size, c.at);
        const FreqlockOut got = freqlock(hit, testing::standard(0.6), kShaping);
        EXPECT_NEAR(got.offset, c.offset, 1.0) << "offset " << c.offset;
        ASSERT_EQ(got.start.numel(), 1) << "offset " << c.offset;
        const double start = got.start[0];
        EXPECT_TRUE(std::abs(start - 61) <= 1 || std::abs(start - 85) <= 1)
            << "offset " << c.offset << ": start " << start;
        const double peak = std::abs(hit[c.at + 30]);  // the impulse, matched-filtered
        EXPECT_NEAR(std::abs(got.out[c.at + 30]), peak, 1e-9 * peak) << "out keeps the impulse";
        seed += 1;
    }
}

TEST(Freqlock, OutputIsTheInputTurnedBack) {
    // out(n) = x(n) exp(-j 2 pi f n / (2400 M)): the turn is recomputed here for every sample,
    // each within a few roundings of the phase (n f / fs below 10^4 turns).
    const ComplexArray x = received(fixed_path(33), 10, 3);
    const FreqlockOut got = freqlock(x, testing::standard(0.6), kShaping);
    ASSERT_EQ(got.out.numel(), x.numel());
    double worst = 0;
    for (index_t n = 0; n < x.numel(); ++n) {
        const double phase = -2 * std::numbers::pi * got.offset * static_cast<double>(n) / 12000;
        worst = std::max(worst, std::abs(got.out[n] - x[n] * std::polar(1.0, phase)) /
                                    std::max(std::abs(x[n]), 1e-300));
    }
    EXPECT_LT(worst, 1e-9);
    EXPECT_EQ(got.start[0], framelock(got.out, testing::standard(0.6), kShaping)[0]);
}

TEST(Freqlock, WithoutOffsetTheReceiverIsUnchangedInEffect) {
    // The estimate stays within the steady-path deviation's few multiples of 0, the start is
    // framelock's, and the sounder finds the same noise and decodes the same bits.
    const ModeParams& mode = testing::standard(0.6);
    for (const double seed : {1.0, 2.0, 3.0}) {
        const ComplexArray x = received(fixed_path(0), 5, seed);
        const FreqlockOut got = freqlock(x, mode, kShaping);
        EXPECT_NEAR(got.offset, 0, 6 * steady_sigma(5));
        const double start = framelock(x, mode, kShaping)[0];
        ASSERT_EQ(got.start[0], start);
        const ChansoundOut before = chansound(x, start, mode, kShaping);
        const ChansoundOut after = chansound(got.out, got.start[0], mode, kShaping);
        EXPECT_NEAR(after.noiseVar / before.noiseVar, 1, 0.02) << "seed " << seed;
    }
}

TEST(Freqlock, SignalWithoutPreambleGivesNoOffset) {
    const ComplexArray zeros(600 * 5);
    const FreqlockOut got = freqlock(zeros, testing::standard(0.6), kShaping);
    EXPECT_EQ(got.offset, 0);
    EXPECT_EQ(got.start.numel(), 0);
    EXPECT_EQ(got.out.numel(), zeros.numel());
}

TEST(Freqlock, PollsForInterrupts) {
    const ComplexArray x = random_complex(600 * 5, 4);
    RecordingHost host(1);
    const FreqlockOut got = freqlock(x, testing::standard(0.6), kShaping, host);
    EXPECT_GE(host.polls, 6);  // 1440 windows, a poll every 256, and framelock's
    RecordingHost stopping(1);
    stopping.interrupt_at_poll = 2;
    expect_error([&] { freqlock(x, testing::standard(0.6), kShaping, stopping); },
                 errid::kInterrupted);
}

TEST(Freqlock, Failures) {
    const ModeParams& mode = testing::standard(0.6);
    const ComplexArray x = random_complex(600 * 5, 5);
    ModeParams short_preamble = mode;
    short_preamble.preamSync = RealArray(1, 1439);
    ModeParams nan_preamble = mode;
    nan_preamble.preamSync[7] = std::nan("");
    ComplexArray nan_sample = x, huge_sample = x;
    nan_sample[99] = cdouble(std::nan(""), 0);
    huge_sample[99] = cdouble(0, 1e31);
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* what;
        std::function<void()> call;
        std::string identifier, text;
    };
    const Case cases[] = {
        {"M 0",
         [&] {
             freqlock(x, mode, {0.35, 6, 0});
         },
         "hfchain:freqlock:BadOversampling", ""},
        {"M 2.5",
         [&] {
             freqlock(x, mode, {0.35, 6, 2.5});
         },
         "hfchain:freqlock:BadOversampling", ""},
        {"M inf",
         [&] {
             freqlock(x, mode, {0.35, 6, inf});
         },
         "hfchain:freqlock:BadOversampling", ""},
        {"preamble", [&] { freqlock(x, short_preamble, kShaping); }, errid::kIndexOutOfBounds,
         "milstd.preamSync"},
        {"NaN preamble", [&] { freqlock(x, nan_preamble, kShaping); }, "hfchain:layout:NonFinite",
         ""},
        {"short", [&] { freqlock(ComplexArray(575 * 5 - 1), mode, kShaping); },
         "hfchain:freqlock:TooShort", "2874 samples"},
        {"NaN", [&] { freqlock(nan_sample, mode, kShaping); }, "hfchain:freqlock:NonFinite",
         "MatchedFilterIn(100)"},
        {"huge", [&] { freqlock(huge_sample, mode, kShaping); }, "hfchain:freqlock:TooLarge",
         "MatchedFilterIn(100)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        expect_error(c.call, c.identifier, c.text);
    }
    // The shortest output searched passes.
    EXPECT_NO_THROW(freqlock(ComplexArray(575 * 5), mode, kShaping));
}

}  // namespace
}  // namespace hfchain
