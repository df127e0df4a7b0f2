// Soft-in/soft-out decoder of the rate-1/2, constraint-length-7 code (generators 133 and 171
// octal): max-log-MAP (BCJR) over the whole coded stream, from the all-zero state to the all-zero
// state that the 144 flush bits bring the encoder back to.
//
// It gives what an iterative receiver needs: the extrinsic log-likelihood ratio of every coded
// bit (what the code says about a bit beyond what the channel said about it), and the
// a-posteriori ratio and decision of every encoder input bit.
//
// Log-likelihood ratios are ln P(bit = 0) / P(bit = 1), the convention of the soft demapper: a
// positive value favours 0.
#pragma once

#include <cstddef>

#include "params/modeconf.hpp"
#include "receiver/decoder/trellis.hpp"
#include "runtime/array.hpp"

namespace hfchain {

struct SisodecodeOut {
    RealArray Extrinsic;  // (2 N) x 1 extrinsic LLRs of the coded bits, encoder order
    RealArray InfoLLR;    // N x 1 a-posteriori LLRs of the encoder input bits (BitInCodIn order)
    RealArray InfoBits;   // K x 1 decided information bits (0 or 1)
};

inline constexpr const char* kSisodecodeFields[] = {"Extrinsic", "InfoLLR", "InfoBits"};

// Decodes one transmission.
//   DecoderIn: (2 N) x 1 LLRs of the coded bits in encoder order (CodOutInterIn's order, so the
//     deinterleaved demapper output); at each of the N steps the bit of generator 133 comes
//     first, then that of 171. Infinite values are taken as certain, 0 as no information (an
//     erased bit); NaN is refused.
//   mode: interTable (T bits a block), rate other than 4800 (uncoded) and repFactor 1.
//   nFrame: interleaver blocks the transmitter filled (as given to sendchain; need not be whole).
// The encoder input had K information bits, 144 flush zeros and the padding zeros of the last
// block, N in all, as sendchain counts them (transmitter/bitbudget.hpp); the decoder takes every
// bit after the first K as known to be zero.
// Errors: rate 4800, or repFactor other than 1, "hfchain:sisodecode:UnsupportedMode"; those of
// the bit budget (no information bit: the message "Erro: Total de frames insuficientes para
// transmissao"; counts not whole, "Coder:MATLAB:NonIntegerInput"); DecoderIn not holding 2 N
// values, "hfchain:runtime:SizeMismatch"; a NaN value, "hfchain:sisodecode:NaN" (naming it, as
// vitdecode does).
SisodecodeOut sisodecode(const RealArray& DecoderIn, const ModeParams& mode, double nFrame);

// Kernels of the trellis work: `automatic` takes the widest the processor runs; `sse` handles four
// butterflies at a time (SSE on x86-64, portable compiler vectors elsewhere), `avx2` eight. Every
// kernel gives the same outputs to the bit.
enum class SisoKernel { automatic, sse, avx2 };

// Whether this build and processor can run the kernel (automatic and sse always can).
bool siso_kernel_available(SisoKernel kernel);

// The trellis work alone, for callers that decode the same stream repeatedly with their own
// buffers (the turbo equaliser). Single precision, N steps.
//   llr: 2 N coded-bit LLRs (encoder order); finite.
//   prior: N a-priori LLRs of the input bits (a large positive value for a known zero).
//   extrinsic: 2 N outputs, the extrinsic coded-bit LLRs.
//   app: N outputs, the a-posteriori input-bit LLRs, or null when not needed.
//   alpha: workspace of at least siso_workspace(N) values.
//   kernel: which kernel runs (see SisoKernel).
//   ends: the all-zero state at both ends, or open (any state, every one equally likely, at
//     each end: whole blocks cut from inside a transmission).
// Errors: a kernel this processor or build cannot run, "hfchain:sisodecode:NoKernel".
void siso_maxlog(index_t N, const float* llr, const float* prior, float* extrinsic, float* app,
                 float* alpha, SisoKernel kernel = SisoKernel::automatic,
                 TrellisEnds ends = TrellisEnds::zero);

// The workspace siso_maxlog needs for N steps: the forward metrics of every state at every step
// boundary, 64 (N + 1) values.
std::size_t siso_workspace(index_t N);

// Prior LLR that marks an input bit as a known zero.
inline constexpr float kKnownZeroPrior = 1.0e4f;

}  // namespace hfchain
