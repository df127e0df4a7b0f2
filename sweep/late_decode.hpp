// The hf receiver's decoded bits after an entry in the data (Metric::decoded with
// LateEntry::data): how well a receiver that starts listening after the preamble decodes.
//
// A trial sends the point's mode with trial_nframe() blocks (at least late_data_blocks()) from
// the trial's transmission seed and passes it through the point's channel from its channel seed
// as the road does: the same bits, fading and noise as the trial of a sweep without the entry,
// with the same seeds and blocks. The receiver hears the received signal from a random sample of
// the data on (sweep/acquisition.hpp's entry_sample, drawn as an acquisition trial's entry: in a
// block that, like the next, holds information bits) to the end of the next whole block
// (heard_length()); blocklock reads the frames it hears, and receive_hf_late decodes the next
// whole block from the block start it found.
//
// What a trial counts: the encoder input bits of that block (all information bits), compared
// with the bits sent in it, as the receiver's information bits, their errors and blocks. When
// blocklock did not name the mode and the start of one of the transmission's blocks (classify),
// nothing is decoded: every bit of the block counts as wrong, and the trial as a sync miss. Coded
// bits are not counted (0).
#pragma once

#include <atomic>

#include "sweep/trial.hpp"

namespace hfchain::sweep {

// The tables' note on what a trial entering the data counts.
inline constexpr const char* kLateDataNote =
    "the hf receiver enters each transmission at a random sample of the data of a block that, like "
    "the next, holds information bits, and decodes the next whole block: its bits and blocks are "
    "that block's; a trial whose frames did not give the mode and a block start loses it (a sync "
    "miss)";

// The counts of a late entry's decoding: `decoded` (the decoder's encoder input bits from the
// first bit of block `from` on; empty when nothing was decoded) against `sent` (the transmission's
// encoder input bits), over blocks `from` .. `blocks` - 1 of `per` bits each.
ReceiverCounts late_block_counts(const RealArray& decoded, const RealArray& sent, index_t from,
                                 index_t blocks, index_t per);

// Runs the trials as above; one runner per worker, sharing the parameter set of every rate of
// `config`. `interrupt` (may be null) is polled by the blocks' long loops. Errors: those of
// rateconf for a rate or interleaver check_config() refuses.
TrialRunnerFactory late_decode_trial_runners(const SweepConfig& config,
                                             const std::atomic<bool>* interrupt);

}  // namespace hfchain::sweep
