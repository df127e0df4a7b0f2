// Late entry: a receiver that starts listening after the preamble finds, from the frames alone,
// the symbol timing, the frequency offset, where the next interleaver block begins and which
// mode is being sent.
//
// What it reads. Every frame's probes are the data scrambler's sequence itself (scrambled zeros),
// and that sequence repeats every 160 symbols; frames of 48 (32 + 16) or 40 (20 + 20) symbols and
// the sequence line up again every 480 or 160 symbols, and an interleaver block (1440 or 11520
// symbols) always starts on the sequence's first symbol. The probes of a block's last two frames
// carry the first symbols of the patterns of the mode's d1 and d2 instead. At 75 bit/s there are
// no probes: every symbol belongs to a 32-symbol pattern (one of four, scrambled), and the last
// pattern of each block is drawn from the other four columns.
//
// Method, on the matched-filter output x at M samples a symbol, T = 1 / 2400 s:
//  1. Timing, for each frame geometry (32 + 16, 20 + 20, 75 bit/s patterns), over every sample of
//     one period of frames and sequence (480, 160 or 160 symbols): freqlock's differential
//     correlation. With probes, each frame's probe run is cut into two halves (8 or 10 symbols),
//     each half correlated with the scrambled zeros, and the product of the second with the
//     conjugate of the first summed over all frames, less the same sum over a data run as long
//     (content of one value, such as a transmission's closing zero bits, would
//     otherwise match the zero probes at every geometry). Without probes, the descrambled samples 8
//     symbols apart within a pattern are multiplied (every pattern is an 8-symbol piece repeated
//     four times, so the product does not depend on which pattern was sent). An offset of f Hz
//     turns every product by 2 pi f 8 T (10 T): the sum's argument gives f within +-150 Hz
//     (+-120 Hz). The score is |D| over its standard deviation on noise alone (the products'
//     count times the input's mean power), sqrt(-ln p) for a window of noise to reach it with
//     probability p; each geometry keeps the sample of its largest score.
//  2. Block boundary and mode. With the offset turned back, each frame's probe run is correlated
//     coherently with the zero probe and with each closing pattern (each 75 bit/s pattern with all
//     eight), and each mode's hypothesis "blocks start on frame r, r + B, ..." (B frames a block,
//     r on the sequence's first symbol) is scored by the log-likelihood ratio of what its closing
//     frames hold against ordinary frames: for independently Rayleigh-faded paths, the sum over
//     the paths i of (E_d,i - E_0,i) / (n N0,i) g_i / (1 + g_i) per closing frame, E_i the
//     correlations' energies on path i, n the symbols correlated, N0,i the noise and g_i =
//     n S_i / N0,i the path's signal-to-noise ratio, both read from the frames themselves. The
//     paths are the local maxima, a symbol or more apart, of the frames' mean energy in the held
//     column at every sample within 12 symbols (the largest differential delay) either side of
//     the timing, that stand clear of noise alone (by 3.5 times the mean's standard error over
//     the frames) and carry a tenth of the strongest's or more; the timed one and at most two
//     more. So closing frames the timed path holds in a fade count where another path carries
//     them. The offset's residual and the noise the tail is weighed with are the timed path's.
//     A receiver that entered late in the preamble may still hear its last
//     segment's tail (d1, d2, the count 0 and the closing value, 32-symbol patterns) before the
//     first data block: each hypothesis's first block start also adds the ratio that mode's tail
//     ends there, each pattern's energy E weighed as exponential of mean n^2 S + n N0 where the
//     pattern was sent against n (S + N0) over data (n = 32; N0 that of the geometry that scored
//     highest, S what the tail's own symbols hold above it, so that data in a stretch stronger
//     than the mean does not pass for a tail), and counted only above 0 (over data it lies below
//     0 but for a small chance); where it counts, it stands for the frames before that block,
//     which are then the preamble's and not closing frames. Each mode is taken as likely as any
//     other, and each of its block starts alike: a hypothesis's ratio is weighed by 1 over the
//     number of block starts its mode has (45 or 360 patterns at 75 bit/s, whose closing
//     patterns do not differ between the two interleavers, are told apart by this and by how
//     many block ends fit). Every geometry whose score reaches the threshold is read so, and once
//     a block is found after a preamble heard every other geometry too (in a fade the right one
//     may score below the threshold; below it, only a block after the preamble heard counts).
//     Where a geometry with probes scores highest, the highest-scoring one that finds a block
//     wins: a transmission with probes also scores as 75 bit/s patterns (its probe runs are
//     scrambled zeros, a piece repeated) and a little in the other probe geometry, at a fraction
//     of its own score, and the likeliest of the many places a block could end in a geometry not
//     the transmission's claims by chance as much as one pair of closing frames read in a fade.
//     Where the patterns score highest (a preamble's patterns, or data of one value such as a
//     transmission's closing zero bits, score higher as patterns than in their own frames, but
//     only their own frames show their closing frames plainly), the geometries' best hypotheses
//     are weighed against each other by what their frames alone claim (the tail aside:
//     geometries timed on different paths weigh it differently), unless two place the first
//     block after the same preamble, where the tail is the same evidence for both and their
//     whole ratios are compared. The confidence is the winner's share of every hypothesis it is
//     weighed against: 1 / (1 + the sum of exp(L - L1) over every other hypothesis of its
//     geometry, any mode and any block start, each weighed as above, + the sum of exp(-D) over
//     the geometries weighed against it), L1 the winner's ratio, L another hypothesis's (one
//     whose block starts no frame of the input can show counts 0), D how much more the winner
//     claims than that geometry's best hypothesis. So a reading that cannot tell where the block
//     starts is not sure of it either.
// Impulses: as in freqlock, samples that impulseblank finds are read as 0.
#pragma once

#include "runtime/array.hpp"
#include "runtime/host.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain {

// The default score a transmission's frames must reach: noise alone reaches it in fewer than one
// search in a million (see blocklock_test.cpp).
inline constexpr double kBlocklockThreshold = 5;

// The shortest input blocklock reads, in symbols: one short interleaver block.
inline constexpr index_t kBlocklockShortest = 1440;

struct VarBlocklock {
    double threshold = kBlocklockThreshold;  // the score the frames must reach
};

struct BlocklockOut {
    bool found = false;     // frames reached the threshold and a block boundary was read
    double score = 0;       // step 1's score of the winning geometry and sample
    double offset = 0;      // frequency offset, Hz
    int mode = -1;          // index into kModes (params/modes.hpp), -1 when none was read
    double confidence = 0;  // 0..1: how surely the frames name that mode and block start
    double blockStart = 0;  // 1-based sample of the first symbol of the first block that starts
                            // within the input (its strongest path), 0 when none was read
};

inline constexpr const char* kBlocklockFields[] = {"found", "score",      "offset",
                                                   "mode",  "confidence", "blockStart"};

// Finds the frames, block boundary and mode of a transmission entered after its preamble.
//   MatchedFilterIn: Lmf x 1 complex matched-filter output (pulsematch's out) at M samples a
//     symbol, at least 1440 symbols (one short block) long: Lmf >= 1440 M.
//   varShapping: oversamplingFactor M.
//   settings: the threshold.
// Errors: M not a whole number of at least 1, "hfchain:blocklock:BadOversampling"; Lmf < 1440 M,
// "hfchain:blocklock:TooShort"; a sample that is NaN or infinite, "hfchain:blocklock:NonFinite",
// or beyond kLargestSample in magnitude, "hfchain:blocklock:TooLarge", both naming the sample; a
// threshold that is NaN or negative, "hfchain:blocklock:BadThreshold".
BlocklockOut blocklock(const ComplexArray& MatchedFilterIn, const VarShapping& varShapping,
                       const VarBlocklock& settings);

// The same, polling host.poll_interrupt() as it goes: an interrupt abandons the call with the
// host's error.
BlocklockOut blocklock(const ComplexArray& MatchedFilterIn, const VarShapping& varShapping,
                       const VarBlocklock& settings, HostServices& host);

}  // namespace hfchain
