#include "transmitter/scrambler.hpp"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace hfchain {
namespace {

// The symbol-step matrix `A` of the register (eight clocks, unreduced): row i holds the weights
// of old stages 1..12 in new stage i.
constexpr int kA[12][12] = {
    {1, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0}, {0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0},
    {0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0}, {1, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1},
    {2, 1, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0}, {0, 2, 1, 0, 0, 1, 0, 1, 0, 0, 0, 0},
    {1, 0, 1, 1, 0, 0, 1, 0, 0, 0, 0, 0}, {0, 1, 0, 1, 1, 0, 0, 1, 0, 0, 0, 0},
    {0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0},
    {1, 1, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0}, {0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0}};

// `saida_shift` by stepping s <- A s (mod 2) per symbol, reloading every 160 symbols; with
// `reduce`, the matrix is reduced modulo 2 beforehand.
std::vector<int> sequence_from_matrix(int n, bool reduce) {
    std::vector<int> out;
    std::array<int, 12> s = kEstadoInicial;
    for (int k = 1; k <= n; ++k) {
        std::array<int, 12> next{};
        for (int i = 0; i < 12; ++i) {
            int sum = 0;
            for (int j = 0; j < 12; ++j) sum += (reduce ? kA[i][j] % 2 : kA[i][j]) * s[j];
            next[i] = sum % 2;
        }
        s = next;
        out.push_back(4 * s[9] + 2 * s[10] + s[11]);
        if (k % 160 == 0) s = kEstadoInicial;
    }
    return out;
}

TEST(Scrambler, DataSequenceFirstValuesAndPeriod) {
    const int first[32] = {0, 2, 4, 3, 3, 6, 4, 5, 7, 6, 7, 0, 5, 5, 4, 3,
                           5, 4, 3, 7, 0, 7, 6, 2, 6, 2, 4, 6, 7, 2, 4, 7};
    const RealArray s = data_sequence(320);
    for (int k = 0; k < 32; ++k) EXPECT_EQ(s[k], first[k]) << k;
    for (int k = 0; k < 160; ++k) EXPECT_EQ(s[k + 160], s[k]);
}

// The table of one period must equal the register stepped by the matrix `A`, as listed and
// reduced modulo 2, including the reload after 160 symbols.
TEST(Scrambler, DataSequenceEqualsTheSymbolStepMatrix) {
    const RealArray s = data_sequence(500);
    for (const bool reduce : {false, true}) {
        const std::vector<int> expected = sequence_from_matrix(500, reduce);
        for (int k = 0; k < 500; ++k) ASSERT_EQ(s[k], expected[k]) << k << " reduce " << reduce;
    }
}

TEST(Scrambler, ZeroInputsGiveTheSequences) {
    const RealArray pre = scrambler_preamble(RealArray(64));
    ASSERT_EQ(pre.numel(), 64);
    for (int k = 0; k < 64; ++k) EXPECT_EQ(pre[k], kSequencia[k % 32]) << k;
    EXPECT_EQ(preamble_sequence(64)[40], kSequencia[8]);

    const RealArray data = scrambler_data(RealArray(320));
    const double first[8] = {0, 2, 4, 3, 3, 6, 4, 5};
    for (int k = 0; k < 8; ++k) EXPECT_EQ(data[k], first[k]);
    for (int k = 0; k < 160; ++k) EXPECT_EQ(data[k + 160], data[k]) << k;

    for (auto* mode : {&scrambler_preamble, &scrambler_data}) {
        const RealArray empty = mode(RealArray(0));
        EXPECT_EQ(empty.numel(), 0);
    }
    EXPECT_EQ(data_sequence(0).numel(), 0);
}

// Sums wrap modulo 8 into 0..7, negative values included.
TEST(Scrambler, WrapsAroundModuloEight) {
    struct Case {
        bool data_mode;
        index_t position;  // 0-based
        double x, expected;
    };
    const Case cases[] = {
        {false, 19, 7, 5},                       // sequencia(20) = 6
        {false, 19, -1, 5},                      // negative inputs wrap too
        {false, 19, -17, 5}, {false, 0, 1, 0},   // sequencia(1) = 7
        {true, 8, 7, 6},                         // saida_shift(9) = 7
        {true, 8, -8, 7},    {true, 168, 7, 6},  // the same after the reload
    };
    for (const auto& c : cases) {
        RealArray x(200);
        x[c.position] = c.x;
        const RealArray y = c.data_mode ? scrambler_data(x) : scrambler_preamble(x);
        EXPECT_EQ(y[c.position], c.expected) << c.data_mode << " " << c.position << " " << c.x;
    }
}

}  // namespace
}  // namespace hfchain
