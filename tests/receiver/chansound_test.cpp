#include "receiver/chansound/chansound.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "params/rateconf.hpp"
#include "receiver/chansound/pathtrack.hpp"
#include "receiver/layout/layout.hpp"
#include "runtime/complexmath.hpp"
#include "tests/receiver/expect_error.hpp"
#include "tests/receiver/hf_support.hpp"
#include "tests/support/signals.hpp"

namespace hfchain {
namespace {

using testing::expect_error;
using testing::standard;
using testing::static_road;
using testing::TwoRay;

constexpr double kPi = std::numbers::pi;
const VarShapping kShaping{0.35, 6, 5};

cdouble polar(double magnitude, double phase) { return std::polar(magnitude, phase); }

// Static rays from 0 to 12 symbols apart (5 samples a symbol), either one stronger, at several
// common phases: the sounder finds both rays within a sample of their pulse peaks (when they are
// a symbol or more apart), their power, and the noise level; the HF receiver then decodes every
// information bit. The first ray of the first symbol peaks at sample 2 D M + 1 = 61.
TEST(Chansound, FindsStaticRaysAndTheReceiverDecodesEveryBit) {
    struct Case {
        TwoRay rays;
        double interLen;
    };
    const Case cases[] = {
        {{0, polar(1, 0.3), polar(0.5, 2.0)}, 0.6},     // the rays coincide: one path
        {{3, polar(1, 1.1), polar(0.8, -2.5)}, 0.6},    // 0.6 symbols apart
        {{6, polar(1, -0.4), polar(0.5, 1.3)}, 0.6},    // "bom": 1.2 symbols
        {{6, polar(0.5, 2.9), polar(1, 0.2)}, 0.6},     // the late ray stronger
        {{12, polar(0.7, 0.0), polar(0.7, kPi)}, 0.6},  // "moderado", equal rays
        {{24, polar(0.4, 1.0), polar(1, -1.0)}, 0.6},   // "ruim", the late ray stronger
        {{37, polar(1, 0.7), polar(0.6, 0.1)}, 0.6},    // 7.4 symbols
        {{60, polar(0.5, -2.0), polar(1, 2.2)}, 0.6},   // "muito_ruim", the late ray stronger
        {{60, polar(1, 0.5), polar(0.9, 0.6)}, 4.8},    // the long interleaver
    };
    const double EsNodB = 30;
    const double N0 = std::pow(10, -EsNodB / 10);
    for (const Case& c : cases) {
        const TwoRay& rays = c.rays;
        SCOPED_TRACE(::testing::Message() << "delay " << rays.delay << ", |g1| "
                                          << std::abs(rays.g1) << ", |g2| " << std::abs(rays.g2));
        const auto road = static_road(c.interLen, 1, rays, EsNodB, 5 + rays.delay);
        const ChansoundOut s = chansound(road.matched, road.start, standard(c.interLen), kShaping);
        const index_t r = s.basis.cols();
        ASSERT_GE(r, 1);
        ASSERT_EQ(s.delays.numel(), r);
        if (rays.delay == 0 || rays.delay >= 5) {
            // Each ray's peak is the delay of some path, carrying about its power.
            const double peaks[2] = {61, 61.0 + rays.delay};
            const double power[2] = {std::norm(rays.delay == 0 ? rays.g1 + rays.g2 : rays.g1),
                                     std::norm(rays.g2)};
            for (int ray = 0; ray < (rays.delay == 0 ? 1 : 2); ++ray) {
                index_t best = 0;
                for (index_t p = 1; p < r; ++p) {
                    if (std::abs(s.delays[p] - peaks[ray]) < std::abs(s.delays[best] - peaks[ray]))
                        best = p;
                }
                EXPECT_NEAR(s.delays[best], peaks[ray], 1.0) << "ray " << ray;
                EXPECT_NEAR(s.pathPower[best], power[ray], 0.1 * power[ray]) << "ray " << ray;
            }
        }
        // The noise estimate: the residual of some thousand preamble samples at 30 dB, within a
        // few percent, plus what a static model leaves (nothing here).
        EXPECT_NEAR(s.noiseVar, N0, 0.25 * N0);
        EXPECT_EQ(testing::hf_errors(road, c.interLen, 1), 0);
    }
}

// Whether the synchroniser's start belongs to the early or the late ray, the sounder reads the
// same samples.
TEST(Chansound, StartsAlikeFromEitherRay) {
    for (const index_t delay : {12, 24, 60}) {
        const TwoRay rays{delay, polar(1, 0.4), polar(0.9, -1.9)};
        const auto road = static_road(0.6, 1, rays, 25, 40 + delay);
        const ChansoundOut early = chansound(road.matched, 61, standard(0.6), kShaping);
        const ChansoundOut late = chansound(road.matched, 61 + delay, standard(0.6), kShaping);
        EXPECT_EQ(early.start, late.start) << delay;
        EXPECT_EQ(early.basis.rows(), late.basis.rows()) << delay;
    }
}

// A start that belongs to no path at all (the synchroniser misled by a fade) is caught: the
// sounder acquires the preamble afresh and reads the same samples as from the right start.
TEST(Chansound, RecoversFromAWrongStart) {
    for (const double wrong : {400.0, 923.0, 1184.0}) {
        const TwoRay rays{60, polar(0.6, 0.4), polar(1, -1.9)};
        const auto road = static_road(0.6, 1, rays, 12, 70);
        const ChansoundOut right = chansound(road.matched, 61, standard(0.6), kShaping);
        const ChansoundOut found = chansound(road.matched, wrong, standard(0.6), kShaping);
        EXPECT_EQ(found.start, right.start) << wrong;
        EXPECT_EQ(found.basis.cols(), right.basis.cols()) << wrong;
    }
}

// The index of the path nearest `sample`, or -1 when none lies within a sample of it.
index_t path_at(const ChansoundOut& s, double sample) {
    for (index_t p = 0; p < s.delays.numel(); ++p) {
        if (std::abs(s.delays[p] - sample) <= 1.0) return p;
    }
    return -1;
}

// Two paths the largest spread apart (12 symbols, 60 samples) are both found at their delays
// whatever start the synchroniser gives near them: on either path, between them, or several
// symbols before the early or beyond the late one (the synchroniser strays so at low Es/N0). A
// start beyond the late path once left the early one outside the span searched, and the fit
// mimicked it with spurious paths at the span's edge. At the slow rates too, and at 4.8 s.
TEST(Chansound, FindsBothPathsTheLargestSpreadApartFromAnyStartNearThem) {
    struct Case {
        double rate;
        double interLen;
        double EsNodB;
    };
    const Case cases[] = {{2400, 0.6, 20}, {600, 0.6, 10}, {150, 4.8, 0}, {75, 4.8, -3}};
    const TwoRay rays{60, polar(0.8, 0.4), polar(0.6, -1.9)};
    for (const Case& c : cases) {
        const ModeParams mode = rateconf(c.rate, c.interLen);
        const auto road = static_road_of(mode, 1, rays, c.EsNodB, 11);
        for (const double start : {61.0, 121.0, 91.0, 40.0, 131.0, 146.0, 176.0}) {
            SCOPED_TRACE(::testing::Message() << c.rate << " bit/s, start " << start);
            const ChansoundOut s = chansound(road.matched, start, mode, kShaping);
            const index_t early = path_at(s, 61), late = path_at(s, 121);
            ASSERT_GE(early, 0);
            ASSERT_GE(late, 0);
            EXPECT_NEAR(s.pathPower[early], 0.64, 0.25 * 0.64);
            EXPECT_NEAR(s.pathPower[late], 0.36, 0.25 * 0.36);
        }
    }
}

// A start 96 symbols late, where the preamble's repeated run of channel symbols lets the late
// start fit part of each path (the synchroniser's strongest sidelobe), stands several times
// clear of the estimation noise at the slow rates, whose many search windows make that look
// like a detection: the sounder must still find the transmission's start. Static paths at
// moderate Es/N0 on the long interleaver.
TEST(Chansound, IsNotTakenInByThePreamblesSidelobes) {
    struct Case {
        double rate;
        double EsNodB;
        double start;
    };
    const Case cases[] = {
        {150, 4, 61 + 480},      {150, 4, 121 + 480}, {300, 4, 121 + 480},
        {75, -2, 61 + 480 + 13}, {600, 8, 61 + 480},
    };
    const TwoRay rays{60, polar(0.7, 1.0), polar(0.7, 2.5)};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.rate << " bit/s, start " << c.start);
        const ModeParams mode = rateconf(c.rate, 4.8);
        const auto road = static_road_of(mode, 1, rays, c.EsNodB, 5);
        const ChansoundOut s = chansound(road.matched, c.start, mode, kShaping);
        EXPECT_GE(path_at(s, 61), 0);
        EXPECT_GE(path_at(s, 121), 0);
    }
}

// A path too weak for the noise share of the taps (at low Es/N0) still keeps its strongest tap
// in the window: its basis column is its pulse near the peak (at least the pulse's value half a
// sample off its peak, 0.97), never an empty column that the track would lose.
TEST(Chansound, KeepsEveryPathsStrongestTap) {
    struct Case {
        double rate;
        double EsNodB;
        double weak;  // power of the late path; the early one has 1
    };
    const Case cases[] = {{75, -7, 0.15}, {75, -4, 0.1}, {150, -5, 0.12}, {2400, 10, 0.01}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.rate << " bit/s, Es/N0 " << c.EsNodB);
        const ModeParams mode = rateconf(c.rate, 4.8);
        const TwoRay rays{60, 1.0, polar(std::sqrt(c.weak), 0.7)};
        const auto road = static_road_of(mode, 1, rays, c.EsNodB, 7);
        const ChansoundOut s = chansound(road.matched, 61, mode, kShaping);
        ASSERT_GE(path_at(s, 121), 0);
        for (index_t p = 0; p < s.basis.cols(); ++p) {
            double peak = 0;
            for (index_t i = 0; i < s.basis.rows(); ++i)
                peak = std::max(peak, std::abs(s.basis(i, p)));
            EXPECT_GE(peak, 0.97) << "path " << p;
        }
    }
}

// The known symbols are exactly the transmitter's preamble and probes, and the rotation of each
// data symbol turns its Gray-mapped point into the transmitted one.
TEST(Chansound, KnowsThePreambleProbesAndScrambling) {
    for (const double interLen : {0.6, 4.8}) {
        for (const double nFrame : {1.0, 2.0}) {
            if (interLen == 4.8 && nFrame == 2.0) continue;
            const ModeParams& mode = standard(interLen);
            BuiltinHost host;
            const SendchainOut tx = sendchain(mode, nFrame, 3, host);
            const index_t frames = (tx.MultiplexOut.numel() - mode.preamSync.numel()) / 48;
            const Layout layout = transmission_layout(mode, frames);
            ASSERT_EQ(layout.symbols, tx.MultiplexOut.numel());
            const KnownSymbols known = known_symbols(mode, layout);
            index_t data = 0;
            for (index_t n = 0; n < layout.symbols; ++n) {
                const bool probe = n >= layout.preamble && (n - layout.preamble) % 48 >= 32;
                if (n < layout.preamble || probe) {
                    EXPECT_EQ(known.var[n], 0) << n;
                    ASSERT_LT(std::abs(known.mean[n] - tx.MultiplexOut[n]), 1e-12) << n;
                } else {
                    EXPECT_EQ(known.var[n], 1) << n;
                    EXPECT_EQ(layout.dataIndex(data), n);
                    const cdouble sent = known.rotation[data] * tx.ComplexPSKSymbols[data];
                    ASSERT_LT(std::abs(sent - tx.MultiplexOut[n]), 1e-12) << n;
                    ++data;
                }
            }
            EXPECT_EQ(data, layout.dataSymbols());
        }
    }
}

// Gains that drift slowly are followed within the error variance the tracker states: over many
// samples, the mean squared error divided by the mean stated variance stays near 1.
TEST(Chansound, TrackedGainsMatchTheirStatedErrors) {
    const ModeParams& mode = standard(0.6);
    const Layout layout = transmission_layout(mode, 30);
    const KnownSymbols known = known_symbols(mode, layout);
    // Random data symbols, two paths 4 taps apart, gains turning at 0.3 and -0.2 Hz.
    const ComplexArray noise = random_complex(layout.symbols + 4, 8);
    const ComplexArray data = random_complex(layout.symbols, 9);
    ComplexArray x(layout.symbols);
    for (index_t n = 0; n < layout.symbols; ++n) {
        x[n] = known.var[n] == 0 ? known.mean[n] : std::polar(1.0, std::arg(data[n]));
    }
    ComplexArray basis(5, 2);
    basis(0, 0) = 1.0;
    basis(1, 0) = 0.1;
    basis(3, 1) = 0.2;
    basis(4, 1) = 1.0;
    const double N0 = 0.01;
    const index_t Ny = layout.symbols + 4;
    ComplexArray truth(2, Ny), y(Ny);
    for (index_t n = 0; n < Ny; ++n) {
        truth(0, n) = std::polar(0.8, 2 * kPi * 0.3 * n / 2400);
        truth(1, n) = std::polar(0.5, -2 * kPi * 0.2 * n / 2400 + 1);
        for (index_t i = 0; i < 5; ++i) {
            if (n - i < 0 || n - i >= layout.symbols) continue;
            y[n] += (basis(i, 0) * truth(0, n) + basis(i, 1) * truth(1, n)) * x[n - i];
        }
        y[n] += std::sqrt(N0 / 2) * noise[n];
    }
    RealArray tapPower(5);
    for (index_t i = 0; i < 5; ++i)
        tapPower[i] = 0.64 * std::norm(basis(i, 0)) + 0.25 * std::norm(basis(i, 1));
    PathTrack track;
    track_paths(y, basis, known.mean, known.var, N0, tapPower, track);
    double error = 0, stated = 0;
    for (index_t n = 100; n < Ny - 100; ++n) {
        for (index_t p = 0; p < 2; ++p) {
            error += std::norm(track.gains(p, n) - truth(p, n));
            stated += track.gainVar(p, n);
        }
    }
    EXPECT_GT(error / stated, 0.3);
    EXPECT_LT(error / stated, 3.0);
    EXPECT_LT(error / (Ny - 200), 1e-3);  // and the gains are good to -30 dB
    EXPECT_NEAR(track.pathPower[0], 0.64, 0.05);
    EXPECT_NEAR(track.pathPower[1], 0.25, 0.05);
    EXPECT_LT(model_residual(y, basis, known.mean, known.var, track), 1.5 * N0);
}

// The model's residual over the preamble, against the plain sum written with the complex
// products of the library (runtime/complexmath.hpp): the residual the sounder compares with its
// noise estimate must not depend on how the sum is vectorised, to the last bit, for every number
// of paths (and beyond kMaxPaths).
TEST(Chansound, ModelResidualIsThePlainSumToTheBit) {
    const ModeParams& mode = standard(0.6);
    const Layout layout = transmission_layout(mode, 2);
    const KnownSymbols known = known_symbols(mode, layout);
    for (const index_t r : {1, 2, 3, 4, 5}) {
        SCOPED_TRACE(r);
        const index_t L = 7;
        const index_t Ny = layout.symbols + L - 1;
        const ComplexArray b = random_complex(L * r, 10 + r);
        const ComplexArray gains = random_complex(r * Ny, 20 + r);
        const ComplexArray y = random_complex(Ny, 30 + r);
        ComplexArray basis(L, r);
        PathTrack track;
        track.gains = ComplexArray(r, Ny);
        for (index_t k = 0; k < L * r; ++k) basis[k] = b[k];
        for (index_t k = 0; k < r * Ny; ++k) track.gains[k] = gains[k];
        index_t end = 0;
        while (known.var[end] == 0) ++end;
        double want = 0;
        for (index_t n = 0; n < end; ++n) {
            cdouble model{};
            for (index_t i = 0; i < std::min(L, n + 1); ++i) {
                cdouble h{};
                for (index_t p = 0; p < r; ++p) h += cmul(basis(i, p), track.gains(p, n));
                model += cmul(h, known.mean[n - i]);
            }
            want += norm2(y[n] - model);
        }
        EXPECT_EQ(model_residual(y, basis, known.mean, known.var, track), want / end);
    }
}

// One sample of the matched-filter output 1e6 times its RMS (as the plug-in may be given it,
// without the chain's blanking before the matched filter), in the preamble or in a frame: the
// paths, their power, the gains and the noise estimate stay those of the same output without it,
// and `out` keeps the sample. Before the sounder blanked its estimates' copy, the noise estimate
// rose by about 1e10 and a path was lost or the start moved.
TEST(Chansound, OneHugeSampleDoesNotThrowTheFitsOrTheNoise) {
    struct Case {
        index_t at;    // 0-based sample of the matched-filter output
        cdouble size;  // in units of the output's RMS
    };
    const Case cases[] = {
        {700, 1e6}, {2501, cdouble(0, -1e6)}, {4321, -1e6}, {6000, cdouble(7e5, 7e5)}, {9003, 1e6}};
    const auto road = static_road(0.6, 1, TwoRay{24, polar(1, 0.4), polar(0.7, -1.2)}, 15, 11);
    const ChansoundOut clean = chansound(road.matched, road.start, standard(0.6), kShaping);
    double rms = 0;
    for (index_t n = 0; n < road.matched.numel(); ++n) rms += std::norm(road.matched[n]);
    rms = std::sqrt(rms / static_cast<double>(road.matched.numel()));
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "sample " << c.at);
        ComplexArray hit = road.matched;
        ASSERT_LT(c.at, hit.numel());
        hit[c.at] = c.size * rms;
        const ChansoundOut s = chansound(hit, road.start, standard(0.6), kShaping);
        EXPECT_EQ(s.start, clean.start);
        ASSERT_EQ(s.delays.numel(), clean.delays.numel());
        for (index_t p = 0; p < s.delays.numel(); ++p) {
            EXPECT_EQ(s.delays[p], clean.delays[p]) << "path " << p;
            EXPECT_NEAR(s.pathPower[p], clean.pathPower[p], 0.05 * clean.pathPower[p]) << p;
        }
        EXPECT_NEAR(s.noiseVar, clean.noiseVar, 0.1 * clean.noiseVar);
        ASSERT_EQ(s.gains.numel(), clean.gains.numel());
        double worst = 0;
        for (index_t k = 0; k < s.gains.numel(); ++k) {
            worst = std::max(worst, std::abs(s.gains[k] - clean.gains[k]));
        }
        EXPECT_LT(worst, 0.1);
        // out: the input's samples one a symbol from the start, the huge one among them.
        const auto start0 = static_cast<index_t>(s.start) - 1;
        for (index_t n = 0; n < s.out.numel() && start0 + 5 * n < hit.numel(); ++n) {
            ASSERT_EQ(s.out[n], hit[start0 + 5 * n]) << "out(" << n + 1 << ")";
        }
    }
}

TEST(Chansound, Failures) {
    const ModeParams& mode = standard(0.6);
    const auto road = static_road(0.6, 1, TwoRay{6, 1.0, 0.5}, 20, 3);
    ModeParams patterns = mode;  // no probes, yet not the 75 bit/s patterns
    patterns.trein = 0;
    ModeParams tiny = mode;
    tiny.preamSync = RealArray(1, 100);
    expect_error([&] { chansound(road.matched, road.start, patterns, kShaping); },
                 "hfchain:chansound:UnsupportedMode", "trein 0");
    ComplexArray short_input(3000);
    expect_error([&] { chansound(short_input, 61, mode, kShaping); }, "hfchain:chansound:TooShort",
                 "0 frames");
    expect_error([&] { chansound(road.matched, 61, tiny, kShaping); }, "hfchain:chansound:TooShort",
                 "preamble of 100");
    expect_error([&] { chansound(road.matched, 0, mode, kShaping); }, errid::kIndexOutOfBounds,
                 "FrameStartSample");
    expect_error([&] { chansound(road.matched, 61.5, mode, kShaping); }, errid::kNonInteger);
    expect_error(
        [&] {
            chansound(road.matched, 61, mode, VarShapping{0.35, 6, 2.5});
        },
        "hfchain:chansound:BadOversampling", "2.5");
    expect_error(
        [&] {
            chansound(road.matched, 61, mode, VarShapping{0, 6, 5});
        },
        "", "ERRO! Fator de rolloff invalido.");
    // A pulse longer than the output leaves no frame: refused before the pulse is designed.
    expect_error(
        [&] {
            chansound(road.matched, 61, mode, VarShapping{0.35, 1e8, 5});
        },
        "hfchain:chansound:TooShort", "0 frames");
}

}  // namespace
}  // namespace hfchain
