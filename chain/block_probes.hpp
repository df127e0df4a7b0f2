// The probes of a mode's interleaver blocks, matched against a received baseband block by block:
// how the recording receiver (chain/recording.hpp) tells where a transmission ends.
//
// Every interleaver block of a mode carries the same known symbols at the same places: its frames'
// probes (scrambled zeros, and the closing probes of its last two frames), scrambled by the data
// sequence, whose period of 160 symbols divides the block. A block of the transmission matches
// them; noise, silence and another transmission (its data, or its preamble) do not.
//
// Match. The baseband is matched-filtered at the instants of the block's known symbols only,
// turned back by the transmission's frequency offset, and correlated with the known points run by
// run (a frame's probes, a few milliseconds): the magnitudes of the runs' correlations, added, over
// the square root of the filtered samples' energy and their number. A clean block matches 1, noise
// about 0.886 / sqrt(run) (0.22 for runs of 16 probes, 0.20 for 20) with a spread of a few
// hundredths over 0.6 s. The block is taken in pieces of 1440 symbols (0.6 s); each piece is tried
// at the sampling instant so far and one sample either side, and the best instant is kept for the
// next piece when the piece matches, so that a sound card's clock (100 ppm moves the symbols by
// 0.6 samples a piece at 4 samples a symbol) is followed. A block's match is the mean of its
// pieces'. A mode without probes (75 bit/s) has nothing to match: every block matches 1.
//
// Repeats (75 bit/s, block_repeats). Every pattern is an 8-symbol piece sent four times, so that,
// descrambled, each of a pattern's first 24 symbols is the point of the symbol 8 after it,
// whichever pattern was sent: the filtered sample times the conjugate of the one 8 symbols later,
// turned by the two symbols' scrambling, is the path's power |h|^2, real and positive through
// any fade. A block's match is the real part of those products, added over the block, over
// their samples' energy: a clean single path matches 1, a path among others its share of the
// power, noise 0 with a spread of 1 / sqrt(2 n) (n the products: 1080 a 0.6 s block). The least
// match is four such spreads (0.086 with 0.6 s, 0.030 with 4.8 s), which a 75 bit/s
// transmission exceeds wherever it decodes. The pieces follow the clock as above.
#pragma once

#include <cstdint>
#include <vector>

#include "chain/recording.hpp"

namespace hfchain {

// The least match of a block of the transmission: above noise's by over six of its spreads.
inline constexpr double kLeastProbeMatch = 0.35;

struct BlockProbes {
    index_t M = 0, D = 0;             // samples a symbol, pulse half-length in symbols
    RealArray taps;                   // the matched filter (2 D M + 1 taps)
    std::vector<index_t> at;          // the block's known symbols, from its first symbol
    std::vector<cdouble> point;       // their points, conjugated
    std::vector<std::size_t> runs;    // the first entry of every run of consecutive known
                                      // symbols, then at.size()
    std::vector<std::size_t> pieces;  // the first run of every piece, then runs.size() - 1
    index_t lag = 0;                  // 0: the known symbols; 8: the patterns' repeats (each
                                      // product's second symbol that many later)
    double least = kLeastProbeMatch;  // the least match of a block of the transmission

    bool any() const { return !at.empty(); }
};

// The known symbols of one interleaver block of `mode` (frames of data and probes; 75 bit/s:
// none). Errors: those of the layout and the shaping filter.
BlockProbes block_probes(const ModeParams& mode, const VarShapping& shaping, HostServices& host);

// The repeats of one interleaver block of the 75 bit/s `mode` (see Repeats): the first 24
// symbols of each pattern, one run a piece, their points the scrambling of the symbol 8 later
// times the conjugate of their own. Errors: those of the layout and the shaping filter.
BlockProbes block_repeats(const ModeParams& mode, const VarShapping& shaping, HostServices& host);

// How well the block whose first symbol peaks at baseband sample `peak` (0-based, before the
// matched filter, samples outside the baseband taken as 0) matches the probes, under a frequency
// offset of `offset` Hz. `drift` (samples) is the sampling correction so far: added to every
// instant, and moved by the pieces that match.
double block_match(const Baseband& baseband, const BlockProbes& probes, std::int64_t peak,
                   double offset, std::int64_t& drift);

}  // namespace hfchain
