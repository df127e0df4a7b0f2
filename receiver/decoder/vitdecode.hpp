// Channel decoder: the Viterbi decoder of the transmitter's convolutional code, from the
// deinterleaved log-likelihood ratios of the coded bits to the decoded information bits.
#pragma once

#include "params/modeconf.hpp"
#include "receiver/decoder/trellis.hpp"
#include "runtime/array.hpp"

namespace hfchain {

struct VitdecodeOut {
    RealArray DecodOut;  // numel(BitInCodIn) x 1 decoded encoder-input bits (0/1 doubles)
    RealArray InfoBits;  // K x 1, the first K of them: the information bits
};

inline constexpr const char* kVitdecodeFields[] = {"DecodOut", "InfoBits"};

// Decodes one transmission of sendchain(mode, nFrame, ...) from its coded bits' soft values.
//   DecoderIn: the log-likelihood ratios ln P(bit = 0) / P(bit = 1) (positive favours 0, 0 is an
//     erasure, +-Inf a sure bit) of the coded bits in the order of sendchain's `CodOutInterIn`,
//     that is deinterleaved (unshuffle of softslicer's LLR): for each encoder input bit, the
//     first generator's (133) bit and the second's (171), repeated mode.repFactor times. The
//     ratios of repeated copies are added. Exactly as long as `CodOutInterIn`:
//     2 repFactor (K + 144 + Z) values.
//   mode: reads rate, repFactor and the length of interTable (the bit budget).
//   nFrame: the interleaver blocks given to sendchain; with mode it fixes the K information
//     bits, the 144 flush zeros and the Z padding zeros, exactly as sendchain counts them.
// The trellis starts in state 0 and ends in state 0 (the flush zeros bring the encoder back), or,
// with `ends` open, starts in any state and ends in the best; DecodOut is the maximum-likelihood
// input sequence for the given ratios (path metrics quantised as viterbi.hpp describes), flush and
// padding bits included; InfoBits are its first K bits.
//
// Errors, in this order: rate 4800 (sent uncoded), "hfchain:vitdecode:Uncoded"; repFactor not a
// whole number of at least 1, "hfchain:vitdecode:RepFactor"; those of the bit budget (K < 1: the
// message without identifier "Erro: Total de frames insuficientes para transmissao"; K or Z not
// whole, "Coder:MATLAB:NonIntegerInput"; too large, "Coder:MATLAB:pmaxsize"); DecoderIn of
// another length, "hfchain:vitdecode:WrongLength"; a NaN value, "hfchain:vitdecode:NaN".
VitdecodeOut vitdecode(const RealArray& DecoderIn, const ModeParams& mode, double nFrame,
                       TrellisEnds ends = TrellisEnds::zero);

}  // namespace hfchain
