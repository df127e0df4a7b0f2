#include "audio/passband.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "audio/errors.hpp"
#include "audio/filters.hpp"
#include "runtime/error.hpp"

namespace hfchain::audio {
namespace {

struct Tone {
    double freq, amplitude, phase;
};
// Tones across the band (|f| <= 1500 Hz, inside the 1620 Hz kept unchanged), both sides.
const std::vector<Tone> kTones{{-1500, 0.3, 0.1}, {-700, 0.5, 2.0},  {-90, 0.2, 1.0},
                               {310, 0.4, -0.7},  {1234, 0.25, 0.4}, {1499, 0.2, 3.0}};

ComplexArray tones(index_t n, double rate) {
    ComplexArray x(n);
    for (index_t k = 0; k < n; ++k) {
        for (const Tone& t : kTones) {
            x[k] +=
                t.amplitude * std::polar(1.0, 2 * std::numbers::pi * t.freq * k / rate + t.phase);
        }
    }
    return x;
}

// Baseband -> audio -> baseband gives back every sample of the same instant. The error bound:
// each of the two low-passes passes the band with a ripple below kLowpassRipple and stops the
// demodulator's image (2 fc - f) by as much; the resampler's own ripple and stopband (about
// 1e-8) are far below. Three such terms on the sum of the tones' amplitudes, doubled for margin.
// Away from the ends (where the tones start and stop abruptly) the filters see a steady signal.
TEST(Passband, RoundTripGivesBackTheBasebandSampleBySample) {
    double amplitudes = 0;
    for (const Tone& t : kTones) amplitudes += t.amplitude;
    const double tolerance = 6 * kLowpassRipple * amplitudes;
    for (const double fs : {8000.0, 48000.0, 11025.0}) {
        for (const index_t M : {4, 2}) {
            SCOPED_TRACE("fs " + std::to_string(fs) + ", M " + std::to_string(M));
            PassbandConfig config{.sampleRate = fs, .samplesPerSymbol = M};
            const index_t n = 2400 * M / 2;  // half a second
            const ComplexArray x = tones(n, config.basebandRate());
            Modulator modulator(config, 1);
            std::vector<double> audio;
            modulator.push(x.data(), x.numel(), audio);
            modulator.finish(audio);
            EXPECT_NEAR(static_cast<double>(audio.size()), n * fs / config.basebandRate(), 1);
            const ComplexArray y = demodulate(audio, config);
            ASSERT_EQ(y.numel(), n);
            const index_t edge = 40 * M;  // 40 symbols: beyond the filters' reach
            double worst = 0;
            for (index_t k = edge; k < n - edge; ++k)
                worst = std::max(worst, std::abs(y[k] - x[k]));
            EXPECT_LT(worst, tolerance);
        }
    }
}

// The audio is the real signal Re{x e^{j w k}} at the audio rate: a tone at baseband f is a
// tone at fc + f of half the amplitude's power, nothing else.
TEST(Passband, ABasebandToneIsAnAudioToneAtCarrierPlusItsFrequency) {
    PassbandConfig config{.sampleRate = 48000, .samplesPerSymbol = 4};
    const index_t n = 9600;
    ComplexArray x(n);
    for (index_t k = 0; k < n; ++k) x[k] = std::polar(0.5, 2 * std::numbers::pi * 500 * k / 9600.0);
    Modulator modulator(config, 1);
    std::vector<double> audio;
    modulator.push(x.data(), x.numel(), audio);
    modulator.finish(audio);
    double worst = 0;
    for (std::size_t k = 2000; k + 2000 < audio.size(); ++k) {
        const double expected = 0.5 * std::cos(2 * std::numbers::pi * 2300 * k / 48000.0);
        worst = std::max(worst, std::abs(audio[k] - expected));
    }
    EXPECT_LT(worst, 3 * kLowpassRipple);
}

// Blocks of any size give what the whole signal gives, in both directions.
TEST(Passband, BlocksGiveWhatTheWholeSignalGives) {
    PassbandConfig config{.sampleRate = 8000, .samplesPerSymbol = 4};
    const ComplexArray x = tones(5000, config.basebandRate());
    std::vector<double> whole, blocks;
    {
        Modulator m(config, 0.7);
        m.push(x.data(), x.numel(), whole);
        m.finish(whole);
    }
    {
        Modulator m(config, 0.7);
        for (index_t at = 0, step = 1; at < x.numel(); at += step, step = step * 3 % 1001 + 1) {
            m.push(x.data() + at, std::min(step, x.numel() - at), blocks);
        }
        m.finish(blocks);
    }
    ASSERT_EQ(blocks.size(), whole.size());
    for (std::size_t k = 0; k < whole.size(); ++k) ASSERT_NEAR(blocks[k], whole[k], 1e-12) << k;

    std::vector<cdouble> back_whole, back_blocks;
    {
        Demodulator d(config);
        d.push(whole.data(), whole.size(), back_whole);
        d.finish(back_whole);
    }
    {
        Demodulator d(config);
        for (std::size_t at = 0, step = 7; at < whole.size();
             at += step, step = step * 5 % 997 + 1) {
            d.push(whole.data() + at, std::min(step, whole.size() - at), back_blocks);
        }
        d.finish(back_blocks);
    }
    ASSERT_EQ(back_blocks.size(), back_whole.size());
    for (std::size_t k = 0; k < back_whole.size(); ++k) {
        ASSERT_LT(std::abs(back_blocks[k] - back_whole[k]), 1e-12) << k;
    }
}

TEST(Passband, BandsThatDoNotFitAreRefused) {
    const struct {
        PassbandConfig config;
        const char* names;
    } cases[] = {
        {{.sampleRate = 7999}, "sample rate"},
        {{.sampleRate = 192001}, "sample rate"},
        {{.sampleRate = NAN}, "sample rate"},
        {{.samplesPerSymbol = 1}, "M"},
        {{.carrier = 1500}, "carrier"},  // the band reaches below 0 Hz
        {{.carrier = 2500}, "carrier"},  // and beyond 4000 Hz at 8000 Hz
        {{.carrier = NAN}, "carrier"},
        {{.bandwidth = 0}, "bandwidth"},
        {{.sampleRate = 48000, .carrier = 6000, .samplesPerSymbol = 2, .bandwidth = 2500},
         "bandwidth"},  // 2400 Hz is all that M = 2 holds
    };
    for (const auto& c : cases) {
        try {
            Modulator m(c.config, 1);
            ADD_FAILURE() << c.names << " passed";
        } catch (const Error& e) {
            EXPECT_EQ(e.identifier(), errid::kBadPassband);
            EXPECT_NE(std::string(e.what()).find(c.names), std::string::npos) << e.what();
        }
        EXPECT_THROW(Demodulator d(c.config), Error);
    }
}

TEST(Passband, TheLevelIsSetAndClippingRefusedUnlessAsked) {
    PassbandConfig config{.sampleRate = 8000};
    const ComplexArray x = tones(4800, config.basebandRate());
    const AudioSignal peak = modulate(x, config, {.kind = Level::Kind::peak, .dbfs = -3});
    EXPECT_NEAR(peak.peakDbfs, -3, 1e-9);
    EXPECT_NEAR(peak.peakDbfs - peak.rmsDbfs, peak.peakToAverageDb, 1e-9);
    EXPECT_GT(peak.peakToAverageDb, 3);
    EXPECT_EQ(peak.clipped, 0u);
    const AudioSignal rms = modulate(x, config, {.kind = Level::Kind::rms, .dbfs = -20});
    EXPECT_NEAR(rms.rmsDbfs, -20, 1e-9);
    EXPECT_NEAR(rms.peakToAverageDb, peak.peakToAverageDb, 1e-9);

    const Level loud{.kind = Level::Kind::rms, .dbfs = -1};
    try {
        modulate(x, config, loud);
        ADD_FAILURE() << "clipped without being asked";
    } catch (const Error& e) {
        EXPECT_EQ(e.identifier(), errid::kClipping);
    }
    Level allowed = loud;
    allowed.allowClipping = true;
    const AudioSignal clipped = modulate(x, config, allowed);
    EXPECT_GT(clipped.clipped, 0u);
    EXPECT_EQ(clipped.peakDbfs, 0);
    for (double s : clipped.samples) ASSERT_LE(std::abs(s), 1);

    const AudioSignal silent = modulate(ComplexArray(100), config, {});
    for (double s : silent.samples) ASSERT_EQ(s, 0);
    EXPECT_EQ(silent.peakToAverageDb, 0);
    EXPECT_THROW(modulate(x, config, {.dbfs = NAN}), Error);
}

}  // namespace
}  // namespace hfchain::audio
