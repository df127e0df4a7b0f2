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

    bool any() const { return !at.empty(); }
};

// The known symbols of one interleaver block of `mode` (frames of data and probes; 75 bit/s:
// none). Errors: those of the layout and the shaping filter.
BlockProbes block_probes(const ModeParams& mode, const VarShapping& shaping, HostServices& host);

// How well the block whose first symbol peaks at baseband sample `peak` (0-based, before the
// matched filter, samples outside the baseband taken as 0) matches the probes, under a frequency
// offset of `offset` Hz. `drift` (samples) is the sampling correction so far: added to every
// instant, and moved by the pieces that match.
double block_match(const Baseband& baseband, const BlockProbes& probes, std::int64_t peak,
                   double offset, std::int64_t& drift);

}  // namespace hfchain
