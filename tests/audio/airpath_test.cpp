// The road's step through the air: what the receivers get from it, with and without a
// sound-card clock offset, the level of its noise, and the static crashes in it.
#include "audio/airpath.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "chain/road.hpp"
#include "params/rateconf.hpp"
#include "receiver/matchedfilter/pulsematch.hpp"
#include "runtime/builtin_host.hpp"
#include "shaping/pulseshaper.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain::audio {
namespace {

const VarShapping kShaping{0.35, 6, 5};

RoadConfig road(double blocks, std::vector<ReceiverKind> receivers, const AirSettings& air,
                std::shared_ptr<AirPath>* path = nullptr) {
    RoadConfig c;
    c.nFrame = blocks;
    c.txSeed = 11;
    c.shaping = kShaping;
    c.channel = road_channel("none", 0, 0);
    c.receivers = std::move(receivers);
    auto p = std::make_shared<AirPath>(air);
    c.channelStep = air_step(p);
    if (path != nullptr) *path = p;
    return c;
}

// Without noise the air gives back the shaped waveform as the matched filter sees it (the
// passband's low-pass cuts the truncated pulse's leakage beyond 1200 (1 + roll-off) Hz, about
// 1 % of the waveform, which the matched filter does not pass either), under 1 % of a symbol's
// peak; and, the clock read and taken out, every receiver decodes every bit from the expected
// frame start, at a telephone's and at a studio's rate. The reading is the known symbols' (the
// delay profiles of 1.8 s tell it to a few ppm: 3 ppm moves the last symbol by a hundredth).
TEST(Airpath, WithoutNoiseTheReceiversDecodeExactly) {
    for (const double rate : {8000.0, 48000.0}) {
        SCOPED_TRACE(rate);
        BuiltinHost host;
        AirSettings untracked{rate};
        untracked.trackClock = false;
        const RoadResult exact = run_road(rateconf(2400, 0.6), road(2, {}, untracked), host);
        ASSERT_EQ(exact.faded.AwgnOut.numel(), exact.shaped.out.numel());
        const ComplexArray sent = pulsematch(exact.shaped.out, kShaping).out;
        double worst = 0;
        for (index_t k = 100; k < sent.numel() - 100; ++k) {
            worst = std::max(worst, std::abs(exact.matched.out[k] - sent[k]));
        }
        EXPECT_LT(worst, 1e-2);

        std::shared_ptr<AirPath> path;
        const RoadResult r =
            run_road(rateconf(2400, 0.6),
                     road(2, {ReceiverKind::baseline, ReceiverKind::hf}, {rate}, &path), host);
        EXPECT_NEAR(path->clock().ppm, 0, 5);
        EXPECT_EQ(r.frameStart[0], r.expectedFrameStart);
        EXPECT_EQ(r.baseline.codedBitErrors, 0);
        EXPECT_EQ(r.baseline.infoBitErrors, 0);
        EXPECT_EQ(r.hf.infoBitErrors, 0);
    }
}

// A receiver clock 100 ppm off moves the last of 10 blocks (6 s) by 1.4 symbols: the receivers
// lose it untracked, and decode every bit once the offset is read and taken out.
TEST(Airpath, TrackedClockOffsetDecodesWhereTheUntrackedFails) {
    for (const double ppm : {100.0, -100.0}) {
        SCOPED_TRACE(ppm);
        for (const bool track : {true, false}) {
            BuiltinHost host;
            std::shared_ptr<AirPath> path;
            const RoadResult r =
                run_road(rateconf(2400, 0.6),
                         road(10, {ReceiverKind::baseline}, {8000, 1800, ppm, track}, &path), host);
            EXPECT_NEAR(path->clock().ppm, ppm, 2);
            if (track) {
                EXPECT_EQ(r.baseline.infoBitErrors, 0);
            } else {
                EXPECT_GT(r.baseline.infoBitErrors, r.baseline.infoBits / 20);
            }
        }
    }
}

// Through two fading paths 1 ms apart the line of the received power wanders with the paths'
// relative phase and misreads the clock (by 12 to 210 ppm on 3.6 s, by the seed); told the
// mode, the step lines up the channel's delay profiles through the preamble and the probes
// instead (2 to 80 ppm off on the same seeds, 1.6 on this one, 49 by the line).
TEST(Airpath, ReadsTheClockThroughFadingPathsFromTheKnownSymbols) {
    BuiltinHost host;
    const ModeParams mode = rateconf(2400, 0.6);
    const ComplexArray x = pulseshaper(sendchain(mode, 5, 3, host).MultiplexOut, kShaping).out;
    const RoadChannel channel = road_channel("moderado", 16, 6);
    AirPath path(AirSettings{8000, 1800, 0});
    path.pass(channel, x, kShaping, nullptr, host);
    const double line = path.clock().ppm;
    path.pass(channel, x, kShaping, &mode, host);
    EXPECT_GT(std::abs(line), 40);
    EXPECT_LT(std::abs(path.clock().ppm), 10);
}

// The noise is real audio noise of the level that gives the point's Es/N0 after the matched
// filter, as the baseband's white noise does (its variance there is 10^(-Es/N0 / 10)); the
// received waveform is the shaped one plus that noise.
TEST(Airpath, NoiseHasTheLevelOfThePoint) {
    for (const double rate : {8000.0, 44100.0}) {
        SCOPED_TRACE(rate);
        BuiltinHost host;
        AirPath path({rate});
        const RoadChannel channel = road_channel("awgn", 6, 21);
        ComplexArray x(60000);
        const HfchannelOut f = path.pass(channel, x, kShaping, nullptr, host);
        const ComplexArray y = pulsematch(f.noise, kShaping).out;
        double power = 0;
        for (index_t k = 1000; k < y.numel() - 1000; ++k) power += std::norm(y[k]);
        power /= static_cast<double>(y.numel() - 2000);
        EXPECT_NEAR(power / std::pow(10.0, -0.6), 1, 0.03);
        for (index_t k = 0; k < x.numel(); k += 997) EXPECT_EQ(f.AwgnOut[k], f.noise[k]);
    }
}

// Static crashes count as noise: they reach the received signal and the noise the genie is told
// alike, so the signal part (received minus noise) is that without crashes, while the noise
// and the received signal hold them; the fading and audio noise are the same draws with or
// without them.
TEST(Airpath, CrashesAreAddedToTheNoiseTheGenieIsTold) {
    BuiltinHost host;
    const RoadChannel channel = road_channel("awgn", 10, 21);
    ComplexArray x(60000);
    for (index_t k = 0; k < x.numel(); ++k) x[k] = std::polar(1.0, 0.7 * static_cast<double>(k));
    AirSettings air{8000};
    air.trackClock = false;  // the clock's reading would see the crashes
    const HfchannelOut quiet = AirPath(air).pass(channel, x, kShaping, nullptr, host);
    air.impulses = ImpulseSettings{20, 0};
    const HfchannelOut loud = AirPath(air).pass(channel, x, kShaping, nullptr, host);
    double peakQuiet = 0, peakLoud = 0, moved = 0, signalMoved = 0;
    for (index_t k = 0; k < x.numel(); ++k) {
        signalMoved = std::max(signalMoved, std::abs(loud.AwgnOut[k] - loud.noise[k] -
                                                     (quiet.AwgnOut[k] - quiet.noise[k])));
        peakQuiet = std::max(peakQuiet, std::abs(quiet.noise[k]));
        peakLoud = std::max(peakLoud, std::abs(loud.noise[k]));
        moved = std::max(moved, std::abs(loud.AwgnOut[k] - quiet.AwgnOut[k]));
    }
    EXPECT_LT(signalMoved, 1e-9);
    EXPECT_GT(peakLoud, 3 * peakQuiet);
    EXPECT_GT(moved, 2 * peakQuiet);
}

}  // namespace
}  // namespace hfchain::audio
