#include "receiver/framesync/framelock.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "receiver/framesync/framelock_direct.hpp"
#include "tests/channel/recording_host.hpp"
#include "tests/receiver/expect_error.hpp"
#include "tests/support/signals.hpp"

namespace hfchain {
namespace {

using testing::expect_error;

// The first 288 preamble symbols after the preamble scrambler, computed here from the table.
RealArray reference(const ModeParams& mode) {
    static const int sequencia[32] = {7, 4, 3, 0, 5, 1, 5, 0, 2, 2, 1, 1, 5, 7, 4, 3,
                                      5, 0, 2, 6, 2, 1, 6, 2, 0, 0, 5, 0, 5, 2, 6, 6};
    RealArray r(288);
    for (index_t k = 0; k < 288; ++k) {
        r[k] = static_cast<int>(mode.preamSync[k] + sequencia[k % 32]) % 8;
    }
    return r;
}

// Writes g r(k) + h at w0, w0 + OS, ..., w0 + 287 OS (w0 counts from 1).
void plant(ComplexArray& x, const RealArray& r, index_t w0, index_t OS, cdouble g, cdouble h) {
    for (index_t k = 0; k < 288; ++k) x[w0 - 1 + k * OS] = g * r[k] + h;
}

void expect_start(const RealArray& got, double w) {
    ASSERT_EQ(got.numel(), 1);
    EXPECT_EQ(got.rows(), 1);
    EXPECT_EQ(got[0], w);
}

TEST(Corr, AffineColumnHasUnitMagnitude) {
    const RealArray y{3, 1, 4, 1, 5, 9, 2, 6};
    double mean = 0;
    for (const double v : y) mean += v / 8;
    const cdouble a{0.3, -1.7};
    const cdouble b{-2, 5};
    ComplexArray X(8, 2);
    for (index_t k = 0; k < 8; ++k) {
        X(k, 0) = a * (y[k] - mean) + b;
        X(k, 1) = 4.0;  // constant column
    }
    const ComplexArray c = corr(X, y);
    ASSERT_EQ(c.numel(), 2);
    EXPECT_NEAR(std::abs(c[0]), 1.0, 1e-14);
    EXPECT_NEAR(std::arg(c[0]), std::arg(std::conj(a)), 1e-12);
    EXPECT_TRUE(std::isnan(c[1].real()));
    // A constant reference makes every coefficient NaN.
    const ComplexArray flat = corr(X, RealArray{2, 2, 2, 2, 2, 2, 2, 2});
    for (const cdouble v : flat) EXPECT_TRUE(std::isnan(v.real()));
}

TEST(Corr, RealColumnsGiveThePearsonCoefficient) {
    const ComplexArray X = random_complex(50 * 3, 4);
    ComplexArray R(50, 3);
    for (index_t i = 0; i < 150; ++i) R[i] = X[i].real();
    RealArray y(50);
    for (index_t k = 0; k < 50; ++k) y[k] = std::sin(0.3 * k) + 0.1 * k;
    const ComplexArray c = corrPearson(R, y);
    for (index_t j = 0; j < 3; ++j) {
        double mx = 0, my = 0;
        for (index_t k = 0; k < 50; ++k) mx += R(k, j).real() / 50, my += y[k] / 50;
        double sxy = 0, sxx = 0, syy = 0;
        for (index_t k = 0; k < 50; ++k) {
            sxy += (R(k, j).real() - mx) * (y[k] - my);
            sxx += (R(k, j).real() - mx) * (R(k, j).real() - mx);
            syy += (y[k] - my) * (y[k] - my);
        }
        EXPECT_NEAR(c[j].real(), sxy / std::sqrt(sxx * syy), 1e-13);
        EXPECT_EQ(c[j].imag(), 0.0);
    }
    expect_error([&] { corr(R, RealArray(49)); }, errid::kSizeMismatch);
}

TEST(Framelock, FindsThePlantedWindow) {
    for (const double interl : {0.6, 4.8}) {
        const ModeParams mode = modeconf(interl);
        const RealArray r = reference(mode);
        for (const index_t OS : {1, 2, 5}) {
            for (const index_t w0 : {index_t{1}, 7 * OS + 2, 288 * OS}) {
                ComplexArray x = random_complex(600 * OS, 11);
                plant(x, r, w0, OS, {0.7, -0.4}, {0.1, 2.0});
                expect_start(framelock(x, mode, {0.35, 6, static_cast<double>(OS)}), w0);
            }
        }
    }
}

TEST(Framelock, MatchesTheMaterialisedCorrelation) {
    // The straightforward computation: every window as a column, corr, the first largest
    // magnitude. Noise plus a weak preamble leaves several similar candidates.
    const ModeParams mode = modeconf(0.6);
    const RealArray r = reference(mode);
    for (const unsigned seed : {1u, 2u, 3u}) {
        const index_t OS = 3;
        ComplexArray x = random_complex(575 * OS, seed);
        for (index_t k = 0; k < 288; ++k) x[100 + k * OS] += 0.1 * r[k];
        ComplexArray aux_correlacao(288, 288 * OS);
        for (index_t w = 0; w < 288 * OS; ++w) {
            for (index_t k = 0; k < 288; ++k) aux_correlacao(k, w) = x[w + k * OS];
        }
        const ComplexArray coef = corr(aux_correlacao, r);
        index_t best = 0;
        for (index_t w = 1; w < coef.numel(); ++w) {
            if (std::hypot(coef[w].real(), coef[w].imag()) >
                std::hypot(coef[best].real(), coef[best].imag())) {
                best = w;
            }
        }
        expect_start(framelock(x, mode, {0.35, 6, 3}), best + 1);
    }
}

TEST(Framelock, EqualWindowsGoToTheFirst) {
    // With OS = 2 the windows w0 and w0 + 1 share no sample: equal contents must give
    // bit-identical magnitudes, so the earlier one wins whichever is planted last.
    const ModeParams mode = modeconf(0.6);
    const RealArray r = reference(mode);
    ComplexArray x = random_complex(1200, 5);
    plant(x, r, 41, 2, {1.3, 0.2}, {-0.5, 0.5});
    plant(x, r, 40, 2, {1.3, 0.2}, {-0.5, 0.5});
    expect_start(framelock(x, mode, {0.35, 6, 2}), 40);
    // Noise windows of equal content (a signal of period 2) tie in the same way.
    ComplexArray periodic(1200);
    const ComplexArray n = random_complex(600, 6);
    for (index_t i = 0; i < 1200; ++i) periodic[i] = n[i / 2];
    const RealArray got = framelock(periodic, mode, {0.35, 6, 2});
    ASSERT_EQ(got.numel(), 1);
    EXPECT_EQ(static_cast<index_t>(got[0]) % 2, 1);  // the first of each equal pair
}

TEST(Framelock, NaNWindowsAreSkipped) {
    const ModeParams mode = modeconf(0.6);
    const RealArray r = reference(mode);
    ComplexArray x = random_complex(600, 8);
    x[0] = {std::nan(""), 0};  // window 1 only
    plant(x, r, 5, 1, {2, 0}, {0, 0});
    expect_start(framelock(x, mode, {0.35, 6, 1}), 5);
    // No window that is a number: empty result.
    const RealArray none = framelock(ComplexArray(600), mode, {0.35, 6, 1});
    EXPECT_EQ(none.numel(), 0);
    EXPECT_EQ(none.rows(), 0);
    EXPECT_EQ(none.cols(), 1);
}

// The fast search (the one framelock picks, and each kernel this processor runs) against the
// window-by-window exact rule: the same start, or both empty.
void expect_exact_rule(const ComplexArray& x, const ModeParams& mode, index_t OS,
                       const std::string& label) {
    const VarShapping vs{0.35, 6, static_cast<double>(OS)};
    const RealArray want = detail::framelock_direct(x, mode, vs);
    std::vector<RealArray> results{framelock(x, mode, vs)};
    for (const int width : detail::framelock_kernel_widths()) {
        results.push_back(detail::framelock_kernel(x, mode, vs, width));
    }
    for (const RealArray& got : results) {
        ASSERT_EQ(got.numel(), want.numel()) << label;
        if (want.numel() == 1) {
            EXPECT_EQ(got[0], want[0]) << label;
        }
    }
}

TEST(Framelock, FastSearchFollowsTheExactRuleOnRandomSignals) {
    // Noise, with a preamble planted at a few strengths (none, buried, near the noise, clean)
    // and offsets (none, a DC level of 1e6 that centring must cancel).
    const ModeParams mode = modeconf(0.6);
    const RealArray r = reference(mode);
    struct Case {
        index_t OS;
        double seed;
        double gain;
        double dc;
    };
    const Case cases[] = {{1, 1, 0, 0},     {1, 2, 0.05, 0}, {2, 3, 0.3, 0},   {3, 4, 1, 0},
                          {5, 5, 0, 0},     {5, 6, 0.05, 0}, {5, 7, 0.3, 0},   {5, 8, 3, 0},
                          {5, 9, 0.3, 1e6}, {4, 10, 0, 1e6}, {8, 11, 0.1, -3}, {5, 12, 1e3, 0}};
    for (const Case& c : cases) {
        ComplexArray x = random_complex(580 * c.OS, c.seed);
        for (index_t i = 0; i < x.numel(); ++i) x[i] += c.dc;
        for (index_t k = 0; k < 288; ++k) x[3 * c.OS + 1 + k * c.OS] += c.gain * r[k];
        expect_exact_rule(x, mode, c.OS, "seed " + std::to_string(c.seed));
    }
}

TEST(Framelock, FastSearchFollowsTheExactRuleOnAdversarialSignals) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const double kNaN = std::nan("");
    const ModeParams mode = modeconf(0.6);
    const RealArray r = reference(mode);
    const index_t OS = 4;
    const index_t L = 576 * OS;
    const ComplexArray noise = random_complex(L, 21);
    // Each case rewrites the noise.
    struct Case {
        const char* name;
        std::function<void(ComplexArray&)> make;
    };
    const Case cases[] = {
        {"NaN in some windows",
         [&](ComplexArray& x) {
             x[5] = {kNaN, 0}, x[900] = {0, kNaN};
         }},
        {"infinity in some windows",
         [&](ComplexArray& x) {
             x[17] = {kInf, 0}, x[40] = -kInf;
         }},
        {"NaN everywhere",
         [&](ComplexArray& x) {
             for (cdouble& v : x) v = {kNaN, kNaN};
         }},
        {"all zero",
         [&](ComplexArray& x) {
             for (cdouble& v : x) v = 0;
         }},
        {"constant",
         [&](ComplexArray& x) {
             for (cdouble& v : x) v = {0.3, -2};
         }},
        {"huge",
         [&](ComplexArray& x) {
             for (cdouble& v : x) v *= 1e200;
         }},
        {"overflowing squares",
         [&](ComplexArray& x) {
             for (cdouble& v : x) v *= 1e160;
         }},
        {"tiny",
         [&](ComplexArray& x) {
             for (cdouble& v : x) v *= 1e-200;
         }},
        {"subnormal",
         [&](ComplexArray& x) {
             for (cdouble& v : x) v *= 1e-310;
         }},
        {"huge second half",
         [&](ComplexArray& x) {
             for (index_t i = L / 2; i < L; ++i) x[i] *= 1e200;
         }},
        {"tiny first half",
         [&](ComplexArray& x) {
             for (index_t i = 0; i < L / 2; ++i) x[i] *= 1e-170;
         }},
        {"DC of 1e15",
         [&](ComplexArray& x) {
             for (cdouble& v : x) v += 1e15;
         }},
        {"real only",
         [&](ComplexArray& x) {
             for (cdouble& v : x) v = v.real();
         }},
        // Windows w and w + 1 hold the same samples scaled by 2 (exact in every operation): equal
        // magnitudes, the earlier must win.
        {"twin phases scaled by 2",
         [&](ComplexArray& x) {
             for (index_t i = 0; i < L; i += OS) x[i + 1] = 2.0 * x[i];
         }},
        // ... or perturbed by one unit in the last place: magnitudes a rounding apart.
        {"twin phases one ulp apart",
         [&](ComplexArray& x) {
             for (index_t i = 0; i < L; i += OS) {
                 x[i + 1] = {std::nextafter(x[i].real(), kInf), x[i].imag()};
             }
         }},
        // Clean preambles at several starts: magnitudes of 1 after the clamp, or a rounding
        // below it.
        {"clean preambles",
         [&](ComplexArray& x) {
             plant(x, r, 9, OS, {1, 0}, {0, 0});
             plant(x, r, 10, OS, {-3, 2}, {5, 5});
             plant(x, r, 100, OS, {1e-3, 0}, {0, 1});
         }},
        // Noise of period OS: every phase repeats the previous symbol's windows.
        {"periodic",
         [&](ComplexArray& x) {
             for (index_t i = OS; i < L; ++i) x[i] = x[i % OS];
         }},
    };
    for (const Case& c : cases) {
        ComplexArray x = noise;
        c.make(x);
        expect_exact_rule(x, mode, OS, c.name);
    }
}

TEST(Framelock, FastSearchFollowsTheExactRuleOnNearTies) {
    // Every phase of a symbol holds the same samples up to a few units in the last place, so the
    // OS windows of each offset have magnitudes a few roundings apart and the winner among the
    // OS windows of the best offset is decided by rounding alone; the exact rule's choice must
    // survive the fast pass. With a planted preamble the near-tied magnitudes sit at or just
    // below 1, where the clamp acts.
    const ModeParams mode = modeconf(0.6);
    const RealArray r = reference(mode);
    const index_t OS = 8;
    for (const double gain : {0.0, 0.2, 100.0}) {
        for (const double seed : {31.0, 32.0, 33.0, 34.0, 35.0, 36.0}) {
            const ComplexArray base = random_complex(576, seed);
            const ComplexArray jitter = random_complex(576 * OS, seed + 100);
            ComplexArray x(576 * OS);
            for (index_t j = 0; j < 576; ++j) {
                const cdouble v = base[j] + (j >= 40 && j < 328 ? gain * r[j - 40] : 0.0);
                for (index_t p = 0; p < OS; ++p) {
                    const cdouble e = jitter[j * OS + p] * 4e-16;
                    x[j * OS + p] = {v.real() * (1 + e.real()), v.imag() * (1 + e.imag())};
                }
            }
            expect_exact_rule(x, mode, OS,
                              "gain " + std::to_string(gain) + ", seed " + std::to_string(seed));
        }
    }
}

TEST(Framelock, ReferencesWithoutBoundsUseTheExactRule) {
    // A preamble that scrambles to a constant reference: every magnitude is NaN. (A NaN
    // preamble value is refused, as every value outside the symbol numbers.)
    static const int sequencia[32] = {7, 4, 3, 0, 5, 1, 5, 0, 2, 2, 1, 1, 5, 7, 4, 3,
                                      5, 0, 2, 6, 2, 1, 6, 2, 0, 0, 5, 0, 5, 2, 6, 6};
    ModeParams constant = modeconf(0.6);
    for (index_t k = 0; k < 1440; ++k) constant.preamSync[k] = (8 - sequencia[k % 32]) % 8;
    const ComplexArray x = random_complex(600, 3);
    EXPECT_EQ(framelock(x, constant, {0.35, 6, 1}).numel(), 0);
    expect_exact_rule(x, constant, 1, "reference");
    ModeParams nan = modeconf(0.6);
    nan.preamSync[7] = std::nan("");
    expect_error(
        [&] {
            framelock(x, nan, {0.35, 6, 1});
        },
        "hfchain:layout:BadPreamble", "milstd.preamSync(8) is NaN");
}

TEST(Framelock, PollsForInterrupts) {
    const ModeParams mode = modeconf(0.6);
    const ComplexArray x = random_complex(580 * 5, 4);
    RecordingHost host(1);
    const RealArray start = framelock(x, mode, {0.35, 6, 5}, host);
    EXPECT_EQ(start[0], framelock(x, mode, {0.35, 6, 5})[0]);
    EXPECT_GE(host.polls, 5);  // 1440 windows, a poll every 256
    RecordingHost stopping(1);
    stopping.interrupt_at_poll = 2;
    expect_error([&] { framelock(x, mode, {0.35, 6, 5}, stopping); }, errid::kInterrupted);
    // A search that falls back to the exact rule throughout also polls.
    RecordingHost nan_host(1);
    nan_host.interrupt_at_poll = 3;
    ComplexArray nans(580 * 5);
    for (cdouble& v : nans) v = std::nan("");
    expect_error([&] { framelock(nans, mode, {0.35, 6, 5}, nan_host); }, errid::kInterrupted);
}

TEST(Framelock, Failures) {
    const ModeParams mode = modeconf(0.6);
    ModeParams short_preamble = mode;
    short_preamble.preamSync = RealArray(1, 1439);
    expect_error(
        [&] {
            framelock(random_complex(600, 1), short_preamble, {0.35, 6, 1});
        },
        errid::kIndexOutOfBounds, "milstd.preamSync");
    expect_error(
        [&] {
            framelock(random_complex(574 * 2 + 1, 1), mode, {0.35, 6, 2});
        },
        errid::kIndexOutOfBounds, "dados_sincro_in");
    EXPECT_NO_THROW(framelock(random_complex(575 * 2, 1), mode, {0.35, 6, 2}));
    expect_error(
        [&] {
            framelock(random_complex(600, 1), mode, {0.35, 6, 0});
        },
        errid::kMinMaxEmpty);
    expect_error(
        [&] {
            framelock(random_complex(1200, 1), mode, {0.35, 6, 1.5});
        },
        errid::kNonInteger);
    expect_error(
        [&] {
            framelock(random_complex(1200, 1), mode, {0.35, 6, -1});
        },
        errid::kNegative);
    // A kernel width the search does not have (or this processor cannot run) is refused.
    expect_error(
        [&] {
            detail::framelock_kernel(random_complex(600, 1), mode, {0.35, 6, 1}, 64);
        },
        "hfchain:framesync:NoKernel", "64-bit");
}

}  // namespace
}  // namespace hfchain
