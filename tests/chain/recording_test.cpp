// The recording receiver on long basebands: transmissions found wherever they lie, between
// stretches of noise, under a frequency offset, and nothing found in noise alone; where each
// ends, when the recording stops within a block or another transmission follows directly.
#include "chain/recording.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "params/modes.hpp"
#include "params/rateconf.hpp"
#include "receiver/matchedfilter/pulsematch.hpp"
#include "runtime/builtin_host.hpp"
#include "shaping/pulseshaper.hpp"
#include "transmitter/constellation.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain {
namespace {

const RecordingSettings kSettings;
constexpr double kRate = 2400 * 4;  // baseband samples a second

struct Placed {
    double start;   // s; -1: right after the previous transmission's sound; -2: on its symbol
                    // grid, its next symbol (the sounds' tails overlap)
    double offset;  // Hz
    double seed;    // of the information bits
    double blocks;
    double rate = 0;  // bit/s of a transmission of another mode (0.6 s interleaver)
    double interLen = 0.6;
    double late = 0;       // s of its sound missing from its front (the recording began late)
    bool garbled = false;  // its data symbols replaced by random points (its probes kept)
    double fade = 0;       // dB its blocks after the first lie under the rest (a fade)
};

// White noise of variance `noise` with the transmissions added where they are placed.
Baseband recording(const ModeParams& mode, double seconds, double noise,
                   const std::vector<Placed>& placed, std::vector<RealArray>& sent) {
    std::mt19937 gen(5);
    std::normal_distribution<float> n(0, static_cast<float>(std::sqrt(noise / 2)));
    Baseband x(static_cast<std::size_t>(seconds * kRate));
    for (auto& v : x) v = {n(gen), n(gen)};
    BuiltinHost host;
    std::size_t after = 0;
    for (const Placed& p : placed) {
        const ModeParams own = p.rate > 0 ? rateconf(p.rate, p.interLen) : mode;
        SendchainOut tx = sendchain(own, p.blocks, p.seed, host);
        sent.push_back(tx.BitInCodIn);
        for (index_t k = own.preamSync.numel(); p.garbled && k < tx.MultiplexOut.numel(); ++k) {
            if (tx.ProbeInfo[k] == 0) tx.MultiplexOut[k] = psk_points()[gen() % 8];
        }
        const index_t block =
            (tx.MultiplexOut.numel() - own.preamSync.numel()) / static_cast<index_t>(p.blocks);
        for (index_t k = own.preamSync.numel() + block; k < tx.MultiplexOut.numel(); ++k) {
            tx.MultiplexOut[k] *= std::pow(10.0, -p.fade / 20);
        }
        const ComplexArray whole = pulseshaper(tx.MultiplexOut, kSettings.shaping).out;
        const auto cut = static_cast<index_t>(p.late * kRate);
        ComplexArray s(whole.numel() - cut);
        std::copy(whole.begin() + cut, whole.end(), s.begin());
        const auto tails = static_cast<std::size_t>(2 * kSettings.shaping.pulseDelay * 4);
        const std::size_t first = p.start == -1   ? after
                                  : p.start == -2 ? after - tails
                                                  : static_cast<std::size_t>(p.start * kRate);
        after = first + static_cast<std::size_t>(s.numel());
        for (index_t k = 0; k < s.numel() && first + k < x.size(); ++k) {
            const cdouble turned = s[k] * std::polar(1.0, 2 * M_PI * p.offset * k / kRate);
            x[first + k] += std::complex<float>(turned);
        }
    }
    return x;
}

TEST(Recording, FindsEachTransmissionBetweenNoise) {
    const struct {
        double rate;
        double interLen;
        std::vector<Placed> placed;
        double noise;
    } cases[] = {
        {2400, 0.6, {{0.7, 0, 3, 2}, {4.1, 23.5, 4, 1}}, 0.02},
        {600, 0.6, {{0.05, -40, 5, 1}, {2.9, 0, 6, 2}}, 0.05},
        {4800, 0.6, {{1.3, 5, 7, 1}, {3.0, 0, 8, 1}}, 0.005},
    };
    BuiltinHost host;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        const ModeParams mode = rateconf(c.rate, c.interLen);
        std::vector<RealArray> sent;
        const Baseband x = recording(mode, 6.5, c.noise, c.placed, sent);
        const auto found = receive_recording(x, mode, kSettings, host);
        ASSERT_EQ(found.size(), c.placed.size());
        for (std::size_t i = 0; i < found.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_NEAR(found[i].start, c.placed[i].start, 1.5 / 2400);
            EXPECT_NEAR(found[i].frequencyOffset, c.placed[i].offset, 0.5);
            EXPECT_FALSE(found[i].clockMeasured);
            ASSERT_EQ(found[i].blocks.size(), static_cast<std::size_t>(c.placed[i].blocks));
            for (const RecordedBlock& b : found[i].blocks) EXPECT_TRUE(b.decoded);
            const RealArray& bits = found[i].infoBits;
            ASSERT_GT(bits.numel(), 0);
            EXPECT_TRUE(std::equal(bits.begin(), bits.end(), sent[i].begin()));
        }
    }
}

// The sound of a transmission of `blocks` blocks of `mode`, s.
double sound_length(const ModeParams& mode, double blocks) {
    BuiltinHost host;
    const double symbols =
        static_cast<double>(sendchain(mode, blocks, 1, host).MultiplexOut.numel());
    return (symbols + 2 * kSettings.shaping.pulseDelay) / 2400;
}

// Where a transmission ends: the recording stops within its third block (its two whole blocks
// are kept), noise or silence follows, or another transmission follows directly, of the same mode
// (its preamble takes the place of a block, and its probes then fall where the first one's
// would) or of another; each transmission ends where its sound does. A transmission that fills
// the recording, its blocks in a fade 5 dB under its preamble, keeps them (the recording has no
// quiet part to tell the power a block must keep).
TEST(Recording, EachTransmissionEndsWhereItsSoundDoes) {
    const struct {
        const char* name;
        double rate;
        double seconds;
        std::vector<Placed> placed;
        double noise;
        std::vector<double> blocks;  // found, per transmission of `rate`
    } cases[] = {
        {"cut within a block", 2400, 2.5, {{0.4, 3, 3, 4}}, 0.02, {2}},
        {"then noise", 1200, 4.5, {{0.2, -8, 4, 3}}, 0.05, {3}},
        {"then silence", 600, 4.5, {{0.3, 0, 5, 2}}, 1e-12, {2}},
        {"same mode after its sound", 2400, 4.5, {{0.1, 5, 6, 2}, {-1, 5, 7, 3}}, 0.02, {2, 3}},
        {"same mode on its symbol grid", 1200, 4.5, {{0.1, 5, 6, 2}, {-2, 5, 7, 3}}, 0.02, {2, 3}},
        {"4.8 s, same mode directly after",
         2400,
         20,
         {{0.1, 0, 6, 1}, {-2, 0, 7, 1}},
         0.02,
         {1, 1}},
        {"another mode directly after", 600, 4.5, {{0.1, 0, 8, 2}, {-1, 0, 9, 2, 2400}}, 0.02, {2}},
        {"filling the recording, its blocks faded",
         2400,
         2.405,
         {{.start = 0, .offset = 2, .seed = 3, .blocks = 3, .fade = 5}},
         0.02,
         {3}},
    };
    BuiltinHost host;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ModeParams mode =
            rateconf(c.rate, std::string(c.name).starts_with("4.8") ? 4.8 : 0.6);
        std::vector<RealArray> sent;
        const Baseband x = recording(mode, c.seconds, c.noise, c.placed, sent);
        const auto found = receive_recording(x, mode, kSettings, host);
        ASSERT_EQ(found.size(), c.blocks.size());
        double start = 0;
        for (std::size_t i = 0; i < found.size(); ++i) {
            SCOPED_TRACE(i);
            const double tails = c.placed[i].start == -2 ? 12.0 / 2400 : 0;
            start = c.placed[i].start < 0
                        ? start + sound_length(mode, c.placed[i - 1].blocks) - tails
                        : c.placed[i].start;
            EXPECT_NEAR(found[i].start, start, 1.5 / 2400);
            ASSERT_EQ(found[i].blocks.size(), static_cast<std::size_t>(c.blocks[i]));
            for (const RecordedBlock& b : found[i].blocks) EXPECT_TRUE(b.decoded);
            EXPECT_NEAR(found[i].end, start + sound_length(mode, c.blocks[i]), 1.5 / 2400);
            // A cut transmission's last kept block lacks the code's closing bits: its last
            // few decoded bits may differ.
            const RealArray& bits = found[i].infoBits;
            const index_t cut = c.blocks[i] < c.placed[i].blocks ? 32 : 0;
            EXPECT_TRUE(std::equal(bits.begin(), bits.end() - cut, sent[i].begin()));
        }
    }
}

TEST(Recording, NoiseAloneHoldsNoTransmission) {
    const ModeParams mode = rateconf(1200, 0.6);
    std::vector<RealArray> sent;
    BuiltinHost host;
    const Baseband noise = recording(mode, 4, 1, {}, sent);
    EXPECT_TRUE(receive_recording(noise, mode, kSettings, host).empty());
    EXPECT_TRUE(receive_recording(Baseband(1000), mode, kSettings, host).empty());
    EXPECT_TRUE(receive_recording(noise, kSettings, host).empty());
    EXPECT_TRUE(receive_recording(Baseband(1000), kSettings, host).empty());
}

// Without a mode: each transmission decoded with the mode its preamble announces, among them
// one the recording entered deep in its 4.8 s preamble (decoded from its first data symbol, its
// start before the recording's) and one whose data is not its mode's (reported, its blocks not
// decoded, no bits).
TEST(Recording, AnyModeDecodesEachWithItsOwn) {
    const std::vector<Placed> placed = {
        {0, 0, 3, 1, 1200, 4.8, 3.2},  // 3.2 s of its 4.8 s preamble missing
        {7.0, 12, 4, 4, 75, 0.6},           {10.6, -30, 5, 1, 2400, 0.6},
        {12.4, 0, 6, 1, 600, 0.6, 0, true}, {14.2, 3, 7, 1, 4800, 0.6},
    };
    BuiltinHost host;
    std::vector<RealArray> sent;
    const Baseband x = recording(rateconf(2400, 0.6), 16, 0.02, placed, sent);
    const auto found = receive_recording(x, kSettings, host);
    ASSERT_EQ(found.size(), placed.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
        SCOPED_TRACE(i);
        const Placed& p = placed[i];
        const RecordedTransmission& t = found[i];
        EXPECT_EQ(kModes[t.mode].rate, p.rate);
        EXPECT_EQ(kModes[t.mode].interLen, p.interLen);
        EXPECT_GE(t.confidence, kLeastModeConfidence);
        EXPECT_TRUE(t.modeRead);
        EXPECT_NEAR(t.start, p.start - p.late, 1.5 / 2400);
        EXPECT_NEAR(t.frequencyOffset, p.offset, 0.5);
        EXPECT_NEAR(t.end, p.start - p.late + sound_length(rateconf(p.rate, p.interLen), p.blocks),
                    1.5 / 2400);
        ASSERT_EQ(t.blocks.size(), static_cast<std::size_t>(p.blocks));
        for (const RecordedBlock& b : t.blocks) EXPECT_EQ(b.decoded, !p.garbled);
        const RealArray& bits = t.infoBits;
        EXPECT_EQ(bits.numel() == 0, p.garbled);
        EXPECT_TRUE(std::equal(bits.begin(), bits.end(), sent[i].begin()));
    }
}

// Without a mode, a recording that begins in a transmission's data (0.3 s into its first block):
// the whole blocks after the entry decoded (on the probes, at 75 bit/s on the patterns), marked as
// entered late and ending where the transmission does, then the next transmission from its
// preamble.
TEST(Recording, AnyModeEntersATransmissionLate) {
    for (const double rate : {1200.0, 75.0}) {
        SCOPED_TRACE(rate);
        const std::vector<Placed> placed = {{0, 20, 8, 5, rate, 0.6, 0.9},
                                            {6.0, 0, 9, 1, 2400, 0.6}};
        BuiltinHost host;
        std::vector<RealArray> sent;
        const Baseband x = recording(rateconf(2400, 0.6), 8, 0.02, placed, sent);
        const auto found = receive_recording(x, kSettings, host);
        ASSERT_EQ(found.size(), 2U);
        const RecordedTransmission& t = found[0];
        EXPECT_TRUE(t.enteredLate);
        EXPECT_FALSE(found[1].enteredLate);
        EXPECT_EQ(kModes[t.mode].rate, rate);
        EXPECT_EQ(kModes[t.mode].interLen, 0.6);
        EXPECT_NEAR(t.start, 0.3, 1.5 / 2400);  // the second block's sound
        EXPECT_NEAR(t.frequencyOffset, 20, 0.5);
        ASSERT_EQ(t.blocks.size(), 4U);
        for (const RecordedBlock& b : t.blocks) EXPECT_TRUE(b.decoded);
        const auto blockBits = static_cast<index_t>(rate * 0.6);
        ASSERT_EQ(t.infoBits.numel(), 4 * blockBits);
        EXPECT_TRUE(std::equal(t.infoBits.begin(), t.infoBits.end(), sent[0].begin() + blockBits));
    }
}

TEST(Recording, ConfirmsAFindWhereItsPreambleEnds) {
    // A 75 bit/s transmission from 0.5 s, whole or entered 0.3 s late (in its second segment).
    BuiltinHost host;
    const ModeParams mode = rateconf(75, 0.6);
    const auto M = static_cast<double>(kSettings.shaping.oversamplingFactor);
    struct Row {
        double late;
        double moved;  // blocks the find is moved into the data
        bool confirmed;
    };
    for (const Row& row : {Row{0, 0, true}, Row{0, 2, false}, Row{0.3, 0, false}}) {
        SCOPED_TRACE(row.late + 10 * row.moved);
        std::vector<RealArray> sent;
        const Baseband x = recording(mode, 4, 0.02, {{0.5, 0, 3, 4, 0, 0.6, row.late}}, sent);
        ComplexArray received(static_cast<index_t>(x.size()));
        for (std::size_t k = 0; k < x.size(); ++k) received[static_cast<index_t>(k)] = x[k];
        const ComplexArray matched = pulsematch(received, kSettings.shaping, host).out;
        ModelockOut lock = modelock(matched, kSettings.shaping, {}, host);
        ASSERT_TRUE(lock.found);
        lock.firstData += row.moved * 1440 * M;
        EXPECT_EQ(confirms_find(matched, lock, kSettings.shaping, host), row.confirmed);
    }
}

TEST(Recording, TheFramesConfirmAFindWhosePreambleEndsInAFade) {
    // A 600 bit/s transmission with 4.8 s blocks from 0.3 s whose preamble's last three segments
    // lie 30 dB under the rest (a fade): its last segments do not confirm the find, the frames of
    // its first block do, where the find places that block.
    BuiltinHost host;
    const ModeParams mode = rateconf(600, 4.8);
    const auto index = static_cast<int>(find_mode(600, 4.8) - kModes);
    const auto other = static_cast<int>(find_mode(600, 0.6) - kModes);
    const index_t M = 4;
    std::vector<RealArray> sent;
    Baseband x = recording(mode, 11, 0, {{0.3, 0, 3, 1}}, sent);
    const auto first = static_cast<std::size_t>(0.3 * kRate);
    for (std::size_t k = (11520 - 1440) * M; k < 11520 * M; ++k) x[first + k] *= 0.03F;
    std::mt19937 gen(7);
    std::normal_distribution<float> noise(0, 0.1F);
    for (auto& v : x) v += std::complex<float>(noise(gen), noise(gen));
    ComplexArray received(static_cast<index_t>(x.size()));
    for (std::size_t k = 0; k < x.size(); ++k) received[static_cast<index_t>(k)] = x[k];
    const ComplexArray matched = pulsematch(received, kSettings.shaping, host).out;
    const ModelockOut lock = modelock(matched, kSettings.shaping, {}, host);
    ASSERT_TRUE(lock.found);
    ASSERT_EQ(lock.mode, index);
    EXPECT_FALSE(confirms_find(matched, lock, kSettings.shaping, host));
    const struct {
        double moved;  // segments the find is moved
        int mode;
        bool found;
    } rows[] = {{0, lock.mode, true}, {1, lock.mode, false}, {0, other, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.moved + 10 * row.mode);
        const double firstData = lock.firstData + row.moved * 480 * M;
        const BlocklockOut frames =
            frames_after_find(matched, row.mode, firstData, kSettings.shaping, host);
        EXPECT_EQ(frames.found, row.found);
        if (frames.found) {
            EXPECT_EQ(frames.blockStart, firstData);
        }
    }
    // The recording receiver decodes it.
    const auto found = receive_recording(x, kSettings, host);
    ASSERT_EQ(found.size(), 1U);
    EXPECT_EQ(found[0].mode, index);
    ASSERT_EQ(found[0].blocks.size(), 1U);
    EXPECT_TRUE(found[0].blocks[0].decoded);
}

}  // namespace
}  // namespace hfchain
