// Demultiplexer: preamble removal, descrambling, truncation to whole frames, probe removal.
#pragma once

#include "params/modeconf.hpp"
#include "runtime/array.hpp"
#include "runtime/interrupts.hpp"

namespace hfchain {

struct UnframerOut {
    ComplexArray out;  // received data symbols
};

// Undoes the data scrambling: y(k) = x(k) exp(-j pi saida_shift(k) / 4), the sequence starting
// afresh at x(1). x: n x 1 complex symbols; y has the same size.
ComplexArray descrambler(const ComplexArray& x);

// Received data symbols from the symbol-rate stream: strips the Lp-symbol preamble (Lp = columns
// of mode.preamSync), descrambles from the first symbol after it, drops an incomplete last
// frame of data + trein symbols and, except at rate 75, the trein probe symbols of each frame.
//   DemultiplexIn: N x 1 complex, one sample a symbol, preamble first.
//   mode: rate, preamSync (its length only), data and trein (symbols a frame).
// A short input, or frames of no symbols (data + trein = 0), give an empty out.
// Errors: data + trein not whole, the integer check on the kept length or
// "Coder:MATLAB:getReshapeDims_notSameNumel"; data not whole, or larger than data + trein, the
// integer or index check. Polls `host` for interrupts (the default host cannot be interrupted).
UnframerOut unframer(const ComplexArray& DemultiplexIn, const ModeParams& mode,
                     HostServices& host = no_host());

}  // namespace hfchain
