#include "runtime/interrupts.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "channel/fadesim.hpp"
#include "params/modeconf.hpp"
#include "receiver/deinterleave/unshuffle.hpp"
#include "receiver/demod/symslicer.hpp"
#include "receiver/demux/unframer.hpp"
#include "receiver/matchedfilter/pulsematch.hpp"
#include "receiver/timing/tickalign.hpp"
#include "shaping/pulseshaper.hpp"
#include "tests/channel/recording_host.hpp"
#include "tests/support/signals.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain {
namespace {

// Complex elements beyond 2^30 have real parts beyond the 32-bit range of doubles.
TEST(InterleavedOffset, CountsDoublesIn64Bits) {
    const std::pair<index_t, std::int64_t> cases[] = {
        {0, 0},
        {1, 2},
        {(1 << 30) - 1, 2147483646},
        {1 << 30, 2147483648},
        {1200000000, 2400000000},
        {2147483647, 4294967294},
    };
    for (const auto& [k, expected] : cases) EXPECT_EQ(interleaved_offset(k), expected) << k;
    static_assert(interleaved_offset(2147483647) == 4294967294);
}

TEST(ForEachChunk, CoversTheRangeOncePollingBeforeEachPiece) {
    const struct {
        index_t n, chunk;
        int polls;
    } cases[] = {{0, 4, 0}, {1, 4, 1}, {4, 4, 1}, {5, 4, 2}, {9, 1, 9}, {100000, 65536, 2}};
    for (const auto& c : cases) {
        RecordingHost host(1);
        std::vector<std::pair<index_t, index_t>> pieces;
        for_each_chunk(
            c.n, host,
            [&](index_t first, index_t last) {
                pieces.emplace_back(first, last);
                EXPECT_EQ(host.polls, static_cast<int>(pieces.size()));  // polled before
            },
            c.chunk);
        EXPECT_EQ(host.polls, c.polls) << c.n << " / " << c.chunk;
        index_t next = 0;
        for (const auto& [first, last] : pieces) {
            EXPECT_EQ(first, next);
            EXPECT_GT(last, first);
            EXPECT_LE(last - first, c.chunk);
            next = last;
        }
        EXPECT_EQ(next, c.n);
    }
}

TEST(ForEachChunk, PiecesShrinkWithTheCostOfAnItem) {
    const std::pair<std::int64_t, index_t> cases[] = {
        {0, 65536}, {1, 65536}, {100, 655}, {65536, 1}, {std::int64_t{1} << 40, 1}};
    for (const auto& [work, items] : cases) EXPECT_EQ(items_per_poll(work), items) << work;
}

TEST(NoHost, PollsQuietlyAndHasNoStream) {
    HostServices& host = no_host();
    EXPECT_NO_THROW(host.poll_interrupt());
    const std::function<void()> draws[] = {[&] { host.seed_twister(1); }, [&] { host.rand(3); },
                                           [&] { host.randn(1, 2); }};
    for (const auto& draw : draws) {
        try {
            draw();
            ADD_FAILURE() << "drew from no host";
        } catch (const Error& e) {
            EXPECT_EQ(e.identifier(), "hfchain:host:NoStream");
        }
    }
}

// Every block whose work grows with its input polls its host: an interrupt at the first poll, or
// at the last one a whole call makes, abandons the call with the interrupt's error. Polls stay
// sparse: a few per 65536 elementary operations.
TEST(BlockInterrupts, EveryBlockPollsAndStopsOnAnInterrupt) {
    const ModeParams mode = modeconf(0.6);
    const VarShapping shaping{0.35, 6, 5};
    const ComplexArray waveform = random_complex(40000, 3);
    RealArray bits(2 * 2880);
    for (index_t i = 0; i < bits.numel(); ++i) bits[i] = i % 3 == 0;
    const struct {
        const char* block;
        std::function<void(HostServices&)> call;
        int max_polls;
    } cases[] = {
        {"sendchain", [&](HostServices& h) { sendchain(mode, 4, 1, h); }, 20},
        {"pulseshaper", [&](HostServices& h) { pulseshaper(random_complex(4000, 1), shaping, h); },
         10},
        {"fadesim",
         [&](HostServices& h) {
             fadesim(waveform, {"muito_ruim", 10, 2}, shaping, h);
         },
         200},
        {"pulsematch", [&](HostServices& h) { pulsematch(waveform, shaping, h); }, 60},
        {"tickalign", [&](HostServices& h) { tickalign(waveform, 61, shaping, h); }, 2},
        {"unframer", [&](HostServices& h) { unframer(waveform, mode, h); }, 2},
        {"symslicer", [&](HostServices& h) { symslicer(waveform, mode, h); }, 10},
        {"unshuffle", [&](HostServices& h) { unshuffle(bits, mode, h); }, 4},
    };
    for (const auto& c : cases) {
        RecordingHost counting(1);
        c.call(counting);
        EXPECT_GE(counting.polls, 1) << c.block;
        EXPECT_LE(counting.polls, c.max_polls) << c.block;
        for (const int at : {1, counting.polls}) {
            RecordingHost host(1);
            host.interrupt_at_poll = at;
            try {
                c.call(host);
                ADD_FAILURE() << c.block << " finished despite an interrupt at poll " << at;
            } catch (const Error& e) {
                EXPECT_EQ(e.identifier(), errid::kInterrupted) << c.block << ": " << e.what();
            }
        }
    }
}

}  // namespace
}  // namespace hfchain
