// The transmitter's code tables, shared with the receiver blocks that must match them exactly (the
// mapping's are in transmitter/constellation.hpp).
#pragma once

namespace hfchain {

// Generator rows of the K = 7 convolutional code (octal 133 and 171), column 1 weighing the
// current bit, column 7 the bit six steps back.
inline constexpr int kGenerators[2][7] = {{1, 0, 1, 1, 0, 1, 1}, {1, 1, 1, 1, 0, 0, 1}};

}  // namespace hfchain
