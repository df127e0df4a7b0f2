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

}  // namespace hfchain::app
