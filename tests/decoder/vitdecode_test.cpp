#include "receiver/decoder/vitdecode.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "receiver/decoder/sisodecode.hpp"
#include "receiver/deinterleave/unshuffle.hpp"
#include "receiver/demod/symslicer.hpp"
#include "receiver/softdemod/softslicer.hpp"
#include "runtime/builtin_host.hpp"
#include "tests/receiver/expect_error.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain {
namespace {

using testing::expect_error;

constexpr double kInf = std::numeric_limits<double>::infinity();

ModeParams parameter_set(double interl, double b = 3, double R = 1, double rate = 2400) {
    ModeParams mode = modeconf(interl);
    mode.bitsToSym = b;
    mode.repFactor = R;
    mode.rate = rate;
    return mode;
}

void expect_decoded(const VitdecodeOut& out, const SendchainOut& tx, const std::string& name) {
    ASSERT_EQ(out.DecodOut.numel(), tx.BitInCodIn.numel()) << name;
    EXPECT_EQ(out.DecodOut.cols(), 1);
    for (index_t k = 0; k < out.DecodOut.numel(); ++k) {
        ASSERT_EQ(out.DecodOut[k], tx.BitInCodIn[k]) << name << ", bit " << k;
    }
    ASSERT_LE(out.InfoBits.numel(), out.DecodOut.numel() - 144) << name;
    for (index_t k = 0; k < out.InfoBits.numel(); ++k) ASSERT_EQ(out.InfoBits[k], tx.BitInCodIn[k]);
}

// Symbol level without noise: sendchain's data symbols -> softslicer -> unshuffle -> vitdecode
// gives back every encoder input bit, for both interleavers, whole and fractional block counts,
// every bits-per-symbol setting and repeated coded bits.
TEST(Vitdecode, NoiselessTransmissionsDecodeExactly) {
    struct Case {
        double interl;
        double nFrame;
        double b;
        double R;
        index_t info;  // K
    };
    const Case cases[] = {
        {0.6, 1, 3, 1, 1296},    {0.6, 2, 3, 1, 2736},   {0.6, 1.5, 3, 1, 2016},
        {0.6, 0.25, 3, 1, 216},  {4.8, 1, 3, 1, 11376},  {4.8, 0.125, 3, 1, 1296},
        {4.8, 2.5, 3, 1, 28656}, {0.6, 1, 2, 1, 1296},   {0.6, 1, 1, 1, 1296},
        {0.6, 1, 3, 2, 576},     {0.6, 2.5, 2, 3, 1056},
    };
    BuiltinHost host;
    for (const Case& c : cases) {
        const std::string name = std::to_string(c.interl) + " s, nFrame " +
                                 std::to_string(c.nFrame) + ", b " + std::to_string(c.b) + ", R " +
                                 std::to_string(c.R);
        const ModeParams mode = parameter_set(c.interl, c.b, c.R);
        const SendchainOut tx = sendchain(mode, c.nFrame, 31, host);
        const RealArray llr = softslicer(tx.ComplexPSKSymbols, RealArray{0.3}, mode).LLR;
        const RealArray deinterleaved = unshuffle(llr, mode).out;
        const VitdecodeOut out = vitdecode(deinterleaved, mode, c.nFrame);
        ASSERT_EQ(out.InfoBits.numel(), c.info) << name;
        EXPECT_EQ(out.InfoBits.cols(), 1);
        expect_decoded(out, tx, name);
    }
}

// The decoder does not care which demapper made the ratios: at 75 bit/s symslicer's hard bits,
// as ratios of +-1, decode to the bits sent.
TEST(Vitdecode, DecodesHardBitsOfThe75BitPerSecondMode) {
    const ModeParams mode = parameter_set(0.6, 2, 1, 75);
    BuiltinHost host;
    const SendchainOut tx = sendchain(mode, 1, 8, host);
    const RealArray bits = symslicer(tx.ComplexPSKSymbols, mode).DemapOut;
    RealArray llr(bits.numel());
    for (index_t k = 0; k < bits.numel(); ++k) llr[k] = 1 - 2 * bits[k];
    expect_decoded(vitdecode(unshuffle(llr, mode).out, mode, 1), tx, "75 bit/s");
}

// Deinterleaving soft values moves them unchanged: every value the interleaver gathered comes back
// to its place bit for bit, whatever its magnitude, sign, infinity or signed zero.
TEST(Vitdecode, UnshuffleMovesRatiosExactly) {
    for (const double interl : {0.6, 4.8}) {
        const ModeParams mode = modeconf(interl);
        const index_t T = mode.interTable.numel();
        BuiltinHost host(3);
        const RealArray z = host.randn(2 * T, 1);
        RealArray coded(2 * T);
        for (index_t i = 0; i < 2 * T; ++i) coded[i] = std::ldexp(z[i], (i % 41) * 25 - 500);
        coded[5] = kInf;
        coded[6] = -kInf;
        coded[7] = -0.0;
        RealArray interleaved(2 * T);
        for (index_t j = 0; j < 2; ++j) {
            for (index_t k = 0; k < T; ++k) {
                interleaved[j * T + k] =
                    coded[j * T + static_cast<index_t>(mode.interTable[k]) - 1];
            }
        }
        const RealArray out = unshuffle(interleaved, mode).out;
        ASSERT_EQ(out.numel(), 2 * T);
        for (index_t i = 0; i < 2 * T; ++i) {
            ASSERT_EQ(out[i], coded[i]) << i;
            ASSERT_EQ(std::signbit(out[i]), std::signbit(coded[i])) << i;
        }
    }
}

// Repeated copies add their ratios: a copy that contradicts a stronger one is outvoted, and a pair
// of equal and opposite copies is an erasure the code fills in.
TEST(Vitdecode, CombinesRepeatedCopies) {
    const ModeParams mode = parameter_set(0.6, 3, 2);
    BuiltinHost host;
    const SendchainOut tx = sendchain(mode, 1, 12, host);
    RealArray llr(tx.CodOutInterIn.numel());
    for (index_t k = 0; k < llr.numel(); ++k) {
        const double sign = 1 - 2 * tx.CodOutInterIn[k];
        const bool first_copy = (k / 2) % 2 == 0;
        // Every 7th step: the second copy is wrong and weaker. Every 11th: the copies cancel.
        const index_t step = k / 4;
        double value = sign * 2;
        if (!first_copy && step % 7 == 0) value = -sign;
        if (!first_copy && step % 11 == 0) value = -sign * 2;
        llr[k] = value;
    }
    expect_decoded(vitdecode(llr, mode, 1), tx, "repeated copies");
}

TEST(Vitdecode, SureBitsAndErasures) {
    const ModeParams mode = modeconf(0.6);
    BuiltinHost host;
    const SendchainOut tx = sendchain(mode, 1, 2, host);
    RealArray llr(tx.CodOutInterIn.numel());
    // Every coded bit sure, except runs of erasures of up to 9 bits every 60 bits.
    for (index_t k = 0; k < llr.numel(); ++k) {
        llr[k] = k % 60 < 9 ? 0.0 : (tx.CodOutInterIn[k] != 0 ? -kInf : kInf);
    }
    expect_decoded(vitdecode(llr, mode, 1), tx, "sure bits and erasures");
}

TEST(Vitdecode, Failures) {
    const ModeParams mode = modeconf(0.6);
    const RealArray right(2880);
    RealArray with_nan(2880);
    with_nan[1233] = std::nan("");
    RealArray opposite(2880);
    opposite[1201] = kInf;   // step 201, second coded bit, first copy
    opposite[1205] = -kInf;  // ... its third copy
    struct Case {
        const char* name;
        RealArray in;
        ModeParams mode;
        double nFrame;
        const char* identifier;
        const char* text;
    };
    const Case cases[] = {
        {"uncoded", right, parameter_set(0.6, 3, 1, 4800), 1, "hfchain:vitdecode:Uncoded",
         "uncoded"},
        {"repFactor 0", right, parameter_set(0.6, 3, 0), 1, "hfchain:vitdecode:RepFactor",
         "it is 0."},
        {"repFactor 1.5", right, parameter_set(0.6, 3, 1.5), 1, "hfchain:vitdecode:RepFactor",
         "it is 1.5."},
        {"repFactor NaN", right, parameter_set(0.6, 3, std::nan("")), 1,
         "hfchain:vitdecode:RepFactor", "it is NaN."},
        {"no frames", right, mode, 0, "", "Erro: Total de frames insuficientes para transmissao"},
        {"K not whole", right, mode, 0.3337, errid::kNonIntegerSize, ""},
        {"one short", RealArray(2879), mode, 1, "hfchain:vitdecode:WrongLength",
         "DecoderIn holds 2879 values; this milstd and nFrame = 1 need 2880 (1440 encoder input "
         "bits, 2 coded bits each)."},
        {"two blocks for one", RealArray(5760), mode, 1, "hfchain:vitdecode:WrongLength",
         "holds 5760 values"},
        {"repeated copies", right, parameter_set(0.6, 3, 2), 2, "hfchain:vitdecode:WrongLength",
         "need 5760 (1440 encoder input bits, 4 coded bits each)"},
        {"empty", RealArray(0), mode, 1, "hfchain:vitdecode:WrongLength", "holds 0 values"},
        {"NaN", with_nan, mode, 1, "hfchain:vitdecode:NaN", "DecoderIn(1234) is NaN"},
        {"NaN copy", with_nan, parameter_set(0.6, 3, 2), 0.5, "hfchain:vitdecode:NaN",
         "DecoderIn(1234) is NaN"},
        {"opposite sure copies", opposite, parameter_set(0.6, 3, 3), 0.75, "hfchain:vitdecode:NaN",
         "The 3 copies of one coded bit, DecoderIn(1202) to DecoderIn(1206) in steps of 2, add up "
         "to NaN"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expect_error([&] { vitdecode(c.in, c.mode, c.nFrame); }, c.identifier, c.text);
    }
}

// Whole blocks cut from inside a transmission: the encoder enters them in the state its earlier
// bits left, which an open trellis decodes (both decoders) and one that starts in state 0 does
// not. Noiseless ratios of the coded bits of block `block` (of three) alone.
TEST(Vitdecode, AnOpenTrellisDecodesABlockFromInsideATransmission) {
    const struct {
        double interl;
        double R;
        index_t block;
    } cases[] = {{0.6, 1, 1}, {0.6, 1, 2}, {0.6, 2, 1}, {4.8, 1, 1}};
    BuiltinHost host;
    for (const auto& c : cases) {
        const ModeParams mode = parameter_set(c.interl, 3, c.R, c.R > 1 ? 1200 : 2400);
        const SendchainOut tx = sendchain(mode, 3, 11, host);
        const index_t T = mode.interTable.numel();
        const index_t B = T / (2 * static_cast<index_t>(c.R));
        RealArray llr(T);
        for (index_t k = 0; k < T; ++k) llr[k] = tx.CodOutInterIn[c.block * T + k] != 0 ? -4 : 4;
        const std::string name = std::to_string(c.interl) + " s, repFactor " + std::to_string(c.R) +
                                 ", block " + std::to_string(c.block);
        const VitdecodeOut open = vitdecode(llr, mode, 1, TrellisEnds::open);
        ASSERT_EQ(open.DecodOut.numel(), B) << name;
        for (index_t k = 0; k < B; ++k) {
            ASSERT_EQ(open.DecodOut[k], tx.BitInCodIn[c.block * B + k]) << name << ", bit " << k;
        }
        const VitdecodeOut zero = vitdecode(llr, mode, 1);
        index_t wrong = 0;
        for (index_t k = 0; k < B; ++k) wrong += zero.DecodOut[k] != tx.BitInCodIn[c.block * B + k];
        EXPECT_GT(wrong, 0) << name << ": the block's encoder began in state 0";
        if (c.R > 1) continue;
        std::vector<float> in(T), prior(B), extrinsic(T), app(B);
        std::vector<float> alpha(siso_workspace(B));
        for (index_t k = 0; k < T; ++k) in[k] = static_cast<float>(llr[k]);
        siso_maxlog(B, in.data(), prior.data(), extrinsic.data(), app.data(), alpha.data(),
                    SisoKernel::automatic, TrellisEnds::open);
        for (index_t k = 0; k < B; ++k) {
            ASSERT_EQ(app[k] < 0 ? 1.0 : 0.0, tx.BitInCodIn[c.block * B + k])
                << name << ", bit " << k;
        }
    }
}

}  // namespace
}  // namespace hfchain
