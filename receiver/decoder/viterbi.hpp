// The Viterbi decoder of the transmitter's rate-1/2, constraint-length-7 code at the level of
// trellis steps: two soft values a step in, one decoded bit a step out, into the caller's memory.
// vitdecode builds on it; a receiver that decodes again and again (an iterative equaliser) calls
// it directly with one workspace for all its calls.
//
// Metrics. Each step t brings the log-likelihood ratios L0 = pairs[2 t] and L1 = pairs[2 t + 1]
// (ln P(c = 0) / P(c = 1), positive favours 0) of its two coded bits, the first generator's (133)
// and then the second's (171). A branch costs (c0 ? L0 : -L0) + (c1 ? L1 : -L1); the decoder
// returns the input bits of the path of least total cost that starts in state 0 and, when
// `terminated`, ends in state 0. That is the maximum-likelihood path for independent bits
// (max-log when the ratios themselves are max-log values).
//
// Arithmetic. The ratios are scaled by one power of two per call, chosen so that the mean
// magnitude of the finite non-zero ones lands in (kViterbiLevel / 16, kViterbiLevel / 8], and
// rounded to whole numbers clipped to +-kViterbiLevel (+-Inf gives the clip level, a sure bit).
// In that mean each magnitude counts at most 64 times the top of the power-of-two range that
// holds their median, so that a few values far above the rest (an impulse let through) saturate
// instead of rounding every other ratio to an erasure; ordinary ratios never reach that bound.
// Path metrics are 16-bit integers, renormalised every eight steps; with that clip level they
// never overflow. The add-compare-select runs in one of several kernels, all doing exactly the
// same integer arithmetic with the same tie rule (on equal candidates the predecessor whose
// oldest bit is 0 survives), so every kernel takes every decision alike. Survivor decisions are
// kept for the whole call and traced back once: no truncation of the path memory.
#pragma once

#include <cstdint>
#include <memory>

#include "runtime/array.hpp"

namespace hfchain {

// Add-compare-select code: `automatic` takes the widest the processor runs (AVX2, else SSE2 on
// x86-64, else plain); `plain` is one state at a time in portable C++.
enum class AcsKernel { automatic, plain, sse2, avx2 };

// Whether this build and processor can run the kernel (automatic and plain always can).
bool acs_kernel_available(AcsKernel kernel);

// The kernel `automatic` stands for on this processor.
AcsKernel acs_kernel_automatic();

// Clip level of the quantised log-likelihood ratios.
inline constexpr int kViterbiLevel = 640;

class ViterbiWorkspace;

// Where the trellis starts: in state 0 (the encoder's state at a transmission's start), or in any
// state, every one equally likely (bits cut from inside a transmission, whose encoder had run on
// before them).
enum class TrellisStart { zero, any };

// Decodes `steps` trellis steps from state 0 (or, with start `any`, from every state alike).
//   pairs: 2 steps values, the log-likelihood ratios of each step's two coded bits (any repeated
//     copies of a bit already summed); +-Inf marks a sure bit, 0 an erased one.
//   steps: number of steps (encoder input bits), >= 0.
//   terminated: true when the encoder ended in state 0 (flushed with six or more zeros); false
//     decodes into the final state of least metric (the lowest such state on ties).
//   decoded: steps values written with the decoded input bits, 0 or 1.
//   workspace: reused memory; kernel: as above.
//   start: where the trellis starts.
// Errors: a NaN ratio, "hfchain:vitdecode:NaN" naming its position; steps < 0,
// "hfchain:runtime:Negative"; a kernel this processor lacks, "hfchain:vitdecode:NoKernel".
void viterbi_decode(const double* pairs, index_t steps, bool terminated, double* decoded,
                    ViterbiWorkspace& workspace, AcsKernel kernel = AcsKernel::automatic,
                    TrellisStart start = TrellisStart::zero);

// Memory the decoder reuses from call to call: 4 bytes (quantised metrics) and 8 bytes (survivor
// decisions) a step, grown to the longest call and never shrunk. After a call it describes that
// call.
class ViterbiWorkspace {
public:
    index_t steps() const noexcept { return steps_; }
    AcsKernel kernel() const noexcept { return kernel_; }
    // The ratios were multiplied by 2^scale_exponent() before rounding.
    int scale_exponent() const noexcept { return exponent_; }
    // The 2 steps() quantised ratios, in the order of `pairs`.
    const std::int16_t* quantised() const noexcept { return quantised_.data(); }
    // Survivor decision into `state` (0..63) after step `step` (0-based): 1 when the survivor came
    // from the predecessor whose oldest bit is 1, (state >> 1) | 32, else 0.
    int decision(index_t step, int state) const noexcept;

private:
    friend void viterbi_decode(const double* pairs, index_t steps, bool terminated, double* decoded,
                               ViterbiWorkspace& workspace, AcsKernel kernel, TrellisStart start);

    // Storage that grows to the largest size asked for; new elements are left unset.
    template <class T>
    class Buffer {
    public:
        T* data() const noexcept { return data_.get(); }
        void reserve(index_t n);

    private:
        std::unique_ptr<T[]> data_;
        index_t capacity_ = 0;
    };

    Buffer<std::int16_t> quantised_;
    Buffer<std::uint64_t> decisions_;
    index_t steps_ = 0;
    AcsKernel kernel_ = AcsKernel::plain;
    int exponent_ = 0;
};

}  // namespace hfchain
