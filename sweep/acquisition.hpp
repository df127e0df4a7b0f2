// Acquisition measured by the sweep (Metric::acquisition): how often a receiver told nothing
// finds a transmission with its right mode and start, and how often it finds one in noise alone.
//
// A trial of a transmission: the point's mode (rate and interleaver) is sent with its preamble and
// trial_nframe() blocks, shaped, preceded by a stretch of silence of a random length from 0 to
// kLeadSymbols symbols (the receiver listens before it starts) and turned by a frequency offset
// drawn uniformly within +-offsetHz; the whole passes through the point's channel at its Es/N0
// (the road's channel step and noise: the stretch before the transmission is noise alone), then
// the matched filter, and modelock (receiver/modelock/) searches the whole signal for a
// transmission of any mode. With LateEntry::preamble the receiver starts instead at a random
// sample of the preamble: the signal begins there, without a stretch before it. When the search
// does not find it right (an entry inside the last segment leaves no whole segment to find), the
// receiver reads the frames that follow the preamble instead (receiver/blocklock/), as the
// recording receiver does: right when they name the mode and place the first data symbol.
// With LateEntry::data the receiver starts at a random sample of the data of a block that, like
// the next one, holds information bits (trial_nframe() sends at least late_data_blocks(): the
// blocks after those two hold the encoder's flush zeros, which read as one value and not as a
// mode's frames), so that at least one whole block of data, what blocklock needs to see a block's
// closing frames and the next block's start, follows the entry; blocklock alone reads the frames
// up to the end of the next whole block (heard_length()): right when they name the mode and
// place the start of one of the transmission's blocks.
//
// A trial of noise alone (noiseSeconds above 0): in place of the transmission a signal of the same
// power and band but without a preamble (random Gaussian symbols, shaped) of noiseSeconds passes
// through the channel at the point's Es/N0: white noise on "awgn" (a Gaussian signal in the band
// plus white noise is noise), faded noise over white noise on the fading channels. Every
// detection there is false: the search goes on a segment after each one.
//
// Draws: the bits from the trial's transmission seed (as the road), the stretch, the offset and
// the entry point from the host seeded with that seed plus 1, the channel and its noise from the
// channel seed.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "chain/road_channel.hpp"
#include "receiver/blocklock/blocklock.hpp"
#include "receiver/modelock/modelock.hpp"
#include "sweep/trial.hpp"

namespace hfchain::sweep {

// The longest stretch of noise before a transmission: one preamble segment (0.2 s), so that the
// preamble starts at any place relative to the search's steps and the search sees noise first.
inline constexpr double kLeadSymbols = 480;

// A found start is right when the preamble it places (ModelockOut::preambleStart) lies within this
// many symbols of where the transmission's preamble arrives on one of the channel's paths (from
// the first path's arrival minus this to the last path's plus this): the HF receiver's sounder
// searches the channel's response over 12 symbols around the start it is given, so a start
// within 6 symbols of a path leaves every path of a 12-symbol spread inside that span.
inline constexpr double kStartToleranceSymbols = 6;

// Where a trial's transmission truly is, for classify().
struct AcquisitionTruth {
    int mode = -1;             // index into kModes
    double preambleStart = 0;  // 1-based matched-filter sample where the first path's preamble
                               // first symbol peaks (below 1 when the receiver entered late)
    double spread = 0;         // the last path's delay behind the first, in samples
    double firstData = 0;      // 1-based matched-filter sample where the first path's first data
                               // symbol peaks
    double M = 1;              // samples a symbol
    double block = 0;          // samples an interleaver block
    int blocks = 1;            // the blocks whose start a found block start may name: those
                               // starting at firstData + k block, k = 0 .. blocks - 1
};

enum class Acquired { right, wrongMode, missed };

// A trial of a transmission: right when found with the right start (kStartToleranceSymbols) and
// mode, read surely (a confidence of kLeastModeConfidence, below which the recording receiver
// reports a transmission and does not decode it); wrongMode when found with the right start but
// another mode, or none read surely; missed when not found or found elsewhere.
Acquired classify(const ModelockOut& found, const AcquisitionTruth& truth);

// The same for the frames found after the preamble: right when blocklock's first block starts
// where one of the truth's blocks does (within the tolerance of a path's arrival) and its mode is
// the transmission's, read surely; wrongMode when only the mode is wrong or unsure; missed when
// nothing was found or the block start lies elsewhere (inside a block, or where the data ends).
// `block` (may be null) receives the index k of the block named.
Acquired classify(const BlocklockOut& found, const AcquisitionTruth& truth, int* block = nullptr);

// The mode and the parameter set of each rate of a sweep, in the order of its rates: built once
// and shared read-only by every worker.
struct ModeSets {
    std::vector<double> rates;
    std::vector<ModeParams> mode;
    std::vector<int> index;  // into kModes
    std::vector<double> nFrame;
};
std::shared_ptr<const ModeSets> mode_sets(const SweepConfig& config);

// A trial's four uniform draws (0..1) from `host` seeded with its transmission seed plus 1: the
// stretch before the transmission, the frequency offset, the starting phase and the entry point.
// The host's stream is restored.
RealArray trial_draws(HostServices& host, double txSeed);

// A worker's channel for its trials: the point's condition (read once for each run of trials of
// one condition) at the trial's Es/N0 and channel seed, passed as the road passes a signal
// (through the sweep's channel step, handed `mode` where the signal carries a transmission of it
// from its first sample and null otherwise, or pass_channel).
class TrialPath {
public:
    explicit TrialPath(const SweepConfig& config) : step_(sweep_channel_step(config)) {}
    void set(const TrialJob& job);
    const RoadChannel& channel() const { return channel_; }
    HfchannelOut pass(const ComplexArray& x, const VarShapping& shaping, const ModeParams* mode,
                      HostServices& host) const;

private:
    ChannelStep step_;
    RoadChannel channel_;
    std::string condition_;  // the condition channel_ was last set up for
};

// The first sample of a transmission of `mode` with `nFrame` blocks, shaped at M samples a symbol,
// that a receiver entering late at `u` (0 <= u < 1) hears: with LateEntry::preamble u of the way
// through the preamble; with LateEntry::data the preamble's samples and u of the way through the
// data of the whole blocks but the last 1 + flush_blocks() (nFrame at least late_data_blocks());
// 0 with LateEntry::none.
index_t entry_sample(const ModeParams& mode, double nFrame, LateEntry late, double M, double u);

// Where a transmission of `mode` with `nFrame` blocks lies on the matched-filter output of the
// signal it arrives in through `channel`, its first shaped sample at the 0-based sample `start` of
// that signal (negative when the receiver entered late): every field but the mode, the blocks
// those of its whole blocks.
AcquisitionTruth entry_truth(const ModeParams& mode, double nFrame, const RoadChannel& channel,
                             const VarShapping& shaping, double start);

// The first whole block after an entry in the data: the first of the truth's blocks whose first
// symbol peaks at sample 1 or later on the first path (the last block when none does).
int next_block(const AcquisitionTruth& truth);

// The first samples of a matched-filter output of `length` samples that a receiver entering the
// data hears: up to the end of the next whole block (next_block()) on the last path and a frame
// (48 symbols) more, what it needs to read that block's closing frames and to decode it; at most
// `length`. It hears no further: in a trial, the blocks after it hold the flush bits.
index_t heard_length(const AcquisitionTruth& truth, index_t length);

// The outcome of a trial of a transmission classified as `acquired`: one trial (bits 1), an
// error unless right.
TrialOutcome acquisition_outcome(Acquired acquired);

// The outcome of a trial of noise alone with `detections` false detections in `seconds` searched:
// one trial, an error when it had any.
TrialOutcome noise_outcome(std::int64_t detections, double seconds);

// Runs acquisition trials as above; one runner per worker, sharing the parameter set of every
// rate of `config`. `interrupt` (may be null) is polled by the blocks' long loops. Errors: those of
// rateconf for a rate or interleaver check_config() refuses.
TrialRunnerFactory acquisition_trial_runners(const SweepConfig& config,
                                             const std::atomic<bool>* interrupt);

}  // namespace hfchain::sweep
