#include "receiver/framesync/framelock.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/receiver/expect_error.hpp"
#include "tests/support/signals.hpp"

namespace hfchain {
namespace {

using testing::expect_error;

// The first 288 preamble symbols after the preamble scrambler, computed here from the table.
RealArray reference(const Milstd& milstd) {
    static const int sequencia[32] = {7, 4, 3, 0, 5, 1, 5, 0, 2, 2, 1, 1, 5, 7, 4, 3,
                                      5, 0, 2, 6, 2, 1, 6, 2, 0, 0, 5, 0, 5, 2, 6, 6};
    RealArray r(288);
    for (index_t k = 0; k < 288; ++k) {
        r[k] = static_cast<int>(milstd.preamSync[k] + sequencia[k % 32]) % 8;
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
        const Milstd milstd = modeconf(interl);
        const RealArray r = reference(milstd);
        for (const index_t OS : {1, 2, 5}) {
            for (const index_t w0 : {index_t{1}, 7 * OS + 2, 288 * OS}) {
                ComplexArray x = random_complex(600 * OS, 11);
                plant(x, r, w0, OS, {0.7, -0.4}, {0.1, 2.0});
                expect_start(framelock(x, milstd, {0.35, 6, static_cast<double>(OS)}), w0);
            }
        }
    }
}

TEST(Framelock, MatchesTheMaterialisedCorrelation) {
    // The straightforward computation: every window as a column, corr, the first largest
    // magnitude. Noise plus a weak preamble leaves several similar candidates.
    const Milstd milstd = modeconf(0.6);
    const RealArray r = reference(milstd);
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
        expect_start(framelock(x, milstd, {0.35, 6, 3}), best + 1);
    }
}

TEST(Framelock, EqualWindowsGoToTheFirst) {
    // With OS = 2 the windows w0 and w0 + 1 share no sample: equal contents must give
    // bit-identical magnitudes, so the earlier one wins whichever is planted last.
    const Milstd milstd = modeconf(0.6);
    const RealArray r = reference(milstd);
    ComplexArray x = random_complex(1200, 5);
    plant(x, r, 41, 2, {1.3, 0.2}, {-0.5, 0.5});
    plant(x, r, 40, 2, {1.3, 0.2}, {-0.5, 0.5});
    expect_start(framelock(x, milstd, {0.35, 6, 2}), 40);
    // Noise windows of equal content (a signal of period 2) tie in the same way.
    ComplexArray periodic(1200);
    const ComplexArray n = random_complex(600, 6);
    for (index_t i = 0; i < 1200; ++i) periodic[i] = n[i / 2];
    const RealArray got = framelock(periodic, milstd, {0.35, 6, 2});
    ASSERT_EQ(got.numel(), 1);
    EXPECT_EQ(static_cast<index_t>(got[0]) % 2, 1);  // the first of each equal pair
}

TEST(Framelock, NaNWindowsAreSkipped) {
    const Milstd milstd = modeconf(0.6);
    const RealArray r = reference(milstd);
    ComplexArray x = random_complex(600, 8);
    x[0] = {std::nan(""), 0};  // window 1 only
    plant(x, r, 5, 1, {2, 0}, {0, 0});
    expect_start(framelock(x, milstd, {0.35, 6, 1}), 5);
    // No window that is a number: empty result.
    const RealArray none = framelock(ComplexArray(600), milstd, {0.35, 6, 1});
    EXPECT_EQ(none.numel(), 0);
    EXPECT_EQ(none.rows(), 0);
    EXPECT_EQ(none.cols(), 1);
}

TEST(Framelock, Failures) {
    const Milstd milstd = modeconf(0.6);
    Milstd short_preamble = milstd;
    short_preamble.preamSync = RealArray(1, 1439);
    expect_error(
        [&] {
            framelock(random_complex(600, 1), short_preamble, {0.35, 6, 1});
        },
        errid::kIndexOutOfBounds, "milstd.preamSync");
    expect_error(
        [&] {
            framelock(random_complex(574 * 2 + 1, 1), milstd, {0.35, 6, 2});
        },
        errid::kIndexOutOfBounds, "dados_sincro_in");
    EXPECT_NO_THROW(framelock(random_complex(575 * 2, 1), milstd, {0.35, 6, 2}));
    expect_error(
        [&] {
            framelock(random_complex(600, 1), milstd, {0.35, 6, 0});
        },
        errid::kMinMaxEmpty);
    expect_error(
        [&] {
            framelock(random_complex(1200, 1), milstd, {0.35, 6, 1.5});
        },
        errid::kNonInteger);
    expect_error(
        [&] {
            framelock(random_complex(1200, 1), milstd, {0.35, 6, -1});
        },
        errid::kNegative);
}

}  // namespace
}  // namespace hfchain
