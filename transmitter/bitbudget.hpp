// The transmitter's bit budget: how many information, flush and padding bits fill `nFrame`
// interleaver blocks. The transmitter and the decoder both count with it, so they always agree.
#pragma once

#include "params/modeconf.hpp"
#include "runtime/array.hpp"

namespace hfchain {

// Zero bits appended to the information bits to bring the encoder back to the all-zero state.
inline constexpr index_t kFlushBits = 144;

struct BitBudget {
    index_t info = 0;     // K: information bits
    index_t padding = 0;  // Z: zero bits completing the last interleaver block
    index_t total = 0;    // K + 144 + Z: the encoder's input bits (`BitInCodIn`)
};

// With T = numel(mode.interTable) and R = mode.repFactor: in the coded modes (every rate but
// 4800) K = T nFrame / (2 R) - 144 and the block holds B = T / (2 R) encoder input bits; uncoded
// (rate 4800) K = T / R nFrame - 144 and B = T / R. The padding Z = rem(B - rem(K + 144, B), B)
// completes the last block.
// Errors, in this order: K < 1, the message without identifier "Erro: Total de frames
// insuficientes para transmissao"; K or Z not a whole number (or not finite),
// "Coder:MATLAB:NonIntegerInput"; K, Z or the total beyond 2147483647, "Coder:MATLAB:pmaxsize".
BitBudget bit_budget(const ModeParams& mode, double nFrame);

// The encoder input bits of `blocks` whole interleaver blocks cut from inside a transmission:
// B blocks of them (B as above), every one unknown (info = total, no flush or padding counted).
// Errors: a count that is not whole, "Coder:MATLAB:NonIntegerInput"; too large,
// "Coder:MATLAB:pmaxsize".
BitBudget block_budget(const ModeParams& mode, double blocks);

}  // namespace hfchain
