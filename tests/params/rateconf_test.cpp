#include "params/rateconf.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

namespace hfchain {
namespace {

// Every rate and interleaver setting, with what it sends and the mode symbols its preamble
// announces.
struct Mode {
    double rate, interLen;
    index_t numRow, numCol;
    double bitsToSym, repFactor, data, trein;
    int d1, d2;
};
const Mode kModes[] = {
    {4800, 0.6, 40, 72, 3, 1, 32, 16, 7, 6},  {2400, 0.6, 40, 72, 3, 1, 32, 16, 6, 4},
    {2400, 4.8, 40, 576, 3, 1, 32, 16, 4, 4}, {1200, 0.6, 40, 36, 2, 1, 20, 20, 6, 5},
    {1200, 4.8, 40, 288, 2, 1, 20, 20, 4, 5}, {600, 0.6, 40, 18, 1, 1, 20, 20, 6, 6},
    {600, 4.8, 40, 144, 1, 1, 20, 20, 4, 6},  {300, 0.6, 40, 18, 1, 2, 20, 20, 6, 7},
    {300, 4.8, 40, 144, 1, 2, 20, 20, 4, 7},  {150, 0.6, 40, 18, 1, 4, 20, 20, 7, 4},
    {150, 4.8, 40, 144, 1, 4, 20, 20, 5, 4},  {75, 0.6, 10, 9, 2, 1, 32, 0, 7, 5},
    {75, 4.8, 20, 36, 2, 1, 32, 0, 5, 5},
};

std::vector<double> pattern(int v, index_t len = 32) {
    static const int base[8][8] = {{0, 0, 0, 0, 0, 0, 0, 0}, {0, 4, 0, 4, 0, 4, 0, 4},
                                   {0, 0, 4, 4, 0, 0, 4, 4}, {0, 4, 4, 0, 0, 4, 4, 0},
                                   {0, 0, 0, 0, 4, 4, 4, 4}, {0, 4, 0, 4, 4, 0, 4, 0},
                                   {0, 0, 4, 4, 4, 4, 0, 0}, {0, 4, 4, 0, 4, 0, 0, 4}};
    std::vector<double> out;
    for (index_t i = 0; i < len; ++i) out.push_back(base[v][i % 8]);
    return out;
}

std::vector<double> slice(const RealArray& a, index_t from1, index_t len) {
    return std::vector<double>(a.begin() + from1 - 1, a.begin() + from1 - 1 + len);
}

void expect_same(const RealArray& a, const RealArray& b, const char* name) {
    EXPECT_EQ(a.rows(), b.rows()) << name;
    EXPECT_EQ(a.cols(), b.cols()) << name;
    EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end())) << name;
}

TEST(Rateconf, TwentyFourHundredIsModeconfFieldForField) {
    for (const double interLen : {0.6, 4.8}) {
        SCOPED_TRACE(interLen);
        const ModeParams a = rateconf(2400, interLen);
        const ModeParams b = modeconf(interLen);
        EXPECT_EQ(a.rate, b.rate);
        EXPECT_EQ(a.interl, b.interl);
        expect_same(a.interTable, b.interTable, "interTable");
        expect_same(a.chSymMapping, b.chSymMapping, "chSymMapping");
        EXPECT_EQ(a.bitsToSym, b.bitsToSym);
        EXPECT_EQ(a.repFactor, b.repFactor);
        expect_same(a.preamSync, b.preamSync, "preamSync");
        EXPECT_EQ(a.trein, b.trein);
        EXPECT_EQ(a.data, b.data);
        expect_same(a.probe, b.probe, "probe");
    }
}

// Scalars, shapes, the mode symbols in every preamble segment and the closing probes.
TEST(Rateconf, EveryRateFollowsItsTable) {
    for (const Mode& c : kModes) {
        SCOPED_TRACE(testing::Message() << c.rate << " bit/s, " << c.interLen << " s");
        const ModeParams m = rateconf(c.rate, c.interLen);
        EXPECT_EQ(m.rate, c.rate);
        EXPECT_EQ(m.interl, c.interLen);
        EXPECT_EQ(m.bitsToSym, c.bitsToSym);
        EXPECT_EQ(m.repFactor, c.repFactor);
        EXPECT_EQ(m.data, c.data);
        EXPECT_EQ(m.trein, c.trein);
        ASSERT_EQ(m.chSymMapping.rows(), 32);
        ASSERT_EQ(m.chSymMapping.cols(), 8);
        for (int v = 0; v < 8; ++v) EXPECT_EQ(slice(m.chSymMapping, 32 * v + 1, 32), pattern(v));

        const index_t nSeg = c.interLen == 0.6 ? 3 : 24;
        ASSERT_EQ(m.preamSync.rows(), 1);
        ASSERT_EQ(m.preamSync.cols(), 480 * nSeg);
        for (index_t s = 0; s < nSeg; ++s) {
            EXPECT_EQ(slice(m.preamSync, 480 * s + 289, 32), pattern(c.d1)) << "segment " << s;
            EXPECT_EQ(slice(m.preamSync, 480 * s + 321, 32), pattern(c.d2)) << "segment " << s;
        }
        const auto P = static_cast<index_t>(c.trein);
        ASSERT_EQ(m.probe.rows(), P);
        ASSERT_EQ(m.probe.cols(), 2);
        EXPECT_EQ(slice(m.probe, 1, P), pattern(c.d1, P));
        EXPECT_EQ(slice(m.probe, P + 1, P), pattern(c.d2, P));

        const index_t N = c.numRow * c.numCol;
        ASSERT_EQ(m.interTable.numel(), N);
        EXPECT_EQ(m.interTable.cols(), 1);
        std::vector<double> sorted(m.interTable.begin(), m.interTable.end());
        std::sort(sorted.begin(), sorted.end());
        for (index_t k = 0; k < N; ++k) ASSERT_EQ(sorted[k], k + 1.0);
    }
}

// The load (row step 9) and fetch (column step -17) rule on the other geometries; the values were
// computed by a separate program written from the rule.
TEST(Rateconf, InterleaverTablesOfOtherGeometries) {
    struct Case {
        double rate, interLen;
        std::vector<double> first, last;
    };
    const Case cases[] = {
        {75, 0.6, {1, 20, 29, 38, 47}, {64, 73, 82}},
        {75, 4.8, {1, 390, 59, 428, 97}, {694, 343, 12}},
        {1200, 0.6, {1, 770, 99, 868, 197}, {734, 63, 832}},
        {1200, 4.8, {1, 10850, 10179, 9508, 8837}, {9374, 8703, 8032}},
        {600, 0.6, {1, 50, 99, 148, 197}, {14, 63, 112}},
        {150, 4.8, {1, 5090, 4419, 3748, 3077}, {3614, 2943, 2272}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " bit/s, " << c.interLen << " s");
        const RealArray t = rateconf(c.rate, c.interLen).interTable;
        EXPECT_EQ(slice(t, 1, 5), c.first);
        EXPECT_EQ(slice(t, t.numel() - 2, 3), c.last);
    }
}

// One interleaver block holds interLen seconds of the rate's coded bits: interLen x rate
// information bits, times 2 for the rate-1/2 code (not at 4800 bit/s, uncoded), times the
// repetition. Sent at 2400 symbols/s, it also fills exactly interLen seconds of air: T / b symbol
// values in frames of data + trein symbols, or at 75 bit/s T / 2 values of 32 symbols each.
TEST(Rateconf, BlockSizesMatchTheRates) {
    for (const Mode& c : kModes) {
        SCOPED_TRACE(testing::Message() << c.rate << " bit/s, " << c.interLen << " s");
        const ModeParams m = rateconf(c.rate, c.interLen);
        const double T = m.interTable.numel();
        const double code = is_uncoded(m) ? 1 : 2;
        EXPECT_EQ(T, std::round(c.interLen * c.rate * code * m.repFactor));

        const double values = T / m.bitsToSym;
        ASSERT_EQ(values, std::floor(values));
        double symbols = 0;
        if (uses_patterns(m)) {
            symbols = values * 32;
        } else {
            const double frames = values / m.data;
            ASSERT_EQ(frames, std::floor(frames)) << "a block is a whole number of frames";
            ASSERT_GE(frames, 2) << "the last two frames of a block carry the closing probes";
            symbols = frames * (m.data + m.trein);
        }
        EXPECT_EQ(symbols, std::round(c.interLen * 2400));
    }
}

// The receiver tells the modes apart by the d1 and d2 patterns of the preamble: no two settings
// send the same ones.
TEST(Rateconf, EveryModeAnnouncesItselfDistinctly) {
    std::set<std::vector<double>> seen;
    for (const Mode& c : kModes) {
        const ModeParams m = rateconf(c.rate, c.interLen);
        EXPECT_TRUE(seen.insert(slice(m.preamSync, 289, 64)).second)
            << c.rate << " bit/s, " << c.interLen << " s";
    }
}

TEST(Rateconf, RefusesWhatDoesNotExist) {
    const double nan = std::nan("");
    struct Case {
        double rate, interLen;
        const char* identifier;
        const char* text;  // a part of the message
    };
    const Case cases[] = {
        {4800, 4.8, "hfchain:params:NoLongInterleaver", "only with the 0.6 s"},
        {9600, 0.6, "hfchain:params:UnknownRate", "75, 150, 300, 600, 1200, 2400 and 4800"},
        {2400.5, 0.6, "hfchain:params:UnknownRate", "2400.5 bit/s"},
        {0, 0.6, "hfchain:params:UnknownRate", "0 bit/s"},
        {-75, 0.6, "hfchain:params:UnknownRate", "-75 bit/s"},
        {nan, 0.6, "hfchain:params:UnknownRate", "NaN bit/s"},
        {75, 1.2, "hfchain:params:UnknownInterleaver", "1.2 s is not one of 0.6 and 4.8"},
        {600, 0.6000000000000001, "hfchain:params:UnknownInterleaver", "0.6 and 4.8"},
        {4800, nan, "hfchain:params:UnknownInterleaver", "NaN s"},
        {nan, nan, "hfchain:params:UnknownRate", "bit/s"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " bit/s, " << c.interLen << " s");
        try {
            rateconf(c.rate, c.interLen);
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            EXPECT_EQ(e.identifier(), c.identifier);
            EXPECT_NE(std::string(e.what()).find(c.text), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace hfchain
