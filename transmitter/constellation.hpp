// The data constellation of the waveform: eight phases, and the Gray labels by which 1, 2 or 3
// bits pick one of them. The transmitter maps with this table and every receiver block that
// needs a point, a label or a rotation reads it here, so that all of them agree to the last bit.
#pragma once

#include <array>

#include "runtime/array.hpp"

namespace hfchain {

// Symbol values 0 .. 7 name the eight phases: value s goes out as exp(j 2 pi s / 8). Scrambling
// adds a value modulo 8, which turns a point by a multiple of 45 degrees.
inline constexpr int kPskPhases = 8;

// Gray mapping `gray2bina`: entry v + 1 is the symbol value sent for the b-bit value v (then
// scaled by 2^(3 - b) onto the eight phases), so that neighbouring phases differ in one bit.
inline constexpr std::array<double, 8> kGray2bina = {0, 1, 3, 2, 7, 6, 4, 5};

// Its inverse `bina2gray`: entry s + 1 is the 3-bit value carried by symbol value s (the Gray
// code s XOR (s >> 1)).
inline constexpr std::array<double, 8> kBina2gray = [] {
    std::array<double, 8> inverse{};
    for (int v = 0; v < kPskPhases; ++v) inverse[static_cast<int>(kGray2bina[v])] = v;
    return inverse;
}();

// The point of every symbol value s = 0 .. 7, exp(j 2 pi s / 8): the phase 2 pi s / 8 rounded
// as the transmitter computes it (2 pi, times s, over 8), then its cosine and sine.
const std::array<cdouble, 8>& psk_points();

// The constellation of b bits a symbol, b = 1, 2 or 3: the label value v, its b bits read most
// significant (first sent) first, goes out on symbol value kGray2bina[v] 2^(3 - b), that is all
// eight phases for b = 3, the even ones for b = 2, phases 0 and 4 for b = 1.
struct Constellation {
    int bits = 0;                    // b
    int size = 0;                    // 2^b points
    std::array<int, 8> value{};      // symbol value of label v (v < size)
    std::array<cdouble, 8> point{};  // point of label v (v < size)

    // Bit i (0 = most significant, the first sent) of label v.
    int bit(int v, int i) const { return (v >> (bits - 1 - i)) & 1; }
};

// The constellation of `bits` bits a symbol. Errors: bits other than 1, 2 or 3,
// "hfchain:constellation:BitsToSym".
const Constellation& constellation(int bits);

}  // namespace hfchain
