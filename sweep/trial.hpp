// One trial of a sweep: its seeds, what it is asked to do, what it reports, and the runner that
// sends it through the whole road.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sweep/config.hpp"

namespace hfchain::sweep {

// The two seeds of one trial (whole numbers in 0..4294967295).
struct TrialSeeds {
    double tx = 0;
    double channel = 0;
};

// Seeds of trial `trial` (0-based) of the point (`rate`, `condition`, `esno`), for base seed
// `seed`: the one rule by which every trial of every sweep draws its transmission and its
// channel.
//
// With mix() the SplitMix64 finaliser (x ^= x >> 30; x *= 0xbf58476d1ce4e5b9; x ^= x >> 27;
// x *= 0x94d049bb133111eb; x ^= x >> 31) and fnv1a64() the 64-bit FNV-1a hash of the name:
//   h  = mix(seed + 0x9e3779b97f4a7c15)
//   h  = mix(h ^ (uint64) llround(rate))            (only for a rate other than 2400 bit/s, so
//                                                     that 2400 keeps the seeds it had before the
//                                                     other rates)
//   h  = mix(h ^ fnv1a64(condition))
//   h  = mix(h ^ (uint64) llround(esno * 1000))     (the point in milli-dB)
//   h  = mix(h ^ trial)
//   tx = low 32 bits of mix(h ^ 1), channel = low 32 bits of mix(h ^ 2).
TrialSeeds trial_seeds(std::uint32_t seed, double rate, const std::string& condition, double esno,
                       std::int64_t trial);

// What one trial is asked to do.
struct TrialJob {
    double rate = 2400;  // data rate in bit/s
    const std::string* condition = nullptr;
    double esno = 0;
    std::int64_t trial = 0;
    TrialSeeds seeds;
};

// The counts of one receiver in one trial, or summed over trials.
struct ReceiverCounts {
    std::int64_t codedBits = 0;    // coded bits compared
    std::int64_t codedErrors = 0;  // coded bits whose hard decision (or ratio's sign) is wrong
    std::int64_t infoBits = 0;     // information bits compared
    std::int64_t infoErrors = 0;   // decoded information bits that are wrong
    std::int64_t blocks = 0;       // interleaver blocks
    std::int64_t blockErrors = 0;  // blocks with at least one wrong information bit

    void add(const ReceiverCounts& o) {
        codedBits += o.codedBits;
        codedErrors += o.codedErrors;
        infoBits += o.infoBits;
        infoErrors += o.infoErrors;
        blocks += o.blocks;
        blockErrors += o.blockErrors;
    }
};

// What one acquisition trial found (Metric::acquisition), or the sums over trials. A trial of a
// transmission is exactly one of right, wrongMode and missed; a trial of noise alone is none of
// them and counts its false detections over the seconds it searched.
struct AcquisitionCounts {
    std::int64_t right = 0;      // found with its start, its mode read surely (acquisition.hpp)
    std::int64_t wrongMode = 0;  // found at its start, read as another mode or unsurely
    std::int64_t missed = 0;     // not found, or found elsewhere than at its start
    std::int64_t falseDetections = 0;  // noise alone: transmissions found where none was
    double searched = 0;               // noise alone: seconds of received signal searched

    void add(const AcquisitionCounts& o) {
        right += o.right;
        wrongMode += o.wrongMode;
        missed += o.missed;
        falseDetections += o.falseDetections;
        searched += o.searched;
    }
};

struct TrialOutcome {
    std::int64_t bits = 0;    // the stop rule's bits: receivers[0]'s coded or information bits
    std::int64_t errors = 0;  // the stop rule's errors, of the same bits
    bool syncMiss = false;    // frame start not found, or found away from the expected sample
                              // (always false when no receiver needs a frame start)
    double seconds = 0;       // time the trial took
    std::array<ReceiverCounts, kReceiverCount> receivers;  // by ReceiverKind; 0 when not run
    AcquisitionCounts acquisition;                         // Metric::acquisition only
};

// Every field of a trial's outcome of a sweep of `metric`, in the order they are stored in
// checkpoint journals and sent between processes: calls visit(name, field) for each. A new field
// of TrialOutcome is added here and nowhere else (the field types the encoders know:
// std::int64_t, bool, double). An acquisition trial has no receivers' counts, the others no
// acquisition counts: each stores only its own.
template <class Outcome, class Visit>
void for_each_outcome_field(Outcome& o, Metric metric, Visit&& visit) {
    visit("bits", o.bits);
    visit("errors", o.errors);
    visit("sync_miss", o.syncMiss);
    visit("seconds", o.seconds);
    if (metric == Metric::acquisition) {
        visit("right", o.acquisition.right);
        visit("wrong_mode", o.acquisition.wrongMode);
        visit("missed", o.acquisition.missed);
        visit("false_detections", o.acquisition.falseDetections);
        visit("searched", o.acquisition.searched);
        return;
    }
    static constexpr const char* names[kReceiverCount][6] = {
        {"baseline_coded_bits", "baseline_coded_errors", "baseline_info_bits",
         "baseline_info_errors", "baseline_blocks", "baseline_block_errors"},
        {"hf_coded_bits", "hf_coded_errors", "hf_info_bits", "hf_info_errors", "hf_blocks",
         "hf_block_errors"},
        {"genie_coded_bits", "genie_coded_errors", "genie_info_bits", "genie_info_errors",
         "genie_blocks", "genie_block_errors"}};
    for (std::size_t r = 0; r < kReceiverCount; ++r) {
        auto& c = o.receivers[r];
        visit(names[r][0], c.codedBits);
        visit(names[r][1], c.codedErrors);
        visit(names[r][2], c.infoBits);
        visit(names[r][3], c.infoErrors);
        visit(names[r][4], c.blocks);
        visit(names[r][5], c.blockErrors);
    }
}

// What every trial at `rate` of `config` compares, by the transmitter's bit budget of its
// trial_nframe() blocks: its coded bits, information bits and interleaver blocks (errors 0).
// Every receiver that runs reports these counts; one that does not, zeros. With an entry in the
// data (sweep/late_decode.hpp) the most a trial counts: every block's encoder input bits and every
// block, no coded bits.
ReceiverCounts trial_size(const SweepConfig& config, double rate);

// With several rates: a note when the bit limit (maxBits, counted in the stop rule's bits at
// every rate) makes one rate take most of the sweep's time at the points that run to it, as a
// slow rate whose trials carry few bits does ("75 bit/s takes about 94 % ...": over three
// quarters); empty otherwise.
// A trial's time is taken as its time on air (blocks times the interleaver's length).
std::string budget_note(const SweepConfig& config);

// The position of `rate` among a sweep's `rates`; raises "hfchain:sweep:UnknownRate" for a rate
// that is not one of them.
std::size_t rate_index(const std::vector<double>& rates, double rate);

// A worker's channel step of `config`: through the air (audio/airpath.hpp) at config.audioRate,
// with its clock offset and crashes; empty (the road's own channel) in baseband.
ChannelStep sweep_channel_step(const SweepConfig& config);

// One worker's trial runner; each worker thread owns one and reuses it for all its trials.
class TrialRunner {
public:
    virtual ~TrialRunner() = default;
    virtual TrialOutcome run(const TrialJob& job) = 0;
};

using TrialRunnerFactory = std::function<std::unique_ptr<TrialRunner>()>;

// Runs trials through the whole road (run_road) with one built-in host per worker, each trial at
// its job's rate with trial_nframe() blocks; the parameter set of every rate of `config` is built
// once (rateconf) and shared read-only by every worker (the configuration is copied).
// `interrupt` (may be null) is polled by the blocks' long loops. Errors: those of rateconf for a
// rate or interleaver check_config() refuses.
TrialRunnerFactory road_trial_runners(const SweepConfig& config,
                                      const std::atomic<bool>* interrupt);

// The runners of a sweep's trials: acquisition_trial_runners (sweep/acquisition.hpp) for
// Metric::acquisition, late_decode_trial_runners (sweep/late_decode.hpp) for an entry in the data,
// else road_trial_runners.
TrialRunnerFactory sweep_trial_runners(const SweepConfig& config,
                                       const std::atomic<bool>* interrupt);

}  // namespace hfchain::sweep
