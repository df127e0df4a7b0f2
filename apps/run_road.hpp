// The road `run` sends its transmission down, from its options.
#pragma once

#include "apps/options.hpp"
#include "chain/road.hpp"

namespace hfchain::app {

// The road configuration `run` builds from its options.
RoadConfig road_config(const RunOptions& options);

}  // namespace hfchain::app
