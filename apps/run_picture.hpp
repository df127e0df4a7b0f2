// The picture of `run`: what each receiver made of the symbols, and the channel's path gains.
#pragma once

#include <string>

#include "apps/options.hpp"
#include "chain/road.hpp"

namespace hfchain::app {

// The gnuplot script of run's figure, drawing into `output` (default: `file`, whose extension,
// .svg or .png, chooses the terminal). One row of constellation panels, each against the points
// its symbols are sent on: for each receiver asked for, in its order, the symbols it received
// (baseline: the data symbols as they are, without an equaliser; hf: the matched filter at the
// symbol instants, every symbol as sent) and those it decided from (hf: equalised; genie: through
// the known gains). Below them, for a fading channel, every path's gain in dB over time, the HF
// receiver's sounding estimate (when it ran) dashed over the true gain in the colour of the path
// nearest its delay.
std::string run_plot_script(const std::string& file, const RunOptions& options,
                            const ModeParams& mode, const RoadResult& road,
                            const std::string& output = {});

// Draws the figure into `file`, replaced whole or not at all. Raises hfchain::Error
// (sweep::errid::kWriteFailed) when gnuplot fails or the picture cannot be written.
void plot_run(const std::string& file, const RunOptions& options, const ModeParams& mode,
              const RoadResult& road);

}  // namespace hfchain::app
