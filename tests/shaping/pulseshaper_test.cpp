#include "shaping/pulseshaper.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "runtime/builtin_host.hpp"
#include "runtime/error.hpp"
#include "tests/channel/recording_host.hpp"
#include "tests/support/signals.hpp"

namespace hfchain {
namespace {

// The full convolution of the zero-stuffed stream, summed directly over every input sample.
ComplexArray direct_convolution(const ComplexArray& symbols, index_t M, const RealArray& filter) {
    const index_t A = M * symbols.numel(), N = filter.numel();
    ComplexArray stuffed(A);
    for (index_t k = 0; k < symbols.numel(); ++k) stuffed[k * M] = symbols[k];
    ComplexArray out(A + N - 1);
    for (index_t k = 0; k < A + N - 1; ++k) {
        for (index_t j = std::max(0, k + 1 - N); j <= std::min(k, A - 1); ++j) {
            out[k] += stuffed[j] * filter[k - j];
        }
    }
    return out;
}

TEST(Pulseshaper, EqualsTheDirectConvolution) {
    const struct {
        double alpha, D;
        index_t M, L;
    } cases[] = {
        {0.35, 6, 5, 40}, {0.35, 6, 10, 13}, {0.25, 2, 4, 13},
        {1.0, 1, 4, 3},   {0.5, 1.5, 1, 8},  // N = 4: no centre tap, taps not a multiple of M
        {0.35, 2, 1, 6},  {0.35, 2, 3, 5},   {0.35, 0, 3, 5},
    };
    for (const auto& c : cases) {
        const ComplexArray s = random_complex(c.L, c.L + c.M);
        const PulseshaperOut r = pulseshaper(s, {c.alpha, c.D, static_cast<double>(c.M)});
        const ComplexArray expected = direct_convolution(s, c.M, r.filter);
        ASSERT_EQ(r.out.rows(), expected.numel());
        ASSERT_EQ(r.out.cols(), 1);
        ASSERT_EQ(r.filter.numel(), static_cast<index_t>(2 * c.D * c.M + 1));
        for (index_t k = 0; k < expected.numel(); ++k) {
            EXPECT_NEAR(std::abs(r.out[k] - expected[k]), 0.0, 1e-14)
                << "M = " << c.M << ", D = " << c.D << ", sample " << k;
        }
    }
}

TEST(Pulseshaper, SymbolPeaksWhereTheFilterCentreFalls) {
    const struct {
        index_t M, D, L, k;  // k: 1-based symbol
    } cases[] = {{4, 6, 100, 1}, {4, 6, 100, 100}, {5, 6, 60, 37}, {1, 3, 10, 5}, {10, 2, 9, 7}};
    for (const auto& c : cases) {
        ComplexArray s(c.L);
        s[c.k - 1] = {0.6, -0.8};
        const PulseshaperOut r = pulseshaper(s, {0.35, double(c.D), double(c.M)});
        EXPECT_EQ(r.out.numel(), c.M * (c.L + 2 * c.D));
        const auto peak = std::max_element(r.out.begin(), r.out.end(), [](cdouble a, cdouble b) {
            return std::abs(a) < std::abs(b);
        });
        EXPECT_EQ(peak - r.out.begin() + 1, 1 + (c.k - 1) * c.M + c.D * c.M)
            << "M = " << c.M << ", D = " << c.D << ", symbol " << c.k;
    }
}

TEST(Pulseshaper, NoFilterDelayGivesTheStuffedStream) {
    const ComplexArray s = random_complex(7, 3);
    const PulseshaperOut r = pulseshaper(s, {0.35, 0, 4});
    ASSERT_EQ(r.out.numel(), 28);
    EXPECT_EQ(r.filter[0], 1.0);
    for (index_t k = 0; k < 28; ++k) EXPECT_EQ(r.out[k], k % 4 == 0 ? s[k / 4] : cdouble{});
}

TEST(Pulseshaper, RealSymbolsStayReal) {
    ComplexArray s = random_complex(30, 4);
    for (cdouble& v : s) v = {v.real(), 0.0};
    const PulseshaperOut r = pulseshaper(s, {0.35, 6, 5});
    for (const cdouble& v : r.out) EXPECT_EQ(v.imag(), 0.0);
}

TEST(Pulseshaper, Failures) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    const std::string rolloff = "ERRO! Fator de rolloff invalido.";
    const struct {
        double alpha, D, M;
        index_t L;
        const char* id;
        std::string message;
    } cases[] = {
        {0.0, 6, 5, 100, "", rolloff},
        {kNaN, 1.25, 5, 100, "", rolloff},  // the roll-off is checked before anything else
        {1.5, 6, 5, 100, "", rolloff},
        {0.35, 1.25, 1, 100, errid::kNonInteger, ""},   // N = 3.5
        {0.35, -1, 1, 100, errid::kNegative, ""},       // N = -1
        {0.35, 1, 2.5, 1, errid::kNonInteger, ""},      // M L = 2.5
        {0.35, 1, 2.5, 2, errid::kNonInteger, ""},      // M L whole, M not
        {0.35, 0, -1, 2, errid::kNegative, ""},         // M L = -2
        {0.35, 0, 0, 3, errid::kSizeMismatch, ""},      // no room for the symbols
        {0.35, 6, 4, 12, errid::kConvOrientation, ""},  // L = 2 D
        {0.35, 6, 1, 13, errid::kConvOrientation, ""},  // M = 1 needs 2 D + 2 symbols
        {0.35, 0, 1, 0, errid::kConvOrientation, ""},   // empty input, empty output
        {4.9e-324, 2, 5, 100, "", rolloff},             // passes (0, 1], gives NaN taps
        {1e-310, 2, 5, 100, "", rolloff},               // 1 / (4 alpha) overflows
        {0.35, -0.5, 1, 100, errid::kNegative, ""},     // N = 0: no taps, all-zero output
        {0.35, -0.25, 2, 100, errid::kNegative, ""},
    };
    for (const auto& c : cases) {
        try {
            pulseshaper(random_complex(c.L, 1), {c.alpha, c.D, c.M});
            ADD_FAILURE() << "no error for " << c.alpha << " " << c.D << " " << c.M << " " << c.L;
        } catch (const Error& e) {
            EXPECT_EQ(e.identifier(), c.id) << c.alpha << " " << c.D << " " << c.M << " " << c.L;
            if (!c.message.empty()) {
                EXPECT_EQ(std::string(e.message()), c.message);
            }
        }
    }
    // The smallest roll-offs whose taps stay finite are accepted.
    for (const double alpha : {1e-300, 1e-9}) {
        const PulseshaperOut r = pulseshaper(random_complex(20, 1), {alpha, 2, 5});
        EXPECT_TRUE(std::all_of(r.filter.begin(), r.filter.end(), [](double t) {
            return std::isfinite(t);
        })) << alpha;
    }
    // The shortest accepted streams.
    EXPECT_EQ(pulseshaper(random_complex(13, 1), {0.35, 6, 4}).out.numel(), 4 * 25);
    EXPECT_EQ(pulseshaper(random_complex(14, 1), {0.35, 6, 1}).out.numel(), 26);
    EXPECT_EQ(pulseshaper(random_complex(1, 1), {0.35, 0, 1}).out.numel(), 1);
}

// Refusals that need only the sizes come before the filter is designed: a host that interrupts at
// its first poll is never polled. A filter of 2e8 + 1 taps for 10 symbols is refused at once.
TEST(Pulseshaper, SizeChecksComeBeforeTheDesign) {
    const struct {
        double D, M;
        index_t L;
        const char* id;
    } cases[] = {
        {1e8, 1, 10, errid::kConvOrientation},
        {1e8, 2.5, 10, errid::kNonInteger},
        {1e8, 0, 10, errid::kSizeMismatch},
        {-0.5, 1, 10, errid::kNegative},
    };
    for (const auto& c : cases) {
        RecordingHost host(1);
        host.interrupt_at_poll = 1;
        try {
            pulseshaper(random_complex(c.L, 1), {0.35, c.D, c.M}, host);
            ADD_FAILURE() << "no error for D = " << c.D << ", M = " << c.M;
        } catch (const Error& e) {
            EXPECT_EQ(e.identifier(), c.id) << e.what();
        }
        EXPECT_EQ(host.polls, 0) << "D = " << c.D << ", M = " << c.M;
    }
}

}  // namespace
}  // namespace hfchain
