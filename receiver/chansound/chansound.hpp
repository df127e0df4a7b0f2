// Channel sounding for the HF receiver: where the transmission starts, which propagation paths
// it arrived on, and how their gains move, from the known symbols of the waveform (the preamble
// and the probes of every frame).
//
// Synchronisation. The frame synchroniser's start may belong to either path (it locks on the
// stronger one), so the response is searched over the largest differential delay the receiver
// allows (12 symbols) plus the pulse on both sides of it: a least-squares fit over preamble
// windows gives the response at every sample delay of that span. When no path there stands well
// clear of the noise, the start was wrong (a preamble seen through a deep fade can mislead the
// synchroniser), and the preamble is acquired afresh over the synchroniser's whole range, adding
// the correlations of several preamble segments in power. A path that stands clear but not far
// clear may be a sidelobe (the preamble repeats parts of itself): the best starts of the whole
// range are then matched against it, and a better one searched instead. Last, when the strongest
// path is not at the span's centre (the synchroniser strays by several symbols at low Es/N0), the
// search is repeated centred on it, so that a path on the far side, up to the largest spread
// away, is not left outside the span. Paths are then picked one at a
// time, each the composite pulse (transmit and receive filters) at the delay that best explains
// what the earlier paths leave, while a new path still carries power well above the noise and
// within 25 dB of the strongest.
//
// Sampling. One sample a symbol is read from the matched-filter output, at the phase that
// collects the most expected energy of all paths; the taps at either end are left out while what
// they carry stays below a twentieth of the noise and a ten-thousandth of the energy. The paths'
// pulses, sampled there, are the columns of `basis`: the channel at any moment is basis times the
// path gains, so each frame's probes (16 or 20) need only give a couple of gains instead of the
// whole response.
//
// Tracking. See pathtrack.hpp: weighted least squares per frame, Kalman smoothing over frames
// with the Doppler spread measured from the estimates themselves.
#pragma once

#include "params/modeconf.hpp"
#include "receiver/chansound/sounding.hpp"
#include "receiver/layout/reception.hpp"
#include "runtime/array.hpp"
#include "runtime/host.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain {

// The refusal of an output in which no path is found (see chansound): a caller with another start
// to try may catch it.
inline constexpr const char* kChansoundNoSignal = "hfchain:chansound:NoSignal";

// Sounds the channel of one received transmission.
//   MatchedFilterIn: Lmf x 1 complex matched-filter output (pulsematch's out) at M samples a
//     symbol.
//   FrameStartSample: 1-based sample where framelock found the preamble (either path's).
//   mode: the parameter set of a mode with probes (preamSync, data, trein, probe, bitsToSym,
//     interTable; see check_receiver_mode in receiver/layout/reception.hpp).
//   varShapping: rolloffFactor, pulseDelay (D) and oversamplingFactor (M) of both filters.
// The number of frames follows from the length as tickalign and unframer count them:
// floor((floor((Lmf - 4 D M - 1) / M) + 1 - preamble) / (data + trein)).
// Errors: M not a whole number of at least 1, "hfchain:chansound:BadOversampling"; a mode the
// receiver does not handle, "hfchain:chansound:UnsupportedMode"; a pulse length 2 D M + 1 that
// is not a whole number of at least 0 within 32 bits, rrc_length's errors; fewer than one frame
// after the preamble, or a preamble too short to search, "hfchain:chansound:TooShort";
// FrameStartSample not a whole number within 1..Lmf, the index check; a sample that is NaN or
// infinite, "hfchain:chansound:NonFinite", or beyond kLargestSample in magnitude (a real or
// imaginary part), "hfchain:chansound:TooLarge", both naming the sample; the roll-off outside
// (0, 1] or so small that the pulse's taps overflow, the pulse design's message; a preamSync or
// probe value that is not finite, "hfchain:layout:NonFinite", a preamSync value that is not a
// symbol number 0 to 7, "hfchain:layout:BadPreamble"; an output without any trace of the
// preamble (all zeros, say), "hfchain:chansound:NoSignal".
ChansoundOut chansound(const ComplexArray& MatchedFilterIn, double FrameStartSample,
                       const ModeParams& mode, const VarShapping& varShapping);

// The same, polling host.poll_interrupt() between its stages: an interrupt abandons the call with
// the host's error.
ChansoundOut chansound(const ComplexArray& MatchedFilterIn, double FrameStartSample,
                       const ModeParams& mode, const VarShapping& varShapping, HostServices& host);

// Sounds the channel of a transmission entered after its preamble, from the probes alone.
//   MatchedFilterIn: as chansound's, turned back by the transmission's frequency offset.
//   BlockStartSample: 1-based sample at which the first symbol of an interleaver block peaks
//     (blocklock's blockStart: either path's).
//   mode: the parameter set as entered at that block (entered_at_block, layout.hpp): its frames
//     from that symbol on, without a preamble; a mode with probes (150 to 4800 bit/s).
//   frames: frames to sound from there (the whole blocks the equaliser will take), at least 1.
// The paths are found as on the preamble, over windows of frames that hold at least 96 probe
// symbols each: a least-squares fit of the response at every delay of the search span to the
// known probe symbols (the scrambled zeros, and the closing patterns of the last two frames of
// each block), the unknown data symbols between them taken as 0 and counted as noise. That noise
// is many times the channel's own at a high SNR, and over the span's many delays it now and then
// lifts one far from the paths above the threshold: every path lies within the largest
// differential delay (kMaxPathSpread symbols, and a sample) of the others, as the channel's do.
// No stretch of known symbols measures the noise: it is the received power over the frames
// sounded (not what follows them) less the paths'. The gains are then tracked on the probes as
// after a preamble.
// Errors: M not a whole number of at least 1, "hfchain:chansound:BadOversampling"; a mode without
// probes, or with a preamble, "hfchain:chansound:UnsupportedMode"; frames < 1,
// "hfchain:chansound:TooShort"; BlockStartSample not a whole number within 1..Lmf, the index
// check; samples as chansound refuses them; no path found, "hfchain:chansound:NoSignal".
ChansoundOut chansound_from_block(const ComplexArray& MatchedFilterIn, double BlockStartSample,
                                  const ModeParams& mode, const VarShapping& varShapping,
                                  index_t frames, HostServices& host);

// Sounds the channel of a 75 bit/s transmission entered after its preamble, on its patterns as a
// detector decided them without a channel estimate (decide_patterns,
// receiver/patterntrack/patterntrack.hpp): every symbol is taken as known, and the paths are
// found and tracked as chansound_from_block finds and tracks them on the probes, over windows of
// three patterns (96 symbols). The patterns decided wrongly add to the noise the track measures.
//   MatchedFilterIn, BlockStartSample, varShapping: as chansound_from_block's.
//   mode: the 75 bit/s parameter set as entered at that block (entered_at_block).
//   decided: (32 F) x 1 the points of the F patterns from that block on, as sent (scrambled).
// Errors: as chansound_from_block's, but for a mode that is not the 75 bit/s one as entered at a
// block, "hfchain:chansound:UnsupportedMode"; fewer than 32 decided symbols,
// "hfchain:chansound:TooShort", a count that is not a whole number of patterns,
// "hfchain:runtime:SizeMismatch"; a decided symbol that is NaN or infinite,
// "hfchain:chansound:NonFinite", or beyond kLargestSample, "hfchain:chansound:TooLarge".
ChansoundOut chansound_from_decisions(const ComplexArray& MatchedFilterIn, double BlockStartSample,
                                      const ModeParams& mode, const VarShapping& varShapping,
                                      const ComplexArray& decided, HostServices& host);

// The composite pulse of the transmit and matched filters at every sample delay -2 D M .. 2 D M
// (4 D M + 1 values, peak 1 at the centre).
RealArray composite_pulse(const VarShapping& varShapping);

}  // namespace hfchain
