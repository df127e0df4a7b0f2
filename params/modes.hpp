// The modes of the waveform: one row per data rate and interleaver setting, with what the mode
// sends and how its frames and interleaver blocks are laid out. rateconf builds a parameter set
// from a row; every block that treats a rate differently asks the predicates below instead of
// comparing rates.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>

#include "params/modeconf.hpp"
#include "params/waveform.hpp"

namespace hfchain {

// Symbols an interleaver block of `interLen` seconds spans: interLen seconds of symbols, rounded
// (1440 at 0.6 s, 11520 at 4.8 s).
constexpr int block_symbols(double interLen) {
    return static_cast<int>(interLen * kSymbolRate + 0.5);
}

struct Mode {
    const char* name;    // "<rate> bit/s, <interLen> s", as the program prints them
    double rate;         // data rate in bit/s
    double interLen;     // interleaver setting in seconds: 0.6 or 4.8
    bool coded;          // rate-1/2 code and interleaver; false: the bits go out as they are
    bool patterns;       // each symbol value sent as a 32-symbol channel pattern, without probes
    int bitsToSym;       // bits per symbol value
    int repFactor;       // copies of each coded bit
    int data, trein;     // data and probe symbols a frame
    int numRow, numCol;  // the interleaver block, numRow x numCol bits
    int d1, d2;          // the mode symbols the preamble and the closing probes announce
    constexpr int block_bits() const { return numRow * numCol; }
    constexpr int block_symbols() const { return hfchain::block_symbols(interLen); }
};

// Every mode, fastest rate first, 0.6 s before 4.8 s. Per rate:
//   4800  8-PSK, uncoded and not interleaved (0.6 s only), frames of 32 data + 16 probe symbols
//   2400  8-PSK, rate-1/2 code, 32 + 16
//   1200  4-PSK, rate-1/2 code, 20 + 20
//    600  2-PSK, rate-1/2 code, 20 + 20
//    300  2-PSK, rate-1/2 code, each coded bit sent twice, 20 + 20
//    150  2-PSK, rate-1/2 code, each coded bit sent four times, 20 + 20
//     75  rate-1/2 code, each pair of coded bits sent as one of four 32-symbol channel patterns,
//         32 + 0: no probes
// A block holds interLen seconds of coded bits: interLen x rate x 2 x repFactor (interLen x rate
// uncoded).
inline constexpr Mode kModes[] = {
    {"4800 bit/s, 0.6 s", 4800, 0.6, false, false, 3, 1, 32, 16, 40, 72, 7, 6},
    {"2400 bit/s, 0.6 s", 2400, 0.6, true, false, 3, 1, 32, 16, 40, 72, 6, 4},
    {"2400 bit/s, 4.8 s", 2400, 4.8, true, false, 3, 1, 32, 16, 40, 576, 4, 4},
    {"1200 bit/s, 0.6 s", 1200, 0.6, true, false, 2, 1, 20, 20, 40, 36, 6, 5},
    {"1200 bit/s, 4.8 s", 1200, 4.8, true, false, 2, 1, 20, 20, 40, 288, 4, 5},
    {"600 bit/s, 0.6 s", 600, 0.6, true, false, 1, 1, 20, 20, 40, 18, 6, 6},
    {"600 bit/s, 4.8 s", 600, 4.8, true, false, 1, 1, 20, 20, 40, 144, 4, 6},
    {"300 bit/s, 0.6 s", 300, 0.6, true, false, 1, 2, 20, 20, 40, 18, 6, 7},
    {"300 bit/s, 4.8 s", 300, 4.8, true, false, 1, 2, 20, 20, 40, 144, 4, 7},
    {"150 bit/s, 0.6 s", 150, 0.6, true, false, 1, 4, 20, 20, 40, 18, 7, 4},
    {"150 bit/s, 4.8 s", 150, 4.8, true, false, 1, 4, 20, 20, 40, 144, 5, 4},
    {"75 bit/s, 0.6 s", 75, 0.6, true, true, 2, 1, 32, 0, 10, 9, 7, 5},
    {"75 bit/s, 4.8 s", 75, 4.8, true, true, 2, 1, 32, 0, 20, 36, 5, 5},
};

// The interleaver settings in seconds.
inline constexpr double kInterleaverLengths[] = {0.6, 4.8};

// The user data rates in bit/s, fastest first (the rates of kModes in their order): the row order
// of every rate table.
inline constexpr std::array<double, 7> kDataRates = [] {
    std::array<double, 7> rates{};
    std::size_t n = 0;
    for (const Mode& m : kModes) {
        if (n == 0 || rates[n - 1] != m.rate) rates[n++] = m.rate;  // too many: not a constant
    }
    return rates;
}();
static_assert(kDataRates.back() == 75, "every rate of kModes, in order");
static_assert(kModes[1].block_symbols() == 1440 && kModes[2].block_symbols() == 11520);

// Symbols in the longest frame of any mode (32 data + 16 probes).
inline constexpr int kLongestFrame = [] {
    int longest = 0;
    for (const Mode& m : kModes) longest = std::max(longest, m.data + m.trein);
    return longest;
}();

// The mode of `rate` and `interLen` (both compared exactly), or nullptr when there is none.
constexpr const Mode* find_mode(double rate, double interLen) {
    for (const Mode& m : kModes) {
        if (m.rate == rate && m.interLen == interLen) return &m;
    }
    return nullptr;
}

// The mode a parameter set was built for (its rate and interl), or nullptr.
inline const Mode* find_mode(const ModeParams& mode) { return find_mode(mode.rate, mode.interl); }

// The mode of `rate` and `interLen`, refused as rateconf refuses them. Errors:
// "hfchain:params:UnknownRate" (rate not one of kDataRates), "hfchain:params:UnknownInterleaver"
// (interLen neither 0.6 nor 4.8), "hfchain:params:NoLongInterleaver" (4800 bit/s with 4.8 s: the
// uncoded mode has only 0.6 s).
const Mode& mode_of(double rate, double interLen);

// The first mode of `rate` (either interleaver), or nullptr.
constexpr const Mode* find_rate(double rate) {
    for (const Mode& m : kModes) {
        if (m.rate == rate) return &m;
    }
    return nullptr;
}

// What a rate sends, the same with either interleaver. A rate outside the table (a parameter set
// made by hand) is taken as coded, with probes.
constexpr bool is_uncoded(double rate) {
    const Mode* m = find_rate(rate);
    return m != nullptr && !m->coded;
}
constexpr bool uses_patterns(double rate) {
    const Mode* m = find_rate(rate);
    return m != nullptr && m->patterns;
}
inline bool is_uncoded(const ModeParams& mode) { return is_uncoded(mode.rate); }
inline bool uses_patterns(const ModeParams& mode) { return uses_patterns(mode.rate); }

}  // namespace hfchain
