// Turbo equalisation: block MMSE equalisation driven by the channel sounder's estimate, iterated
// with a soft-in/soft-out decoder that refines both the symbols the equaliser cancels and the
// channel estimate.
//
// One pass: every data segment (the data symbols of a frame, between the probes before and
// after it) is equalised with soft interference cancellation (blockmmse.hpp), which gives each
// symbol an unbiased estimate and its own error variance, so that symbols seen through a fade
// weigh less. Between passes, the soft demapper turns the estimates into coded-bit LLRs, the
// decoder returns what the code says about every bit (extrinsic LLRs), and those become soft
// symbols: their mean and variance enter the next pass's cancellation, and the a-posteriori ones
// re-estimate the path gains from the data symbols as well as the probes.
#pragma once

#include "params/modeconf.hpp"
#include "receiver/chansound/sounding.hpp"
#include "receiver/decoder/trellis.hpp"
#include "runtime/array.hpp"
#include "runtime/host.hpp"
#include "transmitter/constellation.hpp"

namespace hfchain {

struct TurboequalOut {
    ComplexArray out;    // N x 1 equalised data symbols of the last pass, descrambled and
                         // unbiased (the Gray-mapped point of the mode's constellation plus an
                         // error)
    RealArray noiseVar;  // N x 1 error variance of each
    ComplexArray gains;  // r x Ny path gains the last pass used
    RealArray gainVar;   // r x Ny their error variances
    double doppler = 0;  // Doppler spread of the last channel estimate, Hz
    double passes = 0;   // equaliser passes run (iterations + 1, fewer after an early stop)
};

// When the turbo loop ends.
enum class TurboStop {
    // After every iteration asked for.
    all,
    // Also as soon as an equaliser pass's hard decisions (each symbol's nearest point),
    // deinterleaved, form a codeword with the known zeros of the bit budget: the decoder would
    // change none of them (receiver/decoder/codecheck.hpp), and the symbols a further pass would
    // cancel are those decisions. That pass's output is the result. On a clean channel the loop
    // ends after the first pass, at the cost of the plain equaliser.
    codeword,
    // Also as soon as a decoder pass makes the same decisions on every coded bit (the signs of
    // its a-posteriori ratios) as the pass before: the equaliser pass between them is the
    // result, and the channel estimate, the cancellation and the equaliser are not run again.
    converged,
    // Also as soon as a decoder pass holds every coded-bit decision firmly (each a-posteriori
    // ratio at least 10 in magnitude), or as under `converged`: the equaliser pass it decoded is
    // the result. The default.
    confident,
};

inline constexpr const char* kTurboequalFields[] = {"out",     "noiseVar", "gains",
                                                    "gainVar", "doppler",  "passes"};

// Equalises the data symbols of a sounded transmission.
//   sounding: chansound's result (out, basis, gains, gainVar, noiseVar, frames are used).
//   mode: the parameter set the transmission was sent with.
//   nFrame: interleaver blocks the transmitter filled (as given to sendchain); only read when
//     iterations > 0.
//   iterations: decoder passes between equaliser passes, a whole number 0 .. 10; 0 is the plain
//     block MMSE equaliser driven by the probes and the preamble.
//   stop: when the loop may end before `iterations` (see TurboStop); `passes` tells how many
//     equaliser passes ran.
// When iterations > 0, the N = frames x data symbols must carry exactly the coded bits of the
// transmitter's bit budget for nFrame (transmitter/bitbudget.hpp), bitsToSym a symbol, each
// coded bit repFactor times; the decoder adds the copies' ratios and hands each copy back what
// the code and the other copies say of it.
// Errors: iterations outside 0 .. 10 or not whole, "hfchain:turboequal:BadIterations";
// iterations > 0 at 4800 bit/s (uncoded: no decoder), "hfchain:turboequal:Uncoded"; frames
// not a whole number, the integer check; a mode the receiver does not handle, or one without
// probes (75 bit/s), "hfchain:turboequal:UnsupportedMode"; a basis of more than kMaxTaps taps or
// kMaxPaths paths (or none), "hfchain:turboequal:BadSounding"; fields of `sounding` whose sizes
// disagree, "hfchain:runtime:SizeMismatch"; then the sounding's values, each refusal naming the
// element
// ("sounding.gains(7) is NaN + 0i: ..."): a NaN or infinite value in any field (windowVar may
// hold +Inf, a window without estimate), "hfchain:turboequal:NonFinite"; a negative variance
// (gainVar, windowVar, noiseVar), "hfchain:turboequal:BadSounding"; a sample, gain or basis value
// beyond kLargestSample in magnitude (a real or imaginary part), or a variance beyond
// kLargestVariance, "hfchain:turboequal:TooLarge" (the equaliser squares and multiplies them; a
// scale-invariant equaliser would still have to report variances beyond the largest double); the
// bit budget's errors; frames that do not carry the budget's coded bits,
// "hfchain:turboequal:FrameMismatch"; a preamSync or probe value that is not finite,
// "hfchain:layout:NonFinite".
//
// A symbol that no tap of the channel reaches (all gains 0 around it) carries no information: it
// comes out as its soft mean with an error variance of 1e9, a ratio of about 0 for the soft
// demapper.
TurboequalOut turboequal(const ChansoundOut& sounding, const ModeParams& mode, double nFrame,
                         double iterations, TurboStop stop = TurboStop::confident);

// The same, polling host.poll_interrupt() between groups of frames: an interrupt abandons the call
// with the host's error. With `ends` open, the frames are whole interleaver blocks cut from inside
// a transmission (a receiver that entered late): nFrame is their count, the decoder's trellis
// starts and ends in any state and takes no input bit as a known zero, and the loop does not
// stop on a codeword (whose test starts in the all-zero state).
TurboequalOut turboequal(const ChansoundOut& sounding, const ModeParams& mode, double nFrame,
                         double iterations, HostServices& host,
                         TurboStop stop = TurboStop::confident,
                         TrellisEnds ends = TrellisEnds::zero);

// The turbo loop's coded-bit LLRs of equalised symbols, ln P(0) / P(1): the exact rule of the one
// soft demapper (receiver/softdemod/softdemap.hpp) over `points` (b = points.bits bits a symbol,
// in transmission order, most significant first).
//   z, noiseVar: N symbols (descrambled, unit gain) and their error variances (positive).
//   prior: null, or b N a-priori LLRs; each bit's LLR then leaves its own prior out and uses the
//     other bits' (the extrinsic LLR of an iterative receiver).
//   llr: b N outputs, clamped to +-50 (beyond, a bit is as good as sure).
// Errors: b N beyond the largest element count, "Coder:MATLAB:pmaxsize".
void equaliser_llrs(const Constellation& points, index_t N, const cdouble* z,
                    const double* noiseVar, const float* prior, float* llr);
// The same over 8-PSK (three bits a symbol).
void equaliser_llrs(index_t N, const cdouble* z, const double* noiseVar, const float* prior,
                    float* llr);

}  // namespace hfchain
