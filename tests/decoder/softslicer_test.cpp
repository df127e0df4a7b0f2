#include "receiver/softdemod/softslicer.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "receiver/demod/symslicer.hpp"
#include "runtime/builtin_host.hpp"
#include "tests/receiver/expect_error.hpp"
#include "tests/support/signals.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain {
namespace {

using testing::expect_error;

constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::nan("");

ModeParams with_bits(double b, double rate = 2400) {
    ModeParams mode = modeconf(0.6);
    mode.bitsToSym = b;
    mode.rate = rate;
    return mode;
}

// The 2^b points symslicer decides between, exp(j 2 pi k / 2^b), with the bits symslicer gives
// each: an independent statement of the labels.
struct LabelledPoint {
    cdouble x;
    std::vector<int> bits;
};

std::vector<LabelledPoint> make_points(int b) {
    std::vector<LabelledPoint> points;
    const int K = 1 << b;
    for (int k = 0; k < K; ++k) {
        const double phase = 2 * std::numbers::pi * k / K;
        const cdouble x(std::cos(phase), std::sin(phase));
        const RealArray bits = symslicer(ComplexArray{x}, with_bits(b)).DemapOut;
        LabelledPoint p{x, {}};
        for (index_t i = 0; i < bits.numel(); ++i) p.bits.push_back(static_cast<int>(bits[i]));
        points.push_back(p);
    }
    return points;
}

const std::vector<LabelledPoint>& symslicer_points(int b) {
    static const std::vector<LabelledPoint> points[3] = {make_points(1), make_points(2),
                                                         make_points(3)};
    return points[b - 1];
}

// The ratios by their definition: squared distances to every point, the nearest of each bit value
// (max-log) or the sum of the likelihoods exp(-d / N0) (exact).
std::vector<double> brute_force(cdouble y, double N0, int b, SoftRule rule) {
    const std::vector<LabelledPoint> points = symslicer_points(b);
    std::vector<double> llr;
    for (int i = 0; i < b; ++i) {
        double nearest[2] = {kInf, kInf};
        double likelihood[2] = {0, 0};
        for (const LabelledPoint& p : points) {
            const double d = std::norm(y - p.x);
            const int v = p.bits[i];
            nearest[v] = std::fmin(nearest[v], d);
            likelihood[v] += std::exp(-d / N0);
        }
        llr.push_back(rule == SoftRule::max_log ? (nearest[1] - nearest[0]) / N0
                                                : std::log(likelihood[0] / likelihood[1]));
    }
    return llr;
}

TEST(Softslicer, RatiosEqualTheirDefinitionOverThePoints) {
    // Random symbols around the circle with noise, N0 from 0.05 to 4, every b and both rules.
    // The distances |y - x|^2 and the correlations the block uses differ by rounding of order
    // 1e-16 (|y|^2 + 1); divided by N0 >= 0.05 and with |y| below about 6, 1e-12 (1 + |y|^2) / N0
    // bounds the difference with a wide margin.
    BuiltinHost host(9);
    const index_t n = 300;
    const ComplexArray noise = random_complex(n, 4);
    const RealArray u = host.rand(n);
    ComplexArray y(n);
    for (index_t k = 0; k < n; ++k) {
        y[k] = std::polar(1.0, 2 * std::numbers::pi * u[k]) + 0.7 * noise[k];
    }
    for (const int b : {1, 2, 3}) {
        for (const SoftRule rule : {SoftRule::max_log, SoftRule::exact}) {
            for (const double N0 : {0.05, 0.3, 1.0, 4.0}) {
                const RealArray llr = softslicer(y, RealArray{N0}, with_bits(b), rule).LLR;
                ASSERT_EQ(llr.numel(), b * n);
                for (index_t k = 0; k < n; ++k) {
                    const std::vector<double> expected = brute_force(y[k], N0, b, rule);
                    const double tolerance = 1e-12 * (1 + std::norm(y[k])) / N0;
                    for (int i = 0; i < b; ++i) {
                        ASSERT_NEAR(llr[b * k + i], expected[i], tolerance)
                            << "b " << b << ", rule " << static_cast<int>(rule) << ", N0 " << N0
                            << ", symbol " << k << ", bit " << i;
                    }
                }
            }
        }
    }
}

TEST(Softslicer, PerSymbolNoiseAndErasures) {
    const ComplexArray y{{0.9, 0.2}, {-0.3, 0.8}, {0.1, -1.1}, {-1, -0.1}};
    const RealArray noiseVar{0.5, kInf, 2.0, 1e-3};
    const RealArray llr = softslicer(y, noiseVar, modeconf(0.6)).LLR;
    for (index_t k = 0; k < 4; ++k) {
        const RealArray alone =
            softslicer(ComplexArray{y[k]}, RealArray{noiseVar[k]}, modeconf(0.6)).LLR;
        for (index_t i = 0; i < 3; ++i) EXPECT_EQ(llr[3 * k + i], alone[i]) << k;
    }
    for (index_t i = 3; i < 6; ++i) EXPECT_EQ(llr[i], 0.0);  // +Inf: an erased symbol
    // A scalar applies to every symbol; the result scales as 1 / N0.
    const RealArray once = softslicer(y, RealArray{0.5}, modeconf(0.6)).LLR;
    const RealArray twice = softslicer(y, RealArray{1.0}, modeconf(0.6)).LLR;
    for (index_t i = 0; i < 12; ++i) EXPECT_DOUBLE_EQ(once[i], 2 * twice[i]);
    const SoftslicerOut empty = softslicer(ComplexArray(0), RealArray{1.0}, modeconf(0.6));
    EXPECT_EQ(empty.LLR.numel(), 0);
    EXPECT_EQ(empty.LLR.cols(), 1);
}

// On the transmitter's own symbols the sign of every ratio gives back the bit sent, for each
// bits-per-symbol setting; with max-log the sign always agrees with symslicer's bit away from
// the decision boundaries.
TEST(Softslicer, SignsGiveTheBitsSent) {
    BuiltinHost host;
    for (const double b : {1.0, 2.0, 3.0}) {
        const ModeParams mode = with_bits(b);
        const SendchainOut tx = sendchain(mode, 1, 4, host);
        const RealArray llr = softslicer(tx.ComplexPSKSymbols, RealArray{0.2}, mode).LLR;
        ASSERT_EQ(llr.numel(), tx.InterOutMapIn.numel());
        for (index_t k = 0; k < llr.numel(); ++k) {
            ASSERT_EQ(llr[k] > 0 ? 0.0 : 1.0, tx.InterOutMapIn[k]) << "b " << b << ", bit " << k;
            ASSERT_GT(std::fabs(llr[k]), 1.0);
        }
    }
    const index_t n = 20000;
    const ComplexArray y = random_complex(n, 12);
    const RealArray llr = softslicer(y, RealArray{1.0}, modeconf(0.6)).LLR;
    const RealArray hard = symslicer(y, modeconf(0.6)).DemapOut;
    for (index_t k = 0; k < 3 * n; ++k) {
        if (std::fabs(llr[k]) > 1e-9) {
            ASSERT_EQ(llr[k] > 0 ? 0.0 : 1.0, hard[k]) << k;
        }
    }
}

TEST(Softslicer, ExtremeValuesGiveNumbers) {
    // Huge and subnormal symbols, tiny and huge variances: ratios may be infinite (sure bits) but
    // never NaN, and their signs give the bits of the point nearest in angle (distances as
    // symslicer computes them cannot resolve such symbols).
    struct Case {
        cdouble y;
        double N0;
        double bits[3];
    };
    const Case cases[] = {
        {{1e305, 2e304}, 1.0, {0, 0, 0}},    {{-1.7e308, 1.7e308}, 0.1, {0, 1, 0}},
        {{0.9, 0.1}, 5e-324, {0, 0, 0}},     {{1, 0}, 1e300, {0, 0, 0}},
        {{-3e-310, 1e-310}, 1.0, {1, 1, 0}}, {{0.2, -1e308}, 1e-300, {1, 0, 1}},
    };
    for (const Case& c : cases) {
        for (const SoftRule rule : {SoftRule::max_log, SoftRule::exact}) {
            const RealArray llr =
                softslicer(ComplexArray{c.y}, RealArray{c.N0}, modeconf(0.6), rule).LLR;
            for (index_t i = 0; i < 3; ++i) {
                ASSERT_FALSE(std::isnan(llr[i])) << c.y << " " << c.N0;
                ASSERT_NE(llr[i], 0.0) << c.y << " " << c.N0;
                EXPECT_EQ(llr[i] > 0 ? 0.0 : 1.0, c.bits[i]) << c.y << " bit " << i;
            }
        }
    }
    // The origin lies on every boundary: all ratios 0, even when 2 / N0 overflows.
    for (const SoftRule rule : {SoftRule::max_log, SoftRule::exact}) {
        const RealArray origin =
            softslicer(ComplexArray{{0, 0}}, RealArray{5e-324}, modeconf(0.6), rule).LLR;
        for (index_t i = 0; i < 3; ++i) EXPECT_EQ(origin[i], 0.0);
    }
}

TEST(Softslicer, Failures) {
    const ComplexArray y{{1, 0}, {0, 1}, {-1, 0}};
    const RealArray one{1.0};
    struct Case {
        const char* name;
        ComplexArray y;
        RealArray noiseVar;
        ModeParams mode;
        const char* identifier;
        const char* text;
    };
    const Case cases[] = {
        {"75 bit/s", y, one, with_bits(2, 75), "hfchain:softslicer:Rate75", "32-symbol"},
        {"4 bits", y, one, with_bits(4), "hfchain:softslicer:BitsToSym", "bitsToSym is 4."},
        {"0 bits", y, one, with_bits(0), "hfchain:softslicer:BitsToSym", "is 0."},
        {"2.5 bits", y, one, with_bits(2.5), "hfchain:softslicer:BitsToSym", "is 2.5."},
        {"NaN bits", y, one, with_bits(kNaN), "hfchain:softslicer:BitsToSym", "is NaN."},
        {"two variances",
         y,
         {1, 1},
         with_bits(3),
         "hfchain:softslicer:NoiseVarSize",
         "one per symbol (3); it holds 2."},
        {"no variance", y, RealArray(0), with_bits(3), "hfchain:softslicer:NoiseVarSize",
         "it holds 0."},
        {"zero", y, {1, 0, 1}, with_bits(3), "hfchain:softslicer:NoiseVar", "noiseVar(2) is 0:"},
        {"negative", y, {-1}, with_bits(3), "hfchain:softslicer:NoiseVar", "noiseVar(1) is -1:"},
        {"NaN", y, {1, 1, kNaN}, with_bits(3), "hfchain:softslicer:NoiseVar", "(3) is NaN"},
        {"-Inf", y, {-kInf}, with_bits(3), "hfchain:softslicer:NoiseVar", "is -Inf"},
        {"NaN symbol",
         {{1, 0}, {kNaN, 0}},
         one,
         with_bits(3),
         "hfchain:softslicer:NonFinite",
         "DemodulatorIn(2) is NaN + 0i"},
        {"infinite symbol",
         {{1, -kInf}},
         one,
         with_bits(3),
         "hfchain:softslicer:NonFinite",
         "DemodulatorIn(1) is 1 - Infi"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expect_error([&] { softslicer(c.y, c.noiseVar, c.mode); }, c.identifier, c.text);
    }
    // The rate is judged first, then the bits a symbol.
    expect_error([&] { softslicer(y, RealArray(0), with_bits(9, 75)); },
                 "hfchain:softslicer:Rate75");
    expect_error([&] { softslicer(y, RealArray(0), with_bits(9)); },
                 "hfchain:softslicer:BitsToSym");
}

}  // namespace
}  // namespace hfchain
