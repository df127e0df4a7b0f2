// The sweep engine: coded-bit, decoded-bit and block error rates against Es/N0 for a list of
// channel conditions and receivers, with independent trials run in parallel.
//
// Reproducibility. Every trial's two seeds come from (base seed, condition name, Es/N0 point,
// trial index) alone, through trial_seeds() below, and the result of a point is defined as the sum
// over its trials 0, 1, ..., K-1, where K is the first count of at least `minTrials` at which the
// accumulated errors reach `minErrors` or the accumulated bits reach `maxBits`. Workers may finish
// trials out of order and may run trials beyond K; those are discarded. The table is therefore the
// same whatever the number of threads, and a point rerun alone (one condition, one Es/N0) gives the
// same line.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "chain/road.hpp"
#include "params/waveform.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain::app {

// The condition names a sweep accepts: the four Watterson conditions and white noise only.
inline constexpr const char* kConditionNames[] = {"bom", "moderado", "ruim", "muito_ruim", "awgn"};

// True for a name of kConditionNames (exact, case-sensitive).
bool is_condition(const std::string& name);

// "bom, moderado, ruim, muito_ruim, awgn": for messages.
std::string condition_list();

// Whole samples per symbol period of the second ray's delay for `condition` at `M` samples per
// symbol (2400 tau M): 0 for "awgn"; not whole when M does not suit the condition.
double ray_delay_samples(const std::string& condition, double M);

// The receivers a sweep can run, by name ("baseline", "hf", "genie"), in ReceiverKind's order.
inline constexpr const char* kReceiverNames[] = {"baseline", "hf", "genie"};
inline constexpr std::size_t kReceiverCount = std::size(kReceiverNames);

// The receiver's name, and the receiver of a name (false when unknown).
const char* receiver_name(ReceiverKind kind);
bool receiver_from_name(const std::string& name, ReceiverKind& kind);

// What the stop rule counts: the coded bits' hard decisions or the decoded information bits of
// the first receiver listed.
enum class Metric { coded, decoded };
const char* metric_name(Metric metric);

struct SweepConfig {
    double interLen = 0.6;                // interleaver length in seconds (0.6 or 4.8)
    double nFrame = 1;                    // interleaver blocks per trial
    VarShapping shaping;                  // roll-off, pulse delay D, samples per symbol M
    std::vector<std::string> conditions;  // names from kConditionNames
    std::vector<double> esno;             // Es/N0 points in dB
    bool snr3kAxis = false;               // the points were given as SNR in 3 kHz (--snr3k)
    std::vector<ReceiverKind> receivers{ReceiverKind::baseline};  // receivers, each counted
    Metric metric = Metric::coded;   // what the stop rule counts, of receivers[0]
    std::int64_t minTrials = 1;      // a point runs at least this many trials (fading
                                     // realisations), and then stops once ...
    std::int64_t minErrors = 100;    // ... its errors (of the metric) reach this ...
    std::int64_t maxBits = 1000000;  // ... or its bits (of the metric) reach this
    std::uint32_t seed = 1;          // base seed of every trial seed
    int threads = 0;                 // worker threads; 0 = one per core
};

// The two seeds of one trial (whole numbers in 0..4294967295).
struct TrialSeeds {
    double tx = 0;
    double channel = 0;
};

// Seeds of trial `trial` (0-based) of the point (`condition`, `esno`), for base seed `seed`.
//
// With mix() the SplitMix64 finaliser (x ^= x >> 30; x *= 0xbf58476d1ce4e5b9; x ^= x >> 27;
// x *= 0x94d049bb133111eb; x ^= x >> 31) and fnv1a64() the 64-bit FNV-1a hash of the name:
//   h  = mix(seed + 0x9e3779b97f4a7c15)
//   h  = mix(h ^ fnv1a64(condition))
//   h  = mix(h ^ (uint64) llround(esno * 1000))     (the point in milli-dB)
//   h  = mix(h ^ trial)
//   tx = low 32 bits of mix(h ^ 1), channel = low 32 bits of mix(h ^ 2).
TrialSeeds trial_seeds(std::uint32_t seed, const std::string& condition, double esno,
                       std::int64_t trial);

// What one trial is asked to do and what it reports.
struct TrialJob {
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

struct TrialOutcome {
    std::int64_t bits = 0;    // the stop rule's bits: receivers[0]'s coded or information bits
    std::int64_t errors = 0;  // the stop rule's errors, of the same bits
    bool syncMiss = false;    // frame start not found, or found away from the expected sample
                              // (always false when no receiver needs a frame start)
    double seconds = 0;       // time the trial took
    std::array<ReceiverCounts, kReceiverCount> receivers;  // by ReceiverKind; 0 when not run
};

// Every field of a trial's outcome, in the order they are stored in checkpoint journals and sent
// between processes: calls visit(name, field) for each. A new field of TrialOutcome is added here
// and nowhere else (the field types the encoders know: std::int64_t, bool, double).
template <class Outcome, class Visit>
void for_each_outcome_field(Outcome& o, Visit&& visit) {
    visit("bits", o.bits);
    visit("errors", o.errors);
    visit("sync_miss", o.syncMiss);
    visit("seconds", o.seconds);
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

// One worker's trial runner; each worker thread owns one and reuses it for all its trials.
class TrialRunner {
public:
    virtual ~TrialRunner() = default;
    virtual TrialOutcome run(const TrialJob& job) = 0;
};

using TrialRunnerFactory = std::function<std::unique_ptr<TrialRunner>()>;

// One trial of a sweep: `point` numbers the (condition, Es/N0) points condition-major (point p is
// condition p / esno.size() at Es/N0 number p % esno.size()), `trial` counts from 0 within it.
struct TrialTicket {
    std::int64_t point = 0;
    std::int64_t trial = 0;
};

// Number of points of `config` (conditions x Es/N0 values).
std::int64_t point_count(const SweepConfig& config);

// What the runner of `ticket` is asked to do: the condition (pointing into `config`, which must
// outlive the result), the Es/N0 and the seeds. `ticket.point` must be below point_count().
TrialJob trial_job(const SweepConfig& config, const TrialTicket& ticket);

// The sweep as seen by workers outside this process (the other ranks of an MPI job). Every call
// is made from the thread that runs run_sweep().
class TrialQueue {
public:
    virtual ~TrialQueue() = default;
    // A trial to run now, or none for the moment (none at all once stopping() holds).
    virtual std::optional<TrialTicket> take() = 0;
    // A trial taken with take() has finished.
    virtual void give(const TrialTicket& ticket, const TrialOutcome& outcome) = 0;
    // A worker failed: the sweep stops and run_sweep() raises `error`.
    virtual void fail(std::exception_ptr error) = 0;
    // True once no more trials will be handed out (every point finished, interrupted or failed):
    // the outside workers should stop, abandoning what they run.
    virtual bool stopping() = 0;
};

// Workers outside this process, polled by run_sweep() on its calling thread every millisecond or
// so.
class RemoteWorkers {
public:
    virtual ~RemoteWorkers() = default;
    // Worker threads outside this process, and the processes (ranks) they belong to.
    virtual int threads() const = 0;
    virtual int ranks() const = 0;
    // Hands out trials taken from `queue` and gives back the outcomes that arrived, without
    // blocking. Returns false once, after queue.stopping(), every outside worker has finished.
    virtual bool poll(TrialQueue& queue) = 0;
};

// A trial finished in an earlier run (read back from a checkpoint journal).
struct KnownTrial {
    TrialTicket ticket;
    TrialOutcome outcome;
};

// What a sweep adds to running its trials here: results already known, a record of every trial
// as it finishes, and workers elsewhere.
struct SweepHooks {
    // Trials finished earlier: counted as if they had just run, and never run again.
    const std::vector<KnownTrial>* known = nullptr;
    // Called for every trial that finishes while its point still needs it (not for known trials
    // nor for trials past a point's stop), outside the engine's lock, from the thread that ran
    // it or the calling thread, so possibly from several threads at once. An exception stops the
    // sweep and reaches the caller of run_sweep().
    std::function<void(const TrialTicket&, const TrialOutcome&)> finished;
    // Workers in other processes; null for none.
    RemoteWorkers* remote = nullptr;
};

// Runs trials through the whole road (run_road) with one built-in host per worker and the
// parameter set `milstd` shared read-only by every worker. `interrupt` (may be null) is polled
// by the blocks' long loops.
TrialRunnerFactory road_trial_runners(const Milstd& milstd, const SweepConfig& config,
                                      const std::atomic<bool>* interrupt);

enum class StopReason { none, errors, bits, interrupted };

const char* stop_reason_name(StopReason reason);

// A two-sided 95 % Wilson score interval of a proportion.
struct Interval {
    double low = 0;
    double high = 1;
};

// Wilson score interval for `errors` in `bits` Bernoulli trials at z = 1.959963984540054 (95 %):
// centre (p + z^2/2n) / (1 + z^2/n), half-width z sqrt(p(1-p)/n + z^2/4n^2) / (1 + z^2/n).
// n = 0 gives [0, 1].
Interval wilson_interval(std::int64_t errors, std::int64_t bits);

struct PointResult {
    std::string condition;
    double esno = 0;
    std::int64_t trials = 0;      // trials counted (0..K-1)
    std::int64_t bits = 0;        // the stop rule's bits (TrialOutcome::bits), summed
    std::int64_t errors = 0;      // the stop rule's errors, summed
    std::int64_t syncMisses = 0;  // trials whose frame start was missed
    double seconds = 0;           // worker time spent on the counted trials
    StopReason stop = StopReason::none;

    std::array<ReceiverCounts, kReceiverCount> receivers;  // by ReceiverKind, summed

    double rate() const { return bits > 0 ? static_cast<double>(errors) / bits : 0.0; }
    Interval interval() const { return wilson_interval(errors, bits); }
    const ReceiverCounts& of(ReceiverKind kind) const {
        return receivers[static_cast<std::size_t>(kind)];
    }
};

// What the engine tells its observer while it runs (from the calling thread).
struct SweepProgress {
    int pointsDone = 0;
    int pointsTotal = 0;
    double fraction = 0;                    // estimated fraction of the work done, 0..1
    double elapsed = 0;                     // wall seconds since the start
    const PointResult* finished = nullptr;  // set when a point has just finished
};

using ProgressCallback = std::function<void(const SweepProgress&)>;

struct SweepResult {
    std::vector<PointResult> points;  // condition-major, Es/N0 ascending within a condition;
                                      // after an interruption: the points with counted trials
    bool interrupted = false;
    int threads = 1;               // worker threads in all processes
    int ranks = 1;                 // processes (MPI ranks) that ran trials
    std::int64_t knownTrials = 0;  // trials taken from SweepHooks::known that were counted
                                   // from the start
    std::size_t heldOutcomes = 0;  // most trial outcomes one point held at once
    double wallSeconds = 0;
};

// Every trial allocates the same large signal arrays again. By default glibc maps arrays above
// 128 KiB afresh (mmap) and unmaps them on free, so each trial pays page faults and zeroing, and
// the threads contend in the kernel; kept in each thread's heap instead, the next trial reuses the
// same memory (about half the time of a sweep on two threads). Call once, early in main().
void keep_trial_memory();

// A point hands out trials at most this far past its first unfinished one (or 8 per worker when
// there are more workers), so that the outcomes it holds out of order stay few however long one
// trial is held up.
inline constexpr std::int64_t kOutOfOrderReach = 1024;

// Processor cores this process may run on (its affinity mask; at least 1).
int usable_cores();

// Number of worker threads for `requested` (0 = one per core, at least 1). `sharing`: processes
// of the same job on this machine; with 0 requested they share the cores, unless the launcher
// has already given each process cores of its own.
int worker_count(int requested, int sharing = 1);

// Runs the sweep. Stops early when `interrupt` becomes true: trials already running are abandoned
// by the blocks' interrupt poll, every point keeps the trials 0..k-1 that had completed, and the
// result is marked interrupted. A trial failing with any other error stops the sweep and the
// error is rethrown here.
//
// Memory: a point keeps only the outcomes of trials that finished ahead of an earlier one still
// running (at most kOutOfOrderReach, or 8 per worker), whatever the length of the sweep.
SweepResult run_sweep(const SweepConfig& config, const TrialRunnerFactory& runners,
                      const std::atomic<bool>* interrupt, const ProgressCallback& progress,
                      const SweepHooks& hooks = {});

}  // namespace hfchain::app
