// The picture of a sweep: its error rates against the chosen axis, drawn by gnuplot.
#pragma once

#include <string>

#include "sweep/config.hpp"
#include "sweep/engine.hpp"
#include "sweep/picture.hpp"

namespace hfchain::sweep {

// Draws the error rate of the sweep's metric (decoded information bits, or coded bits) against
// `axis` on a logarithmic axis, with gnuplot: one curve per condition, receiver and data rate with
// its 95 % bars, the colour telling the condition, the dash and marker the receiver and the width
// the rate, each stated once in a key beside the plot. A point whose interval rests on few error
// events has a hollow marker; a run of points without errors is one downward triangle at its first
// point's upper 95 % bound, in the condition's colour, named by its receiver. The frame follows
// what is drawn (whole decades). The dotted grey curve is the theoretical coded-bit error rate of
// Gray-coded 8-PSK on white noise (for decoded curves it marks the channel bits before decoding;
// the decoded reference on white noise is the simulated awgn condition, so labelled once; on the
// Eb/N0 axis, against the energy of each of its own bits). The terminal follows the extension
// (.svg or .png). The file is replaced whole or not at all. Messages name the file `name`
// ("--plot"). Raises errid::kWriteFailed when gnuplot fails or the picture cannot be written.
void plot_sweep(const std::string& file, const std::string& name, const SweepConfig& config,
                const SweepResult& result, PlotAxis axis);

// The gnuplot script plot_sweep feeds to gnuplot (data inline), drawing into `output` (default:
// `file`, which chooses the terminal). The same configuration and result give the same script.
std::string sweep_plot_script(const std::string& file, const SweepConfig& config,
                              const SweepResult& result, PlotAxis axis,
                              const std::string& output = {});

}  // namespace hfchain::sweep
