#include "receiver/matchedfilter/pulsematch.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "shaping/rrc_fir.hpp"
#include "tests/receiver/expect_error.hpp"
#include "tests/support/signals.hpp"

namespace hfchain {
namespace {

using testing::expect_error;

// Zero-stuffed symbols through the transmit filter, which is the same convolution.
ComplexArray transmit(const ComplexArray& symbols, const VarShapping& shaping) {
    const auto M = static_cast<index_t>(shaping.oversamplingFactor);
    ComplexArray stuffed(symbols.numel() * M);
    for (index_t k = 0; k < symbols.numel(); ++k) stuffed[k * M] = symbols[k];
    return pulsematch(stuffed, shaping).out;
}

TEST(Pulsematch, EqualsDirectSumWithinRounding) {
    // M = 5 gives taps that are symmetric only up to rounding, M = 4 exactly symmetric ones.
    const VarShapping cases[] = {{0.35, 6, 5},  {0.35, 6, 4}, {0.25, 2, 4}, {1.0, 3, 8},
                                 {0.5, 1.5, 1}, {0.35, 0, 5}, {0.2, 4, 2}};
    for (const VarShapping& s : cases) {
        for (const index_t L : {62, 200, 1001}) {
            const ComplexArray x = random_complex(L, 7);
            const PulsematchOut r = pulsematch(x, s);
            const RealArray expected_filter =
                unit_energy_filter(rrc_fir(s.rolloffFactor, s.pulseDelay, s.oversamplingFactor));
            const index_t N = expected_filter.numel();
            ASSERT_EQ(r.filter.rows(), 1);
            ASSERT_EQ(r.filter.numel(), N);
            for (index_t i = 0; i < N; ++i) EXPECT_EQ(r.filter[i], expected_filter[i]);
            EXPECT_EQ(r.filterDelay, s.pulseDelay);
            ASSERT_EQ(r.out.numel(), L + N - 1);
            for (index_t k = 0; k < L + N - 1; ++k) {
                cdouble sum{};
                double scale = 0.0;
                for (index_t j = std::max<index_t>(0, k + 1 - N); j <= std::min(k, L - 1); ++j) {
                    sum += x[j] * expected_filter[k - j];
                    scale += std::abs(x[j]) * std::fabs(expected_filter[k - j]);
                }
                ASSERT_LE(std::abs(r.out[k] - sum), 1e-14 * scale + 1e-300)
                    << "M=" << s.oversamplingFactor << " L=" << L << " k=" << k;
            }
        }
    }
}

TEST(Pulsematch, ZeroDelayPassesTheInput) {
    const ComplexArray x = random_complex(9, 3);
    const PulsematchOut r = pulsematch(x, {0.35, 0, 4});
    ASSERT_EQ(r.filter.numel(), 1);
    EXPECT_EQ(r.filter[0], 1.0);
    EXPECT_EQ(r.filterDelay, 0.0);
    ASSERT_EQ(r.out.numel(), 9);
    for (index_t i = 0; i < 9; ++i) EXPECT_EQ(r.out[i], x[i]);
}

TEST(Pulsematch, NyquistPulsePeaksOnTheSymbolGrid) {
    // 100 symbols, M = 4, D = 6: 448 transmitted samples, 496 after the matched filter; a lone
    // symbol k peaks at 49 + 4 (k - 1) with height 1 and nearly no energy a symbol away.
    const VarShapping s{0.35, 6, 4};
    for (const index_t symbol : {1, 100}) {
        ComplexArray symbols(100);
        symbols[symbol - 1] = 1.0;
        const ComplexArray tx = transmit(symbols, s);
        ASSERT_EQ(tx.numel(), 448);
        const ComplexArray rx = pulsematch(tx, s).out;
        ASSERT_EQ(rx.numel(), 496);
        const index_t peak = 49 + 4 * (symbol - 1) - 1;
        EXPECT_NEAR(rx[peak].real(), 1.0, 1e-12);
        for (index_t i = 0; i < 496; ++i) EXPECT_LE(std::abs(rx[i]), std::abs(rx[peak]));
        for (index_t m = 4; peak + m < 496; m += 4) EXPECT_LT(std::abs(rx[peak + m]), 0.02);
    }
}

TEST(Pulsematch, InputMustBeLongerThanTheFilter) {
    const VarShapping s{0.35, 2, 2};  // N = 9
    expect_error([&] { pulsematch(ComplexArray(9), s); }, errid::kConvOrientation);
    EXPECT_EQ(pulsematch(ComplexArray(10), s).out.numel(), 18);
    EXPECT_EQ(pulsematch(ComplexArray(1), {0.35, 0, 3}).out.numel(), 1);
    expect_error([&] { pulsematch(ComplexArray(0), {0.35, 0, 3}); }, errid::kConvOrientation);
}

TEST(Pulsematch, RefusesRolloffOutsideUnitIntervalFirst) {
    // Refused before the filter design and the length rule, also on a too-short input.
    for (const double alpha : {0.0, -0.25, 1.0000001, std::nan("")}) {
        expect_error(
            [&] {
                pulsematch(ComplexArray(3), {alpha, 6, 5});
            },
            "", "ERRO! Fator de rolloff invalido.");
    }
    EXPECT_NO_THROW(pulsematch(ComplexArray(100), {1.0, 6, 5}));
}

}  // namespace
}  // namespace hfchain
