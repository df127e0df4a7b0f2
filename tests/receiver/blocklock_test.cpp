#include "receiver/blocklock/blocklock.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "channel/hfchannel.hpp"
#include "params/modes.hpp"
#include "params/rateconf.hpp"
#include "receiver/matchedfilter/pulsematch.hpp"
#include "runtime/builtin_host.hpp"
#include "shaping/pulseshaper.hpp"
#include "tests/channel/recording_host.hpp"
#include "tests/receiver/expect_error.hpp"
#include "tests/support/signals.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain {
namespace {

using testing::expect_error;

const VarShapping kShaping{0.35, 6, 5};
constexpr index_t M = 5;
constexpr index_t kDelay = 2 * 6 * M;  // the filters' delay: symbol n peaks at sample kDelay + n M

int mode_index(double rate, double interLen) {
    return static_cast<int>(find_mode(rate, interLen) - kModes);
}

// A transmission of `blocks` blocks of `mode` through `channel` at Es/N0 `EsNodB`, matched-
// filtered, as a receiver hears it from `entry` symbols after the preamble's first on, for `heard`
// symbols (0: to the end).
struct Late {
    ComplexArray heard;
    index_t preamble = 0;  // symbols
};

// Two fixed paths `apart` samples apart, the first (amplitude 0.9) dropped to 0.03 over the last
// two frames of every block while the second (0.45) carries them: step 1 times the first.
ComplexArray closing_on_second_path(const ComplexArray& x, const Mode& mode, index_t preamble,
                                    index_t apart) {
    const index_t block = static_cast<index_t>(std::lround(mode.interLen * 2400));
    const index_t closing = 2 * (mode.data + mode.trein);
    ComplexArray y(x.numel());
    for (index_t n = 0; n < x.numel(); ++n) {
        const index_t symbol = n / M - 6 - preamble;  // the shaper's delay is 6 symbols
        const bool fade = symbol >= 0 && (symbol + closing + 2) % block < closing + 4;
        y[n] = (fade ? 0.03 : 0.9) * x[n] + (n >= apart ? 0.45 * x[n - apart] : 0.0);
    }
    return y;
}

Late late_entry(const Mode& mode, double blocks, const HfChannel& channel, double EsNodB,
                index_t entry, double seed, index_t heard, index_t apart = 0) {
    BuiltinHost host;
    const ModeParams params = rateconf(mode.rate, mode.interLen);
    const SendchainOut tx = sendchain(params, blocks, seed, host);
    const ComplexArray shaped = pulseshaper(tx.MultiplexOut, kShaping).out;
    const ComplexArray x =
        apart > 0 ? closing_on_second_path(shaped, mode, params.preamSync.numel(), apart) : shaped;
    const HfchannelOut y = hfchannel(x, {channel, EsNodB, seed + 1}, kShaping, host);
    const ComplexArray matched = pulsematch(y.AwgnOut, kShaping).out;
    Late late;
    late.preamble = params.preamSync.numel();
    const index_t cut = (late.preamble + entry) * M;
    late.heard = ComplexArray(heard > 0 ? heard * M : matched.numel() - cut);
    for (index_t n = 0; n < late.heard.numel(); ++n) late.heard[n] = matched[cut + n];
    return late;
}

HfChannel fixed_path(double offset) { return {{{0, 0, 0, 0}}, offset}; }

// Two equal paths 2 ms (24 samples) apart, 1 Hz spread.
HfChannel two_paths(double offset) {
    return {{{0, -3, 1, 0}, {24.0 / (2400 * 5), -3, 1, 0}}, offset};
}

TEST(Blocklock, FindsTheNextBlockAndTheMode) {
    struct Case {
        double rate, interLen, blocks;
        index_t entry;  // symbols after the preamble
        double EsNodB, offset;
        bool fading;
        index_t heard = 0;  // symbols heard, 0: to the transmission's end
        double seed = 0;    // 0: the row's number
        index_t apart = 0;  // > 0: the closing frames on a second path this many samples
                            // behind, the timed path all but lost over them (not fading)
    };
    const Case cases[] = {
        {2400, 0.6, 3, 0, 10, 0, false},
        {2400, 0.6, 3, 700, 10, -60, true},
        {4800, 0.6, 3, 500, 15, 30, false},
        {600, 0.6, 3, 1440, 3, 75, false},
        {600, 0.6, 3, 200, 6, -20, true},
        {1200, 4.8, 2, 5000, 6, 12, false},
        {75, 0.6, 4, 0, -3, 50, false},
        {75, 0.6, 6, 1000, 3, -40, true},
        {75, 4.8, 2, 3000, -3, 0, false},
        // Two blocks at 150 bit/s are mostly closing zero bits, which score higher as 75 bit/s
        // patterns than in their own frames; the entry is in the preamble's last segment.
        {150, 0.6, 2, -300, 10, 20, false},
        {150, 0.6, 2, -100, 3, -50, true},
        // Entered in the preamble's last segment and cut before the first block's closing
        // frames: the preamble's tail (d1, d2, the count 0) names the mode and places the block.
        {2400, 0.6, 1, -300, 10, 20, false, 1440},
        {1200, 4.8, 1, -250, 6, -40, false, 1600},
        {75, 0.6, 4, -200, 3, 10, false, 1440},
        {600, 0.6, 1, -280, 8, -30, true, 1440},
        {150, 4.8, 1, -220, 3, 60, false, 1500},
        // Entered in a 4.8 s block through fading and heard to the next block's end (two closing
        // pairs, one of them in a fade): the probes also score as 75 bit/s patterns, where the
        // likeliest of many block ends claims more by chance than the faded pair; and a tail
        // that fits by chance must not hide the closing frames.
        {2400, 4.8, 3, 6802, 1, 20, true, 16298, 118},
        {2400, 4.8, 3, 1684, 1, 20, true, 21416, 236},
        {600, 4.8, 3, 6802, 1, 20, true, 16298, 118},
        // Two paths, the timed one all but lost over every block's closing frames while the
        // other carries them: they are read on both paths, up to the largest differential delay
        // (12 symbols, 60 samples).
        {2400, 0.6, 3, 700, 6, 30, false, 2250, 0, 24},
        {600, 4.8, 3, 5000, 6, -40, false, 18200, 0, 24},
        {75, 0.6, 6, 1000, 8, 10, false, 2250, 0, 24},
        {600, 0.6, 4, 200, 6, 15, false, 0, 0, 60},
    };
    double row = 1;
    for (const Case& c : cases) {
        const Mode& mode = *find_mode(c.rate, c.interLen);
        const HfChannel ch = c.fading ? two_paths(c.offset) : fixed_path(c.offset);
        const double seed = c.seed > 0 ? c.seed : row;
        ++row;
        const Late late = late_entry(mode, c.blocks, ch, c.EsNodB, c.entry, seed, c.heard, c.apart);
        const BlocklockOut got = blocklock(late.heard, kShaping, {});
        const index_t block = static_cast<index_t>(std::lround(c.interLen * 2400));
        // The next block's first symbol, after the preamble (the entries are all 12 or more
        // symbols past a block start, or on one: the filters' delay keeps 12 symbols' peaks).
        const index_t next = (c.entry + block - 1) / block * block;
        const std::string what = std::string(mode.name) + ", entry " + std::to_string(c.entry);
        EXPECT_TRUE(got.found) << what;
        EXPECT_EQ(got.mode, mode_index(c.rate, c.interLen)) << what;
        EXPECT_GT(got.confidence, 0.99) << what;
        EXPECT_NEAR(got.offset, c.offset, c.fading ? 2 : 0.2) << what;
        const double expected = static_cast<double>(kDelay + (next - c.entry) * M + 1);
        EXPECT_LE(std::abs(got.blockStart - expected), c.fading ? 24 + 1 : 1)
            << what << ": " << got.blockStart << " for " << expected << ", score " << got.score;
    }
}

// Entered through fading where what was heard cannot tell the mode or the block surely (its
// closing frames in a fade; at 75 bit/s two block ends, whose spacing alone tells 0.6 s from
// 4.8 s): the reading is right, or its confidence says it may not be.
TEST(Blocklock, AnUncertainReadingIsNotSure) {
    struct Case {
        double rate, interLen, blocks;
        index_t entry;  // symbols after the preamble, in the first block
        double EsNodB, seed;
    };
    const Case cases[] = {
        {2400, 4.8, 3, 6402, 1, 198},
        {2400, 4.8, 3, 4118, 1, 202},
        {75, 0.6, 6, 996, 3, 164},
        {75, 0.6, 6, 602, 3, 158},
    };
    for (const Case& c : cases) {
        const Mode& mode = *find_mode(c.rate, c.interLen);
        const index_t block = static_cast<index_t>(std::lround(c.interLen * 2400));
        const Late late = late_entry(mode, c.blocks, two_paths(20), c.EsNodB, c.entry, c.seed,
                                     2 * block - c.entry + 60);
        const BlocklockOut got = blocklock(late.heard, kShaping, {});
        const double expected = static_cast<double>(kDelay + (block - c.entry) * M + 1);
        const bool right = got.found && got.mode == mode_index(c.rate, c.interLen) &&
                           std::abs(got.blockStart - expected) <= 24 + 1;
        EXPECT_TRUE(right || got.confidence < 0.9)
            << mode.name << ", seed " << c.seed << ": mode " << got.mode << " at " << got.blockStart
            << " for " << expected << ", confidence " << got.confidence;
    }
}

// Entered in the last segment of a 0.6 s preamble, 150 bit/s through fading at Es/N0 0 dB: a
// transmission with probes closes its blocks with d1 and d2, patterns of the other four columns,
// which show a 75 bit/s block boundary too; where its own frames were timed off it was read as
// 75 bit/s, surely (3 of these 30). The reading is right, or its confidence says it may not be.
TEST(Blocklock, ProbesClosingABlockAreNoPatterns) {
    const Mode& mode = *find_mode(150, 0.6);
    for (double seed = 11; seed <= 40; ++seed) {
        const index_t entry = -100 - static_cast<index_t>(seed) * 11;
        const Late late = late_entry(mode, 2, two_paths(20), 0, entry, seed, 0);
        const BlocklockOut got = blocklock(late.heard, kShaping, {});
        const double expected = static_cast<double>(kDelay - entry * M + 1);
        const bool right = got.found && got.mode == mode_index(150, 0.6) &&
                           std::abs(got.blockStart - expected) <= 24 + 1;
        EXPECT_TRUE(right || got.confidence < 0.9)
            << "seed " << seed << ": mode " << got.mode << " at " << got.blockStart << " for "
            << expected << ", confidence " << got.confidence;
    }
}

// Entered in a 4.8 s preamble with its last k segments (480 symbols each) still to come, and heard
// to the transmission's end: the block start is the first data symbol (or a later block
// boundary), never the end of a segment within the preamble, whose d1 and d2 are the last
// segment's and fit as well where the last one's lies in a fade. Nor, with the whole preamble
// heard (k = 24) and its tail with it, the preamble's first symbol, a block before the first data
// symbol (a preamble spans a block); through fading its tail may lie in a fade, and then nothing
// in the frames tells a preamble from a block.
TEST(Blocklock, NoBlockStartsInsideAPreamble) {
    struct Case {
        double rate, EsNodB;
        bool fading;
    };
    const Case cases[] = {{2400, 1, true}, {1200, 1, true},   {600, 1, true}, {300, 1, true},
                          {150, 1, true},  {2400, 30, false}, {75, 30, false}};
    for (const Case& c : cases) {
        const Mode& mode = *find_mode(c.rate, 4.8);
        for (const index_t k : {3, 9, 16, 21, 24}) {
            if (k == 24 && c.fading) continue;
            const index_t entry = -k * 480;
            const HfChannel ch = c.fading ? two_paths(10) : fixed_path(10);
            const Late late = late_entry(mode, 1, ch, c.EsNodB, entry, 7 + k, 0);
            const BlocklockOut got = blocklock(late.heard, kShaping, {});
            const double first = static_cast<double>(kDelay - entry * M + 1);
            const double block = 11520.0 * M;
            const double blocks = std::round((got.blockStart - first) / block);
            const bool placed = got.found && blocks >= 0 &&
                                std::abs(got.blockStart - first - blocks * block) <= 24 + 1;
            EXPECT_TRUE(placed) << mode.name << ", " << c.EsNodB << " dB, " << k
                                << " segments left: mode " << got.mode << " at " << got.blockStart
                                << " for " << first << ", confidence " << got.confidence;
        }
    }
}

TEST(Blocklock, NoiseAloneIsNoTransmission) {
    for (const double seed : {1.0, 2.0, 3.0, 4.0, 5.0}) {
        const BlocklockOut got = blocklock(random_complex(3000 * M, seed), kShaping, {});
        EXPECT_FALSE(got.found) << "seed " << seed;
        EXPECT_EQ(got.mode, -1);
        EXPECT_LT(got.score, kBlocklockThreshold) << "seed " << seed;
    }
}

}  // namespace
}  // namespace hfchain
