#include "sweep/session.hpp"

#include <mutex>
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

SessionResult run_session(const SweepConfig& config, Journal* journal,
                          const TrialRunnerFactory& runners, std::atomic<bool>* interrupt,
                          const ProgressCallback& observe, RemoteWorkers* remote) {
    FirstFailure failure(interrupt);
    std::vector<KnownTrial> known;
    SweepHooks hooks;
    hooks.remote = remote;
    if (journal != nullptr) {
        known = journal->take_known();
        hooks.known = &known;
        hooks.finished = [journal, &failure](const TrialTicket& t, const TrialOutcome& o) {
            failure.attempt([&] { journal->append(t, o); });
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
    known = {};
    if (journal != nullptr && failure.message().empty()) {
        failure.attempt([&] { journal->sync(); });
    }
    r.journalFailure = failure.message();
    return r;
}

}  // namespace hfchain::sweep
