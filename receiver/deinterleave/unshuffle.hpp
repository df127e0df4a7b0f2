// Deinterleaver: scatters each block of T bits back through `interTable`.
#pragma once

#include "params/modeconf.hpp"
#include "runtime/array.hpp"
#include "runtime/interrupts.hpp"

namespace hfchain {

struct UnshuffleOut {
    RealArray out;  // N x 1 bits in encoder order
};

// Undoes the block interleaving: within each block of T = numel(interTable) bits, bit k goes back
// to position interTable(k) (later entries win on repeats, positions never named stay 0).
//   DeinterleaverIn: N x 1 bits in transmission order, N a multiple of T. Any real values move
//     unchanged, so the same call deinterleaves softslicer's log-likelihood ratios for the decoder.
//   mode: rate and interTable (T x 1 permutation of 1..T).
// Errors: rate 4800, the program message "ERRO! Para a taxa 4800bps, nao ha deinterleaver."
// before any other check; N not a multiple of T or T = 0, "Coder:MATLAB:NonIntegerInput"; N = 0
// with T > 1, "Coder:toolbox:reshape_emptyReshapeLimit"; an entry not whole, the integer check;
// an entry outside 1..T, the index check on `dados_deinter_out`. Polls `host` for interrupts (the
// default host cannot be interrupted).
UnshuffleOut unshuffle(const RealArray& DeinterleaverIn, const ModeParams& mode,
                       HostServices& host = no_host());

}  // namespace hfchain
