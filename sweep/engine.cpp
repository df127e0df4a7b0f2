#include "sweep/engine.hpp"

#ifdef __GLIBC__
#include <malloc.h>
#endif
#ifdef __linux__
#include <sched.h>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

#include "runtime/error.hpp"

namespace hfchain::sweep {

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// True when two points lie on one curve: the same rate and condition.
bool same_curve(const PointResult& a, const PointResult& b) {
    return a.dataRate == b.dataRate && a.condition == b.condition;
}

// Book-keeping of one (rate, condition, Es/N0) point while the sweep runs.
struct PointState {
    PointResult result;  // trials 0..result.trials-1, summed
    // Trials that completed ahead of trial result.trials, which is still running: window[k] is
    // trial result.trials + k. Only this gap is kept, never the counted trials.
    std::deque<std::optional<TrialOutcome>> window;
    std::int64_t dispatched = 0;  // trials 0..dispatched-1 handed out or known
    std::int64_t inflight = 0;
    std::int64_t completed = 0;  // completed trials, counted or not yet
    // Of the completed trials, for each of the stop rule's receivers: the error events and the
    // wrong bits.
    std::array<std::int64_t, kReceiverCount> completedEvents{};
    std::array<std::int64_t, kReceiverCount> completedErrors{};
    std::int64_t bitsPerTrial = 0;  // known once one trial has completed
    bool finished = false;
    bool skipped = false;  // not run: an earlier point of its condition fell below the floor
    bool reported = false;
};

class Scheduler final : public TrialQueue {
public:
    Scheduler(const SweepConfig& config, const std::atomic<bool>* interrupt)
        : config_(config), interrupt_(interrupt) {
        for (const double rate : config.rates) {
            for (const std::string& c : config.conditions) {
                for (const double e : config.esno) {
                    PointState p;
                    p.result.dataRate = rate;
                    p.result.condition = c;
                    p.result.esno = e;
                    points_.push_back(std::move(p));
                }
            }
        }
    }

    // Counts trials finished in an earlier run, before any worker starts.
    void preload(const std::vector<KnownTrial>& known) {
        std::vector<const KnownTrial*> order;
        order.reserve(known.size());
        for (const KnownTrial& k : known) {
            if (k.ticket.point >= 0 && k.ticket.point < static_cast<std::int64_t>(points_.size()) &&
                k.ticket.trial >= 0) {
                order.push_back(&k);
            }
        }
        // In trial order, so that a point's window holds only the gaps of the earlier run.
        std::sort(order.begin(), order.end(), [](const KnownTrial* a, const KnownTrial* b) {
            return a->ticket.point != b->ticket.point ? a->ticket.point < b->ticket.point
                                                      : a->ticket.trial < b->ticket.trial;
        });
        std::lock_guard lock(mutex_);
        for (const KnownTrial* k : order) {
            record(static_cast<std::size_t>(k->ticket.point), k->ticket.trial, k->outcome);
        }
        for (PointState& p : points_) {
            if (!p.skipped) known_trials_ += p.result.trials;
            skip_known(p);
        }
    }

    // How far past a point's first unfinished trial others may be handed out.
    void set_reach(std::int64_t reach) { reach_ = reach; }

    void set_finished_hook(std::function<void(const TrialTicket&, const TrialOutcome&)> hook) {
        finished_hook_ = std::move(hook);
    }

    void worker(TrialRunner& runner) {
        for (;;) {
            std::optional<TrialTicket> ticket;
            {
                std::unique_lock lock(mutex_);
                while (!check_interrupt() && !(ticket = take_locked())) {
                    if (all_finished()) return;
                    changed_.wait(lock);
                }
                if (stopping_) return;
            }
            const TrialJob job = trial_job(config_, *ticket);
            TrialOutcome outcome;
            bool ok = false;
            try {
                const auto start = std::chrono::steady_clock::now();
                outcome = runner.run(job);
                outcome.seconds = seconds_since(start);
                ok = true;
            } catch (const Error& e) {
                if (e.identifier() != hfchain::errid::kInterrupted) fail(std::current_exception());
            } catch (...) {
                fail(std::current_exception());
            }
            if (ok) {
                give(*ticket, outcome);
            } else {
                std::lock_guard lock(mutex_);
                --points_[static_cast<std::size_t>(ticket->point)].inflight;
                changed_.notify_all();
            }
        }
    }

    std::optional<TrialTicket> take() override {
        std::lock_guard lock(mutex_);
        if (check_interrupt()) return std::nullopt;
        return take_locked();
    }

    void give(const TrialTicket& ticket, const TrialOutcome& outcome) override {
        bool counted = false;
        {
            std::lock_guard lock(mutex_);
            const auto i = static_cast<std::size_t>(ticket.point);
            --points_[i].inflight;
            counted = record(i, ticket.trial, outcome);
            changed_.notify_all();
        }
        if (counted && finished_hook_) {
            try {
                finished_hook_(ticket, outcome);
            } catch (...) {
                fail(std::current_exception());
            }
        }
    }

    void fail(std::exception_ptr e) override {
        std::lock_guard lock(mutex_);
        if (!error_) error_ = e;
        stopping_ = true;
        changed_.notify_all();
    }

    bool stopping() override {
        std::lock_guard lock(mutex_);
        return check_interrupt() || all_finished();
    }

    // Waits for a change (or `timeout`) and says whether the sweep is over.
    bool wait_for_change(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        if (!check_interrupt() && !all_finished()) changed_.wait_for(lock, timeout);
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
            if (i > 0 && !same_curve(p.result, points_[i - 1].result)) previous = floor;
            double estimate = previous;
            if (p.skipped) {
                ++s.pointsDone;
                continue;
            }
            if (p.finished) {
                ++s.pointsDone;
                estimate = static_cast<double>(p.result.bits);
                done += estimate;
                if (!p.reported) {
                    p.reported = true;
                    newly_finished.push_back(p.result);
                }
            } else if (p.completed > 0 && bits_per_trial > 0) {
                // The bits the slowest of the stop rule's receivers needs for its events and
                // its wrong bits, at the rates seen so far.
                double need = 0;
                const auto completed = static_cast<double>(p.completed);
                for (std::size_t k = 0; k < stop_receivers(); ++k) {
                    const double events = static_cast<double>(p.completedEvents[k]) / completed;
                    const double rate =
                        static_cast<double>(p.completedErrors[k]) / (completed * bits_per_trial);
                    need = std::max(
                        {need,
                         events > 0
                             ? static_cast<double>(config_.minEvents) / events * bits_per_trial
                             : limit,
                         rate > 0 ? static_cast<double>(config_.minErrors) / rate : limit});
                }
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
        r.knownTrials = known_trials_;
        r.heldOutcomes = widest_window_;
        for (PointState& p : points_) {
            if (p.skipped) continue;
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
    // With the lock held: the next trial to run, or none for the moment.
    std::optional<TrialTicket> take_locked() {
        const std::optional<std::size_t> pick = choose();
        if (!pick) return std::nullopt;
        PointState& p = points_[*pick];
        TrialTicket t;
        t.point = static_cast<std::int64_t>(*pick);
        t.trial = p.dispatched++;
        ++p.inflight;
        skip_known(p);
        return t;
    }

    // Moves `dispatched` past trials that are already known (from an earlier run).
    static void skip_known(PointState& p) {
        if (p.finished) return;
        p.dispatched = std::max(p.dispatched, p.result.trials);
        for (;;) {
            const auto k = static_cast<std::size_t>(p.dispatched - p.result.trials);
            if (k >= p.window.size() || !p.window[k]) break;
            ++p.dispatched;
        }
    }

    // The first point that can take another trial, or none. A point takes one while the trials
    // handed out cannot yet reach `maxBits` and the events and wrong bits expected from the
    // running trials (at the rates seen so far) would not reach `minEvents` and `minErrors`;
    // otherwise its stop is likely near and the worker moves on to a later point instead of
    // running a trial that would be thrown away.
    std::optional<std::size_t> choose() const {
        for (std::size_t i = 0; i < points_.size(); ++i) {
            const PointState& p = points_[i];
            if (p.finished) continue;
            if (config_.floor > 0 && i > 0 && !points_[i - 1].finished &&
                same_curve(points_[i - 1].result, p.result)) {
                continue;  // whether it runs at all depends on the point before it
            }
            if (p.dispatched - p.result.trials >= reach_) continue;  // wait for the held-up one
            if (p.dispatched < config_.minTrials) return i;
            if (p.completed == 0) {
                if (p.inflight > 0) continue;
                return i;
            }
            if (p.bitsPerTrial > 0 && p.dispatched * p.bitsPerTrial >= config_.maxBits) continue;
            // The running trials are expected to bring their share of what the completed ones
            // brought.
            const double grow =
                1 + static_cast<double>(p.inflight) / static_cast<double>(p.completed);
            bool near = true;
            for (std::size_t k = 0; k < stop_receivers(); ++k) {
                near = near &&
                       static_cast<double>(p.completedEvents[k]) * grow >=
                           static_cast<double>(config_.minEvents) &&
                       static_cast<double>(p.completedErrors[k]) * grow >=
                           static_cast<double>(config_.minErrors);
            }
            if (near) continue;
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

    // How many receivers the stop rule counts: the first, or each one.
    std::size_t stop_receivers() const {
        return config_.stopOn == StopOn::first ? 1 : config_.receivers.size();
    }

    // The wrong bits of trial `t` that the stop rule counts for its receiver `k`: the trial's
    // own (the first receiver's metric), or receiver k's bits of the metric.
    std::int64_t stop_errors(const TrialOutcome& t, std::size_t k) const {
        if (config_.stopOn == StopOn::first) return t.errors;
        const ReceiverCounts& n = t.receivers[static_cast<std::size_t>(config_.receivers[k])];
        return config_.metric == Metric::decoded ? n.infoErrors : n.codedErrors;
    }

    // True when the point `r` has the error events and wrong bits the stop rule asks of every
    // receiver it counts; sets r.events to the fewest events among them.
    bool enough_events(PointResult& r) const {
        bool enough = true;
        for (std::size_t k = 0; k < stop_receivers(); ++k) {
            std::int64_t events = r.spread.events;
            std::int64_t errors = r.errors;
            if (config_.stopOn == StopOn::all) {
                const ReceiverKind kind = config_.receivers[k];
                events = receiver_events(r, kind, config_.metric);
                const ReceiverCounts& n = r.of(kind);
                errors = config_.metric == Metric::decoded ? n.infoErrors : n.codedErrors;
            }
            r.events = k == 0 ? events : std::min(r.events, events);
            enough = enough && events >= config_.minEvents && errors >= config_.minErrors;
        }
        return enough;
    }

    // With the lock held: after point `i` has finished, ends its condition's curve there when
    // every receiver's rate is below the floor (the later points are skipped).
    void end_curve_below_floor(std::size_t i) {
        if (config_.floor <= 0) return;
        for (const ReceiverKind r : config_.receivers) {
            if (!(receiver_rate(points_[i].result, r, config_.metric) < config_.floor)) return;
        }
        for (std::size_t j = i + 1;
             j < points_.size() && same_curve(points_[j].result, points_[i].result); ++j) {
            PointState& later = points_[j];
            later.finished = true;
            later.skipped = true;
            later.window.clear();
            later.window.shrink_to_fit();
        }
    }

    // With the lock held: takes the outcome of trial `trial` into point `i`. False when it is not
    // needed: the point has already stopped, or the trial was recorded before.
    bool record(std::size_t i, std::int64_t trial, const TrialOutcome& outcome) {
        PointState& p = points_[i];
        if (p.finished || trial < p.result.trials) return false;
        const auto k = static_cast<std::size_t>(trial - p.result.trials);
        if (p.window.size() <= k) p.window.resize(k + 1);
        if (p.window[k]) return false;
        p.window[k] = outcome;
        widest_window_ = std::max(widest_window_, p.window.size());
        ++p.completed;
        for (std::size_t j = 0; j < stop_receivers(); ++j) {
            const std::int64_t errors = stop_errors(outcome, j);
            p.completedEvents[j] += errors > 0 ? 1 : 0;
            p.completedErrors[j] += errors;
        }
        if (p.bitsPerTrial == 0) p.bitsPerTrial = outcome.bits;
        // Count the completed trials in index order up to the first gap, stopping at the rule.
        PointResult& r = p.result;
        while (!p.window.empty() && p.window.front()) {
            const TrialOutcome t = *p.window.front();
            p.window.pop_front();
            ++r.trials;
            r.bits += t.bits;
            r.errors += t.errors;
            r.syncMisses += t.syncMiss ? 1 : 0;
            r.seconds += t.seconds;
            r.spread.add(t.errors, t.bits);
            r.acquisition.add(t.acquisition);
            if (config_.metric == Metric::acquisition && config_.noiseSeconds == 0) {
                const AcquisitionCounts& a = t.acquisition;
                r.shareSpread[0].add(a.right, 1);
                r.shareSpread[1].add(a.wrongMode, 1);
                r.shareSpread[2].add(a.missed, 1);
            }
            for (std::size_t k = 0; k < kReceiverCount; ++k) {
                const ReceiverCounts& n = t.receivers[k];
                r.receivers[k].add(n);
                r.codedSpread[k].add(n.codedErrors, n.codedBits);
                r.infoSpread[k].add(n.infoErrors, n.infoBits);
            }
            const bool enough = enough_events(r);
            if (t.bits == 0) {
                r.stop = StopReason::bits;  // a trial of no bits could never reach the rule
            } else if (r.trials < config_.minTrials) {
                continue;
            } else if (enough) {
                r.stop = StopReason::events;
            } else if (r.bits >= config_.maxBits) {
                r.stop = StopReason::bits;
            }
            if (r.stop != StopReason::none) {
                p.finished = true;
                p.window.clear();
                p.window.shrink_to_fit();
                end_curve_below_floor(i);
                break;
            }
        }
        return true;
    }

    const SweepConfig& config_;
    const std::atomic<bool>* interrupt_;
    std::vector<PointState> points_;
    std::function<void(const TrialTicket&, const TrialOutcome&)> finished_hook_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    bool interrupted_ = false;
    std::int64_t reach_ = kOutOfOrderReach;
    std::int64_t known_trials_ = 0;
    std::size_t widest_window_ = 0;
    std::exception_ptr error_;
};

}  // namespace

const char* stop_reason_name(StopReason reason) {
    switch (reason) {
        case StopReason::events:
            return "events";
        case StopReason::bits:
            return "bits";
        case StopReason::interrupted:
            return "interrupted";
        case StopReason::none:
            break;
    }
    return "none";
}

double receiver_rate(const PointResult& p, ReceiverKind receiver, Metric metric) {
    const ReceiverCounts& n = p.of(receiver);
    const std::int64_t errors = metric == Metric::decoded ? n.infoErrors : n.codedErrors;
    const std::int64_t bits = metric == Metric::decoded ? n.infoBits : n.codedBits;
    return bits > 0 ? static_cast<double>(errors) / static_cast<double>(bits) : 0.0;
}

Interval receiver_interval(const PointResult& p, ReceiverKind receiver, Metric metric) {
    const ReceiverCounts& n = p.of(receiver);
    const auto k = static_cast<std::size_t>(receiver);
    return metric == Metric::decoded ? trial_interval(n.infoErrors, n.infoBits, p.infoSpread[k])
                                     : trial_interval(n.codedErrors, n.codedBits, p.codedSpread[k]);
}

std::int64_t receiver_events(const PointResult& p, ReceiverKind receiver, Metric metric) {
    const auto k = static_cast<std::size_t>(receiver);
    return metric == Metric::decoded ? p.infoSpread[k].events : p.codedSpread[k].events;
}

namespace {

std::int64_t class_count(const AcquisitionCounts& a, int kind) {
    return kind == 0 ? a.right : kind == 1 ? a.wrongMode : a.missed;
}

}  // namespace

double acquisition_share(const PointResult& p, int kind) {
    const std::int64_t n = p.acquisition.right + p.acquisition.wrongMode + p.acquisition.missed;
    return n > 0 ? static_cast<double>(class_count(p.acquisition, kind)) / static_cast<double>(n)
                 : 0.0;
}

Interval acquisition_interval(const PointResult& p, int kind) {
    const std::int64_t n = p.acquisition.right + p.acquisition.wrongMode + p.acquisition.missed;
    return trial_interval(class_count(p.acquisition, kind), n,
                          p.shareSpread[static_cast<std::size_t>(kind)]);
}

double false_per_hour(const PointResult& p) {
    const double hours = p.acquisition.searched / 3600;
    return hours > 0 ? static_cast<double>(p.acquisition.falseDetections) / hours : 0.0;
}

Interval false_per_hour_interval(const PointResult& p) {
    const double hours = p.acquisition.searched / 3600;
    if (!(hours > 0)) return {0, 0};
    const Interval counts = poisson_interval(p.acquisition.falseDetections);
    return {counts.low / hours, counts.high / hours};
}

void keep_trial_memory() {
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
}

std::int64_t point_count(const SweepConfig& config) {
    return static_cast<std::int64_t>(config.rates.size() * config.conditions.size() *
                                     config.esno.size());
}

TrialJob trial_job(const SweepConfig& config, const TrialTicket& ticket) {
    const auto e = static_cast<std::int64_t>(config.esno.size());
    const auto c = static_cast<std::int64_t>(config.conditions.size());
    TrialJob job;
    job.rate = config.rates[static_cast<std::size_t>(ticket.point / (c * e))];
    job.condition = &config.conditions[static_cast<std::size_t>((ticket.point / e) % c)];
    job.esno = config.esno[static_cast<std::size_t>(ticket.point % e)];
    job.trial = ticket.trial;
    job.seeds = trial_seeds(config.seed, job.rate, *job.condition, job.esno, job.trial);
    return job;
}

int usable_cores() {
#ifdef __linux__
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
#endif
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores);
}

int worker_count(int requested, int sharing) {
    if (requested > 0) return requested;
    const int cores = usable_cores();
    // A launcher that binds each process to cores of its own leaves it fewer than the machine
    // has; otherwise the processes on this machine divide its cores between them.
    const unsigned online = std::thread::hardware_concurrency();
    if (sharing > 1 && (online == 0 || static_cast<unsigned>(cores) >= online)) {
        return std::max(1, cores / sharing);
    }
    return cores;
}

SweepResult run_sweep(const SweepConfig& config, const TrialRunnerFactory& runners,
                      const std::atomic<bool>* interrupt, const ProgressCallback& progress,
                      const SweepHooks& hooks) {
    const auto start = std::chrono::steady_clock::now();
    const int threads = worker_count(config.threads);
    Scheduler scheduler(config, interrupt);
    const int everywhere = threads + (hooks.remote != nullptr ? hooks.remote->threads() : 0);
    scheduler.set_reach(std::max<std::int64_t>(kOutOfOrderReach, 8 * std::int64_t{everywhere}));
    if (hooks.known != nullptr) scheduler.preload(*hooks.known);
    scheduler.set_finished_hook(hooks.finished);

    // Runners are made here, on the calling thread, so that a failing construction is reported
    // before any work starts.
    std::vector<std::unique_ptr<TrialRunner>> owned;
    for (int t = 0; t < threads; ++t) owned.push_back(runners());
    std::vector<std::thread> workers;
    workers.reserve(threads);
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&scheduler, runner = owned[t].get()] { scheduler.worker(*runner); });
    }

    // Outside workers need answers within a millisecond or two; the progress report is drawn
    // at most four times a second either way.
    const auto wait = std::chrono::milliseconds(hooks.remote != nullptr ? 1 : 250);
    const auto report_every = std::chrono::milliseconds(250);
    auto last_report = start - report_every;
    std::vector<PointResult> newly_finished;
    for (bool over = false, remote_busy = hooks.remote != nullptr; !over || remote_busy;) {
        if (over) std::this_thread::sleep_for(wait);  // only the outside workers are left
        over = scheduler.wait_for_change(wait);
        if (hooks.remote != nullptr) {
            try {
                remote_busy = hooks.remote->poll(scheduler);
            } catch (...) {
                scheduler.fail(std::current_exception());
                remote_busy = false;
            }
            over = over || scheduler.stopping();
        }
        const auto now = std::chrono::steady_clock::now();
        if (!progress || (now - last_report < report_every && !(over && !remote_busy))) continue;
        last_report = now;
        newly_finished.clear();
        SweepProgress s = scheduler.snapshot(newly_finished);
        s.elapsed = seconds_since(start);
        // An observer's exception ends the sweep like a worker's: the workers are stopped and
        // joined before it reaches the caller.
        try {
            for (const PointResult& p : newly_finished) {
                s.finished = &p;
                progress(s);
            }
            s.finished = nullptr;
            progress(s);
        } catch (...) {
            scheduler.fail(std::current_exception());
        }
    }
    for (std::thread& w : workers) w.join();

    SweepResult r = scheduler.result();
    r.threads = threads + (hooks.remote != nullptr ? hooks.remote->threads() : 0);
    r.ranks = hooks.remote != nullptr ? hooks.remote->ranks() : 1;
    r.wallSeconds = seconds_since(start);
    return r;
}

}  // namespace hfchain::sweep
