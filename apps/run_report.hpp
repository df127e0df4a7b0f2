// The `run` command: one transmission through the whole chain, reported stage by stage.
#pragma once

#include <ostream>
#include <string>

#include "apps/options.hpp"
#include "chain/road.hpp"

namespace hfchain::app {

// Prints what each block did: sizes, the channel's gains and noise power, the frame start found
// against the expected one, symbol and coded-bit errors, then for each receiver run its soft
// values, the coded-bit errors of their signs, information-bit and block errors. Headed by `#`
// lines with the version and every parameter.
void write_run_report(std::ostream& out, const RunOptions& options, const ModeParams& mode,
                      const RoadResult& road, const std::string& version);

// Makes the folder `dir` for run's pictures (and its parents) when missing. Raises UsageError.
void make_plot_folder(const std::string& dir);

// Draws the received data symbols (constellation.svg) and, for a fading channel, the magnitude
// of the two ray gains over time (ray_gains.svg) into `dir`, created when missing; each file is
// replaced whole or not at all. Returns the files written. Raises UsageError when the folder
// cannot be made, hfchain::Error (sweep::errid::kWriteFailed) when gnuplot fails or a picture
// cannot be written.
std::vector<std::string> plot_run(const std::string& dir, const RunOptions& options,
                                  const RoadResult& road);

}  // namespace hfchain::app
