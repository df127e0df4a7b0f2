#include "receiver/layout/layout.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "params/modeconf.hpp"
#include "params/rateconf.hpp"
#include "receiver/chansound/chansound.hpp"
#include "receiver/framesync/framelock.hpp"
#include "receiver/freqlock/freqlock.hpp"
#include "receiver/layout/reception.hpp"
#include "runtime/builtin_host.hpp"
#include "runtime/checks.hpp"
#include "tests/receiver/expect_error.hpp"
#include "transmitter/constellation.hpp"
#include "transmitter/scrambler.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain {
namespace {

using testing::expect_error;

// Enough frames for the closing probes of one interleaver block.
index_t layout_frames(const ModeParams& mode) {
    return transmission_layout(mode, 0).framesPerBlock;
}

// A parameter set of another frame geometry: b bits a symbol, frames of `data` + `trein`
// symbols, interleaver blocks of T coded bits (in order), probe columns of `trein` values.
ModeParams geometry(double b, double data, double trein, index_t T) {
    ModeParams m = modeconf(0.6);
    m.bitsToSym = b;
    m.data = data;
    m.trein = trein;
    m.interTable = RealArray(T);
    for (index_t k = 0; k < T; ++k) m.interTable[k] = static_cast<double>(k + 1);
    const auto rows = static_cast<index_t>(trein);
    m.probe = RealArray(rows, 2);
    for (index_t r = 0; r < rows; ++r) {
        m.probe(r, 0) = static_cast<double>((r + 1) % 8);
        m.probe(r, 1) = static_cast<double>((5 * r + 2) % 8);
    }
    return m;
}

// The layout of three geometries against a hand count, and its known symbols against what the
// transmitter sends: every known symbol is the transmitted point to the last bit, every data
// symbol the transmitted point once rotated by its scrambling, and the known symbols of the
// frames are exactly those the transmitter marks as probes.
TEST(Layout, GeometriesAgainstAHandCountAndTheTransmitter) {
    struct Case {
        const char* name;
        ModeParams mode;
        double nFrame;
        index_t frames;                // (2 T nFrame / b) coded symbols / data
        index_t perBlock;              // T / (b data)
        std::vector<index_t> closing;  // the last two frames of each block
    };
    const Case cases[] = {
        {"32+16, 8-PSK", modeconf(0.6), 1, 30, 30, {28, 29}},
        {"20+20, 4-PSK", geometry(2, 20, 20, 1440), 2, 72, 36, {34, 35, 70, 71}},
        {"32+0, 4-PSK", geometry(2, 32, 0, 640), 2, 20, 10, {8, 9, 18, 19}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BuiltinHost host;
        const SendchainOut tx = sendchain(c.mode, c.nFrame, 5, host);
        const index_t preamble = 1440;
        const index_t frame = static_cast<index_t>(c.mode.data + c.mode.trein);
        ASSERT_EQ(whole_frames(c.mode, tx.MultiplexOut.numel()), c.frames);
        const Layout layout = transmission_layout(c.mode, c.frames);
        EXPECT_EQ(layout.preamble, preamble);
        EXPECT_EQ(layout.framesPerBlock, c.perBlock);
        EXPECT_EQ(layout.symbols, preamble + c.frames * frame);
        ASSERT_EQ(layout.symbols, tx.MultiplexOut.numel());
        EXPECT_EQ(layout.dataSymbols(), tx.ComplexPSKSymbols.numel());
        for (index_t f = 0; f < c.frames; ++f) {
            int want = -1;
            for (std::size_t j = 0; j < c.closing.size(); ++j) {
                if (c.closing[j] == f) want = static_cast<int>(j % 2);
            }
            EXPECT_EQ(layout.closingProbe(f), want) << "frame " << f;
        }

        const KnownSymbols known = known_symbols(c.mode, layout);
        index_t k = 0;
        index_t knownCount = 0;
        for (index_t n = 0; n < layout.symbols; ++n) {
            if (n >= preamble) {
                EXPECT_EQ(known.var[n] == 0, tx.ProbeInfo[n] == 1.0) << n;
            }
            if (known.var[n] == 0) {
                ++knownCount;
                ASSERT_EQ(known.mean[n], tx.MultiplexOut[n]) << n;
                continue;
            }
            ASSERT_EQ(known.var[n], 1.0) << n;
            ASSERT_EQ(layout.dataIndex(k), n) << k;
            const cdouble sent = known.rotation[k] * tx.ComplexPSKSymbols[k];
            ASSERT_NEAR(std::abs(sent - tx.MultiplexOut[n]), 0.0, 4e-16) << n;
            ++k;
        }
        EXPECT_EQ(k, layout.dataSymbols());
        EXPECT_EQ(knownCount, preamble + c.frames * static_cast<index_t>(c.mode.trein));
    }
}

// Hand-made probe values, scrambled by the data sequence: whole values of at least 0 take the
// transmitter's point of their value modulo 8 to the last bit, however large (around 2^31, where
// the sum with the scrambling value crosses the largest count, and far beyond); other values the
// same formula on the circle.
TEST(Layout, ProbeValuesOfEveryKind) {
    const double values[] = {
        0,    5,   7,  8,     13,    2147483640, 2147483647, 2147483648, 4294967296.0,
        1e17, 2.5, -1, -8.25, 1e-300};
    ModeParams mode = modeconf(0.6);
    const Layout layout = transmission_layout(mode, layout_frames(mode));
    // Each value at several places, so that it meets several scrambling values.
    const index_t count = sizeof values / sizeof values[0];
    for (index_t n = 0; n < mode.probe.numel(); ++n) mode.probe[n] = values[n % count];
    const KnownSymbols known = known_symbols(mode, layout);
    for (index_t f = 0; f < layout.frames; ++f) {
        const int closing = layout.closingProbe(f);
        for (index_t row = 0; row < layout.trein && closing >= 0; ++row) {
            const index_t m = f * layout.frame() + layout.data + row;
            const double v =
                mode.probe(row, closing) +
                data_sequence_period()[static_cast<std::size_t>(m % kDataSequencePeriod)];
            const cdouble point = known.mean[layout.preamble + m];
            if (v >= 0 && v == std::floor(v)) {
                ASSERT_EQ(point, psk_points()[static_cast<int>(std::fmod(v, 8.0))]) << m;
            } else {
                const double phase = std::numbers::pi * std::fmod(v, 8.0) / 4.0;
                ASSERT_EQ(point, cdouble(std::cos(phase), std::sin(phase))) << m;
            }
        }
    }
}

// The preamble is what framelock, freqlock and the sounder correlate with: a value other than a
// symbol number 0 to 7 is refused by each, naming the element, before the signal is looked at.
TEST(Layout, PreambleValuesOutsideTheSymbolNumbersAreRefusedByEveryReader) {
    const VarShapping shaping{0.35, 6, 5};
    const ComplexArray signal(2000 * 5);
    for (const double value : {8.0, -1.0, 0.5, 2147483648.0, 1e300}) {
        ModeParams mode = modeconf(0.6);
        mode.preamSync[9] = value;
        const std::string text = "milstd.preamSync(10) is " + format_value(value) +
                                 ": preamble symbols are symbol numbers, whole from 0 to 7.";
        SCOPED_TRACE(text);
        const char* id = "hfchain:layout:BadPreamble";
        expect_error([&] { framelock(signal, mode, shaping); }, id, text);
        expect_error([&] { freqlock(signal, mode, shaping); }, id, text);
        expect_error([&] { chansound(signal, 1, mode, shaping); }, id, text);
        expect_error([&] { known_symbols(mode, transmission_layout(mode, 1)); }, id, text);
    }
}

// b data beyond the largest count gives no whole frame a block (not a wrapped product).
TEST(Layout, FramesPerBlockOfHugeFrames) {
    for (const double data : {715827883.0, 1431655765.0}) {
        ModeParams m = modeconf(0.6);
        m.data = data;
        EXPECT_EQ(transmission_layout(m, 0).framesPerBlock, 0) << data;
    }
}

TEST(Layout, Failures) {
    struct Case {
        double b, data, trein;
        const char* text;
    };
    const Case cases[] = {
        {3, 0, 16, "data = 0"},      {3, 1.5, 16, "data = 1.5"},   {3, 32, -1, "trein = -1"},
        {3, 32, 0.5, "trein = 0.5"}, {4, 32, 16, "bitsToSym = 4"}, {0, 32, 16, "bitsToSym = 0"},
    };
    for (const Case& c : cases) {
        ModeParams m = modeconf(0.6);
        m.bitsToSym = c.b;
        m.data = c.data;
        m.trein = c.trein;
        expect_error([&] { transmission_layout(m, 1); }, "hfchain:layout:BadFrame", c.text);
    }
    expect_error([&] { transmission_layout(modeconf(0.6), -1); }, errid::kNegative, "frames");
    expect_error([&] { transmission_layout(modeconf(0.6), 100000000); }, errid::kMaxSize);
}

// Every rate's parameter set is one the HF receivers handle; hand-made ones without probes (but
// at 75 bit/s), without data, with another constellation or a repetition that is not whole are
// refused, each receiver naming itself in the identifier, with the same text.
TEST(Reception, ModesTheHfReceiversHandle) {
    for (const double rate : {75.0, 150.0, 300.0, 600.0, 1200.0, 2400.0, 4800.0}) {
        EXPECT_EQ(receiver_mode_refusal(rateconf(rate, 0.6)), "") << rate;
    }
    struct Case {
        double rate, bitsToSym, repFactor, data, trein;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case refused[] = {
        {150, 1, 4, 20, 0},    {600, 3, 1, 20, 0},  {600, 4, 1, 20, 20},   {600, 0, 1, 20, 20},
        {600, 1, 1.5, 20, 20}, {600, 1, 0, 20, 20}, {600, 1, nan, 20, 20}, {600, 1, 1, 0, 20},
    };
    for (const Case& c : refused) {
        ModeParams m = rateconf(600, 0.6);
        m.rate = c.rate;
        m.bitsToSym = c.bitsToSym;
        m.repFactor = c.repFactor;
        m.data = c.data;
        m.trein = c.trein;
        const std::string refusal = receiver_mode_refusal(m);
        ASSERT_NE(refusal.find("rate " + format_value(c.rate) + " bit/s with bitsToSym " +
                               format_value(c.bitsToSym)),
                  std::string::npos)
            << refusal;
        for (const char* block : {"chansound", "geniecombine", "turboequal"}) {
            expect_error([&] { check_receiver_mode(m, block); },
                         std::string("hfchain:") + block + ":UnsupportedMode", refusal);
        }
    }
}

// Samples a symbol: whole numbers from 1 to a million; anything else refused in the name of the
// receiver that reads them.
TEST(Reception, OversamplingFactor) {
    for (const double M : {1.0, 5.0, 1e6}) {
        EXPECT_EQ(oversampling_factor(VarShapping{0.35, 6, M}, "freqlock"), M);
    }
    for (const double M : {0.0, 0.5, 2.5, -5.0, 1e6 + 1, std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN()}) {
        expect_error(
            [&] {
                oversampling_factor(VarShapping{0.35, 6, M}, "freqlock");
            },
            "hfchain:freqlock:BadOversampling", "oversamplingFactor = ");
    }
}

// Frames in a matched-filter output, counted as tickalign and unframer do: the output holds
// 4 D M samples of the two filters' tails and then M a symbol; one sample short of a frame's last
// symbol leaves that frame out.
TEST(Reception, FramesInAMatchedFilterOutput) {
    const ModeParams mode = rateconf(2400, 0.6);
    const Layout l = transmission_layout(mode, 0);
    for (const index_t M : {1, 5}) {
        for (const index_t f : {0, 1, 7}) {
            const index_t K = l.preamble + f * l.frame();  // symbols
            const index_t Lmf = 4 * 6 * M + 1 + (K - 1) * M;
            EXPECT_EQ(frames_in(Lmf, mode, 6, M), f) << M << " " << f;
            EXPECT_EQ(frames_in(Lmf - 1, mode, 6, M), std::max<index_t>(f - 1, 0)) << M << " " << f;
            EXPECT_EQ(frames_in(Lmf + M - 1, mode, 6, M), f) << M << " " << f;
        }
        EXPECT_EQ(frames_in(4 * 6 * M, mode, 6, M), 0);
        EXPECT_EQ(frames_in(0, mode, 6, M), 0);
    }
}

}  // namespace
}  // namespace hfchain
