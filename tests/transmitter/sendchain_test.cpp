#include "transmitter/sendchain.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "params/rateconf.hpp"
#include "runtime/builtin_host.hpp"
#include "transmitter/bitbudget.hpp"
#include "transmitter/scrambler.hpp"

namespace hfchain {
namespace {

const ModeParams& standard(double interLen) {
    static const ModeParams short_set = modeconf(0.6);
    static const ModeParams long_set = modeconf(4.8);
    return interLen == 0.6 ? short_set : long_set;
}

// Phase index 0..7 of a constellation point.
int symbol_value(cdouble z) {
    const long v = std::lround(std::atan2(z.imag(), z.real()) / (std::numbers::pi / 4));
    return static_cast<int>(((v % 8) + 8) % 8);
}

// Frame column before scrambling, recovered from MultiplexOut after the preamble.
std::vector<int> unscrambled_frames(const SendchainOut& out, index_t preamble) {
    const index_t n = out.MultiplexOut.numel() - preamble;
    const RealArray seq = data_sequence(n);
    std::vector<int> frames(n);
    for (index_t i = 0; i < n; ++i) {
        frames[i] =
            (symbol_value(out.MultiplexOut[preamble + i]) - static_cast<int>(seq[i]) + 8) % 8;
    }
    return frames;
}

// Each stage follows from the one before: the interleaver gathers each block through interTable
// (uncoded bits pass as they are), each b-bit group becomes its Gray value; the scrambled preamble
// comes first, then per frame its D data symbols (the Gray values times 2^(3 - b)) and P probes,
// which are 0 except in the last two frames of each interleaver block.
void expect_consistent_stages(const ModeParams& m, const SendchainOut& out) {
    const index_t T = m.interTable.numel();
    for (index_t k = 0; k < out.InterOutMapIn.numel(); ++k) {
        if (is_uncoded(m)) {
            ASSERT_EQ(out.CodOutInterIn[k], out.BitInCodIn[k]);
            ASSERT_EQ(out.InterOutMapIn[k], out.BitInCodIn[k]);
        } else {
            const index_t from = k - k % T + static_cast<index_t>(m.interTable[k % T]) - 1;
            ASSERT_EQ(out.InterOutMapIn[k], out.CodOutInterIn[from]) << k;
        }
    }
    const double gray[8] = {0, 1, 3, 2, 7, 6, 4, 5};
    const auto b = static_cast<index_t>(m.bitsToSym);
    for (index_t s = 0; s < out.MapOutMultiplexIn.numel(); ++s) {
        int v = 0;
        for (index_t i = 0; i < b; ++i) v = 2 * v + static_cast<int>(out.InterOutMapIn[s * b + i]);
        ASSERT_EQ(out.MapOutMultiplexIn[s], gray[v]) << s;
    }
    const index_t pre = m.preamSync.numel();
    for (index_t k = 0; k < pre; ++k) {
        const int expected = static_cast<int>(m.preamSync[k] + kSequencia[k % 32]) % 8;
        ASSERT_EQ(symbol_value(out.MultiplexOut[k]), expected) << "preamble symbol " << k + 1;
    }
    const auto D = static_cast<index_t>(m.data);
    const auto P = static_cast<index_t>(m.trein);
    const auto scale = static_cast<int>(std::pow(2.0, 3.0 - m.bitsToSym));
    const auto Fb = static_cast<index_t>(m.interTable.numel() / (m.bitsToSym * D));
    const std::vector<int> frames = unscrambled_frames(out, pre);
    ASSERT_EQ(static_cast<index_t>(frames.size()) % (D + P), 0);
    const index_t F = static_cast<index_t>(frames.size()) / (D + P);
    ASSERT_EQ(F * D, out.MapOutMultiplexIn.numel());
    for (index_t f = 0; f < F; ++f) {
        for (index_t d = 0; d < D; ++d) {
            const double gray = out.MapOutMultiplexIn[f * D + d];
            ASSERT_EQ(frames[f * (D + P) + d], gray * scale) << "frame " << f + 1;
            ASSERT_EQ(symbol_value(out.ComplexPSKSymbols[f * D + d]), gray * scale);
        }
        const index_t in_block = f % Fb;
        for (index_t p = 0; p < P; ++p) {
            const double expected = in_block == Fb - 2   ? m.probe(p, 0)
                                    : in_block == Fb - 1 ? m.probe(p, 1)
                                                         : 0.0;
            ASSERT_EQ(frames[f * (D + P) + D + p], expected) << "frame " << f + 1 << " probe " << p;
        }
    }
}

TEST(Sendchain, OutputSizes) {
    struct Case {
        double interl, nFrame;
        index_t info, bits, coded, symbols, transmitted;
    };
    const Case cases[] = {
        {0.6, 1, 1296, 1440, 2880, 960, 2880},      {0.6, 2, 2736, 2880, 5760, 1920, 4320},
        {0.6, 1.5, 2016, 2880, 5760, 1920, 4320},  // 720 padding bits complete the second block
        {4.8, 1, 11376, 11520, 23040, 7680, 23040}, {4.8, 0.5, 5616, 11520, 23040, 7680, 23040},
    };
    for (const auto& c : cases) {
        BuiltinHost host;
        const SendchainOut out = sendchain(standard(c.interl), c.nFrame, 3, host);
        SCOPED_TRACE(testing::Message() << c.interl << " s, nFrame " << c.nFrame);
        EXPECT_EQ(out.BitInCodIn.numel(), c.bits);
        EXPECT_EQ(out.CodOutInterIn.numel(), c.coded);
        EXPECT_EQ(out.InterOutMapIn.numel(), c.coded);
        EXPECT_EQ(out.MapOutMultiplexIn.numel(), c.symbols);
        EXPECT_EQ(out.ComplexPSKSymbols.numel(), c.symbols);
        EXPECT_EQ(out.ModConstellation.numel(), 8);
        EXPECT_EQ(out.ProbeInfo.numel(), c.transmitted);
        EXPECT_EQ(out.MultiplexOut.numel(), c.transmitted);
        EXPECT_EQ(out.MultiplexOut.cols(), 1);
        for (index_t k = c.info; k < c.bits; ++k) ASSERT_EQ(out.BitInCodIn[k], 0) << k + 1;
    }
}

TEST(Sendchain, StagesAndFrameLayoutOfEveryPath) {
    struct Case {
        const char* name;
        double interl, nFrame;
        std::function<void(ModeParams&)> edit;
    };
    const Case cases[] = {
        {"0.6 s, one block", 0.6, 1, [](ModeParams&) {}},
        {"0.6 s, three blocks", 0.6, 3, [](ModeParams&) {}},
        {"4.8 s", 4.8, 1, [](ModeParams&) {}},
        {"uncoded 4800 bit/s", 0.6, 2, [](ModeParams& m) { m.rate = 4800; }},
        {"two bits a symbol", 0.6, 1, [](ModeParams& m) { m.bitsToSym = 2; }},
        {"repetition 2", 0.6, 2, [](ModeParams& m) { m.repFactor = 2; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ModeParams m = standard(c.interl);
        c.edit(m);
        BuiltinHost host;
        const SendchainOut out = sendchain(m, c.nFrame, 5, host);
        expect_consistent_stages(m, out);
        EXPECT_EQ(out.ProbeInfo.numel(), out.MultiplexOut.numel());
    }
}

// 75 bit/s: each two-bit value is sent as its 32-symbol pattern, every 45th value (0.6 s) as the
// pattern of value + 4; no probes.
TEST(Sendchain, SeventyFiveBitPerSecondPatterns) {
    ModeParams m = standard(0.6);
    m.rate = 75;
    m.bitsToSym = 2;
    m.interTable = RealArray(90);
    for (index_t k = 0; k < 90; ++k) m.interTable[k] = 90 - k;
    BuiltinHost host;
    const SendchainOut out = sendchain(m, 4, 9, host);
    EXPECT_EQ(out.BitInCodIn.numel(), 180);  // 36 information bits
    ASSERT_EQ(out.MapOutMultiplexIn.numel(), 180);
    ASSERT_EQ(out.MultiplexOut.numel(), 1440 + 180 * 32);
    ASSERT_EQ(out.ComplexPSKSymbols.numel(), 180 * 32);
    const std::vector<int> frames = unscrambled_frames(out, 1440);
    for (index_t k = 1; k <= 180; ++k) {
        const double v = out.MapOutMultiplexIn[k - 1];
        ASSERT_TRUE(v >= 0 && v <= 3);
        const auto column = static_cast<index_t>(v) + (k % 45 == 0 ? 4 : 0);
        for (index_t r = 0; r < 32; ++r) {
            const index_t i = (k - 1) * 32 + r;
            ASSERT_EQ(frames[i], m.chSymMapping(r, column)) << "value " << k;
            ASSERT_EQ(symbol_value(out.ComplexPSKSymbols[i]), frames[i]);
        }
    }
    // The patterns carry no probes: every frame symbol is marked as data.
    for (index_t k = 1440; k < out.ProbeInfo.numel(); ++k) ASSERT_EQ(out.ProbeInfo[k], 0) << k;
}

// The parameter sets of the other rates: frames of `data` + `trein` symbols whose last two in every
// block carry the closing probes (the first trein symbols of the d1 and d2 patterns), and at
// 75 bit/s one pattern per value with the alternate set every 45th (0.6 s) or 360th (4.8 s) value.
TEST(Sendchain, FramesProbesAndPatternsOfEveryRate) {
    const std::pair<double, double> probed[] = {{4800, 0.6}, {1200, 0.6}, {1200, 4.8},
                                                {600, 0.6},  {600, 4.8},  {300, 0.6},
                                                {300, 4.8},  {150, 0.6},  {150, 4.8}};
    for (const auto& [rate, interLen] : probed) {
        SCOPED_TRACE(testing::Message() << rate << " bit/s, " << interLen << " s");
        const ModeParams m = rateconf(rate, interLen);
        BuiltinHost host;
        const SendchainOut out = sendchain(m, rate == 150 && interLen == 0.6 ? 3 : 2, 4, host);
        expect_consistent_stages(m, out);
        const index_t pre = m.preamSync.numel();
        const auto D = static_cast<index_t>(m.data);
        const auto P = static_cast<index_t>(m.trein);
        for (index_t k = pre; k < out.ProbeInfo.numel(); ++k) {
            ASSERT_EQ(out.ProbeInfo[k], (k - pre) % (D + P) >= D ? 1 : 0) << k;
        }
    }
    for (const double interLen : {0.6, 4.8}) {
        SCOPED_TRACE(testing::Message() << "75 bit/s, " << interLen << " s");
        const ModeParams m = rateconf(75, interLen);
        const index_t L = interLen == 0.6 ? 45 : 360;
        const double nFrame = interLen == 0.6 ? 5 : 1.5;
        BuiltinHost host;
        const SendchainOut out = sendchain(m, nFrame, 4, host);
        const index_t values = out.MapOutMultiplexIn.numel();
        ASSERT_EQ(values, static_cast<index_t>(std::ceil(nFrame)) * m.interTable.numel() / 2);
        const std::vector<int> frames = unscrambled_frames(out, m.preamSync.numel());
        ASSERT_EQ(static_cast<index_t>(frames.size()), 32 * values);
        for (index_t k = 1; k <= values; ++k) {
            const auto column =
                static_cast<index_t>(out.MapOutMultiplexIn[k - 1]) + (k % L == 0 ? 4 : 0);
            for (index_t r = 0; r < 32; ++r) {
                ASSERT_EQ(frames[(k - 1) * 32 + r], m.chSymMapping(r, column)) << "value " << k;
            }
        }
    }
}

TEST(Sendchain, ProbeInfoMarksPreambleAndProbes) {
    for (const double interl : {0.6, 4.8}) {
        BuiltinHost host;
        const SendchainOut out = sendchain(standard(interl), 1, 1, host);
        const index_t pre = standard(interl).preamSync.numel();
        for (index_t k = 1; k <= pre; ++k) {
            const index_t in_segment = (k - 1) % 480 + 1;
            const bool unmarked = k <= 1440 && in_segment > 288 && in_segment <= 448;
            ASSERT_EQ(out.ProbeInfo[k - 1], unmarked ? 0 : 1) << interl << " s, symbol " << k;
        }
        for (index_t k = pre; k < out.ProbeInfo.numel(); ++k) {
            ASSERT_EQ(out.ProbeInfo[k], (k - pre) % 48 >= 32 ? 1 : 0) << interl << " s, " << k;
        }
    }
}

TEST(Sendchain, ConstellationAndFirstSymbol) {
    BuiltinHost host;
    const SendchainOut out = sendchain(standard(0.6), 1, 1, host);
    EXPECT_EQ(out.ModConstellation[0], cdouble(1, 0));
    EXPECT_EQ(out.ModConstellation[2], cdouble(6.123233995736766e-17, 1));
    EXPECT_EQ(out.ModConstellation[7], cdouble(0.7071067811865474, -0.7071067811865477));
    // The preamble starts with 32 zeros, so the first symbols are `sequencia` itself.
    EXPECT_EQ(out.MultiplexOut[0], out.ModConstellation[7]);
    for (index_t k = 0; k < 32; ++k)
        EXPECT_EQ(out.MultiplexOut[k], out.ModConstellation[kSequencia[k]]);
}

// After success and after every failure the caller's generator continues where it was.
void expect_generator_untouched(BuiltinHost& host, double caller_seed, index_t drawn_before) {
    BuiltinHost reference;
    reference.seed_twister(caller_seed);
    reference.rand(drawn_before);
    const RealArray expected = reference.rand(4);
    const RealArray actual = host.rand(4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(actual[i], expected[i]);
}

TEST(Sendchain, SeedFixesTheBitsAndTheCallerStreamIsKept) {
    BuiltinHost host;
    host.seed_twister(42);
    host.rand(3);
    const SendchainOut a = sendchain(standard(0.6), 1, 8, host);
    expect_generator_untouched(host, 42, 3);
    const SendchainOut b = sendchain(standard(0.6), 1, 8, host);
    const SendchainOut c = sendchain(standard(0.6), 1, 9, host);
    index_t differ = 0;
    for (index_t k = 0; k < a.BitInCodIn.numel(); ++k) {
        ASSERT_EQ(a.BitInCodIn[k], b.BitInCodIn[k]);
        differ += a.BitInCodIn[k] != c.BitInCodIn[k] ? 1 : 0;
    }
    EXPECT_GT(differ, 100);
    // The information bits are floor(2 u) of the seeded stream's first draws.
    BuiltinHost direct;
    direct.seed_twister(8);
    const RealArray u = direct.rand(1296);
    for (index_t k = 0; k < 1296; ++k) ASSERT_EQ(a.BitInCodIn[k], std::floor(2 * u[k]));
}

TEST(Sendchain, ErrorsLeaveNoTrace) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::string too_few = "Erro: Total de frames insuficientes para transmissao";
    struct Case {
        const char* name;
        double nFrame, seed;
        std::function<void(ModeParams&)> edit;
        std::string identifier, text;  // text: the whole message, or a part of it
    };
    const auto none = [](ModeParams&) {};
    const Case cases[] = {
        {"no block", 0, 1, none, "", too_few},
        {"fewer than 145 / 1440 blocks", 0.1, 1, none, "", too_few},
        {"negative", -1, 1, none, "", too_few},
        {"bit count not whole", 1.0001, 1, none, "Coder:MATLAB:NonIntegerInput", ""},
        {"infinite", inf, 1, none, "Coder:MATLAB:NonIntegerInput", ""},
        {"NaN", nan, 1, none, "Coder:MATLAB:NonIntegerInput", ""},
        {"too many bits", 1e7, 1, none, "Coder:MATLAB:pmaxsize", ""},
        {"bad seed", 1, -1, none, "hfchain:host:InvalidSeed", ""},
        {"repetition not whole", 1, 1, [](ModeParams& m) { m.repFactor = 1.5; },
         "Coder:MATLAB:NonIntegerInput", ""},
        {"interTable beyond the block", 1, 1, [](ModeParams& m) { m.interTable[5] = 2881; },
         "hfchain:runtime:IndexOutOfBounds", "dados_inter"},
        {"interTable zero", 1, 1, [](ModeParams& m) { m.interTable[5] = 0; },
         "hfchain:runtime:IndexOutOfBounds", "dados_inter"},
        {"bits not a whole number of symbols", 1, 1, [](ModeParams& m) { m.bitsToSym = 7; },
         "Coder:MATLAB:getReshapeDims_notSameNumel", ""},
        {"values beyond the Gray table", 1, 1, [](ModeParams& m) { m.bitsToSym = 4; },
         "hfchain:runtime:IndexOutOfBounds", "gray2bina"},
        {"frames not whole", 1, 1, [](ModeParams& m) { m.data = 31; },
         "Coder:MATLAB:NonIntegerInput", ""},
        {"one probe column", 1, 1, [](ModeParams& m) { m.probe = RealArray(16, 1); },
         "hfchain:runtime:IndexOutOfBounds", "milstd.probe"},
        {"probe longer than trein", 1, 1, [](ModeParams& m) { m.probe = RealArray(20, 2); },
         "hfchain:runtime:SizeMismatch", "fr_mp"},
        {"preamble symbol not whole", 1, 1, [](ModeParams& m) { m.preamSync[3] = 0.5; },
         "hfchain:runtime:NonInteger", "const"},
        {"preamble not 1440 symbols", 1, 1, [](ModeParams& m) { m.preamSync = RealArray(1, 480); },
         "hfchain:runtime:SizeMismatch", "ProbeInfo"},
        {"75 bit/s with four patterns", 4, 1,
         [](ModeParams& m) {
             m.rate = 75;
             m.bitsToSym = 2;
             m.interTable = RealArray(90);
             for (index_t k = 0; k < 90; ++k) m.interTable[k] = k + 1;
             m.chSymMapping = RealArray(32, 4);
         },
         "hfchain:runtime:IndexOutOfBounds", "chSymMapping"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ModeParams m = standard(0.6);
        c.edit(m);
        BuiltinHost host;
        host.seed_twister(77);
        host.rand(5);
        try {
            sendchain(m, c.nFrame, c.seed, host);
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            EXPECT_EQ(e.identifier(), c.identifier);
            if (c.identifier.empty()) {
                EXPECT_EQ(std::string(e.what()), c.text);
            } else {
                EXPECT_NE(std::string(e.what()).find(c.text), std::string::npos) << e.what();
            }
        }
        expect_generator_untouched(host, 77, 5);
    }
}

TEST(Sendchain, InterruptAbandonsTheCallAndRestoresTheStream) {
    std::atomic<bool> flag{true};
    BuiltinHost host;
    host.seed_twister(4);
    host.set_interrupt_flag(&flag);
    try {
        sendchain(standard(0.6), 1, 1, host);
        ADD_FAILURE() << "no interrupt";
    } catch (const Error& e) {
        EXPECT_EQ(e.identifier(), "hfchain:runtime:Interrupted");
    }
    expect_generator_untouched(host, 4, 0);
}

// Given bits make the transmission the drawn ones make; fewer bits are followed by zeros; more
// bits than the blocks carry, or a bit other than 0 and 1, are refused.
TEST(Sendchain, GivenInformationBits) {
    BuiltinHost host;
    for (const double rate : {75.0, 600.0, 2400.0, 4800.0}) {
        SCOPED_TRACE(rate);
        const ModeParams mode = rateconf(rate, 0.6);
        const double nFrame = rate == 75 ? 4 : 1;
        const SendchainOut drawn = sendchain(mode, nFrame, 9, host);
        const index_t K = bit_budget(mode, nFrame).info;
        RealArray info(K);
        std::copy_n(drawn.BitInCodIn.begin(), K, info.begin());
        const ComplexArray given = sendchain_bits(mode, nFrame, info, host).MultiplexOut;
        EXPECT_TRUE(std::equal(given.begin(), given.end(), drawn.MultiplexOut.begin(),
                               drawn.MultiplexOut.end()));

        RealArray head(3);
        head[0] = 1;
        head[2] = 1;
        const SendchainOut short_ = sendchain_bits(mode, nFrame, head, host);
        RealArray expected(drawn.BitInCodIn.numel());
        expected[0] = 1;
        expected[2] = 1;
        EXPECT_TRUE(std::equal(short_.BitInCodIn.begin(), short_.BitInCodIn.end(), expected.begin(),
                               expected.end()));
    }
    const ModeParams mode = rateconf(2400, 0.6);
    const struct {
        RealArray bits;
        const char* identifier;
    } refused[] = {{RealArray(1297), "hfchain:sendchain:TooManyBits"},
                   {RealArray{0, 2}, "hfchain:sendchain:NonBinaryBit"},
                   {RealArray{std::nan("")}, "hfchain:sendchain:NonBinaryBit"}};
    for (const auto& c : refused) {
        try {
            sendchain_bits(mode, 1, c.bits, host);
            ADD_FAILURE() << c.identifier;
        } catch (const Error& e) {
            EXPECT_EQ(e.identifier(), c.identifier);
        }
    }
}

}  // namespace
}  // namespace hfchain
