#include "sweep/session.hpp"

#include <mutex>
#include <utility>
#include <vector>

#include "runtime/error.hpp"
#include "sweep/config.hpp"

namespace hfchain::sweep {

namespace {

// The first failure to write the journal, from any thread; it raises the interrupt flag.
class FirstFailure {
public:
    explicit FirstFailure(std::atomic<bool>* interrupt) : interrupt_(interrupt) {}

    // Runs `write`, keeping a failure to write instead of raising it.
    template <class F>
    void attempt(F&& write) {
        try {
            write();
        } catch (const Error& e) {
            if (e.identifier() != errid::kWriteFailed) throw;
            std::lock_guard lock(mutex_);
            if (message_.empty()) message_ = e.what();
            if (interrupt_ != nullptr) interrupt_->store(true);
        }
    }

    std::string message() {
        std::lock_guard lock(mutex_);
        return message_;
    }

private:
    std::atomic<bool>* interrupt_;
    std::mutex mutex_;
    std::string message_;
};

}  // namespace

SessionResult run_session(const SweepConfig& config, JournalPart part,
                          const TrialRunnerFactory& runners, std::atomic<bool>* interrupt,
                          const ProgressCallback& observe, RemoteWorkers* remote) {
    FirstFailure failure(interrupt);
    Journal* journal = part.journal;
    SweepHooks hooks;
    hooks.remote = remote;
    if (journal != nullptr) {
        hooks.known = &part.known;
        hooks.finished = [journal, &failure, first = part.firstPoint](const TrialTicket& t,
                                                                      const TrialOutcome& o) {
            failure.attempt([&] { journal->append({t.point + first, t.trial}, o); });
        };
    }
    SessionResult r;
    r.sweep = run_sweep(
        config, runners, interrupt,
        [&](const SweepProgress& p) {
            if (journal != nullptr) failure.attempt([&] { journal->sync_if_due(); });
            if (observe) observe(p);
        },
        hooks);
    part.known = {};
    if (journal != nullptr && failure.message().empty()) {
        failure.attempt([&] { journal->sync(); });
    }
    r.journalFailure = failure.message();
    return r;
}

SessionResult run_session(const SweepConfig& config, Journal* journal,
                          const TrialRunnerFactory& runners, std::atomic<bool>* interrupt,
                          const ProgressCallback& observe, RemoteWorkers* remote) {
    JournalPart part;
    part.journal = journal;
    if (journal != nullptr) part.known = journal->take_known();
    return run_session(config, std::move(part), runners, interrupt, observe, remote);
}

}  // namespace hfchain::sweep
