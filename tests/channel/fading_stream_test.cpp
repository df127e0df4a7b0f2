#include "channel/fading_stream.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "channel/channel_text.hpp"
#include "channel/impulses.hpp"
#include "runtime/builtin_host.hpp"

namespace hfchain {
namespace {

ComplexArray random_signal(index_t n, double seed) {
    BuiltinHost host(seed);
    const RealArray re = host.randn(n, 1), im = host.randn(n, 1);
    ComplexArray x(n);
    for (index_t k = 0; k < n; ++k) x[k] = {re[k], im[k]};
    return x;
}

// Block by block in any cut, the stream is hfchannel's faded waveform for the same seed: the
// paths' delays, powers, Doppler spreads and shifts and the offset are hfchannel's.
TEST(FadingStream, AnyCutGivesHfchannelsFadedWaveform) {
    const char* channels[] = {"ruim", "paths=0ms/0dB/1Hz+1ms/-6dB/0Hz+3ms/-3dB/5Hz/2Hz:off=7Hz",
                              "1p:0ms:0Hz"};
    const VarShapping shaping{0.35, 6, 5};
    const index_t L = 3000;  // past several blocks of 256 gains
    const ComplexArray x = random_signal(L, 5);
    for (const char* text : channels) {
        VarHfchannel var;
        var.channel = read_channel(text).channel;
        var.seed = 11;
        BuiltinHost reference_host;
        const HfchannelOut reference = hfchannel(x, var, shaping, reference_host);
        for (std::size_t cut : {std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
            SCOPED_TRACE(std::string(text) + ", blocks of " + std::to_string(cut));
            BuiltinHost host(var.seed);
            FadingStream stream(var.channel, 5, host);
            std::vector<cdouble> y(static_cast<std::size_t>(L));
            for (std::size_t at = 0; at < y.size(); at += cut) {
                const std::size_t n = std::min(cut, y.size() - at);
                stream.push(x.data() + at, n, y.data() + at);
            }
            double worst = 0;
            for (index_t k = 0; k < L; ++k) {
                worst = std::max(worst, std::abs(y[static_cast<std::size_t>(k)] -
                                                 reference.WattersonOutAwgnIn[k]));
            }
            EXPECT_LE(worst, 1e-12);
        }
    }
}

TEST(FadingStream, RefusesWhatHfchannelRefuses) {
    BuiltinHost host(1);
    HfChannel fractional = read_channel("2p:0.1ms:1Hz").channel;  // 1.2 samples at 12000/s
    EXPECT_THROW(FadingStream(fractional, 5, host), Error);
    EXPECT_THROW(FadingStream(HfChannel{}, 5, host), Error);
}

// Static crashes: as many as the rate says (Poisson: within 4 standard deviations), at the level
// they are given (the RMS of their first samples), the same whatever the cut.
TEST(ImpulseNoise, RateLevelAndCuts) {
    const struct {
        double rate, level, decay;
    } cases[] = {{2, -10, 0.002}, {50, 0, 0.0005}, {0.5, -30, 0.01}};
    const double fs = 8000;
    const index_t n = static_cast<index_t>(fs * 200);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        const ImpulseSettings s{c.rate, c.level, c.decay};
        BuiltinHost host;
        const RealArray whole = impulse_noise(n, s, fs, 9, host);
        // The count, from a stream of the same draws.
        BuiltinHost counting(9);
        ImpulseNoise noise(s, fs, counting);
        std::vector<double> x(static_cast<std::size_t>(n), 0.0);
        for (std::size_t at = 0, cut = 1; at < x.size(); at += cut, cut = cut % 5000 + 7) {
            noise.add(x.data() + at, std::min(cut, x.size() - at));
        }
        for (index_t k = 0; k < n; ++k) ASSERT_EQ(x[static_cast<std::size_t>(k)], whole[k]);
        const double expected = c.rate * 200;
        EXPECT_NEAR(static_cast<double>(noise.bursts()), expected, 4 * std::sqrt(expected) + 1);
        // Bursts rarely overlap at these rates: the loudest samples' power near the onsets.
        double energy = 0;
        int count = 0;
        for (index_t k = 1; k < n; ++k) {
            if (whole[k - 1] == 0 && whole[k] != 0) {  // an onset (exact zeros only between)
                const index_t first = std::min<index_t>(k + 4, n);
                for (index_t j = k; j < first; ++j) energy += whole[j] * whole[j], ++count;
            }
        }
        ASSERT_GT(count, 0);
        double envelope = 0;  // the mean of exp(-2 k / (decay fs)) over those 4 samples
        for (int k = 0; k < 4; ++k) envelope += std::exp(-2 * k / (c.decay * fs)) / 4;
        EXPECT_NEAR(10 * std::log10(energy / count / envelope), c.level, c.rate > 1 ? 1.0 : 2.5);
    }
    BuiltinHost host;
    EXPECT_THROW(impulse_noise(10, {0, -10, 0.002}, 8000, 1, host), Error);
    EXPECT_THROW(impulse_noise(10, {1, 100, 0.002}, 8000, 1, host), Error);
}

}  // namespace
}  // namespace hfchain
