// The sweep engine: coded-bit, decoded-bit and block error rates against Es/N0 for a list of
// channel conditions and receivers, with independent trials run in parallel.
//
// Reproducibility. Every trial's two seeds come from (base seed, condition name, Es/N0 point,
// trial index) alone, through trial_seeds() (sweep/trial.hpp), and the result of a point is defined
// as the sum over its trials 0, 1, ..., K-1, where K is the first count of at least `minTrials` at
// which the error events (trials with a wrong bit of the metric) reach `minEvents` and the wrong
// bits `minErrors` (of the first receiver, or of each one with StopOn::all), or the accumulated
// bits reach `maxBits`. Workers may finish trials out of order and may run trials beyond K; those
// are discarded. With a floor, a condition's points run in their order and its curve ends after
// the first point at which every receiver's rate is below the floor: the later points are not run.
// The table is therefore the same whatever the number of threads, and a point rerun alone (one
// condition, one Es/N0) gives the same line.
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

#include "sweep/config.hpp"
#include "sweep/interval.hpp"
#include "sweep/trial.hpp"

namespace hfchain::sweep {

// One trial of a sweep: `point` numbers the (rate, condition, Es/N0) points rate-major, then
// condition-major (with C conditions and E points: point p is rate p / (C E), condition
// (p / E) % C, Es/N0 number p % E; with one rate, as before the other rates), `trial` counts from
// 0 within it.
struct TrialTicket {
    std::int64_t point = 0;
    std::int64_t trial = 0;
};

// Number of points of `config` (rates x conditions x Es/N0 values).
std::int64_t point_count(const SweepConfig& config);

// What the runner of `ticket` is asked to do: the rate, the condition (pointing into `config`,
// which must outlive the result), the Es/N0 and the seeds. `ticket.point` must be below
// point_count().
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

enum class StopReason { none, events, bits, interrupted };

const char* stop_reason_name(StopReason reason);

struct PointResult {
    double dataRate = 2400;  // bit/s
    std::string condition;
    double esno = 0;
    std::int64_t trials = 0;      // trials counted (0..K-1)
    std::int64_t bits = 0;        // the stop rule's bits (TrialOutcome::bits), summed
    std::int64_t errors = 0;      // the stop rule's errors, summed
    std::int64_t events = 0;      // the stop rule's error events: trials with a wrong bit of the
                                  // metric (with StopOn::all, the fewest of any receiver)
    std::int64_t syncMisses = 0;  // trials whose frame start was missed
    double seconds = 0;           // worker time spent on the counted trials
    StopReason stop = StopReason::none;

    std::array<ReceiverCounts, kReceiverCount> receivers;  // by ReceiverKind, summed
    // The spread of the trials, for the intervals: of the stop rule's bits, and of each
    // receiver's coded and information bits.
    TrialSpread spread;
    std::array<TrialSpread, kReceiverCount> codedSpread;
    std::array<TrialSpread, kReceiverCount> infoSpread;
    // Acquisition (Metric::acquisition): the trials' classes summed, and the spread of each
    // class's share (right, wrong mode, missed) for its interval.
    AcquisitionCounts acquisition;
    std::array<TrialSpread, 3> shareSpread;

    double rate() const { return bits > 0 ? static_cast<double>(errors) / bits : 0.0; }
    // The 95 % interval over trials of rate() (sweep/interval.hpp).
    Interval interval() const { return trial_interval(errors, bits, spread); }
    const ReceiverCounts& of(ReceiverKind kind) const {
        return receivers[static_cast<std::size_t>(kind)];
    }
};

// The error rate of `receiver` at point `p` in the bits of `metric` (decoded information bits or
// coded bits), and its 95 % interval over trials; 0 (and [0, 1]) when it has no bits.
double receiver_rate(const PointResult& p, ReceiverKind receiver, Metric metric);
Interval receiver_interval(const PointResult& p, ReceiverKind receiver, Metric metric);

// The trials in which `receiver` had a wrong bit of `metric`.
std::int64_t receiver_events(const PointResult& p, ReceiverKind receiver, Metric metric);

// The share of the trials of point `p` that acquisition classed as right, wrong mode or missed
// (classes 0, 1, 2), and its 95 % interval over trials (trial_interval of the class's count among
// the transmissions); 0 (and [0, 1]) without transmissions.
double acquisition_share(const PointResult& p, int kind);
Interval acquisition_interval(const PointResult& p, int kind);

// False detections per hour of noise searched at point `p`, and the 95 % interval of that rate
// (poisson_interval of the count over the hours); 0 and [0, 0] when nothing was searched.
double false_per_hour(const PointResult& p);
Interval false_per_hour_interval(const PointResult& p);

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
    std::vector<PointResult> points;  // rate-major, then condition-major, in the order of
                                      // config.rates, config.conditions and config.esno; after an
                                      // interruption: the points with counted trials; without
                                      // the points a floor left out
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
// result is marked interrupted. A trial failing with any other error, or an exception of
// `progress`, stops the sweep (its workers joined) and is rethrown here.
//
// Memory: a point keeps only the outcomes of trials that finished ahead of an earlier one still
// running (at most kOutOfOrderReach, or 8 per worker), whatever the length of the sweep.
SweepResult run_sweep(const SweepConfig& config, const TrialRunnerFactory& runners,
                      const std::atomic<bool>* interrupt, const ProgressCallback& progress,
                      const SweepHooks& hooks = {});

}  // namespace hfchain::sweep
