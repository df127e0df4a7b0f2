// The trellis of the transmitter's rate-1/2, constraint-length-7 convolutional code (generators
// 133 and 171 octal), as small constant tables for the decoders.
//
// A state is the six previous encoder input bits, the most recent in bit 0: before input u(k)
// the state is sum_j u(k - 1 - j) 2^j, j = 0..5. Input u moves state s to ((s << 1) | u) & 63, so
// the input bit that led into a state is its bit 0, and the two predecessors of state s are
// s >> 1 and (s >> 1) | 32 (they differ in the oldest bit, which leaves the register).
//
// The coded pair of a transition is held as a 2-bit number 2 c0 + c1: c0 is the first
// generator's (133) bit, sent first, c1 the second generator's (171) bit.
#pragma once

#include <cstdint>

#include "transmitter/codetables.hpp"

namespace hfchain {

// Where a decoder's trellis starts and ends: `zero`, in state 0 at both ends (a whole
// transmission: the encoder starts there and its flush zeros bring it back); `open`, in any state,
// every one equally likely, and in the final state of least metric (whole interleaver blocks cut
// from inside a transmission, such as a receiver that entered late decodes: the encoder runs on
// across blocks).
enum class TrellisEnds { zero, open };

}  // namespace hfchain

namespace hfchain::trellis {

inline constexpr int kMemory = 6;   // bits of state
inline constexpr int kStates = 64;  // 2^kMemory

struct Tables {
    std::uint8_t next[kStates][2];      // next[s][u]: the state after input u
    std::uint8_t output[kStates][2];    // output[s][u]: the coded pair 2 c0 + c1
    std::uint8_t previous[kStates][2];  // previous[s][b]: the predecessor whose oldest bit is b
};

namespace detail {

// Parity of the taps of generator row `g` over the input u and the state's six bits.
constexpr int coded_bit(int g, int state, int u) {
    int sum = kGenerators[g][0] * u;
    for (int j = 1; j < 7; ++j) sum += kGenerators[g][j] * ((state >> (j - 1)) & 1);
    return sum & 1;
}

constexpr Tables make_tables() {
    Tables t{};
    for (int s = 0; s < kStates; ++s) {
        for (int u = 0; u < 2; ++u) {
            t.next[s][u] = static_cast<std::uint8_t>(((s << 1) | u) & (kStates - 1));
            t.output[s][u] = static_cast<std::uint8_t>(2 * coded_bit(0, s, u) + coded_bit(1, s, u));
        }
        t.previous[s][0] = static_cast<std::uint8_t>(s >> 1);
        t.previous[s][1] = static_cast<std::uint8_t>((s >> 1) | (kStates / 2));
    }
    return t;
}

}  // namespace detail

inline constexpr Tables kTables = detail::make_tables();

}  // namespace hfchain::trellis
