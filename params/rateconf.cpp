#include "params/rateconf.hpp"

#include <string>

#include "runtime/checks.hpp"
#include "runtime/numeric.hpp"

namespace hfchain {

namespace {

// Every table has one row per rate, in the order of kDataRates, and one column per interleaver
// length: 0.6 s, 4.8 s.
constexpr int kRateCount = 7;
constexpr double kInterLengths[2] = {0.6, 4.8};

// Interleaver geometry, numRow x numCol.
constexpr double kNumRow[kRateCount][2] = {{40, 40}, {40, 40}, {40, 40}, {40, 40},
                                           {40, 40}, {40, 40}, {10, 20}};
constexpr double kNumCol[kRateCount][2] = {{72, 576}, {72, 576}, {36, 288}, {18, 144},
                                           {18, 144}, {18, 144}, {9, 36}};
// Mode symbols carried by the preamble and the closing probes. 0 and 0 mark a setting that does
// not exist (the uncoded 4800 bit/s mode has no long interleaver).
constexpr double kD1[kRateCount][2] = {{7, 0}, {6, 4}, {6, 4}, {6, 4}, {6, 4}, {7, 5}, {7, 5}};
constexpr double kD2[kRateCount][2] = {{6, 0}, {4, 4}, {5, 5}, {6, 6}, {7, 7}, {4, 4}, {5, 5}};

// What a rate sends: bits per channel symbol, copies of each coded bit, data and probe symbols a
// frame. At 75 bit/s the two bits of a symbol value choose one of four 32-symbol patterns, and
// the patterns need no probes.
struct RateMode {
    double bitsToSym;
    double repFactor;
    double data;
    double trein;
};
constexpr RateMode kModes[kRateCount] = {{3, 1, 32, 16}, {3, 1, 32, 16}, {2, 1, 20, 20},
                                         {1, 1, 20, 20}, {1, 2, 20, 20}, {1, 4, 20, 20},
                                         {2, 1, 32, 0}};

// 8-symbol base pattern of each 3-bit value; the 32-symbol pattern repeats it four times.
constexpr int kBasePattern[8][8] = {{0, 0, 0, 0, 0, 0, 0, 0}, {0, 4, 0, 4, 0, 4, 0, 4},
                                    {0, 0, 4, 4, 0, 0, 4, 4}, {0, 4, 4, 0, 0, 4, 4, 0},
                                    {0, 0, 0, 0, 4, 4, 4, 4}, {0, 4, 0, 4, 4, 0, 4, 0},
                                    {0, 0, 4, 4, 4, 4, 0, 0}, {0, 4, 4, 0, 4, 0, 0, 4}};

// Bits are loaded column by column with a row step of 9, and fetched with a row step of 1 and a
// column step of -17, restarting one column further on each time the row wraps.
RealArray build_interTable(index_t numRow, index_t numCol) {
    const index_t n = checked_size_product(numRow, numCol);
    RealArray loadPosition(numRow, numCol);
    for (index_t i = 0; i < n; ++i) {
        const index_t row = static_cast<index_t>(mod(9.0 * i, numRow));
        const index_t col = i / numRow;
        loadPosition(row, col) = i + 1;
    }
    RealArray interTable(n);
    index_t row = 0, column = 0, start_column = 0;
    for (index_t k = 0; k < n; ++k) {
        interTable[k] = loadPosition(row, column);
        row = static_cast<index_t>(mod(row + 1.0, numRow));
        column = static_cast<index_t>(mod(column - 17.0, numCol));
        if (row == 0) {
            ++start_column;
            column = start_column;
        }
    }
    return interTable;
}

std::string rate_list() {
    std::string text;
    for (int r = kRateCount - 1; r >= 0; --r) {
        text += format_value(kDataRates[r]);
        text += r > 1 ? ", " : r == 1 ? " and " : "";
    }
    return text;
}

}  // namespace

ModeParams rateconf(double rate, double interLen) {
    int rateIndex = 0;
    while (rateIndex < kRateCount && kDataRates[rateIndex] != rate) ++rateIndex;
    if (rateIndex == kRateCount) {
        raise("hfchain:params:UnknownRate",
              "The data rate " + format_value(rate) + " bit/s is not one of " + rate_list() + ".");
    }
    int inter = 0;
    while (inter < 2 && kInterLengths[inter] != interLen) ++inter;
    if (inter == 2) {
        raise("hfchain:params:UnknownInterleaver",
              "The interleaver length " + format_value(interLen) + " s is not one of 0.6 and 4.8.");
    }
    const int d1 = static_cast<int>(kD1[rateIndex][inter]);
    const int d2 = static_cast<int>(kD2[rateIndex][inter]);
    if (d1 == 0 && d2 == 0) {
        raise("hfchain:params:NoLongInterleaver",
              "The " + format_value(rate) +
                  " bit/s mode is sent uncoded and not interleaved: it exists only with the 0.6 s "
                  "setting, not with " +
                  format_value(interLen) + " s.");
    }
    const RateMode& mode = kModes[rateIndex];

    ModeParams m;
    m.rate = rate;
    m.interl = interLen;
    m.interTable = build_interTable(static_cast<index_t>(kNumRow[rateIndex][inter]),
                                    static_cast<index_t>(kNumCol[rateIndex][inter]));

    m.chSymMapping = RealArray(32, 8);
    for (int v = 0; v < 8; ++v) {
        for (int r = 0; r < 32; ++r) m.chSymMapping(r, v) = kBasePattern[v][r % 8];
    }

    // Preamble: nSeg segments of 15 three-bit values, each sent as its 32-symbol pattern; the
    // last three values of a segment count down the segments left, in base 4 (digits plus 4).
    const index_t nSeg = inter == 0 ? 3 : 24;
    m.preamSync = RealArray(1, nSeg * 480);
    for (index_t r = 0; r < nSeg; ++r) {
        const int count = nSeg - 1 - r;
        const int c1 = count / 16 + 4, c2 = (count / 4) % 4 + 4, c3 = count % 4 + 4;
        const int fr_idx[15] = {0, 1, 3, 0, 1, 3, 1, 2, 0, d1, d2, c1, c2, c3, 0};
        for (int s = 0; s < 15; ++s) {
            for (int i = 0; i < 32; ++i) {
                m.preamSync[r * 480 + s * 32 + i] = m.chSymMapping(i, fr_idx[s]);
            }
        }
    }

    m.bitsToSym = mode.bitsToSym;
    m.repFactor = mode.repFactor;
    m.trein = mode.trein;
    m.data = mode.data;
    // The closing probes: the first trein symbols of the d1 and d2 patterns.
    const auto P = static_cast<index_t>(mode.trein);
    m.probe = RealArray(P, 2);
    for (index_t i = 0; i < P; ++i) {
        m.probe(i, 0) = m.chSymMapping(i, d1);
        m.probe(i, 1) = m.chSymMapping(i, d2);
    }
    return m;
}

}  // namespace hfchain
