#include "receiver/deinterleave/unshuffle.hpp"

#include <gtest/gtest.h>

#include "tests/receiver/expect_error.hpp"

namespace hfchain {
namespace {

using testing::expect_error;

ModeParams with_table(RealArray table) {
    ModeParams mode;
    mode.interTable = std::move(table);
    return mode;
}

TEST(Unshuffle, ScattersEachBlockThroughTheTable) {
    struct Case {
        RealArray table;
        RealArray in;
        RealArray out;
    };
    const Case cases[] = {
        {{2, 3, 1}, {1, 2, 3, 4, 5, 6}, {3, 1, 2, 6, 4, 5}},
        // A repeated entry: the later bit wins, a position never named stays 0.
        {{2, 2, 1}, {1, 2, 3, 4, 5, 6}, {3, 2, 0, 6, 5, 0}},
        {{1}, {}, {}},
        {{1}, {7, 8}, {7, 8}},
    };
    for (const Case& c : cases) {
        const RealArray out = unshuffle(c.in, with_table(c.table)).out;
        ASSERT_EQ(out.numel(), c.out.numel());
        EXPECT_EQ(out.cols(), 1);
        for (index_t i = 0; i < out.numel(); ++i) EXPECT_EQ(out[i], c.out[i]) << i;
    }
}

TEST(Unshuffle, InvertsTheInterleaverBlockByBlock) {
    for (const double interl : {0.6, 4.8}) {
        const ModeParams mode = modeconf(interl);
        const index_t T = mode.interTable.numel();
        RealArray coded(2 * T);
        for (index_t i = 0; i < 2 * T; ++i) coded[i] = static_cast<double>((i * 7919) % 5);
        RealArray interleaved(2 * T);
        for (index_t j = 0; j < 2; ++j) {
            for (index_t k = 0; k < T; ++k) {
                interleaved[j * T + k] =
                    coded[j * T + static_cast<index_t>(mode.interTable[k]) - 1];
            }
        }
        const RealArray out = unshuffle(interleaved, mode).out;
        ASSERT_EQ(out.numel(), 2 * T);
        for (index_t i = 0; i < 2 * T; ++i) ASSERT_EQ(out[i], coded[i]) << i;
    }
}

TEST(Unshuffle, Failures) {
    ModeParams fast = modeconf(0.6);
    fast.rate = 4800;
    // Refused before any other check, even with an input that fits no block.
    expect_error([&] { unshuffle(RealArray(5), fast); }, "",
                 "ERRO! Para a taxa 4800bps, nao ha deinterleaver.");
    expect_error([&] { unshuffle(RealArray(2880), fast); }, "",
                 "ERRO! Para a taxa 4800bps, nao ha deinterleaver.");
    expect_error([&] { unshuffle(RealArray(5), with_table({2, 3, 1})); }, errid::kNonIntegerSize);
    expect_error([&] { unshuffle(RealArray(5), with_table(RealArray(0))); },
                 errid::kNonIntegerSize);
    expect_error([&] { unshuffle(RealArray(0), with_table(RealArray(0))); },
                 errid::kNonIntegerSize);
    expect_error(
        [&] {
            unshuffle(RealArray(0), with_table({2, 3, 1}));
        },
        errid::kReshapeEmptyLimit);
    expect_error([&] { unshuffle(RealArray(3), with_table({2, 1.5, 1})); }, errid::kNonInteger);
    expect_error(
        [&] {
            unshuffle(RealArray(3), with_table({2, 4, 1}));
        },
        errid::kIndexOutOfBounds, "dados_deinter_out");
    expect_error(
        [&] {
            unshuffle(RealArray(3), with_table({0, 2, 1}));
        },
        errid::kIndexOutOfBounds, "dados_deinter_out");
}

}  // namespace
}  // namespace hfchain
