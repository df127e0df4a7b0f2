// The memory estimate of a trial against the memory the road really takes, and the up-front
// refusals of sweeps that cannot fit.
#include "sweep/memory.hpp"

#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>

#include "audio/airpath.hpp"
#include "channel/channel_text.hpp"
#include "params/modeconf.hpp"
#include "params/rateconf.hpp"
#include "runtime/builtin_host.hpp"
#include "runtime/error.hpp"
#include "sweep/engine.hpp"

// Every allocation through the C allocator (operator new and the arrays' calloc both end there) is
// counted, so that a test can measure the peak of the bytes a computation holds at once. The
// sanitizers bring their own allocator, so there the count is off and the peak test skipped.
#if defined(__SANITIZE_ADDRESS__)
#define HFCHAIN_COUNTS_ALLOCATIONS 0
#else
#define HFCHAIN_COUNTS_ALLOCATIONS 1
#endif

namespace {
std::atomic<std::int64_t> g_live{0};
std::atomic<std::int64_t> g_peak{0};

#if HFCHAIN_COUNTS_ALLOCATIONS
void count(void* p, std::int64_t sign) {
    if (p == nullptr) return;
    const std::int64_t now = g_live += sign * static_cast<std::int64_t>(malloc_usable_size(p));
    std::int64_t peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
}
#endif
}  // namespace

#if HFCHAIN_COUNTS_ALLOCATIONS
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t n) {
    void* p = __libc_malloc(n);
    count(p, 1);
    return p;
}
void* calloc(std::size_t n, std::size_t size) {
    void* p = __libc_calloc(n, size);
    count(p, 1);
    return p;
}
void* realloc(void* old, std::size_t n) {
    const std::int64_t before =
        old == nullptr ? 0 : static_cast<std::int64_t>(malloc_usable_size(old));
    void* p = __libc_realloc(old, n);
    if (p != nullptr || n == 0) {
        g_live -= before;
        count(p, 1);
    }
    return p;
}
void free(void* p) {
    count(p, -1);
    __libc_free(p);
}
}
#endif

namespace hfchain::sweep {
namespace {

TEST(RoadMemory, TheEstimateCoversThePeakWithoutWastingMuch) {
    if (!HFCHAIN_COUNTS_ALLOCATIONS) GTEST_SKIP() << "the sanitizers' allocator is not counted";
    struct Case {
        double interLen;
        double nFrame;
        double M;
        double D;
        const char* model;
        bool decoders = false;  // the hf and genie receivers besides the baseline one
        double rate = 2400;     // bit/s
        double audio = 0;       // through the air at this sample rate
        double ppm = 0;         // and the receiver's clock this far off
    };
    const Case cases[] = {
        {0.6, 1, 5, 6, "none"},
        {0.6, 1, 5, 6, "awgn"},
        {0.6, 1, 5, 6, "bom"},
        {0.6, 4, 5, 6, "moderado"},
        {0.6, 2.5, 10, 6, "ruim"},
        {0.6, 1, 1, 64, "muito_ruim"},
        {4.8, 1, 5, 6, "awgn"},
        {0.6, 1, 5, 6, "awgn", true},
        {0.6, 1, 5, 6, "ruim", true},
        {0.6, 2.5, 10, 6, "muito_ruim", true},
        {0.6, 1, 2, 6, "muito_ruim", true},
        {4.8, 1, 5, 6, "moderado", true},
        // Every rate: at 75 bit/s each pair of coded bits is 32 symbols.
        {0.6, 4, 5, 6, "awgn", false, 75},
        {4.8, 1, 5, 6, "ruim", false, 75},
        {0.6, 2, 5, 6, "ruim", false, 150},
        {0.6, 1, 5, 6, "awgn", false, 300},
        {4.8, 1, 5, 6, "moderado", false, 600},
        {0.6, 1, 5, 6, "awgn", false, 1200},
        {0.6, 3, 5, 6, "bom", false, 4800},
        // Any number of paths: each path's gains per sample.
        {0.6, 1, 5, 6, "1p:0ms:1Hz"},
        {0.6, 2, 5, 6, "16p:0.25ms:1Hz:off=5Hz"},
        {0.6, 1, 5, 6, "itu_mid_disturbed", true},
        // Through the air (the sweep's --audio): the audio's buffers grow with the sample rate.
        {0.6, 2, 5, 6, "awgn", false, 2400, 8000},
        {0.6, 2, 5, 6, "ruim", true, 2400, 48000, 100},
        {4.8, 1, 5, 6, "awgn", false, 600, 96000, -100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.interLen) + " s x " + std::to_string(c.nFrame) + ", M " +
                     std::to_string(c.M) + ", " + c.model + (c.decoders ? ", hf and genie" : "") +
                     ", " + std::to_string(c.rate) + " bit/s, audio " + std::to_string(c.audio));
        const ModeParams mode = rateconf(c.rate, c.interLen);
        RoadConfig config;
        config.nFrame = c.nFrame;
        config.shaping.oversamplingFactor = c.M;
        config.shaping.pulseDelay = c.D;
        config.channel = road_channel(c.model, 10, 3);
        const auto paths = static_cast<double>(config.channel.fading.paths.size());
        if (c.decoders) {
            config.receivers = {ReceiverKind::baseline, ReceiverKind::hf, ReceiverKind::genie};
        }
        if (c.audio > 0) {
            config.channelStep = audio::air_step(std::make_shared<audio::AirPath>(
                audio::AirSettings{.sampleRate = c.audio, .clockPpm = c.ppm}));
        }
        BuiltinHost host;
        const std::int64_t before = g_live.load();
        g_peak = before;
        {
            const RoadResult r = run_road(mode, config, host);
            ASSERT_GT(r.codedBits, 0);
        }
        const double peak = static_cast<double>(g_peak.load() - before);
        const double estimate = road_memory_bytes(
            mode, c.nFrame, config.shaping, config.channel.kind, config.receivers, paths, c.audio);
        EXPECT_GE(estimate, peak);
        // The 10 % and 1 MiB of the estimate, and a little more, but no more than that; the HF
        // receiver's share is sized for the widest multipath, so narrower ones waste more.
        const double waste = c.decoders ? 2.0 : 1.25;
        EXPECT_LE(estimate, waste * peak + 1048576) << "estimate " << estimate << ", peak " << peak;
    }
}

TEST(MemorySize, Shown) {
    EXPECT_EQ(format_bytes(900), "900 B");
    EXPECT_EQ(format_bytes(1536), "1.5 KiB");
    EXPECT_EQ(format_bytes(512.0 * 1048576), "512.0 MiB");
    EXPECT_EQ(format_bytes(83.1 * 1073741824), "83.1 GiB");
}

TEST(MemoryLimit, AGivenLimitWinsAndTheMachineHasOne) {
    const MemoryLimit given = memory_limit(12345);
    EXPECT_EQ(given.bytes, 12345);
    EXPECT_EQ(given.source, "maxMemory");
    EXPECT_EQ(memory_limit(12345, [](std::string_view) { return "the limit"; }).source,
              "the limit");
    const MemoryLimit machine = memory_limit(0);
    EXPECT_GT(machine.bytes, 64.0 * 1048576) << machine.source;
}

SweepConfig sweep_for_memory(int threads) {
    SweepConfig c;
    c.interLen = 0.6;
    c.receivers = {ReceiverKind::baseline};
    c.conditions = {"awgn", "ruim"};
    c.esno = {10};
    c.threads = threads;
    return c;
}

TEST(MemoryCheck, SweepsThatCannotFitAreRefusedOrRunFewerThreads) {
    const ModeParams mode = modeconf(0.6);
    const double trial =
        road_memory_bytes(mode, 1, VarShapping{}, ChannelKind::paths);  // ruim decides
    struct Case {
        int threads;   // asked for (0: one per core)
        int sharing;   // processes on the machine
        double limit;  // in trials
        int runs;      // threads that run, or 0 for a refusal
        const char* option;
    };
    const Case cases[] = {
        {3, 1, 3.5, 3, nullptr},    // fits
        {4, 1, 3.5, 0, "threads"},  // asked for too many
        {2, 2, 3.5, 0, "threads"},  // two processes of two
        {1, 1, 0.5, 0, "nFrame"},   // one trial is too big
        {0, 1, 1.5, 1, nullptr},    // one per core, lowered to what fits
        {0, 1, 0.5, 0, "nFrame"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.threads) + " threads, " + std::to_string(c.sharing) +
                     " processes, limit " + std::to_string(c.limit) + " trials");
        const SweepConfig config = sweep_for_memory(c.threads);
        std::string notes;
        if (c.runs > 0) {
            int threads = 0;
            ASSERT_NO_THROW(threads = fit_threads(config, c.limit * trial, c.sharing, &notes));
            if (c.threads > 0) {
                EXPECT_EQ(threads, c.runs);
            } else {
                EXPECT_GE(threads, 1);
                EXPECT_LE(threads, std::max(c.runs, usable_cores()));
                if (usable_cores() > 1) {
                    EXPECT_EQ(threads, c.runs);
                    EXPECT_NE(notes.find(c.runs == 1 ? "running 1 worker thread instead of"
                                                     : "worker threads instead of"),
                              std::string::npos);
                }
            }
        } else {
            try {
                fit_threads(config, c.limit * trial, c.sharing, &notes);
                ADD_FAILURE() << "accepted";
            } catch (const Error& e) {
                EXPECT_EQ(e.identifier(), errid::kInvalidConfig);
                const std::string m = e.what();
                EXPECT_TRUE(m.starts_with(std::string(c.option) + ": ")) << m;
                EXPECT_NE(m.find("need about " + format_bytes(trial) + " of memory each"),
                          std::string::npos)
                    << m;
                EXPECT_NE(m.find(format_bytes(c.limit * trial) + " limit (maxMemory)"),
                          std::string::npos)
                    << m;
            }
        }
    }
}

// A condition of many paths decides the trial's size: room for one trial on "ruim" is not room
// for one on 16 paths.
TEST(MemoryCheck, TheConditionWithTheMostPathsDecides) {
    const double ruim = road_memory_bytes(modeconf(0.6), 1, VarShapping{}, ChannelKind::paths);
    SweepConfig config = sweep_for_memory(1);
    EXPECT_EQ(fit_threads(config, 1.2 * ruim, 1, nullptr), 1);
    config.conditions = {"awgn", "16p:0.25ms:1Hz", "ruim"};
    EXPECT_THROW(fit_threads(config, 1.2 * ruim, 1, nullptr), Error);
    EXPECT_EQ(fit_threads(config, 5 * ruim, 1, nullptr), 1);
}

// A sweep through the air holds the audio too: room for a baseband trial is not room for one at
// 48000 samples a second.
TEST(MemoryCheck, TheAudioPathCounts) {
    const double ruim = road_memory_bytes(modeconf(0.6), 1, VarShapping{}, ChannelKind::paths);
    SweepConfig config = sweep_for_memory(1);
    EXPECT_EQ(fit_threads(config, 1.2 * ruim, 1, nullptr), 1);
    config.audioRate = 48000;
    EXPECT_THROW(fit_threads(config, 1.2 * ruim, 1, nullptr), Error);
}

}  // namespace
}  // namespace hfchain::sweep
