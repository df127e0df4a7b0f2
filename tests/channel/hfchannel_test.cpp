#include "channel/hfchannel.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "channel/channel_text.hpp"
#include "channel/fadesim.hpp"
#include "recording_host.hpp"
#include "runtime/builtin_host.hpp"
#include "tests/support/signals.hpp"

namespace hfchain {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kTwoPi = 2 * std::numbers::pi;

VarShapping shaping(double M) { return {0.35, 6, M}; }

// fadesim's conditions through hfchannel: the same outputs bit for bit, the same draws, and the
// caller's stream left where fadesim leaves it.
TEST(Hfchannel, EqualsFadesimOnItsConditions) {
    const ComplexArray x = random_complex(3000, 5);
    for (const WattersonCondition& c : kWattersonConditions) {
        for (const double M : {5.0, 10.0}) {
            for (const double esno : {7.5, kInf}) {
                for (const double seed : {0.0, 1.0, 4294967295.0}) {
                    BuiltinHost a(11), b(11);
                    const FadesimOut f =
                        fadesim(x, {std::string(c.name), esno, seed}, shaping(M), a);
                    const HfchannelOut h =
                        hfchannel(x, {read_channel(c.name).channel, esno, seed}, shaping(M), b);
                    const std::string what = std::string(c.name) + " M " + std::to_string(M) +
                                             " EsNodB " + std::to_string(esno) + " seed " +
                                             std::to_string(seed);
                    EXPECT_TRUE(same_bits(f.raios, h.raios)) << what;
                    EXPECT_TRUE(same_bits(f.WattersonOutAwgnIn, h.WattersonOutAwgnIn)) << what;
                    EXPECT_TRUE(same_bits(f.noise, h.noise)) << what;
                    EXPECT_TRUE(same_bits(f.AwgnOut, h.AwgnOut)) << what;
                    EXPECT_EQ(h.delays[0], 0);
                    EXPECT_EQ(h.delays[1], M * 2400 * c.tau) << what;
                    EXPECT_EQ(a.randn(1, 1)[0], b.randn(1, 1)[0]) << what;
                }
            }
        }
    }
}

// awgn: one fixed path of gain 1, the same noise as the channel's white noise alone.
TEST(Hfchannel, AwgnIsTheChannelNoiseAlone) {
    const ComplexArray x = random_complex(1000, 6);
    for (const double seed : {0.0, 3.0, 99.0}) {
        BuiltinHost a(1), b(1);
        ComplexArray noise, noisy;
        {
            SeededStream stream(a, seed);
            add_channel_noise(x, 4, a, noise, noisy);
            stream.restore();
        }
        const HfchannelOut h = hfchannel(x, {read_channel("awgn").channel, 4, seed}, shaping(5), b);
        EXPECT_TRUE(same_bits(noisy, h.AwgnOut)) << seed;
        EXPECT_TRUE(same_bits(noise, h.noise)) << seed;
        EXPECT_TRUE(same_bits(x, h.WattersonOutAwgnIn)) << seed;
    }
}

// The draws: seeding, three rows of 20 per fading path (fixed paths draw nothing), the noise's
// two columns of L + Dmax, the caller's settings back.
TEST(Hfchannel, DrawOrder) {
    RecordingHost host(1);
    const HfChannel c = read_channel("paths=0ms/0dB/0Hz+1ms/0dB/1Hz+2ms/0dB/2Hz").channel;
    const HfchannelOut h = hfchannel(random_complex(100, 1), {c, kInf, 8}, shaping(5), host);
    const std::string row = "randn 1x20", column = "randn 124x1";
    EXPECT_EQ(host.log, (std::vector<std::string>{"seed 8", row, row, row, row, row, row, column,
                                                  column, "restore"}));
    EXPECT_EQ(h.raios.rows(), 100);
    EXPECT_EQ(h.raios.cols(), 3);
    EXPECT_EQ(h.AwgnOut.numel(), 124);
}

// Fixed paths are exact: the output is the sum of the delayed, scaled, shifted inputs, turned by
// the offset. The error is that of the phase arguments, which reach 2 pi (61.25 + 40) Hz x 4 s:
// a few units of their rounding (eps times the largest phase), the phasor recurrence between
// anchors adding less than that.
TEST(Hfchannel, FixedPathsShiftAndOffset) {
    const index_t L = 48000;  // 4 s at 12000 samples per second
    const double fs = 12000;
    const ComplexArray x = random_complex(L, 2);
    const HfChannel c =
        read_channel("paths=0ms/0dB/0Hz/3.5Hz+2.5ms/-6dB/0Hz/-40Hz:off=-61.25Hz").channel;
    BuiltinHost host(1);
    const HfchannelOut h = hfchannel(x, {c, kInf, 1}, shaping(5), host);
    ASSERT_EQ(h.WattersonOutAwgnIn.numel(), L + 30);
    EXPECT_EQ(h.offset, -61.25);
    const double a1 = std::sqrt(1 / (1 + std::pow(10.0, -0.6)));
    const double a2 = a1 * std::pow(10.0, -0.3);
    double worst = 0;
    for (index_t m = 0; m < L + 30; ++m) {
        const double t = static_cast<double>(m) / fs;
        cdouble want{};
        if (m < L) want += x[m] * a1 * std::polar(1.0, kTwoPi * 3.5 * t);
        if (m >= 30) {
            const double t2 = static_cast<double>(m - 30) / fs;
            want += x[m - 30] * a2 * std::polar(1.0, kTwoPi * -40 * t2);
        }
        want *= std::polar(1.0, kTwoPi * -61.25 * t);
        worst = std::max(worst, std::abs(h.WattersonOutAwgnIn[m] - want));
    }
    const double largest_phase = kTwoPi * (61.25 + 40) * 4;
    EXPECT_LT(worst, 8 * std::numeric_limits<double>::epsilon() * largest_phase);
}

// Mean power and Doppler spread of fading paths over many seeds. Each path's gain at one instant
// is complex Gaussian of mean power P, so |g|^2 is exponential (standard deviation P): the mean of
// S draws lies within 5 P / sqrt(S) of P. Its autocorrelation at lag t is
// P exp(-pi^2 fd^2 t^2 / 2) exp(j 2 pi s t) (Gaussian frequencies of standard deviation fd / 2,
// shifted by s); each product g(t) g(0)* has a standard deviation of at most P, so the mean of S
// lies within 5 P / sqrt(S) of it, in each of its real and imaginary parts.
TEST(Hfchannel, PathPowersSpreadsAndShifts) {
    const int S = 4000;
    const double fs = 2400;  // M = 1
    const index_t lag = 90;  // 37.5 ms
    const double t = static_cast<double>(lag) / fs;
    const ChannelChoice choice =
        read_channel("paths=0ms/0dB/10Hz/4Hz+5ms/-4dB/4Hz+10ms/-10dB/20Hz:off=30Hz");
    const std::vector<HfPath>& paths = choice.channel.paths;
    const ComplexArray x = random_complex(lag + 1, 3);
    std::vector<double> power(paths.size());
    std::vector<cdouble> corr(paths.size());
    for (int s = 0; s < S; ++s) {
        BuiltinHost host(1);
        const HfchannelOut h =
            hfchannel(x, {choice.channel, kInf, static_cast<double>(s)}, shaping(1), host);
        for (std::size_t p = 0; p < paths.size(); ++p) {
            const cdouble g0 = h.raios(0, static_cast<index_t>(p));
            power[p] += std::norm(g0) / S;
            corr[p] += h.raios(lag, static_cast<index_t>(p)) * std::conj(g0) / double(S);
        }
    }
    const double bound = 5 / std::sqrt(double(S));
    for (std::size_t p = 0; p < paths.size(); ++p) {
        const double P = std::pow(10.0, paths[p].power / 10);
        EXPECT_NEAR(power[p], P, bound * P) << "path " << p + 1;
        const double fd = paths[p].spread;
        const cdouble want = P *
                             std::exp(-std::numbers::pi * std::numbers::pi * fd * fd * t * t / 2) *
                             std::polar(1.0, kTwoPi * paths[p].shift * t);
        EXPECT_NEAR(corr[p].real(), want.real(), bound * P) << "path " << p + 1;
        EXPECT_NEAR(corr[p].imag(), want.imag(), bound * P) << "path " << p + 1;
    }
    // The written powers share a total of 1.
    double total = 0;
    for (const HfPath& p : paths) total += std::pow(10.0, p.power / 10);
    EXPECT_NEAR(total, 1, 1e-15);
}

// The offset on the spectrum: a constant through one fixed path offset by f Hz is a tone at f,
// all of its energy in DFT bin f of a 1 s record (1 Hz bins) and none in the neighbouring bins;
// the bound is the phasor recurrence's drift summed over 2400 samples.
TEST(Hfchannel, OffsetMovesTheSpectrum) {
    const index_t L = 2400;  // 1 s at M = 1: bins of 1 Hz
    ComplexArray x(L);
    for (index_t n = 0; n < L; ++n) x[n] = 1;
    for (const double f : {-75.0, 12.0, 50.0}) {
        BuiltinHost host(1);
        HfChannel c = read_channel("1p:0ms:0Hz").channel;
        c.offset = f;
        const HfchannelOut h = hfchannel(x, {c, kInf, 1}, shaping(1), host);
        // The DFT at bin f and at its neighbours: all the energy in bin f.
        for (const double bin : {f - 1, f, f + 1}) {
            cdouble X{};
            for (index_t n = 0; n < L; ++n) {
                X += h.AwgnOut[n] * std::polar(1.0, -kTwoPi * bin * double(n) / double(L));
            }
            EXPECT_NEAR(std::abs(X) / double(L), bin == f ? 1.0 : 0.0, 1e-9) << f << " " << bin;
        }
    }
}

// Refusals: each identifier, and the stream untouched before the refusal.
TEST(Hfchannel, Refusals) {
    const HfChannel ok = read_channel("2p:2ms:1Hz").channel;
    const auto with = [&](auto change) {
        HfChannel c = ok;
        change(c);
        return c;
    };
    const struct {
        HfChannel channel;
        double esno, M;
        const char* id;
        const char* text;
    } cases[] = {
        {HfChannel{}, 10, 5, "hfchain:hfchannel:InvalidChannel", "no path"},
        {with([](HfChannel& c) { c.paths[1].delay = -1e-3; }), 10, 5,
         "hfchain:hfchannel:InvalidChannel", "Path 2: delay"},
        {with([](HfChannel& c) { c.paths[1].delay = 1.5; }), 10, 5,
         "hfchain:hfchannel:InvalidChannel", "Path 2: delay 1.5"},
        {with([](HfChannel& c) { c.paths[0].power = kNaN; }), 10, 5,
         "hfchain:hfchannel:InvalidChannel", "Path 1: power"},
        {with([](HfChannel& c) { c.paths[0].power = 4000; }), 10, 5,
         "hfchain:hfchannel:InvalidChannel", "Path 1: power"},
        {with([](HfChannel& c) { c.paths[1].spread = -1; }), 10, 5,
         "hfchain:hfchannel:InvalidChannel", "Path 2: spread"},
        {with([](HfChannel& c) { c.paths[0].shift = kInf; }), 10, 5,
         "hfchain:hfchannel:InvalidChannel", "Path 1: shift"},
        {with([](HfChannel& c) { c.offset = kNaN; }), 10, 5, "hfchain:hfchannel:InvalidChannel",
         "offset"},
        {ok, kNaN, 5, "hfchain:channel:InvalidEsNodB", "EsNodB"},
        {ok, 10, 0, "hfchain:runtime:NotPositive", "oversamplingFactor"},
        {ok, 10, 4, "hfchain:hfchannel:FractionalDelay", "Path 2: the delay 0.002 s is 19.2"},
        {read_channel("itu_mid_disturbed_nvis").channel, 10, 4, "hfchain:hfchannel:FractionalDelay",
         "Path 2"},
    };
    for (const auto& c : cases) {
        RecordingHost host(1);
        try {
            hfchannel(random_complex(50, 1), {c.channel, c.esno, 1}, shaping(c.M), host);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const Error& e) {
            EXPECT_EQ(e.identifier(), c.id) << c.text;
            EXPECT_NE(std::string(e.message()).find(c.text), std::string::npos) << e.message();
        }
        EXPECT_TRUE(host.log.empty()) << c.text;
    }
}

// Delays written in decimal are whole numbers of samples up to the rounding of their binary
// form: 16 paths 0.25 ms apart at 12000 samples/s lie 3 samples apart (path 10's 0.00225 s is
// 26.999999999999996 samples in double precision); a delay a millionth of a sample off is not.
TEST(Hfchannel, DecimalDelaysAreTheirWholeSamples) {
    const HfChannel c = read_channel("16p:0.25ms:1Hz").channel;
    RecordingHost host(1);
    const HfchannelOut r = hfchannel(random_complex(50, 1), {c, 10, 1}, shaping(5), host);
    ASSERT_EQ(r.delays.numel(), 16);
    for (index_t p = 0; p < 16; ++p) EXPECT_EQ(r.delays[p], 3 * p) << p;
    HfChannel off = c;
    off.paths[9].delay = 27.000001 / 12000;
    EXPECT_THROW(hfchannel(random_complex(50, 1), {off, 10, 1}, shaping(5), host), Error);
}

// A non-finite input is refused before anything is drawn; a finite one that overflows through a
// strong path is refused, not handed on as infinities.
TEST(Hfchannel, NonFiniteInputAndOverflow) {
    const HfChannel strong = read_channel("paths=0ms/0dB/0Hz").channel;
    ComplexArray x = random_complex(40, 1);
    x[7] = cdouble(0, kInf);
    RecordingHost host(1);
    EXPECT_THROW(
        {
            try {
                hfchannel(x, {strong, 10, 1}, shaping(5), host);
            } catch (const Error& e) {
                EXPECT_EQ(e.identifier(), "hfchain:hfchannel:NonFinite");
                throw;
            }
        },
        Error);
    EXPECT_TRUE(host.log.empty());
    HfChannel loud = strong;
    loud.paths[0].power = 40;  // a gain of 100
    x[7] = 1e307;
    BuiltinHost other(1);
    try {
        hfchannel(x, {loud, 10, 1}, shaping(5), other);
        ADD_FAILURE() << "an overflow was handed on";
    } catch (const Error& e) {
        EXPECT_EQ(e.identifier(), "hfchain:hfchannel:Overflow");
        EXPECT_NE(std::string(e.message()).find("sample 8"), std::string::npos) << e.message();
    }
}

// Spellings of channels: the canonical form, which reads back as itself, and the paths.
TEST(ChannelText, CanonicalForms) {
    const struct {
        const char* text;
        const char* canonical;
        std::size_t paths;
    } cases[] = {
        {"ruim", "ruim", 2},
        {"itu_high_disturbed", "itu_high_disturbed", 2},
        {"awgn", "awgn", 1},
        {"2p:2ms:1Hz", "2p:2ms:1Hz", 2},
        {"2p:2000us:1Hz", "2p:2ms:1Hz", 2},
        {"2p:0.002s:1Hz", "2p:2ms:1Hz", 2},
        {"2p:2ms:1Hz:shift=0Hz:off=0Hz", "2p:2ms:1Hz", 2},
        {"2p:2ms:1Hz:off=50Hz:shift=-0.5Hz", "2p:2ms:1Hz:shift=-0.5Hz:off=50Hz", 2},
        {"paths=0ms/0dB/1Hz+2ms/0dB/1Hz", "2p:2ms:1Hz", 2},
        {"paths=2ms/3dB/1Hz+0ms/3dB/1Hz", "2p:2ms:1Hz", 2},
        {"paths=0ms/-6dB/1Hz/0Hz+2ms/-6dB/1Hz:off=-75Hz", "2p:2ms:1Hz:off=-75Hz", 2},
        {"paths=0ms/0dB/1Hz/2Hz+2ms/0dB/1Hz/2Hz", "2p:2ms:1Hz:shift=2Hz", 2},
        {"3p:1.5ms:0.5Hz", "3p:1.5ms:0.5Hz", 3},
        {"1p:5ms:0Hz", "1p:0ms:0Hz", 1},
        {"paths=0ms/0dB/0Hz", "1p:0ms:0Hz", 1},
        {"paths=2ms/-3dB/1Hz+0ms/0dB/1Hz", "paths=0ms/0dB/1Hz+2ms/-3dB/1Hz", 2},
        {"paths=1ms/0dB/1Hz+3ms/0dB/1Hz", "paths=1ms/0dB/1Hz+3ms/0dB/1Hz", 2},
        {"paths=0ms/0dB/1Hz+2ms/0dB/5Hz/-1Hz", "paths=0ms/0dB/1Hz+2ms/0dB/5Hz/-1Hz", 2},
        {"paths=0ms/0dB/1Hz+0ms/0dB/2Hz", "paths=0ms/0dB/1Hz+0ms/0dB/2Hz", 2},
        {"paths=0ms/0dB/2Hz+0ms/0dB/1Hz", "paths=0ms/0dB/1Hz+0ms/0dB/2Hz", 2},
    };
    for (const auto& c : cases) {
        const ChannelChoice r = read_channel(c.text);
        EXPECT_EQ(r.canonical, c.canonical) << c.text;
        EXPECT_EQ(r.channel.paths.size(), c.paths) << c.text;
        const ChannelChoice again = read_channel(r.canonical);
        EXPECT_EQ(again.canonical, r.canonical) << c.text;
        ASSERT_EQ(again.channel.paths.size(), r.channel.paths.size()) << c.text;
        for (std::size_t p = 0; p < r.channel.paths.size(); ++p) {
            EXPECT_EQ(again.channel.paths[p].delay, r.channel.paths[p].delay) << c.text;
            EXPECT_EQ(again.channel.paths[p].power, r.channel.paths[p].power) << c.text;
            EXPECT_EQ(again.channel.paths[p].spread, r.channel.paths[p].spread) << c.text;
            EXPECT_EQ(again.channel.paths[p].shift, r.channel.paths[p].shift) << c.text;
        }
        EXPECT_EQ(again.channel.offset, r.channel.offset) << c.text;
    }
    // Only fadesim's names are fadesim's conditions; a written twin of ruim is not.
    EXPECT_NE(read_channel("ruim").condition, nullptr);
    EXPECT_EQ(read_channel("itu_mid_disturbed").condition, nullptr);
    EXPECT_EQ(read_channel("2p:2ms:1Hz").condition, nullptr);
    EXPECT_TRUE(read_channel("awgn").awgn);
    // The values the block gets: seconds, dB of a unit total, Hz.
    const HfChannel c = read_channel("paths=0ms/0dB/1Hz+2ms/-3dB/5Hz/-1Hz:off=20Hz").channel;
    EXPECT_EQ(c.paths[1].delay, 0.002);
    EXPECT_NEAR(std::pow(10, c.paths[0].power / 10) + std::pow(10, c.paths[1].power / 10), 1,
                1e-15);
    EXPECT_NEAR(c.paths[0].power - c.paths[1].power, 3, 1e-12);
    EXPECT_EQ(c.paths[1].spread, 5);
    EXPECT_EQ(c.paths[1].shift, -1);
    EXPECT_EQ(c.offset, 20);
}

TEST(ChannelText, Refusals) {
    const struct {
        const char* text;
        const char* says;
    } cases[] = {
        {"", "neither a preset nor a written channel"},
        {"Ruim", "neither a preset nor a written channel"},
        {"ruim ", "neither a preset nor a written channel"},
        {"2p", "expected Np:DELAY:SPREAD"},
        {"2p:2ms", "expected Np:DELAY:SPREAD"},
        {"0p:2ms:1Hz", "'0p' is not a number of paths"},
        {"17p:2ms:1Hz", "'17p' is not a number of paths"},
        {"2xp:2ms:1Hz", "'2xp' is not a number of paths"},
        {"2p:2:1Hz", "'2' is not a delay"},
        {"2p:2Ms:1Hz", "'2Ms' is not a delay"},
        {"2p:ms:1Hz", "'ms' is not a delay"},
        {"2p:-1ms:1Hz", "the delay -1ms is outside 0 to 100 ms"},
        {"2p:200ms:1Hz", "outside 0 to 100 ms"},
        {"2p:2ms:1", "'1' is not a Doppler spread"},
        {"2p:2ms:-1Hz", "outside 0 to 300 Hz"},
        {"2p:2ms:nanHz", "'nanHz' is not a Doppler spread"},
        {"2p:2ms:infHz", "'infHz' is not a Doppler spread"},
        {"2p:2ms:1Hz:off=2000Hz", "outside -1000 to 1000 Hz"},
        {"2p:2ms:1Hz:off=5", "'5' is not a frequency offset"},
        {"2p:2ms:1Hz:off=5Hz:off=6Hz", "'off=' is given twice"},
        {"2p:2ms:1Hz:spin=5Hz", "'spin=5Hz' is not an option"},
        {"2p:2ms:1Hz:", "'' is not an option"},
        {"paths=", "is not DELAY/POWER/SPREAD"},
        {"paths=0ms/0dB", "is not DELAY/POWER/SPREAD"},
        {"paths=0ms/0dB/1Hz+", "is not DELAY/POWER/SPREAD"},
        {"paths=0ms/0/1Hz", "'0' is not a power"},
        {"paths=0ms/0dB/1Hz/1Hz/1Hz", "is not DELAY/POWER/SPREAD"},
        {"paths=0ms/200dB/1Hz", "outside -100 to 100 dB"},
        {"paths=0ms/0dB/1Hz:shift=2Hz", "give each path's Doppler shift as its fourth field"},
        {"paths=0ms/0dB/1Hz+0ms/0dB/1Hz+0ms/0dB/1Hz+0ms/0dB/1Hz+0ms/0dB/1Hz+0ms/0dB/1Hz+0ms/0dB/"
         "1Hz+0ms/0dB/1Hz+0ms/0dB/1Hz+0ms/0dB/1Hz+0ms/0dB/1Hz+0ms/0dB/1Hz+0ms/0dB/1Hz+0ms/0dB/"
         "1Hz+0ms/0dB/1Hz+0ms/0dB/1Hz+0ms/0dB/1Hz",
         "more than 16 paths"},
    };
    for (const auto& c : cases) {
        try {
            const ChannelChoice r = read_channel(c.text);
            ADD_FAILURE() << "accepted '" << c.text << "' as " << r.canonical;
        } catch (const Error& e) {
            EXPECT_EQ(e.identifier(), kInvalidChannelText) << c.text;
            EXPECT_NE(std::string(e.message()).find(c.says), std::string::npos)
                << c.text << ": " << e.message();
        }
    }
}

// Every preset of the table runs at the default 5 samples per symbol with its delay; the
// ITU-R F.1487 values are the Recommendation's.
TEST(ChannelText, Presets) {
    EXPECT_EQ(std::size(kChannelPresets), 14u);
    EXPECT_EQ(kWattersonConditions.size(), 4u);
    const ComplexArray x = random_complex(200, 1);
    for (const WattersonCondition& c : kChannelPresets) {
        BuiltinHost host(1);
        const HfchannelOut h =
            hfchannel(x, {read_channel(c.name).channel, 20, 1}, shaping(5), host);
        EXPECT_EQ(h.delays[1], std::round(c.tau * 12000)) << c.name;
    }
    const WattersonCondition* nvis = find_channel_preset("itu_mid_disturbed_nvis");
    ASSERT_NE(nvis, nullptr);
    EXPECT_EQ(nvis->tau, 0.007);
    EXPECT_EQ(nvis->fd, 1.0);
    EXPECT_EQ(find_watterson_condition("itu_low_quiet"), nullptr);  // fadesim refuses it
}

}  // namespace
}  // namespace hfchain
