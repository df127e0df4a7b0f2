// Acquisition without a mode: finds a transmission of any mode in the matched-filter output, its
// start and frequency offset, reads its mode and the preamble segments still to come, and from
// them where the preamble began and where its first data symbol lies.
//
// Every preamble segment of every mode is 480 symbols; its first 288 are the same in all modes,
// and symbols 289..448 carry d1, d2 and the three count digits C1..C3 as 32-symbol channel
// patterns. modelock searches the first 288 with freqlock's differential sums (the frequency
// offset unknown), reads d1, d2 and the count from the next 160, and names the mode whose (d1, d2)
// fits best.
#pragma once

#include "runtime/array.hpp"
#include "runtime/host.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain {

// The detection statistic's default threshold (see VarModelock::threshold).
inline constexpr double kModelockThreshold = 0.12;

struct VarModelock {
    // Detection statistic a preamble segment must reach: |N| / 35 for the sum N of the products
    // of neighbouring segment correlations (8 symbols each, 36 over the 288 common symbols), each
    // correlation normalised by its segment's energy: 1 for a clean segment, and on noise alone
    // independent of the noise level, however it varies. Three consecutive segments whose sums N
    // added reach 0.62 of it, over their 3 x 35 terms, are found too (a preamble too weak for
    // any one segment). The default gives at most about one false detection in 10 hours of noise.
    double threshold = kModelockThreshold;
    // 1-based samples of the input where the search looks for the first window that reaches the
    // threshold (to = 0: as far as a whole segment fits after it). The segment found is the best
    // window of the segment's length from there on, so its start may lie up to a segment after
    // `to`.
    double from = 1, to = 0;
};

struct ModelockOut {
    bool found = false;        // a preamble segment passed the threshold (or three together)
    double score = 0;          // its detection statistic
    double start = 0;          // 1-based sample (matched-filter output, M a symbol) of the found
                               // segment's first symbol, framelock's convention
    double offset = 0;         // frequency offset, Hz (within +-75 Hz at least)
    int mode = -1;             // index into kModes (params/modes.hpp), -1 when not read
    double confidence = 0;     // 0..1: how surely d1/d2 name that mode rather than the runner-up
    int segmentsLeft = 0;      // the count read from C1..C3 of the found segment (segments still
                               // to come)
    double preambleStart = 0;  // 1-based sample where the preamble's first segment began (may be
                               // < 1: the receiver entered late in the preamble)
    double firstData = 0;      // 1-based sample of the first data symbol after the preamble
};

// The fields the Octave plug-in and Python give, in this order: the mode as its rate (bit/s) and
// interleaver setting (s), 0 and 0 when not read, in place of the row index.
inline constexpr const char* kModelockFields[] = {
    "found",    "score",      "start",        "offset",        "rate",
    "interLen", "confidence", "segmentsLeft", "preambleStart", "firstData"};
inline constexpr const char* kVarModelockFields[] = {"threshold", "from", "to"};

// Finds the first preamble segment in MatchedFilterIn (Lmf x 1, M = oversamplingFactor samples a
// symbol) whose statistic reaches settings.threshold, among the segment starts from settings.from
// to settings.to, and reads it. found = false (every other field as initialised) when none does.
ModelockOut modelock(const ComplexArray& MatchedFilterIn, const VarShapping& varShapping,
                     const VarModelock& settings);

// The same, polling host.poll_interrupt() as it goes: an interrupt abandons the call with the
// host's error.
ModelockOut modelock(const ComplexArray& MatchedFilterIn, const VarShapping& varShapping,
                     const VarModelock& settings, HostServices& host);

}  // namespace hfchain
