#include "channel/fadesim.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "channel/h_watterson.hpp"
#include "recording_host.hpp"
#include "runtime/builtin_host.hpp"
#include "tests/support/signals.hpp"

namespace hfchain {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
const char* const kBadModel = "ERRO! Tipo de canal Watterson invalido.";
const char* const kBadDelay =
    "ERRO! Superamostragem incompativel com o atraso entre raios Watterson desejado.";

VarShapping shaping(double M) { return {0.35, 6, M}; }

// The next draw of the caller's stream, to compare with a twin that never lent its stream.
double next_draw(HostServices& host) { return host.randn(1, 1)[0]; }

TEST(Fadesim, Conditions) {
    const struct {
        const char* model;
        double M, tau, fd;
        index_t Dd;
    } cases[] = {
        {"bom", 5, 0.0005, 0.1, 6},        {"moderado", 5, 0.001, 0.5, 12},
        {"ruim", 5, 0.002, 1.0, 24},       {"muito_ruim", 5, 0.005, 5.0, 60},
        {"bom", 10, 0.0005, 0.1, 12},      {"muito_ruim", 1, 0.005, 5.0, 12},
        {"muito_ruim", 3, 0.005, 5.0, 36},
    };
    const ComplexArray x = random_complex(500, 1);
    for (const auto& c : cases) {
        BuiltinHost host(1);
        const FadesimOut r = fadesim(x, {c.model, 10, 3}, shaping(c.M), host);
        EXPECT_EQ(r.RER, c.tau) << c.model;
        EXPECT_EQ(r.ED, c.fd) << c.model;
        EXPECT_EQ(r.raios.rows(), 500);
        EXPECT_EQ(r.raios.cols(), 2);
        EXPECT_EQ(r.WattersonOutAwgnIn.numel(), 500 + c.Dd) << c.model << " M = " << c.M;
        EXPECT_EQ(r.noise.numel(), 500 + c.Dd);
        EXPECT_EQ(r.AwgnOut.numel(), 500 + c.Dd);
    }
}

// Names match exactly; an unknown one fails before the caller's stream is touched.
TEST(Fadesim, UnknownConditionFailsBeforeSeeding) {
    const std::string names[] = {"Bom",      "bom ",       " bom",  "",
                                 "MODERADO", "muito ruim", "ruim_", std::string("ruim\0", 5),
                                 "bo"};
    for (const std::string& name : names) {
        RecordingHost host(1);
        try {
            fadesim(random_complex(100, 1), {name, 10, 3}, shaping(5), host);
            ADD_FAILURE() << "accepted '" << name << "'";
        } catch (const Error& e) {
            EXPECT_EQ(e.identifier(), "");
            EXPECT_EQ(std::string(e.message()), kBadModel);
        }
        EXPECT_TRUE(host.log.empty()) << name;
    }
}

// A delay that is no whole number of samples fails after seeding; the caller's generator is
// given back all the same.
TEST(Fadesim, DelayNotAWholeNumberOfSamples) {
    const struct {
        const char* model;
        double M;
    } cases[] = {{"bom", 4},
                 {"moderado", 3},
                 {"ruim", 7},
                 {"bom", 2},
                 {"ruim", std::numeric_limits<double>::quiet_NaN()},
                 {"moderado", kInf}};
    for (const auto& c : cases) {
        RecordingHost host(77);
        BuiltinHost twin(77);
        try {
            fadesim(random_complex(100, 1), {c.model, 10, 3}, shaping(c.M), host);
            ADD_FAILURE() << "accepted " << c.model << " at M = " << c.M;
        } catch (const Error& e) {
            EXPECT_EQ(e.identifier(), "");
            EXPECT_EQ(std::string(e.message()), kBadDelay);
        }
        EXPECT_EQ(host.log, (std::vector<std::string>{"seed 3", "restore"}));
        EXPECT_EQ(next_draw(host), next_draw(twin));
    }
}

// The stream is seeded, the rays take six rows of 20, the noise a real and then an imaginary
// column of L + Dd, and the caller's settings come back; also when there is no noise.
TEST(Fadesim, DrawOrderAndShapes) {
    for (double EsNodB : {10.0, kInf}) {
        RecordingHost host(1);
        fadesim(random_complex(300, 1), {"moderado", EsNodB, 42}, shaping(5), host);
        const std::vector<std::string> expected = {
            "seed 42",    "randn 1x20", "randn 1x20",  "randn 1x20",  "randn 1x20",
            "randn 1x20", "randn 1x20", "randn 312x1", "randn 312x1", "restore"};
        EXPECT_EQ(host.log, expected) << EsNodB;
    }
}

// Noise is sigma r1 + j sigma r2 with the two columns drawn after the rays, sigma^2 =
// 10^(-EsNodB/10) / 2, and the received waveform is the faded one plus the noise.
TEST(Fadesim, NoiseFromTheSeedAndEsNo) {
    const index_t L = 250;
    const ComplexArray x = random_complex(L, 4);
    const struct {
        double EsNodB, sigma2;  // per-component noise variance
    } cases[] = {
        {0, 0.5}, {10, 0.05}, {-3, 0.9976311574844398}, {37.5, 8.891397050194614e-05}, {kInf, 0}};
    for (const auto [EsNodB, sigma2] : cases) {
        BuiltinHost host(1);
        const FadesimOut r = fadesim(x, {"ruim", EsNodB, 1234}, shaping(5), host);
        const index_t Ly = L + 24;
        BuiltinHost stream(1234);
        const WattersonOut faded = h_watterson(x, 12000, 0.002, 1.0, stream);
        const RealArray r1 = stream.randn(Ly, 1);
        const RealArray r2 = stream.randn(Ly, 1);
        const double sigma = std::sqrt(sigma2);
        ASSERT_EQ(r.noise.numel(), Ly);
        for (index_t m = 0; m < Ly; ++m) {
            EXPECT_NEAR(std::abs(r.noise[m] - cdouble(sigma * r1[m], sigma * r2[m])), 0, 1e-15)
                << EsNodB << " " << m;
            EXPECT_EQ(r.WattersonOutAwgnIn[m], faded.y[m]);
            EXPECT_EQ(r.AwgnOut[m], r.WattersonOutAwgnIn[m] + r.noise[m]);
        }
        for (index_t n = 0; n < L; ++n) {
            EXPECT_EQ(r.raios(n, 0), faded.raios(n, 0));
            EXPECT_EQ(r.raios(n, 1), faded.raios(n, 1));
        }
    }
}

TEST(Fadesim, ReproducibleForASeedAndCallerStreamRestored) {
    const ComplexArray x = random_complex(400, 8);
    BuiltinHost host(99), twin(99);
    const FadesimOut a = fadesim(x, {"muito_ruim", 5, 17}, shaping(5), host);
    EXPECT_EQ(next_draw(host), next_draw(twin));
    const FadesimOut b = fadesim(x, {"muito_ruim", 5, 17}, shaping(5), host);
    const FadesimOut c = fadesim(x, {"muito_ruim", 5, 18}, shaping(5), host);
    EXPECT_EQ(next_draw(host), next_draw(twin));
    bool differs = false;
    for (index_t m = 0; m < a.AwgnOut.numel(); ++m) {
        EXPECT_EQ(a.AwgnOut[m], b.AwgnOut[m]);
        differs = differs || a.AwgnOut[m] != c.AwgnOut[m];
    }
    EXPECT_TRUE(differs);
}

TEST(Fadesim, InterruptedCallGivesTheStreamBack) {
    RecordingHost host(5);
    BuiltinHost twin(5);
    host.interrupt_at_poll = 2;
    try {
        fadesim(random_complex(5000, 1), {"bom", 10, 3}, shaping(5), host);
        ADD_FAILURE() << "not interrupted";
    } catch (const Error& e) {
        EXPECT_EQ(e.identifier(), errid::kInterrupted);
    }
    EXPECT_EQ(host.log.back(), "restore");
    EXPECT_EQ(next_draw(host), next_draw(twin));
}

TEST(Fadesim, EmptyInputGivesNoiseOnly) {
    BuiltinHost host(1);
    const FadesimOut r = fadesim(ComplexArray(0), {"muito_ruim", 0, 3}, shaping(1), host);
    EXPECT_EQ(r.raios.rows(), 0);
    EXPECT_EQ(r.raios.cols(), 2);
    ASSERT_EQ(r.AwgnOut.numel(), 12);
    for (index_t m = 0; m < 12; ++m) {
        EXPECT_EQ(r.WattersonOutAwgnIn[m], cdouble{});
        EXPECT_NE(r.noise[m], cdouble{});
        EXPECT_EQ(r.AwgnOut[m], r.noise[m]);
    }
}

// Settings that would give NaN or infinite signals are refused: an Es/N0 whose noise variance is
// not finite before the stream is touched, and M = 0 (which passes the delay rule with a delay of
// 0 samples) after it, with the caller's stream given back.
TEST(Fadesim, RefusesSettingsThatGiveNoFiniteSignal) {
    const struct {
        double EsNodB, M;
        const char* id;
        std::vector<std::string> log;
    } cases[] = {
        {std::nan(""), 5, "hfchain:channel:InvalidEsNodB", {}},
        {-kInf, 5, "hfchain:channel:InvalidEsNodB", {}},
        {-4000, 5, "hfchain:channel:InvalidEsNodB", {}},  // 10^(-400) underflows to 0
        {10, 0, errid::kNotPositive, {"seed 3", "restore"}},
        {10, -0.0, errid::kNotPositive, {"seed 3", "restore"}},
    };
    for (const auto& c : cases) {
        RecordingHost host(9);
        BuiltinHost twin(9);
        try {
            fadesim(random_complex(50, 1), {"muito_ruim", c.EsNodB, 3}, shaping(c.M), host);
            ADD_FAILURE() << "accepted EsNodB = " << c.EsNodB << ", M = " << c.M;
        } catch (const Error& e) {
            EXPECT_EQ(e.identifier(), c.id) << e.what();
        }
        EXPECT_EQ(host.log, c.log);
        EXPECT_EQ(next_draw(host), next_draw(twin));
    }
    // The noise level of the lowest Es/N0 still accepted is finite; +Inf means no noise.
    EXPECT_EQ(noise_sigma(kInf), 0.0);
    EXPECT_NEAR(noise_sigma(-3000) / 7.0710678118654757e149, 1.0, 1e-12);
    ComplexArray noise, noisy;
    BuiltinHost host(1);
    try {
        add_channel_noise(random_complex(5, 1), std::nan(""), host, noise, noisy);
        ADD_FAILURE() << "noise at NaN dB";
    } catch (const Error& e) {
        EXPECT_EQ(e.identifier(), "hfchain:channel:InvalidEsNodB");
        EXPECT_NE(std::string(e.what()).find("'EsNodB'"), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace hfchain
