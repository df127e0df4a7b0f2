#include "receiver/timing/tickalign.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/receiver/expect_error.hpp"

namespace hfchain {
namespace {

using testing::expect_error;

// Sample i (1-based) holds the value i + 0.5 j, so every output names its position.
ComplexArray numbered(index_t L) {
    ComplexArray x(L);
    for (index_t i = 0; i < L; ++i) x[i] = {i + 1.0, 0.5};
    return x;
}

TEST(Tickalign, PicksEveryMthSampleAndExtendsWithZeros) {
    struct Case {
        index_t L;
        double F;
        VarShapping shaping;
        index_t K;
        index_t zeros;  // trailing outputs read from the zero extension
    };
    const Case cases[] = {
        {496, 49, {0.35, 6, 4}, 100, 0},   // 100 symbols after two filters: each pulse peak
        {496, 101, {0.35, 6, 4}, 100, 1},  // last position 497: one zero appended
        {496, 48, {0.35, 6, 4}, 100, 0},   // one sample before each peak
        {500, 49, {0.35, 6, 4}, 101, 0},   // a channel delay of 4 samples adds a symbol
        {497, 49, {0.35, 6, 4}, 101, 0},   // ... as does a delay of 1
        {496, 200, {0.35, 6, 4}, 100, 25},
        {7, 1, {0.35, 0, 1}, 7, 0},  // D = 0, M = 1: the input itself
        {25, 3, {0.35, 1, 2}, 9, 0},
    };
    for (const Case& c : cases) {
        const ComplexArray out = tickalign(numbered(c.L), c.F, c.shaping).out;
        const auto M = static_cast<index_t>(c.shaping.oversamplingFactor);
        ASSERT_EQ(out.numel(), c.K) << c.L << " " << c.F;
        for (index_t k = 0; k < c.K; ++k) {
            const double position = c.F + k * M;
            const cdouble expected = position <= c.L ? cdouble{position, 0.5} : cdouble{};
            EXPECT_EQ(out[k], expected) << "F=" << c.F << " k=" << k;
        }
        index_t zeros = 0;
        for (index_t k = 0; k < c.K; ++k) zeros += out[k] == cdouble{} ? 1 : 0;
        EXPECT_EQ(zeros, c.zeros);
    }
}

TEST(Tickalign, Failures) {
    const VarShapping s{0.35, 6, 4};
    // L = 4 D M: no symbol clear of the transients, the empty position list is read.
    expect_error([&] { tickalign(numbered(96), 49, s); }, errid::kIndexOutOfBounds,
                 "dados_sincro_pos");
    expect_error(
        [&] {
            tickalign(numbered(97), 49, {0.35, 6, 0});
        },
        errid::kIndexOutOfBounds, "dados_sincro_pos");
    expect_error([&] { tickalign(numbered(496), 49.5, s); }, errid::kNonInteger, "dados_sincro_in");
    expect_error([&] { tickalign(numbered(496), std::nan(""), s); }, errid::kNonInteger,
                 "dados_sincro_in");
    expect_error([&] { tickalign(numbered(496), 0, s); }, errid::kIndexOutOfBounds,
                 "dados_sincro_in");
    // A non-integral step makes the transient range invalid.
    expect_error([&] { tickalign(numbered(496), 1, {0.35, 0, 1.5}); }, errid::kNonInteger);
}

}  // namespace
}  // namespace hfchain
