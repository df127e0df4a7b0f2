// Saving one transmission's every intermediate signal to a MAT file (version 5, read by Octave's
// `load` and SciPy's `loadmat`), through the matio library.
#pragma once

#include <string>

#include "apps/options.hpp"
#include "chain/road.hpp"

namespace hfchain::app {

// Writes `road` to `file`. Each signal is a variable named as its block names it (BitInCodIn,
// CodOutInterIn, InterOutMapIn, MapOutMultiplexIn, ComplexPSKSymbols, ModConstellation,
// ProbeInfo, MultiplexOut, raios, RER, ED, WattersonOutAwgnIn, noise, AwgnOut, DemodOutDemapIn,
// DemapOut); the fields that several blocks share a name for (`filter`, `filterDelay`, `out`)
// are prefixed with their block: pulseshaper_filter, pulseshaper_out, pulsematch_filter,
// pulsematch_filterDelay, pulsematch_out (the matched-filter output), framelock_out (the frame
// start, 1 x 1 or 0 x 1), tickalign_out, unframer_out (the received data symbols), unshuffle_out
// (the deinterleaved bits). Also: expectedFrameStart, codedBits, codedBitErrors, channel (text),
// and the inputs mode, varShapping and varWatterson as structures. Fading outputs are left out
// for a channel without fading, all channel outputs for no channel. Complex signals are stored
// as complex, shapes as the blocks return them. The file is replaced whole or not at all; raises
// hfchain::Error (sweep::errid::kWriteFailed) when it cannot be written.
void save_road_mat(const std::string& file, const RunOptions& options, const ModeParams& mode,
                   const RoadResult& road);

}  // namespace hfchain::app
