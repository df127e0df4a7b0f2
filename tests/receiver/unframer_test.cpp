#include "receiver/demux/unframer.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "tests/receiver/expect_error.hpp"
#include "transmitter/scrambler.hpp"

namespace hfchain {
namespace {

using testing::expect_error;

cdouble psk(double s) { return std::polar(1.0, std::numbers::pi * s / 4.0); }

// A received stream as the transmitter builds it: Lp preamble symbols, then frames whose symbol
// values v(k) are data-scrambled and mapped to 8-PSK. Frame symbol k carries value k % 8.
struct Stream {
    ComplexArray received;
    RealArray values;  // unscrambled frame symbol values
};

Stream transmitted(index_t Lp, index_t n_frame_symbols) {
    Stream s{ComplexArray(Lp + n_frame_symbols), RealArray(n_frame_symbols)};
    for (index_t k = 0; k < n_frame_symbols; ++k) s.values[k] = k % 8;
    const RealArray scrambled = scrambler_data(s.values);
    for (index_t k = 0; k < Lp; ++k) s.received[k] = {100.0 + k, 0};  // never read
    for (index_t k = 0; k < n_frame_symbols; ++k) s.received[Lp + k] = psk(scrambled[k]);
    return s;
}

TEST(Unframer, StripsPreambleTruncatesAndRemovesProbes) {
    const ModeParams mode = modeconf(0.6);  // Lp = 1440, 32 data + 16 probe symbols a frame
    struct Case {
        index_t frame_symbols;
        index_t expected;
    };
    for (const Case c : {Case{2880, 1920}, Case{2900, 1920}, Case{47, 0}, Case{48, 32}, Case{0, 0},
                         Case{96 + 33, 64}}) {
        const Stream s = transmitted(1440, c.frame_symbols);
        const ComplexArray out = unframer(s.received, mode).out;
        ASSERT_EQ(out.numel(), c.expected) << c.frame_symbols;
        for (index_t i = 0; i < c.expected; ++i) {
            const index_t k = (i / 32) * 48 + i % 32;  // data symbol i in the frame column
            EXPECT_NEAR(std::abs(out[i] - psk(s.values[k])), 0.0, 1e-15) << i;
        }
    }
    EXPECT_EQ(unframer(ComplexArray(1440), mode).out.numel(), 0);
    EXPECT_EQ(unframer(ComplexArray(3), mode).out.numel(), 0);
}

TEST(Unframer, RateSeventyFiveKeepsEveryFrameSymbol) {
    ModeParams mode = modeconf(0.6);
    mode.rate = 75;
    const Stream s = transmitted(1440, 2900);
    const ComplexArray out = unframer(s.received, mode).out;
    ASSERT_EQ(out.numel(), 2880);
    for (index_t k = 0; k < 2880; ++k) EXPECT_NEAR(std::abs(out[k] - psk(s.values[k])), 0.0, 1e-15);
}

TEST(Unframer, FramesOfNoSymbolsGiveAnEmptyOutput) {
    // data + trein = 0 keeps nothing; the block answers with an empty column.
    ModeParams mode = modeconf(0.6);
    mode.data = 0;
    mode.trein = 0;
    EXPECT_EQ(unframer(ComplexArray(2000), mode).out.numel(), 0);
    mode.data = 16;
    mode.trein = -16;
    EXPECT_EQ(unframer(ComplexArray(2000), mode).out.numel(), 0);
    mode.rate = 75;
    EXPECT_EQ(unframer(ComplexArray(2000), mode).out.numel(), 0);
}

TEST(Unframer, BadFrameGeometryFails) {
    ModeParams mode = modeconf(0.6);
    mode.trein = 15.5;  // 47.5 symbols a frame: 50 symbols would keep 47.5
    expect_error([&] { unframer(ComplexArray(1440 + 50), mode); }, errid::kNonInteger);
    mode.trein = 16.5;  // 97 symbols are two frames of 48.5, which cannot be rows
    expect_error([&] { unframer(ComplexArray(1440 + 97), mode); }, errid::kReshapeNumel);
    mode.trein = -1;  // data larger than the frame
    expect_error([&] { unframer(ComplexArray(1440 + 93), mode); }, errid::kIndexOutOfBounds);
    mode.data = 31.5;
    mode.trein = 16.5;
    expect_error([&] { unframer(ComplexArray(1440 + 96), mode); }, errid::kNonInteger);
}

TEST(Unframer, DescramblerRotatesBackBySaidaShift) {
    ComplexArray ones(320);
    for (auto& v : ones) v = 1.0;
    const ComplexArray y = descrambler(ones);
    const RealArray s = data_sequence(320);
    for (index_t k = 0; k < 320; ++k) EXPECT_NEAR(std::abs(y[k] - psk(-s[k])), 0.0, 1e-15);
}

}  // namespace
}  // namespace hfchain
