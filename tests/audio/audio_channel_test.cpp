#include "audio/audio_channel.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "audio/passband.hpp"
#include "channel/noise_level.hpp"
#include "runtime/builtin_host.hpp"

namespace hfchain::audio {
namespace {

constexpr double kPi = std::numbers::pi;

// White noise at 0.1 RMS between `silence` samples of silence at each end.
std::vector<double> noise_input(std::size_t n, std::size_t silence, double seed) {
    BuiltinHost host(seed);
    const RealArray w = host.randn(static_cast<index_t>(n), 1);
    std::vector<double> x(n + 2 * silence, 0.0);
    for (std::size_t k = 0; k < n; ++k) x[silence + k] = 0.1 * w[static_cast<index_t>(k)];
    return x;
}

std::vector<double> tone(double f, double fs, std::size_t n) {
    std::vector<double> x(n);
    for (std::size_t k = 0; k < n; ++k) x[k] = 0.5 * std::cos(2 * kPi * f * k / fs);
    return x;
}

// Welch's estimate of the one-sided power spectral density (power a hertz) averaged over
// lo .. hi Hz: Hann-windowed segments of 256 samples, half overlapping.
double welch_density(const std::vector<double>& x, double fs, double lo, double hi) {
    constexpr std::size_t N = 256;
    std::vector<double> window(N);
    double w2 = 0;
    for (std::size_t k = 0; k < N; ++k) {
        window[k] = 0.5 - 0.5 * std::cos(2 * kPi * k / N);
        w2 += window[k] * window[k];
    }
    const auto first = static_cast<std::size_t>(std::ceil(lo * N / fs));
    const auto last = static_cast<std::size_t>(std::floor(hi * N / fs));
    std::vector<std::complex<double>> turns(N);
    for (std::size_t k = 0; k < N; ++k) turns[k] = std::polar(1.0, -2 * kPi * k / N);
    double sum = 0;
    std::size_t count = 0;
    for (std::size_t at = 0; at + N <= x.size(); at += N / 2) {
        for (std::size_t bin = first; bin <= last; ++bin) {
            std::complex<double> X = 0;
            for (std::size_t k = 0; k < N; ++k) X += window[k] * x[at + k] * turns[bin * k % N];
            sum += 2 * std::norm(X) / (fs * w2);  // one-sided
            ++count;
        }
    }
    return sum / count;
}

// The mean frequency (Hz) of a complex signal, from its phase increments, and its RMS spread
// about 0 Hz from its derivative.
double mean_frequency(const ComplexArray& g, double fs) {
    std::complex<double> s = 0;
    for (index_t k = 1; k < g.numel(); ++k) s += std::conj(g[k - 1]) * g[k];
    return std::arg(s) * fs / (2 * kPi);
}
double rms_frequency(const ComplexArray& g, double fs) {
    double d = 0, p = 0;
    for (index_t k = 1; k < g.numel(); ++k) {
        d += std::norm(g[k] - g[k - 1]);
        p += std::norm(g[k]);
    }
    return std::sqrt(d / p) * fs / (2 * kPi);
}

// The SNR(3 kHz) the channel makes is the one set, measured independently: the signal part's
// power over the active part and the noise's density by Welch's method, within 0.1 dB, on white
// noise and through a fading channel with the SSB filter; the tool's own measure agrees too.
TEST(AudioChannel, Snr3kIsTheOneSet) {
    const struct {
        const char* channel;
        double snr;
    } cases[] = {{"awgn", 10}, {"ruim", 3}, {"2p:1ms:2Hz", 20}};
    const double fs = 8000;
    const std::size_t silence = 8000;
    const std::vector<double> x = noise_input(120000, silence, 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.channel);
        AudioChannelConfig config;
        config.sampleRate = fs;
        config.channel = c.channel;
        config.seed = 4;
        const ChannelResult out = pass_audio_channel(x, config, c.snr);
        const ChannelResult signal = pass_audio_channel(x, signal_only(config), std::nullopt);
        ASSERT_EQ(out.samples.size(), x.size());
        std::vector<double> noise(x.size());
        double power = 0;
        for (std::size_t k = 0; k < x.size(); ++k) {
            noise[k] = out.samples[k] - signal.samples[k];
            if (k >= silence && k < x.size() - silence)
                power += signal.samples[k] * signal.samples[k];
        }
        power /= static_cast<double>(x.size() - 2 * silence);
        const double measured = snr3k_db(power, welch_density(noise, fs, 700, 2000));
        EXPECT_NEAR(measured, c.snr, 0.1);
        EXPECT_NEAR(out.stats.snr3k(), c.snr, 0.1);
        EXPECT_EQ(out.stats.activeFirst, static_cast<std::int64_t>(silence));
    }
}

// Two fixed paths and one fading: the delays and powers from the output's correlation with the
// known input, the Doppler shifts, offset and spread from a tone at the carrier.
TEST(AudioChannel, PathDelaysPowersAndDoppler) {
    const double fs = 8000;
    // The input: noise in 1800 +- 1200 Hz, where every filter of the way is flat.
    PassbandConfig narrow;
    narrow.sampleRate = fs;
    narrow.bandwidth = 1200;
    narrow.samplesPerSymbol = 5;
    BuiltinHost host(2);
    const RealArray re = host.randn(120000, 1), im = host.randn(120000, 1);
    ComplexArray white(120000);
    for (index_t k = 0; k < white.numel(); ++k) white[k] = {re[k], im[k]};
    const std::vector<double> x = modulate(white, narrow, Level{Level::Kind::rms, -20}).samples;
    AudioChannelConfig config;
    config.sampleRate = fs;
    config.ssbFilter = false;
    config.channel = "paths=0ms/0dB/0Hz+2ms/-6dB/0Hz+4ms/-3dB/1Hz";
    const std::vector<double> y = pass_audio_channel(x, config, std::nullopt).samples;
    // The gains of the paths at lags 0, 24 and 48 (12000 samples a second) by least squares of
    // the output's baseband on the input's, window by window of 20 ms (the fading path barely
    // moves in one): the fixed paths' powers, the fading one's mean power, and a residual that
    // only the right delays make small.
    PassbandConfig band;
    band.sampleRate = fs;
    band.bandwidth = 1500;
    band.samplesPerSymbol = 5;
    const ComplexArray bx = demodulate(x, band), by = demodulate(y, band);
    const index_t lags[3] = {0, 24, 48};
    double power[3] = {}, residual = 0, total = 0;
    for (index_t at = 48; at + 240 <= bx.numel(); at += 240) {
        std::complex<double> A[3][4] = {};  // normal equations, right-hand side in column 3
        for (index_t k = at; k < at + 240; ++k) {
            for (int i = 0; i < 3; ++i) {
                for (int j = 0; j < 3; ++j) A[i][j] += std::conj(bx[k - lags[i]]) * bx[k - lags[j]];
                A[i][3] += std::conj(bx[k - lags[i]]) * by[k];
            }
        }
        for (int i = 0; i < 3; ++i) {  // Gauss-Jordan (the matrix is well conditioned)
            for (int r = 0; r < 3; ++r) {
                if (r == i) continue;
                const std::complex<double> f = A[r][i] / A[i][i];
                for (int j = 0; j < 4; ++j) A[r][j] -= f * A[i][j];
            }
        }
        std::complex<double> gain[3];
        for (int i = 0; i < 3; ++i) {
            gain[i] = A[i][3] / A[i][i];
            power[i] += std::norm(gain[i]);
        }
        for (index_t k = at; k < at + 240; ++k) {
            std::complex<double> model = 0;
            for (int i = 0; i < 3; ++i) model += gain[i] * bx[k - lags[i]];
            residual += std::norm(by[k] - model);
            total += std::norm(by[k]);
        }
    }
    EXPECT_NEAR(10 * std::log10(power[1] / power[0]), -6, 0.2);
    EXPECT_NEAR(10 * std::log10(power[2] / power[0]), -3, 3);  // 20 sinusoids, 10 s
    EXPECT_LT(residual / total, 1e-3);

    // A tone at the carrier comes out as the path's gain around it.
    const std::vector<double> t = tone(1800, fs, 160000);
    config.channel = "1p:0ms:0Hz:shift=3Hz:off=4Hz";
    config.offset = 2;
    ComplexArray g = demodulate(pass_audio_channel(t, config, std::nullopt).samples, band);
    EXPECT_NEAR(mean_frequency(g, band.basebandRate()), 9, 0.01);
    config.offset = 0;
    double spread = 0;
    const int seeds = 8;
    for (int seed = 0; seed < seeds; ++seed) {
        config.channel = "1p:0ms:10Hz";  // each sinusoid's frequency of deviation 5 Hz
        config.seed = seed;
        g = demodulate(pass_audio_channel(t, config, std::nullopt).samples, band);
        spread += rms_frequency(g, band.basebandRate()) / seeds;
    }
    EXPECT_NEAR(spread, 5, 1);
}

// The receiving clock's offset: a tone comes out at f / (1 + ppm 1e-6), the output longer by as
// much.
TEST(AudioChannel, ClockOffsetMovesATone) {
    const double fs = 8000, f = 2000;
    const std::vector<double> t = tone(f, fs, 80000);
    for (double ppm : {1000.0, -500.0}) {
        AudioChannelConfig config;
        config.sampleRate = fs;
        config.channel = "awgn";
        config.clockPpm = ppm;
        const std::vector<double> y = pass_audio_channel(t, config, std::nullopt).samples;
        EXPECT_NEAR(static_cast<double>(y.size()), t.size() * (1 + ppm * 1e-6), 2);
        // Zero crossings between the filters' edges, interpolated.
        double first = -1, last = -1;
        int crossings = 0;
        for (std::size_t k = 4000; k + 4000 < y.size(); ++k) {
            if (y[k - 1] < 0 && y[k] >= 0) {
                const double at = static_cast<double>(k) - y[k] / (y[k] - y[k - 1]);
                if (first < 0)
                    first = at;
                else
                    ++crossings;
                last = at;
            }
        }
        EXPECT_NEAR(crossings * fs / (last - first), f / (1 + ppm * 1e-6), 0.01);
    }
}

// Cutting the input into blocks of 1, 7 or 4096 samples gives the whole signal's output, with
// every part of the channel at work.
TEST(AudioChannel, StreamingEqualsTheWholeSignal) {
    AudioChannelConfig config;
    config.sampleRate = 8000;
    config.channel = "moderado";
    config.offset = 3;
    config.noiseDensity = noise_density_of_dbfs(-40);
    config.clockPpm = 100;
    config.impulses = ImpulseSettings{20, -10, 0.002};
    config.clipDbfs = -12;
    config.seed = 7;
    const std::vector<double> x = noise_input(12000, 2000, 3);
    const ChannelResult whole = pass_audio_channel(x, config, std::nullopt);
    EXPECT_GT(whole.stats.bursts, 0);
    EXPECT_GT(whole.stats.clipped, 0);
    for (std::size_t cut : {std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
        SCOPED_TRACE(cut);
        AudioChannel channel(config);
        std::vector<double> y;
        for (std::size_t at = 0; at < x.size(); at += cut) {
            channel.push(x.data() + at, std::min(cut, x.size() - at), y);
        }
        channel.finish(y);
        ASSERT_EQ(y.size(), whole.samples.size());
        for (std::size_t k = 0; k < y.size(); ++k) ASSERT_EQ(y[k], whole.samples[k]) << k;
    }
}

long resident_kib() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
    }
    return 0;
}

// Three minutes of audio take no more memory than one. The address sanitizer keeps freed memory
// in quarantine, so there the resident size grows whatever the channel holds.
TEST(AudioChannel, MemoryStaysBounded) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "resident memory is the sanitizer's quarantine here";
#endif
    AudioChannelConfig config;
    config.sampleRate = 8000;
    config.channel = "ruim";
    config.noiseDensity = noise_density_of_dbfs(-40);
    config.impulses = ImpulseSettings{};
    AudioChannel channel(config);
    const std::vector<double> x = noise_input(8000, 0, 5);
    std::vector<double> y;
    long after_one = 0;
    for (int second = 0; second < 180; ++second) {
        y.clear();
        channel.push(x.data(), x.size(), y);
        if (second == 59) after_one = resident_kib();
    }
    EXPECT_LT(resident_kib() - after_one, 1024);
}

TEST(AudioChannel, RefusesWhatItCannotDo) {
    AudioChannelConfig config;
    config.clockPpm = 2000;
    EXPECT_THROW(AudioChannel{config}, Error);
    config.clockPpm = 0;
    config.channel = "2p:0.1ms:1Hz";  // not a whole sample at 12000 a second
    EXPECT_THROW(AudioChannel{config}, Error);
    config.channel = "awgn";
    const std::vector<double> silent(8000, 0.0);
    EXPECT_THROW(pass_audio_channel(silent, config, 10.0), Error);
}

}  // namespace
}  // namespace hfchain::audio
