// Noiseless round trips of every data rate through the transmitter and the baseline receiver:
// sendchain -> unframer -> symslicer -> unshuffle, straight from the transmitted symbols and
// through pulse shaping, the matched filter, frame synchronisation and symbol timing.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "params/rateconf.hpp"
#include "receiver/deinterleave/unshuffle.hpp"
#include "receiver/demod/symslicer.hpp"
#include "receiver/demux/unframer.hpp"
#include "receiver/framesync/framelock.hpp"
#include "receiver/matchedfilter/pulsematch.hpp"
#include "receiver/timing/tickalign.hpp"
#include "runtime/builtin_host.hpp"
#include "shaping/pulseshaper.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain {
namespace {

struct RoundTrip {
    double rate, interLen;
    std::vector<double> nFrames;  // whole and fractional; the first also runs through shaping
    index_t blocks;               // interleaver blocks sent for the first nFrame
};

// With the 0.6 s interleaver a block of 150 bit/s carries 90 encoder input bits and one of
// 75 bit/s 45, fewer than the 144 flush bits: they need more than 1.6 and 3.2 blocks.
const RoundTrip kRoundTrips[] = {
    {4800, 0.6, {1, 0.5, 1.5, 2}, 1}, {2400, 0.6, {1, 0.5, 1.5}, 1}, {2400, 4.8, {1, 0.5}, 1},
    {1200, 0.6, {1, 0.5, 1.5, 3}, 1}, {1200, 4.8, {0.5, 1.5}, 1},    {600, 0.6, {1, 0.5, 2.5}, 1},
    {600, 4.8, {1, 0.25}, 1},         {300, 0.6, {1, 1.5, 2}, 1},    {300, 4.8, {1, 0.5}, 1},
    {150, 0.6, {2, 1.7, 2.5, 3}, 2},  {150, 4.8, {1, 0.5, 1.5}, 1},  {75, 0.6, {4, 3.4, 4.2, 6}, 4},
    {75, 4.8, {1, 0.5, 1.5}, 1},
};

// The coded bits that the baseline receiver gives back from the data symbols `symbols`, checked
// stage by stage against what was sent.
void expect_every_bit_back(const ModeParams& m, const SendchainOut& tx,
                           const ComplexArray& symbols) {
    const UnframerOut data = unframer(symbols, m);
    ASSERT_EQ(data.out.numel(), tx.ComplexPSKSymbols.numel());
    const SymslicerOut demod = symslicer(data.out, m);
    ASSERT_EQ(demod.DemapOut.numel(), tx.InterOutMapIn.numel());
    for (index_t k = 0; k < demod.DemapOut.numel(); ++k) {
        ASSERT_EQ(demod.DemapOut[k], tx.InterOutMapIn[k]) << "interleaved bit " << k;
    }
    if (is_uncoded(m)) {
        // Uncoded and not interleaved: the decisions are the information bits themselves.
        for (index_t k = 0; k < demod.DemapOut.numel(); ++k) {
            ASSERT_EQ(demod.DemapOut[k], tx.BitInCodIn[k]) << "bit " << k;
        }
        return;
    }
    const UnshuffleOut deinterleaved = unshuffle(demod.DemapOut, m);
    ASSERT_EQ(deinterleaved.out.numel(), tx.CodOutInterIn.numel());
    for (index_t k = 0; k < deinterleaved.out.numel(); ++k) {
        ASSERT_EQ(deinterleaved.out[k], tx.CodOutInterIn[k]) << "coded bit " << k;
    }
}

class Rates : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(Rates, EveryCodedBitComesBackStraightFromTheSymbols) {
    const RoundTrip c = GetParam();
    const ModeParams m = rateconf(c.rate, c.interLen);
    for (const double nFrame : c.nFrames) {
        SCOPED_TRACE(testing::Message() << "nFrame " << nFrame);
        BuiltinHost host;
        const SendchainOut tx = sendchain(m, nFrame, 11, host);
        const auto T = m.interTable.numel();
        const index_t blocks = static_cast<index_t>(std::ceil(nFrame - 1e-9));
        // A fractional nFrame is completed to whole blocks; the bits beyond it are padding zeros.
        const double coded = is_uncoded(m) ? 1 : 2 * m.repFactor;
        EXPECT_EQ(tx.InterOutMapIn.numel(), blocks * T);
        EXPECT_EQ(static_cast<double>(tx.BitInCodIn.numel()), blocks * T / coded);
        const double info = nFrame * T / coded - 144;
        for (index_t k = static_cast<index_t>(info); k < tx.BitInCodIn.numel(); ++k) {
            ASSERT_EQ(tx.BitInCodIn[k], 0) << "bit " << k;
        }
        // A block lasts interLen seconds at 2400 symbols/s, after the preamble.
        EXPECT_EQ(tx.MultiplexOut.numel(),
                  m.preamSync.numel() + std::lround(blocks * c.interLen * 2400));
        expect_every_bit_back(m, tx, tx.MultiplexOut);
    }
}

TEST_P(Rates, EveryCodedBitComesBackThroughShapingAndSynchronisation) {
    const RoundTrip c = GetParam();
    const ModeParams m = rateconf(c.rate, c.interLen);
    BuiltinHost host;
    const SendchainOut tx = sendchain(m, c.nFrames[0], 5, host);
    const VarShapping shaping{0.35, 6, 2};
    const PulsematchOut matched = pulsematch(pulseshaper(tx.MultiplexOut, shaping).out, shaping);
    const RealArray start = framelock(matched.out, m, shaping);
    ASSERT_EQ(start.numel(), 1);
    EXPECT_EQ(start[0], 2 * 6 * 2 + 1);
    const TickalignOut symbols = tickalign(matched.out, start[0], shaping);
    expect_every_bit_back(m, tx, symbols.out);
    EXPECT_EQ(tx.InterOutMapIn.numel(), c.blocks * m.interTable.numel());
}

// Fewer than 145 encoder input bits leave no room for an information bit after the 144 flush
// bits: with B input bits a block, nFrame = 144 / B is refused (K = 0 in exact arithmetic,
// within rounding of it in doubles); so is an nFrame that makes K fractional.
TEST_P(Rates, TooFewBlocksOrAFractionalBitAreRefused) {
    const RoundTrip c = GetParam();
    const ModeParams m = rateconf(c.rate, c.interLen);
    const double B = m.interTable.numel() / (is_uncoded(m) ? 1 : 2 * m.repFactor);
    BuiltinHost host;
    try {
        sendchain(m, 144 / B, 1, host);
        ADD_FAILURE() << "no error at nFrame " << 144 / B;
    } catch (const Error& e) {
        EXPECT_EQ(e.identifier(), "");
        EXPECT_EQ(std::string(e.what()), "Erro: Total de frames insuficientes para transmissao");
    }
    // Half an input bit beyond a whole count of them.
    const double half = (145 + 0.5) / B;
    try {
        sendchain(m, half, 1, host);
        ADD_FAILURE() << "no error at nFrame " << half;
    } catch (const Error& e) {
        EXPECT_EQ(e.identifier(), "Coder:MATLAB:NonIntegerInput") << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(EveryRateAndInterleaver, Rates, ::testing::ValuesIn(kRoundTrips),
                         [](const testing::TestParamInfo<RoundTrip>& info) {
                             return std::to_string(static_cast<int>(info.param.rate)) + "_" +
                                    (info.param.interLen == 0.6 ? "short" : "long");
                         });

}  // namespace
}  // namespace hfchain
