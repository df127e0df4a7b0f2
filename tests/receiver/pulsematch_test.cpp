#include "receiver/matchedfilter/pulsematch.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "shaping/rrc_fir.hpp"
#include "tests/channel/recording_host.hpp"
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

// A long filter makes the kernel poll every few blocks of outputs; the pieces join seamlessly.
TEST(Pulsematch, LongFiltersEqualTheDirectSum) {
    const VarShapping s{0.35, 100, 5};  // N = 1001: a poll every 72 outputs
    const ComplexArray x = random_complex(1500, 5);
    RecordingHost host(1);
    const PulsematchOut r = pulsematch(x, s, host);
    EXPECT_GT(host.polls, 10);
    const index_t N = 1001, L = 1500;
    ASSERT_EQ(r.out.numel(), L + N - 1);
    for (index_t k = 0; k < L + N - 1; ++k) {
        cdouble sum{};
        double scale = 0.0;
        for (index_t j = std::max<index_t>(0, k + 1 - N); j <= std::min(k, L - 1); ++j) {
            sum += x[j] * r.filter[k - j];
            scale += std::abs(x[j]) * std::fabs(r.filter[k - j]);
        }
        ASSERT_LE(std::abs(r.out[k] - sum), 1e-14 * scale) << "k=" << k;
    }
}

// Settings that would give NaN or all-zero outputs are refused, each with its own identifier;
// every refusal but the roll-off's last one comes before the filter is designed (a host that
// interrupts at its first poll is never polled).
TEST(Pulsematch, RefusesSettingsThatGiveNoFilter) {
    const std::string rolloff = "ERRO! Fator de rolloff invalido.";
    const struct {
        VarShapping s;
        index_t L;
        const char* id;
        std::string message;
        bool designs;
    } cases[] = {
        {{0.35, 1e8, 1},
         10,
         errid::kConvOrientation,
         "The input of 10 samples must be longer than the filter of 200000001 taps.",
         false},
        {{0.35, 2, 0},
         40,
         errid::kNotPositive,
         "Value 0 of 'oversamplingFactor' must be positive.",
         false},
        {{0.35, 2, 0.5},
         40,
         errid::kNonInteger,
         "Value 0.5 of 'oversamplingFactor' must be a whole number of samples per symbol.",
         false},
        {{0.35, -2, -1}, 40, errid::kNotPositive, "", false},  // N = 5, M negative
        {{0.35, -0.5, 1},
         40,
         errid::kNegative,
         "Value -0.5 of 'pulseDelay' must not be negative: the filter would have no taps.",
         false},
        {{4.9e-324, 2, 2}, 40, "", rolloff, true},
        {{1e-310, 2, 2}, 40, "", rolloff, true},
    };
    for (const auto& c : cases) {
        RecordingHost host(1);
        host.interrupt_at_poll = c.designs ? -1 : 1;
        try {
            pulsematch(random_complex(c.L, 2), c.s, host);
            ADD_FAILURE() << "no error for M = " << c.s.oversamplingFactor;
        } catch (const Error& e) {
            EXPECT_EQ(e.identifier(), c.id) << e.what();
            if (!c.message.empty()) {
                EXPECT_EQ(std::string(e.what()), c.message);
            }
        }
        if (!c.designs) {
            EXPECT_EQ(host.polls, 0) << c.s.pulseDelay;
        }
    }
}

}  // namespace
}  // namespace hfchain
