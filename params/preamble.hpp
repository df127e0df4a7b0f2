// The preamble's segments: how many a mode sends and the 15 three-bit values each carries, every
// value sent as its 32-symbol channel pattern (480 symbols a segment).
#pragma once

#include <array>

namespace hfchain {

inline constexpr int kSegmentValues = 15;
inline constexpr int kPatternSymbols = 32;
inline constexpr int kSegmentSymbols = kSegmentValues * kPatternSymbols;

// Where d1, d2 and the first count value C1 sit among a segment's values (C2 and C3 follow C1).
// The values before d1 are the same in every segment of every mode.
inline constexpr int kD1Value = 9;
inline constexpr int kD2Value = 10;
inline constexpr int kCountValue = 11;
inline constexpr int kCountDigits = 3;

// Segments of the preamble with the interleaver setting interLen (0.6 or 4.8 s).
constexpr int preamble_segments(double interLen) { return interLen == 0.6 ? 3 : 24; }

// The values of a segment after which `count` segments are still to come: the count in base 4,
// most significant digit first, each digit plus 4.
constexpr std::array<int, kSegmentValues> segment_values(int d1, int d2, int count) {
    return {0, 1, 3, 0, 1, 3, 1, 2, 0, d1, d2, count / 16 + 4, (count / 4) % 4 + 4, count % 4 + 4,
            0};
}

}  // namespace hfchain
