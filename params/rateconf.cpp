#include "params/rateconf.hpp"

#include "params/preamble.hpp"
#include "runtime/checks.hpp"
#include "runtime/numeric.hpp"

namespace hfchain {

namespace {

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

}  // namespace

ModeParams rateconf(double rate, double interLen) {
    const Mode& mode = mode_of(rate, interLen);
    const int d1 = mode.d1, d2 = mode.d2;

    ModeParams m;
    m.rate = rate;
    m.interl = interLen;
    m.interTable = build_interTable(mode.numRow, mode.numCol);

    m.chSymMapping = RealArray(32, 8);
    for (int v = 0; v < 8; ++v) {
        for (int r = 0; r < 32; ++r) m.chSymMapping(r, v) = kBasePattern[v][r % 8];
    }

    // Preamble: nSeg segments of 15 three-bit values, each sent as its 32-symbol pattern; the
    // last three values of a segment count down the segments left.
    const index_t nSeg = preamble_segments(interLen);
    m.preamSync = RealArray(1, nSeg * kSegmentSymbols);
    for (index_t r = 0; r < nSeg; ++r) {
        const auto values = segment_values(d1, d2, static_cast<int>(nSeg - 1 - r));
        for (int s = 0; s < kSegmentValues; ++s) {
            for (int i = 0; i < kPatternSymbols; ++i) {
                m.preamSync[r * kSegmentSymbols + s * kPatternSymbols + i] =
                    m.chSymMapping(i, values[s]);
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
