// A sweep with its checkpoint journal, as the program and Python run it: the trials the journal
// read back are counted as if they had just run, every trial that finishes is appended, the
// journal reaches the disk about once a second (from the calling thread, so that the workers never
// wait for it) and wholly at the end. A journal that cannot be written stops the sweep between
// trials, as a stop signal would: the finished points are still returned, with the failure.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "sweep/engine.hpp"
#include "sweep/journal.hpp"

namespace hfchain::sweep {

struct SessionResult {
    SweepResult sweep;
    std::string journalFailure;  // the first failure to write the journal (errid::kWriteFailed's
                                 // message), or empty
};

// The part of a journal one sweep reads and writes: the trials known of its points (numbered as
// its own) and the number its first point has in the journal.
struct JournalPart {
    Journal* journal = nullptr;  // null: none
    std::vector<KnownTrial> known;
    std::int64_t firstPoint = 0;
};

// Runs `config` (checked, its threads fitted to the memory) with `part` of a journal as
// run_sweep does with `runners`, `interrupt`, `observe` and `remote`; raises `interrupt` when the
// journal cannot be written. Errors: those of run_sweep.
SessionResult run_session(const SweepConfig& config, JournalPart part,
                          const TrialRunnerFactory& runners, std::atomic<bool>* interrupt,
                          const ProgressCallback& observe, RemoteWorkers* remote = nullptr);

// The sweep with the whole of `journal` (null: none).
SessionResult run_session(const SweepConfig& config, Journal* journal,
                          const TrialRunnerFactory& runners, std::atomic<bool>* interrupt,
                          const ProgressCallback& observe, RemoteWorkers* remote = nullptr);

}  // namespace hfchain::sweep
