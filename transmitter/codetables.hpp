// The transmitter's code and mapping tables, shared with the receiver blocks that must match them
// exactly.
#pragma once

#include <array>

namespace hfchain {

// Generator rows of the K = 7 convolutional code (octal 133 and 171), column 1 weighing the
// current bit, column 7 the bit six steps back.
inline constexpr int kGenerators[2][7] = {{1, 0, 1, 1, 0, 1, 1}, {1, 1, 1, 1, 0, 0, 1}};

// Gray mapping `gray2bina`: entry v + 1 is the symbol value sent for the b-bit value v (then
// scaled by 2^(3 - b) onto the eight phases).
inline constexpr std::array<double, 8> kGray2bina = {0, 1, 3, 2, 7, 6, 4, 5};

}  // namespace hfchain
