#include "apps/sweep.hpp"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

#include "runtime/builtin_host.hpp"
#include "runtime/error.hpp"

namespace hfchain::app {

namespace {

std::uint64_t mix(std::uint64_t x) {
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebULL;
    x ^= x >> 31;
    return x;
}

std::uint64_t fnv1a64(const std::string& s) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (const unsigned char c : s) {
        h ^= c;
        h *= 0x100000001b3ULL;
    }
    return h;
}

// Differential delay tau of the second ray in seconds, or a negative value for no fading.
double condition_tau(const std::string& condition) {
    if (condition == "bom") return 0.0005;
    if (condition == "moderado") return 0.001;
    if (condition == "ruim") return 0.002;
    if (condition == "muito_ruim") return 0.005;
    return -1;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class RoadTrialRunner final : public TrialRunner {
public:
    RoadTrialRunner(const Milstd& milstd, const SweepConfig& config,
                    const std::atomic<bool>* interrupt)
        : milstd_(milstd) {
        road_.nFrame = config.nFrame;
        road_.shaping = config.shaping;
        host_.set_interrupt_flag(interrupt);
    }

    TrialOutcome run(const TrialSpec& job) override {
        road_.txSeed = job.seeds.tx;
        const bool awgn = *job.condition == "awgn";
        road_.channel = awgn ? ChannelKind::awgn : ChannelKind::watterson;
        road_.watterson.model = *job.condition;
        road_.watterson.EsNodB = job.esno;
        road_.watterson.seed = job.seeds.channel;
        const RoadResult r = run_road(milstd_, road_, host_);
        TrialOutcome outcome;
        outcome.bits = r.codedBits;
        outcome.errors = r.codedBitErrors;
        outcome.syncMiss =
            !r.frameFound || r.frameStart.empty() || r.frameStart[0] != r.expectedFrameStart;
        return outcome;
    }

private:
    const Milstd& milstd_;
    RoadConfig road_;
    BuiltinHost host_;
};

// Book-keeping of one (condition, Es/N0) point while the sweep runs.
struct PointState {
    PointResult result;                             // trials 0..result.trials-1, summed
    std::vector<std::optional<TrialOutcome>> done;  // completed trials by index
    std::int64_t dispatched = 0;                    // trials handed out (indices 0..dispatched-1)
    std::int64_t inflight = 0;
    std::int64_t completed = 0;  // completed trials, counted or not yet
    std::int64_t completedErrors = 0;
    std::int64_t bitsPerTrial = 0;  // known once one trial has completed
    bool finished = false;
    bool reported = false;
};

class Scheduler {
public:
    Scheduler(const SweepConfig& config, const std::atomic<bool>* interrupt)
        : config_(config), interrupt_(interrupt) {
        for (const std::string& c : config.conditions) {
            for (const double e : config.esno) {
                PointState p;
                p.result.condition = c;
                p.result.esno = e;
                points_.push_back(std::move(p));
            }
        }
    }

    void worker(TrialRunner& runner) {
        std::unique_lock lock(mutex_);
        for (;;) {
            std::optional<std::size_t> pick;
            while (!check_interrupt() && !(pick = choose())) {
                if (all_finished()) return;
                changed_.wait(lock);
            }
            if (stopping_) return;
            PointState& p = points_[*pick];
            TrialSpec job;
            job.condition = &p.result.condition;
            job.esno = p.result.esno;
            job.trial = p.dispatched++;
            job.seeds = trial_seeds(config_.seed, p.result.condition, p.result.esno, job.trial);
            ++p.inflight;
            lock.unlock();

            TrialOutcome outcome;
            bool ok = false;
            try {
                const auto start = std::chrono::steady_clock::now();
                outcome = runner.run(job);
                outcome.seconds = seconds_since(start);
                ok = true;
            } catch (const Error& e) {
                if (e.identifier() != errid::kInterrupted) fail(std::current_exception());
            } catch (...) {
                fail(std::current_exception());
            }

            lock.lock();
            --p.inflight;
            if (ok) record(p, job.trial, outcome);
            changed_.notify_all();
        }
    }

    // Waits for a change (or `timeout`) and says whether the sweep is over.
    bool wait_for_change(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, timeout);
        return check_interrupt() || all_finished();
    }

    // Progress: the points finished since the last call (copied) and the overall estimate.
    //
    // The work is counted in coded bits, since a trial's time hardly depends on its Es/N0. A
    // finished point counts its bits; a started one the bits its stop rule will need at the error
    // rate seen so far (the bit limit while it has seen no error); a point not yet started at
    // least what the point before it in its condition needs (a higher Es/N0 never needs fewer).
    SweepProgress snapshot(std::vector<PointResult>& newly_finished) {
        std::lock_guard lock(mutex_);
        SweepProgress s;
        s.pointsTotal = static_cast<int>(points_.size());
        double bits_per_trial = 0;
        for (const PointState& p : points_) {
            if (p.bitsPerTrial > 0) bits_per_trial = static_cast<double>(p.bitsPerTrial);
        }
        const double floor = static_cast<double>(config_.minTrials) * bits_per_trial;
        const double limit = std::max(floor, static_cast<double>(config_.maxBits));
        double done = 0;
        double total = 0;
        double previous = floor;
        for (std::size_t i = 0; i < points_.size(); ++i) {
            PointState& p = points_[i];
            if (i > 0 && p.result.condition != points_[i - 1].result.condition) previous = floor;
            double estimate = previous;
            if (p.finished) {
                ++s.pointsDone;
                estimate = static_cast<double>(p.result.bits);
                done += estimate;
                if (!p.reported) {
                    p.reported = true;
                    newly_finished.push_back(p.result);
                }
            } else if (p.completed > 0 && bits_per_trial > 0) {
                const double rate = static_cast<double>(p.completedErrors) /
                                    (static_cast<double>(p.completed) * bits_per_trial);
                const double need =
                    rate > 0 ? static_cast<double>(config_.minErrors) / rate : limit;
                estimate = std::clamp(need, floor, limit);
                done += std::min(static_cast<double>(p.result.bits), estimate);
            }
            total += estimate;
            previous = std::max(previous, estimate);
        }
        s.fraction = total > 0 ? std::min(1.0, done / total) : 0.0;
        if (s.pointsDone == s.pointsTotal) s.fraction = 1.0;
        return s;
    }

    SweepResult result() {
        std::lock_guard lock(mutex_);
        if (error_) std::rethrow_exception(error_);
        SweepResult r;
        r.interrupted = interrupted_;
        for (PointState& p : points_) {
            if (p.finished) {
                r.points.push_back(p.result);
            } else if (p.result.trials > 0) {
                p.result.stop = StopReason::interrupted;
                r.points.push_back(p.result);
            }
        }
        return r;
    }

private:
    // The first point that can take another trial, or none. A point takes one while the trials
    // handed out cannot yet reach `maxBits` and the errors expected from the running trials
    // (at the rate seen so far) would not reach `minErrors`; otherwise its stop is likely near
    // and the worker moves on to a later point instead of running a trial that would be thrown
    // away.
    std::optional<std::size_t> choose() const {
        for (std::size_t i = 0; i < points_.size(); ++i) {
            const PointState& p = points_[i];
            if (p.finished) continue;
            if (p.dispatched < config_.minTrials) return i;
            if (p.completed == 0) {
                if (p.inflight > 0) continue;
                return i;
            }
            if (p.bitsPerTrial > 0 && p.dispatched * p.bitsPerTrial >= config_.maxBits) continue;
            const double expected = static_cast<double>(p.completedErrors) +
                                    static_cast<double>(p.inflight) *
                                        static_cast<double>(p.completedErrors) /
                                        static_cast<double>(p.completed);
            if (expected >= static_cast<double>(config_.minErrors)) continue;
            return i;
        }
        return std::nullopt;
    }

    // With the lock held: turns a user interrupt into a stop; true once the sweep is stopping.
    bool check_interrupt() {
        if (!stopping_ && interrupt_ != nullptr && interrupt_->load()) {
            stopping_ = true;
            interrupted_ = true;
            changed_.notify_all();
        }
        return stopping_;
    }

    bool all_finished() const {
        for (const PointState& p : points_) {
            if (!p.finished) return false;
        }
        return true;
    }

    void record(PointState& p, std::int64_t trial, const TrialOutcome& outcome) {
        if (p.finished) return;  // a trial beyond the stop: discarded
        ++p.completed;
        p.completedErrors += outcome.errors;
        if (p.bitsPerTrial == 0) p.bitsPerTrial = outcome.bits;
        if (static_cast<std::int64_t>(p.done.size()) <= trial) p.done.resize(trial + 1);
        p.done[trial] = outcome;
        // Count the completed trials in index order up to the first gap, stopping at the rule.
        PointResult& r = p.result;
        while (r.trials < static_cast<std::int64_t>(p.done.size()) && p.done[r.trials]) {
            const TrialOutcome& t = *p.done[r.trials];
            ++r.trials;
            r.bits += t.bits;
            r.errors += t.errors;
            r.syncMisses += t.syncMiss ? 1 : 0;
            r.seconds += t.seconds;
            if (t.bits == 0) {
                r.stop = StopReason::bits;  // a trial of no bits could never reach the rule
            } else if (r.trials < config_.minTrials) {
                continue;
            } else if (r.errors >= config_.minErrors) {
                r.stop = StopReason::errors;
            } else if (r.bits >= config_.maxBits) {
                r.stop = StopReason::bits;
            }
            if (r.stop != StopReason::none) {
                p.finished = true;
                p.done.clear();
                p.done.shrink_to_fit();
                break;
            }
        }
    }

    void fail(std::exception_ptr e) {
        std::lock_guard lock(mutex_);
        if (!error_) error_ = e;
        stopping_ = true;
        changed_.notify_all();
    }

    const SweepConfig& config_;
    const std::atomic<bool>* interrupt_;
    std::vector<PointState> points_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    bool interrupted_ = false;
    std::exception_ptr error_;
};

}  // namespace

bool is_condition(const std::string& name) {
    for (const char* c : kConditionNames) {
        if (name == c) return true;
    }
    return false;
}

std::string condition_list() {
    std::string s;
    for (const char* c : kConditionNames) {
        if (!s.empty()) s += ", ";
        s += c;
    }
    return s;
}

double ray_delay_samples(const std::string& condition, double M) {
    const double tau = condition_tau(condition);
    return tau < 0 ? 0.0 : M * (2400 * tau);
}

TrialSeeds trial_seeds(std::uint32_t seed, const std::string& condition, double esno,
                       std::int64_t trial) {
    std::uint64_t h = mix(static_cast<std::uint64_t>(seed) + 0x9e3779b97f4a7c15ULL);
    h = mix(h ^ fnv1a64(condition));
    h = mix(h ^ static_cast<std::uint64_t>(std::llround(esno * 1000)));
    h = mix(h ^ static_cast<std::uint64_t>(trial));
    TrialSeeds s;
    s.tx = static_cast<double>(mix(h ^ 1) & 0xffffffffULL);
    s.channel = static_cast<double>(mix(h ^ 2) & 0xffffffffULL);
    return s;
}

TrialRunnerFactory road_trial_runners(const Milstd& milstd, const SweepConfig& config,
                                      const std::atomic<bool>* interrupt) {
    return [&milstd, config, interrupt]() -> std::unique_ptr<TrialRunner> {
        return std::make_unique<RoadTrialRunner>(milstd, config, interrupt);
    };
}

const char* stop_reason_name(StopReason reason) {
    switch (reason) {
        case StopReason::errors:
            return "errors";
        case StopReason::bits:
            return "bits";
        case StopReason::interrupted:
            return "interrupted";
        case StopReason::none:
            break;
    }
    return "none";
}

Interval wilson_interval(std::int64_t errors, std::int64_t bits) {
    if (bits <= 0) return {};
    constexpr double z = 1.959963984540054;
    const double n = static_cast<double>(bits);
    const double p = static_cast<double>(errors) / n;
    const double z2n = z * z / n;
    const double centre = (p + z2n / 2) / (1 + z2n);
    const double half = z * std::sqrt(p * (1 - p) / n + z2n / (4 * n)) / (1 + z2n);
    return {std::max(0.0, centre - half), std::min(1.0, centre + half)};
}

void keep_trial_memory() {
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
}

int worker_count(int requested) {
    if (requested > 0) return requested;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores);
}

SweepResult run_sweep(const SweepConfig& config, const TrialRunnerFactory& runners,
                      const std::atomic<bool>* interrupt, const ProgressCallback& progress) {
    const auto start = std::chrono::steady_clock::now();
    const int threads = worker_count(config.threads);
    Scheduler scheduler(config, interrupt);

    // Runners are made here, on the calling thread, so that a failing construction is reported
    // before any work starts.
    std::vector<std::unique_ptr<TrialRunner>> owned;
    for (int t = 0; t < threads; ++t) owned.push_back(runners());
    std::vector<std::thread> workers;
    workers.reserve(threads);
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&scheduler, runner = owned[t].get()] { scheduler.worker(*runner); });
    }

    std::vector<PointResult> newly_finished;
    for (bool over = false; !over;) {
        over = scheduler.wait_for_change(std::chrono::milliseconds(250));
        if (!progress) continue;
        newly_finished.clear();
        SweepProgress s = scheduler.snapshot(newly_finished);
        s.elapsed = seconds_since(start);
        for (const PointResult& p : newly_finished) {
            s.finished = &p;
            progress(s);
        }
        s.finished = nullptr;
        progress(s);
    }
    for (std::thread& w : workers) w.join();

    SweepResult r = scheduler.result();
    r.threads = threads;
    r.wallSeconds = seconds_since(start);
    return r;
}

}  // namespace hfchain::app
