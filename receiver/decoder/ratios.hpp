// The decoders' one rule for the coded-bit ratios they take: ln P(bit = 0) / P(bit = 1), positive
// favouring 0, 0 an erased bit, +-Inf a sure bit. A NaN says nothing a decoder could use, not
// even "unknown" (that is 0), so both decoders refuse it, naming the element.
#pragma once

#include "runtime/array.hpp"
#include "runtime/checks.hpp"

namespace hfchain {

// Raises `identifier` for the first NaN in DecoderIn: "DecoderIn(k) is NaN: a log-likelihood
// ratio must be a number (0 marks an erased bit)."
inline void check_ratios(const RealArray& DecoderIn, const char* identifier) {
    check_not_nan(DecoderIn, "DecoderIn", identifier,
                  "a log-likelihood ratio must be a number (0 marks an erased bit).");
}

}  // namespace hfchain
