#include "params/modeconf.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace hfchain {
namespace {

struct TableCase {
    double interLen;
    index_t n;
    std::vector<std::pair<index_t, double>> entries;  // 1-based position, value
};

TEST(Modeconf, InterleaverTableKnownValuesAndPermutation) {
    const TableCase cases[] = {
        {0.6,
         2880,
         {{1, 1},
          {2, 2210},
          {3, 1539},
          {4, 868},
          {5, 197},
          {6, 2366},
          {7, 1695},
          {8, 1024},
          {39, 103},
          {40, 2312},
          {41, 41},
          {42, 2250},
          {2878, 734},
          {2879, 63},
          {2880, 2272}}},
        {4.8,
         23040,
         {{1, 1},
          {2, 22370},
          {3, 21699},
          {4, 21028},
          {5, 20357},
          {41, 41},
          {23038, 20894},
          {23039, 20223},
          {23040, 19552}}},
    };
    for (const auto& c : cases) {
        const ModeParams m = modeconf(c.interLen);
        ASSERT_EQ(m.interTable.numel(), c.n);
        EXPECT_EQ(m.interTable.cols(), 1);
        for (const auto& [pos, value] : c.entries) {
            EXPECT_EQ(m.interTable[pos - 1], value) << c.interLen << " entry " << pos;
        }
        std::vector<double> sorted(m.interTable.begin(), m.interTable.end());
        std::sort(sorted.begin(), sorted.end());
        for (index_t k = 0; k < c.n; ++k) ASSERT_EQ(sorted[k], k + 1.0);
    }
}

std::vector<double> pattern(int v, int len = 32) {
    static const int base[8][8] = {{0, 0, 0, 0, 0, 0, 0, 0}, {0, 4, 0, 4, 0, 4, 0, 4},
                                   {0, 0, 4, 4, 0, 0, 4, 4}, {0, 4, 4, 0, 0, 4, 4, 0},
                                   {0, 0, 0, 0, 4, 4, 4, 4}, {0, 4, 0, 4, 4, 0, 4, 0},
                                   {0, 0, 4, 4, 4, 4, 0, 0}, {0, 4, 4, 0, 4, 0, 0, 4}};
    std::vector<double> out;
    for (int i = 0; i < len; ++i) out.push_back(base[v][i % 8]);
    return out;
}

std::vector<double> slice(const RealArray& a, index_t from1, index_t len) {
    return std::vector<double>(a.begin() + from1 - 1, a.begin() + from1 - 1 + len);
}

TEST(Modeconf, ScalarsShapesAndPatterns) {
    struct Case {
        double interLen;
        index_t preamble;
        int d1, d2;
    };
    for (const Case c : {Case{0.6, 1440, 6, 4}, Case{4.8, 11520, 4, 4}}) {
        const ModeParams m = modeconf(c.interLen);
        EXPECT_EQ(m.rate, 2400);
        EXPECT_EQ(m.interl, c.interLen);
        EXPECT_EQ(m.bitsToSym, 3);
        EXPECT_EQ(m.repFactor, 1);
        EXPECT_EQ(m.trein, 16);
        EXPECT_EQ(m.data, 32);
        ASSERT_EQ(m.chSymMapping.rows(), 32);
        ASSERT_EQ(m.chSymMapping.cols(), 8);
        for (int v = 0; v < 8; ++v) EXPECT_EQ(slice(m.chSymMapping, 32 * v + 1, 32), pattern(v));
        ASSERT_EQ(m.preamSync.rows(), 1);
        ASSERT_EQ(m.preamSync.cols(), c.preamble);
        EXPECT_EQ(slice(m.preamSync, 1, 32), pattern(0));
        EXPECT_EQ(slice(m.preamSync, 33, 32), pattern(1));
        EXPECT_EQ(slice(m.preamSync, 289, 32), pattern(c.d1));
        EXPECT_EQ(slice(m.preamSync, 321, 32), pattern(c.d2));
        ASSERT_EQ(m.probe.rows(), 16);
        ASSERT_EQ(m.probe.cols(), 2);
        EXPECT_EQ(slice(m.probe, 1, 16), pattern(c.d1, 16));
        EXPECT_EQ(slice(m.probe, 17, 16), pattern(c.d2, 16));
    }
}

TEST(Modeconf, PreambleCountsDownTheSegments) {
    const ModeParams short_set = modeconf(0.6);
    // Segment 1 carries the count 2 (digits 4 4 6), segment 3 the count 0 (4 4 4).
    for (const auto& [segment, digits] : std::vector<std::pair<int, std::vector<int>>>{
             {1, {4, 4, 6}}, {2, {4, 4, 5}}, {3, {4, 4, 4}}}) {
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(slice(short_set.preamSync, (segment - 1) * 480 + 353 + 32 * i, 32),
                      pattern(digits[i]))
                << "segment " << segment;
        }
    }
    const ModeParams long_set = modeconf(4.8);
    // Count 23 = 1*16 + 1*4 + 3: digits 5 5 7; the last segment counts 0.
    EXPECT_EQ(slice(long_set.preamSync, 353, 32), pattern(5));
    EXPECT_EQ(slice(long_set.preamSync, 417, 32), pattern(7));
    EXPECT_EQ(slice(long_set.preamSync, 23 * 480 + 353, 96), [] {
        std::vector<double> v;
        for (int i = 0; i < 3; ++i) {
            auto p = pattern(4);
            v.insert(v.end(), p.begin(), p.end());
        }
        return v;
    }());
}

TEST(Modeconf, OtherLengthsFailNamingNumRow) {
    for (const double bad : {1.2, 0.0, -0.6, 0.6000000000000001, double(NAN)}) {
        try {
            modeconf(bad);
            ADD_FAILURE() << bad;
        } catch (const Error& e) {
            EXPECT_EQ(e.identifier(), "hfchain:runtime:IndexOutOfBounds");
            EXPECT_NE(std::string(e.what()).find("'numRow'"), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace hfchain
