// The picture of `run`: what each receiver made of the symbols, and the channel's path gains.
#pragma once

#include <ostream>
#include <string>

#include "apps/options.hpp"
#include "chain/road.hpp"

namespace hfchain::app {

// The measures in pixels that the figures of run and of the air share: a constellation panel's
// width and height, and the title's height above the panels.
inline constexpr int kPanel = 340;
inline constexpr int kTitleHeight = 30;

// A panel of received symbols, drawn against the points of the PSK they are sent on.
struct ConstellationPanel {
    std::string title;
    const ComplexArray* symbols;
    int points;           // of the PSK the symbols are sent on
    index_t most = 6000;  // the most symbols drawn, evenly taken from all
};

// Writes to the gnuplot script `s` the panel at `left`, `bottom` (shares of the figure), `width`
// wide and `height` high, its data blocks named by `k`.
void write_constellation(std::ostream& s, const ConstellationPanel& panel, std::size_t k,
                         double left, double width, double bottom, double height);

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
