// The declared sizes of host values, shared by the Octave plug-ins' gateway and the Python
// binding: each input declares its rows and columns, each fixed or bounded, and a value of any
// other size is refused before a block sees it.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "runtime/array.hpp"

namespace hfchain {

// A bound that any extent meets.
inline constexpr index_t kUnbounded = std::numeric_limits<index_t>::max();

// One dimension: a fixed extent, or any extent up to `extent` (variable).
struct Dim {
    index_t extent;
    bool variable;
};

struct Shape {
    Dim rows;
    Dim cols;
};

inline constexpr Dim fixed(index_t n) { return {n, false}; }
inline constexpr Dim upto(index_t n) { return {n, true}; }

inline constexpr Shape kScalar{fixed(1), fixed(1)};
inline constexpr Shape kColumn{upto(kUnbounded), fixed(1)};
inline constexpr Shape kRow{fixed(1), upto(kUnbounded)};
inline constexpr Shape kMatrix{upto(kUnbounded), upto(kUnbounded)};

// Whether an extent of n meets the dimension.
inline constexpr bool dim_fits(Dim d, std::int64_t n) {
    return d.variable ? n <= static_cast<std::int64_t>(d.extent)
                      : n == static_cast<std::int64_t>(d.extent);
}

// The dimension as messages write it: "3" (fixed), ":25" (up to 25), ":Inf" (any).
inline std::string dim_text(Dim d) {
    if (!d.variable) return std::to_string(d.extent);
    if (d.extent == kUnbounded) return ":Inf";
    std::string text = ":";  // appended rather than ":" + ..., which GCC 12 warns about at -O3
    text += std::to_string(d.extent);
    return text;
}

}  // namespace hfchain
