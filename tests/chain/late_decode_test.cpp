// Decoding after a late entry: a receiver that starts in the middle of a transmission's first
// data block finds the next block with blocklock and decodes every whole block after it without
// error at a high Es/N0, for each frame geometry (32 + 16 and 20 + 20 with probes, and the
// 75 bit/s patterns with either interleaver).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "chain/hf_receiver.hpp"
#include "channel/hfchannel.hpp"
#include "params/modes.hpp"
#include "params/rateconf.hpp"
#include "receiver/blocklock/blocklock.hpp"
#include "receiver/matchedfilter/pulsematch.hpp"
#include "runtime/builtin_host.hpp"
#include "shaping/pulseshaper.hpp"
#include "transmitter/bitbudget.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain {
namespace {

const VarShapping kShaping{0.35, 6, 5};
constexpr index_t M = 5;

TEST(LateDecode, TheWholeBlocksAfterAnEntryInsideABlockDecode) {
    // Two equal paths 2 ms apart where `spread` is set (Hz), else one fixed path.
    const struct {
        double rate;
        index_t entry;  // data symbol of the first block at which the receiver starts
        double offset;  // Hz
        double spread;
        double nFrame = 2;  // blocks asked for (one: no flush bits among them at all)
        double interLen = 0.6;
        double blocks = 3;  // blocks sent
    } cases[] = {
        {2400, 700, 30, 0},
        {2400, 333, -50, 1},
        {600, 1000, 12, 0},
        {150, 555, -5, 1},
        {150, 900, 40, 0, 1},
        {75, 700, 20, 1, 2, 0.6, 5},
        {75, 1200, -60, 0, 1, 0.6, 5},
        {75, 5000, -35, 1, 1, 4.8, 3},
    };
    BuiltinHost host;
    for (const auto& c : cases) {
        const std::string name =
            std::to_string(c.rate) + " bit/s, " + std::to_string(c.interLen) + " s";
        const ModeParams mode = rateconf(c.rate, c.interLen);
        const double blocks = c.blocks;
        const SendchainOut tx = sendchain(mode, blocks, 9, host);
        HfChannel channel{{{0, 0, 0, 0}}, c.offset};
        if (c.spread > 0) {
            channel.paths = {{0, -3, c.spread, 0}, {24.0 / (2400 * M), -3, c.spread, 0}};
        }
        const ComplexArray x = pulseshaper(tx.MultiplexOut, kShaping).out;
        const HfchannelOut y = hfchannel(x, {channel, 25, 4}, kShaping, host);
        const ComplexArray matched = pulsematch(y.AwgnOut, kShaping).out;
        const index_t cut = (mode.preamSync.numel() + c.entry) * M;
        ComplexArray heard(matched.numel() - cut);
        std::copy(matched.begin() + cut, matched.end(), heard.begin());

        const BlocklockOut lock = blocklock(heard, kShaping, {});
        ASSERT_TRUE(lock.found) << name;
        HfSettings settings;
        settings.shaping = kShaping;
        settings.nFrame = c.nFrame;
        const HfLateReceived r =
            receive_hf_late(heard, lock.blockStart, lock.offset, mode, settings, host);
        // Blocks 1 (and 2) of the transmission, their encoder input bits.
        ASSERT_EQ(r.blocks, c.nFrame) << name;
        const index_t B = bit_budget(mode, blocks).total / static_cast<index_t>(blocks);
        const auto n = static_cast<index_t>(c.nFrame) * B;
        const RealArray& bits = r.decoding.decoded.DecodOut;
        ASSERT_EQ(bits.numel(), n) << name;
        index_t errors = 0;
        for (index_t k = 0; k < n; ++k) errors += bits[k] != tx.BitInCodIn[B + k];
        EXPECT_EQ(errors, 0) << name;
    }
}

// What follows the blocks decoded (the next blocks, or the silence after a transmission) does not
// change their decoding: the sounding reads the noise over the frames it sounds. It once read the
// received power to the end of the input, so that a silence after the blocks lowered the noise
// the path search allowed for, and the data between the probes then raised spurious paths.
TEST(LateDecode, ASilenceAfterTheBlocksChangesNothing) {
    const ModeParams mode = rateconf(2400, 0.6);
    BuiltinHost host;
    const SendchainOut tx = sendchain(mode, 2, 9, host);
    const HfChannel channel{{{0, -3, 1, 0}, {24.0 / (2400 * M), -3, 1, 0}}, 0};
    const ComplexArray x = pulseshaper(tx.MultiplexOut, kShaping).out;
    const HfchannelOut y = hfchannel(x, {channel, 25, 4}, kShaping, host);
    const ComplexArray matched = pulsematch(y.AwgnOut, kShaping).out;
    const index_t cut = mode.preamSync.numel() * M;  // at the first block's first symbol
    const index_t heard = matched.numel() - cut;
    ComplexArray silent(heard + 8 * 1440 * M);  // eight blocks of silence after the transmission
    std::copy(matched.begin() + cut, matched.end(), silent.begin());
    ComplexArray alone(heard);
    std::copy(matched.begin() + cut, matched.end(), alone.begin());
    HfSettings settings;
    settings.shaping = kShaping;
    settings.nFrame = 1;
    const double start = 2.0 * 6 * M + 1;
    const HfLateReceived a = receive_hf_late(alone, start, 0, mode, settings, host);
    const HfLateReceived b = receive_hf_late(silent, start, 0, mode, settings, host);
    ASSERT_EQ(a.blocks, 1);
    ASSERT_EQ(b.blocks, 1);
    const auto same = [](const RealArray& u, const RealArray& v) {
        return u.numel() == v.numel() && std::equal(u.begin(), u.end(), v.begin());
    };
    EXPECT_EQ(a.sounding.delays.numel(), 2);
    EXPECT_TRUE(same(b.sounding.delays, a.sounding.delays));
    EXPECT_EQ(b.sounding.noiseVar, a.sounding.noiseVar);
    EXPECT_TRUE(same(b.decoding.decoded.DecodOut, a.decoding.decoded.DecodOut));
}

}  // namespace
}  // namespace hfchain
