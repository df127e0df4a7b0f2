// Demultiplexer: preamble removal, descrambling, truncation to whole frames, probe removal.
#pragma once

#include "params/modeconf.hpp"
#include "runtime/array.hpp"

namespace hfchain {

struct UnframerOut {
    ComplexArray out;  // received data symbols
};

// Undoes the data scrambling: y(k) = x(k) exp(-j pi saida_shift(k) / 4).
ComplexArray descrambler(const ComplexArray& x);

UnframerOut unframer(const ComplexArray& DemultiplexIn, const Milstd& milstd);

}  // namespace hfchain
