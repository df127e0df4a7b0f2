// A sweep spread over the processes (ranks) of an MPI job: `mpirun -np N hfchain sweep ...`.
//
// Rank 0 runs the sweep engine as in a single process, with its own worker threads, and hands
// out trials to the other ranks as their threads fall idle; they send back each trial's outcome.
// The stop rule is decided on rank 0 alone, on the same trials 0, 1, ... of each point as in a
// single process, so the table is the same for any number of ranks and threads. Only rank 0
// writes results, progress and the checkpoint journal.
//
// The MPI code lives in mpi_job.cpp, built only when MPI is found; this header needs no MPI.
#pragma once

#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>

#include "sweep/engine.hpp"
#include "sweep/requirements.hpp"

namespace hfchain::app {

namespace detail {
inline int environment_number(std::initializer_list<const char*> names, int otherwise) {
    for (const char* name : names) {
        const char* v = std::getenv(name);
        if (v != nullptr && *v != '\0') return std::atoi(v);
    }
    return otherwise;
}
}  // namespace detail

// Ranks in the job this process was started in by an MPI launcher (mpirun, srun), from the
// launcher's environment (Open MPI, PMI, Slurm); 1 when started otherwise.
inline int launcher_ranks() {
    return detail::environment_number({"OMPI_COMM_WORLD_SIZE", "PMI_SIZE"}, 1);
}

// True when an MPI launcher started this process, even as a job of one rank.
inline bool started_by_launcher() {
    return detail::environment_number({"OMPI_COMM_WORLD_SIZE", "PMI_SIZE"}, 0) > 0;
}

// This process's rank from the launcher's environment; 0 when started otherwise.
inline int launcher_rank() {
    return detail::environment_number({"OMPI_COMM_WORLD_RANK", "PMI_RANK", "PMIX_RANK"}, 0);
}

#ifdef HFCHAIN_MPI

// The MPI environment of the program (MPI_Init ... MPI_Finalize); only the thread that made it
// makes MPI calls.
class MpiJob {
public:
    MpiJob(int& argc, char**& argv);
    MpiJob(const MpiJob&) = delete;
    MpiJob& operator=(const MpiJob&) = delete;
    ~MpiJob();

    int rank() const { return rank_; }
    int size() const { return size_; }
    int local_size() const { return local_size_; }  // ranks on this machine

    // Every rank brings its status (0: fine) and message; all learn the largest status. Rank 0
    // gets in `message` its own message, or that of the lowest failing rank prefixed with
    // "rank N: ". Collective.
    int agree(int status, std::string& message);

    // Rank 0's `text` on every rank. Collective.
    std::string from_rank0(const std::string& text);

    // The sum over ranks 1..size-1 of `value`, on rank 0. Collective.
    int sum_of_others(int value);

    // Ends every rank of the job at once (MPI_Abort) with `status`.
    [[noreturn]] void abort(int status);

private:
    int rank_ = 0;
    int size_ = 1;
    int local_size_ = 1;
    struct Comms;
    std::unique_ptr<Comms> comms_;

    friend std::unique_ptr<sweep::RemoteWorkers> remote_ranks(MpiJob& job, int threads,
                                                              sweep::Metric metric);
    friend int serve_trials(MpiJob& job, const sweep::SweepConfig& config,
                            const sweep::TrialRunnerFactory& runners, int threads);
    friend std::unique_ptr<sweep::RemotePoints> remote_points(MpiJob& job, int threads);
    friend int serve_points(MpiJob& job, const sweep::RequirementsConfig& config,
                            const sweep::RowRunners& runners, int threads);
};

// On rank 0: the other ranks as workers of run_sweep(), `threads` of them in all. A stop signal
// received by another rank stops the sweep here (request_stop()). Destroyed before every rank
// has finished (an error on rank 0), it ends the whole job rather than leave the ranks waiting.
// The ranks' results carry the outcome fields of a sweep of `metric`.
std::unique_ptr<sweep::RemoteWorkers> remote_ranks(MpiJob& job, int threads, sweep::Metric metric);

// On the other ranks: runs the trials rank 0 hands out on config.threads worker threads, until it
// says stop. A trial that fails is reported to rank 0, which ends the sweep. Returns the exit
// status of this rank (0, or 1 after a failure).
int serve_trials(MpiJob& job, const sweep::SweepConfig& config,
                 const sweep::TrialRunnerFactory& runners, int threads);

// The minimum-performance table over the ranks: its points are sweeps one after another, each
// served as above. Rank 0 tells the others each point (its row and SNR) before its sweep, and
// that the table is finished after the last; a rank's stop flag, raised to abandon a point's
// trials, is lowered again before the next one unless a stop signal reached the rank.

// On rank 0: the other ranks as the workers of every point of run_requirements(), `threads` of
// them in all. Destroyed, it tells them the table is finished (ending the whole job instead when
// a point's sweep was left running, an error on rank 0).
std::unique_ptr<sweep::RemotePoints> remote_points(MpiJob& job, int threads);

// On the other ranks: serves each point rank 0 tells of (its sweep configuration from `config`,
// its trial runners from `runners`) as serve_trials() serves a sweep, until rank 0 says the
// table is finished. Returns the exit status of this rank (0, or 1 after a failure).
int serve_points(MpiJob& job, const sweep::RequirementsConfig& config,
                 const sweep::RowRunners& runners, int threads);

#endif

}  // namespace hfchain::app
