#include "receiver/modelock/modelock.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "channel/hfchannel.hpp"
#include "params/modes.hpp"
#include "params/preamble.hpp"
#include "params/rateconf.hpp"
#include "receiver/freqlock/diffsum.hpp"
#include "receiver/matchedfilter/pulsematch.hpp"
#include "receiver/modelock/common_sums.hpp"
#include "runtime/builtin_host.hpp"
#include "shaping/pulseshaper.hpp"
#include "tests/receiver/expect_error.hpp"
#include "tests/support/signals.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain {
namespace {

using testing::expect_error;

const VarShapping kShaping{0.35, 6, 5};
constexpr index_t M = 5;
constexpr double kSegment = kSegmentSymbols * M;  // samples a preamble segment

// The matched-filter output of a transmission of mode row `row` (one interleaver block of 4.8 s,
// four of 0.6 s: enough for the 75 bit/s code's flush) after `lead` samples of silence,
// through `channel` at Es/N0 `EsNodB` (the noise covers the silence too), cut to its first
// `keep` samples when keep > 0, its samples from `quiet` (when > 0) to the preamble's end silenced
// (a fade that leaves noise alone). The transmission's first symbol is at sample lead + 2 D M + 1.
ComplexArray received(int row, const HfChannel& channel, double EsNodB, double seed, index_t lead,
                      index_t keep = 0, index_t quiet = 0) {
    BuiltinHost host;
    const ModeParams mode = rateconf(kModes[row].rate, kModes[row].interLen);
    const double blocks = kModes[row].interLen == 0.6 ? 4 : 1;
    const ComplexArray tx =
        pulseshaper(sendchain(mode, blocks, seed, host).MultiplexOut, kShaping).out;
    const index_t L = keep > 0 ? std::min(keep, lead + tx.numel()) : lead + tx.numel();
    ComplexArray x(L);
    const index_t silenced = (mode.preamSync.numel() + 6) * M;  // the preamble's end, shaped
    for (index_t n = lead; n < L; ++n) {
        if (quiet == 0 || n - lead < quiet || n - lead >= silenced) x[n] = tx[n - lead];
    }
    return pulsematch(hfchannel(x, {channel, EsNodB, seed + 1}, kShaping, host).AwgnOut, kShaping)
        .out;
}

HfChannel fixed_path(double offset) { return {{{0, 0, 0, 0}}, offset}; }

// Two paths 1 ms apart (12 samples), fading with 1 Hz spread: the found segment is the stronger
// path's.
HfChannel two_paths(double offset) {
    return {{{0, -3, 1, 0}, {12.0 / (2400 * M), -3, 1, 0}}, offset};
}

int segments_of(int row) { return preamble_segments(kModes[row].interLen); }

TEST(Modelock, ReadsEveryModeFromItsPreamble) {
    // Each mode at an offset of its own across +-75 Hz, after silence, at Es/N0 4 dB: the first
    // segment is found where the transmission starts and names the mode and the whole count. The
    // input holds the first two segments (the second confirms the first's reading).
    const index_t lead = 3000;
    const double start = lead + 61;
    for (int row = 0; row < static_cast<int>(std::size(kModes)); ++row) {
        const double offset = -75 + 12.5 * row;
        const HfChannel channel = row % 2 == 0 ? fixed_path(offset) : two_paths(offset);
        const ComplexArray in =
            received(row, channel, 4, 100 + row, lead, lead + static_cast<index_t>(2.5 * kSegment));
        const ModelockOut got = modelock(in, kShaping, VarModelock{});
        SCOPED_TRACE(kModes[row].name);
        ASSERT_TRUE(got.found);
        EXPECT_EQ(got.mode, row);
        EXPECT_GT(got.confidence, 0.99);
        EXPECT_EQ(got.segmentsLeft, segments_of(row) - 1);
        if (row % 2 == 0) {
            EXPECT_EQ(got.start, start);
        } else {
            EXPECT_TRUE(std::abs(got.start - start) <= 1 || std::abs(got.start - start - 12) <= 1)
                << got.start;
        }
        EXPECT_NEAR(got.offset, offset, 1.0);
        EXPECT_GT(got.score, VarModelock{}.threshold);
        EXPECT_EQ(got.preambleStart, got.start);
        EXPECT_EQ(got.firstData, got.start + segments_of(row) * kSegment);
    }
}

TEST(Modelock, FindsTheFirstDataSymbolFromEverySegment) {
    // A receiver that starts in any segment of a 4.8 s preamble (600 bit/s, 24 segments), 40
    // symbols before a segment begins, finds the same first data symbol and the same preamble
    // start; its count says how many segments are still to come.
    const int row = 6;
    ASSERT_EQ(segments_of(row), 24);
    const ComplexArray whole = received(row, fixed_path(31), 0, 7, 0);
    const double first_data = 61 + 24 * kSegment;
    for (int k = 0; k < 24; ++k) {
        const auto cut = std::max<index_t>(0, 60 + static_cast<index_t>(k * kSegment) - 40 * M);
        const index_t L =
            std::min<index_t>(whole.numel() - cut, static_cast<index_t>(3 * kSegment));
        ComplexArray in(L);
        for (index_t n = 0; n < L; ++n) in[n] = whole[cut + n];
        const ModelockOut got = modelock(in, kShaping, VarModelock{});
        SCOPED_TRACE("segment " + std::to_string(k));
        ASSERT_TRUE(got.found);
        EXPECT_EQ(got.mode, row);
        EXPECT_EQ(got.segmentsLeft, 23 - k);
        EXPECT_EQ(got.firstData + static_cast<double>(cut), first_data);
        EXPECT_EQ(got.preambleStart + static_cast<double>(cut), 61);
    }
}

TEST(Modelock, FindsAndReadsHardTransmissions) {
    // Transmissions through paths that turn within a segment (two equal paths 5 ms apart, 5 Hz
    // spread), which the search once placed a segment or more away or read as another mode, a
    // segment in a fade or one count value read through a path that had turned deciding alone;
    // and a 4.8 s preamble on white noise at Es/N0 -11 dB, where no segment alone reaches the
    // threshold but three together do, and the count rests on all 24; and 4.8 s preambles
    // through two paths 2 ms apart with 1 Hz spread after more than two segments of noise, where
    // three windows together, the first two on noise, may reach the threshold through the first
    // segment alone (the preamble was then placed two segments early and its count read to fit);
    // and 4.8 s preambles of which only the first three segments are heard, the rest in a fade
    // (they were read as the 0.6 s mode of another rate, whose preamble those three are whole).
    // Each must give its mode and the preamble's start at a path's arrival.
    const HfChannel fast = {{{0, -3, 5, 0}, {0.005, -3, 5, 0}}, 20};
    const HfChannel slow = {{{0, -3, 1, 0}, {0.002, -3, 1, 0}}, -10};
    struct Case {
        const char* name;
        HfChannel channel;
        double EsNodB;
        int rows[2];
        int transmissions;
        index_t lead = 1500;
        index_t quiet = 0;
    };
    const Case cases[] = {{"two paths 5 Hz, 0.6 s", fast, 11, {1, 5}, 16},
                          {"two paths 5 Hz, 4.8 s", fast, 11, {2, 8}, 4},
                          {"white noise, 75 bit/s, 4.8 s", fixed_path(-40), -11, {12, 12}, 2},
                          {"two paths 1 Hz after noise", slow, 3, {6, 10}, 12, 6000},
                          {"4.8 s, the first three segments heard",
                           fixed_path(30),
                           -3,
                           {12, 6},
                           8,
                           1500,
                           static_cast<index_t>(3 * kSegment)}};
    for (const Case& c : cases) {
        const index_t lead = c.lead;
        for (int k = 0; k < c.transmissions; ++k) {
            const int row = c.rows[k % 2];
            const ComplexArray in =
                received(row, c.channel, c.EsNodB, 300 + 7 * k, lead, 0, c.quiet);
            const ModelockOut got = modelock(in, kShaping, VarModelock{});
            SCOPED_TRACE(std::string(c.name) + ", transmission " + std::to_string(k));
            ASSERT_TRUE(got.found);
            EXPECT_EQ(got.mode, row);
            EXPECT_GE(got.preambleStart, lead + 61 - 6 * M);
            EXPECT_LE(got.preambleStart, lead + 61 + 18 * M);
        }
    }
}

TEST(Modelock, SearchesOnlyTheSamplesAsked) {
    // A 0.6 s transmission (1200 bit/s) after 2000 samples. Searching from past its first
    // segment's start finds the second, which counts one fewer. A search that ends just after the
    // window 160 symbols before the first segment (which holds two of its nine common values in
    // place) still finds that segment, after `to`; one that ends before that window finds
    // nothing.
    const int row = 3;
    const ComplexArray in = received(row, fixed_path(-20), 6, 3, 2000);
    const double first = 2061;
    struct Case {
        double from, to;
        bool found;
        double start;
        int left;
    };
    const Case cases[] = {{1, 0, true, first, 2},
                          {first + 100, 0, true, first + kSegment, 1},
                          {first + kSegment + 50, 0, true, first + 2 * kSegment, 0},
                          {1, first - 160 * M + 20, true, first, 2},
                          {1, first - 160 * M - 20, false, 0, 0}};
    for (const Case& c : cases) {
        VarModelock s;
        s.from = c.from;
        s.to = c.to;
        const ModelockOut got = modelock(in, kShaping, s);
        SCOPED_TRACE("from " + std::to_string(c.from) + " to " + std::to_string(c.to));
        ASSERT_EQ(got.found, c.found);
        if (!c.found) continue;
        EXPECT_EQ(got.start, c.start);
        EXPECT_EQ(got.segmentsLeft, c.left);
        EXPECT_EQ(got.firstData, first + 3 * kSegment);
        EXPECT_EQ(got.preambleStart, first);
    }
}

TEST(Modelock, FindsNothingInNoise) {
    // Noise alone, white at three levels and through two fading channels (2.5 s each), never
    // reaches the default threshold.
    struct Case {
        const char* name;
        HfChannel channel;
        double EsNodB;
    };
    const Case cases[] = {{"white, quiet", fixed_path(0), 60},
                          {"white", fixed_path(0), 0},
                          {"white, loud", fixed_path(0), -60},
                          {"faded", two_paths(10), 0},
                          {"faded 5 ms 5 Hz", {{{0, -3, 5, 0}, {0.005, -3, 5, 0}}, 0}, 0}};
    double seed = 50;
    for (const Case& c : cases) {
        BuiltinHost host;
        const ComplexArray silence(6000 * M);
        HfchannelOut y = hfchannel(silence, {c.channel, c.EsNodB, seed++}, kShaping, host);
        // The fading paths carry the noise too: noise through the channel.
        if (c.channel.paths.size() > 1) {
            y = hfchannel(y.noise, {c.channel, std::numeric_limits<double>::infinity(), seed++},
                          kShaping, host);
        }
        const ModelockOut got = modelock(pulsematch(y.AwgnOut, kShaping).out, kShaping, {});
        EXPECT_FALSE(got.found) << c.name << ": score " << got.score;
        EXPECT_EQ(got.mode, -1) << c.name;
    }
}

TEST(Modelock, StructuredSumsAreTheDirectOnes) {
    // The search's sums from the structure of the common symbols equal the sums term by term, at
    // any samples a symbol, first window and count of windows (whole symbols or not), on noise
    // whose power changes from sample to sample and with silent stretches (terms of no energy).
    const std::vector<cdouble> p = [] {
        std::vector<cdouble> all = conjugated_preamble(rateconf(2400, 0.6));
        all.resize(kD1Value * kPatternSymbols);
        return all;
    }();
    struct Case {
        index_t M, first, W;
    };
    const Case cases[] = {{1, 0, 700}, {2, 3, 1001}, {5, 7, 4096}, {8, 1, 13}};
    for (const Case& c : cases) {
        ComplexArray x = random_complex(c.first + c.W + 288 * c.M, 4);
        for (index_t n = 0; n < x.numel(); ++n) {
            x[n] *= (n / 97) % 5 == 0 ? 0.0 : 1.0 + 0.9 * std::sin(0.01 * static_cast<double>(n));
        }
        std::vector<cdouble> fast(static_cast<std::size_t>(c.W));
        detail::CommonSums(p).sums(x.data(), c.first, c.W, c.M, fast.data());
        double worst = 0;
        for (index_t w = 0; w < c.W; ++w) {
            const cdouble direct = detail::normalised_sum(x.data() + c.first + w, c.M, p);
            worst = std::max(worst, std::abs(fast[w] - direct));
        }
        EXPECT_LT(worst, 1e-12) << "M " << c.M;
    }
}

TEST(Modelock, RefusesMalformedInputs) {
    const ComplexArray in(3000);
    ComplexArray nan_in(3000);
    nan_in[7] = cdouble(std::nan(""), 0);
    ComplexArray huge(3000);
    huge[9] = 1e31;
    const auto with = [](double threshold, double from, double to) {
        VarModelock s;
        s.threshold = threshold;
        s.from = from;
        s.to = to;
        return s;
    };
    struct Case {
        const ComplexArray* in;
        VarShapping shaping;
        VarModelock settings;
        const char* id;
    };
    const Case cases[] = {
        {&in, {0.35, 6, 2.5}, {}, "hfchain:modelock:BadOversampling"},
        {&in, kShaping, with(0, 1, 0), "hfchain:modelock:BadThreshold"},
        {&in, kShaping, with(std::nan(""), 1, 0), "hfchain:modelock:BadThreshold"},
        {&in, kShaping, with(1.5, 1, 0), "hfchain:modelock:BadThreshold"},
        {&in, kShaping, with(0.1, 0, 0), "hfchain:modelock:BadRange"},
        {&in, kShaping, with(0.1, 2.5, 0), "hfchain:modelock:BadRange"},
        {&in, kShaping, with(0.1, 10, 5), "hfchain:modelock:BadRange"},
        {&in, kShaping, with(0.1, 1, std::numeric_limits<double>::infinity()),
         "hfchain:modelock:BadRange"},
        {&nan_in, kShaping, {}, "hfchain:modelock:NonFinite"},
        {&huge, kShaping, {}, "hfchain:modelock:TooLarge"},
    };
    for (const Case& c : cases) {
        expect_error([&] { modelock(*c.in, c.shaping, c.settings); }, c.id);
    }
    // Inputs a real signal can be: shorter than a segment, or all zeros, find nothing.
    EXPECT_FALSE(modelock(in, kShaping, {}).found);
    EXPECT_FALSE(modelock(ComplexArray(kSegmentSymbols * M * 2), kShaping, {}).found);
}

}  // namespace
}  // namespace hfchain
