// The picture of the minimum-performance table: each row's measured curves and its requirement.
#pragma once

#include <string>

#include "sweep/picture.hpp"
#include "sweep/requirements.hpp"

namespace hfchain::sweep {

// The gnuplot script of the picture: each row's curve of each receiver (decoded error rate against
// `axis`, log axis, the row's colour; hf solid with circles, genie dashed with diamonds, baseline
// dash-dot with squares) through its measured points with their 95 % bars, hollow where the
// interval rests on few error events, a run of points without errors as one downward triangle at
// its upper bound named by its receiver, and the requirement as a cross at (required SNR, target)
// in the row's colour. The frame holds every point, bound and cross (whole decades of rate).
std::string requirements_plot_script(const std::string& file, const RequirementsConfig& config,
                                     const RequirementsResult& result,
                                     PlotAxis axis = PlotAxis::snr3k,
                                     const std::string& output = {});

// Draws the picture into `file` (.svg or .png), replaced whole or not at all; messages name it
// `name`. Raises errid::kWriteFailed when gnuplot fails.
void plot_requirements(const std::string& file, const std::string& name,
                       const RequirementsConfig& config, const RequirementsResult& result,
                       PlotAxis axis = PlotAxis::snr3k);

}  // namespace hfchain::sweep
