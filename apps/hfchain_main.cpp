// hfchain: the command-line front of the simulator.
//
//   hfchain                 the usage: the commands and where their options are told
//   hfchain run [options]   one transmission, reported stage by stage
//   hfchain sweep [options] coded-bit error rate against Es/N0; under mpirun, spread over the
//                           ranks
//   hfchain requirements    the minimum-performance table: each row's crossing of its target
//                           error rate, searched along the SNR axis, against the required SNR;
//                           under mpirun, each point spread over the ranks
//   hfchain transmit        one transmission as audio
//   hfchain receive IN      the transmissions in a recording, decoded
//
// Exit status: 0 done; 1 failed (a block's error, a result that could not be written, a failing
// rank); 2 a refused option (nothing was run); 3 abandoned by a second stop signal (result files
// keep their previous content); 128 + N stopped by signal N (130 Ctrl-C, 143 SIGTERM, 129
// SIGHUP), what was finished still written.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <sstream>

#include "apps/air.hpp"
#include "apps/commands.hpp"
#include "apps/matfile.hpp"
#include "apps/mpi_job.hpp"
#include "apps/options.hpp"
#include "apps/progress.hpp"
#include "apps/run_picture.hpp"
#include "apps/run_report.hpp"
#include "apps/run_road.hpp"
#include "apps/signals.hpp"
#include "params/rateconf.hpp"
#include "runtime/builtin_host.hpp"
#include "runtime/checks.hpp"
#include "runtime/error.hpp"
#include "runtime/output_file.hpp"
#include "sweep/crossings.hpp"
#include "sweep/engine.hpp"
#include "sweep/journal.hpp"
#include "sweep/report.hpp"
#include "sweep/requirements.hpp"
#include "sweep/requirements_picture.hpp"
#include "sweep/session.hpp"
#include "sweep/summary.hpp"
#include "sweep/sweep_picture.hpp"
#include "sweep/trial.hpp"

#ifndef HFCHAIN_VERSION
#define HFCHAIN_VERSION "unknown"
#endif

namespace {

using namespace hfchain;
using namespace hfchain::app;
using sweep::Journal;
using sweep::SweepResult;

const std::string kVersion = HFCHAIN_VERSION;

constexpr int kFailed = 1;
constexpr int kRefused = 2;

// Says something on stderr; a closed or full stderr is no reason to stop.
void note(const std::string& text) { std::fputs(("hfchain: " + text + "\n").c_str(), stderr); }

// The results of one command: the table on standard output unless it goes to a file, then each
// file written under a temporary name and all put in place together at the end, so that a second
// stop signal leaves each one as it was. Every output is attempted: a failure to write is
// reported and remembered (ok()), any other error propagates.
class ResultWriter {
public:
    template <class F>
    void attempt(F&& write) {
        try {
            write();
        } catch (const Error& e) {
            if (e.identifier() != sweep::errid::kWriteFailed) throw;
            note(e.what());
            ok_ = false;
        }
    }

    // The table on standard output when `file` is empty (the table then goes to no file).
    void table_to_stdout(const std::string& table, const std::string& file) {
        if (!file.empty()) return;
        attempt([&] { write_all(STDOUT_FILENO, table, "writing the table to standard output"); });
    }

    // What `content` writes, for `target` (named `option` in messages); nothing when empty.
    template <class F>
    void prepare(const char* option, const std::string& target, F&& content) {
        if (target.empty()) return;
        attempt([&] {
            auto f = std::make_unique<ResultFile>(option, target);
            std::ostringstream text;
            content(text);
            f->write(text.str());
            files_.push_back(std::move(f));
        });
    }

    // Puts every prepared file in place.
    void commit() {
        for (const auto& f : files_) attempt([&] { f->commit(); });
    }

    bool ok() const { return ok_; }

private:
    std::vector<std::unique_ptr<ResultFile>> files_;
    bool ok_ = true;
};

// The message of a refused option, with the pointer to the help.
void report_refusal(const std::string& message) {
    note(message + "\nRun 'hfchain --help' or 'hfchain COMMAND --help' for the options.");
}

// The status and message of the exception being handled.
int failure_status(std::string& message) {
    try {
        throw;
    } catch (const UsageError& e) {
        message = e.what();
        return kRefused;
    } catch (const Error& e) {
        // The sweep library's refusals and write failures say all in their message.
        if (e.identifier() == sweep::errid::kInvalidConfig ||
            e.identifier() == sweep::errid::kUnusableFile) {
            message = e.what();
            return kRefused;
        }
        if (e.identifier() == sweep::errid::kWriteFailed) {
            message = e.what();
            return kFailed;
        }
        if (e.identifier() == errid::kInterrupted) {
            message = "interrupted";
            return stop_status();
        }
        message = std::string("error") +
                  (e.identifier().empty() ? "" : " (" + e.identifier() + ")") + ": " + e.what();
        return kFailed;
    } catch (const std::exception& e) {
        message = std::string("error: ") + e.what();
        return kFailed;
    }
}

void report_failure(int status, const std::string& message) {
    if (status == kRefused) {
        report_refusal(message);
    } else {
        note(message);
    }
}

int do_run(const RunOptions& options) {
    check_run_outputs(options);
    check_run_memory(options);
    const ModeParams mode = rateconf(options.rate, options.interLen);
    BuiltinHost host;
    StopSignals signals;
    host.set_interrupt_flag(&stop_flag());
    const RoadResult road = run_road(mode, road_config(options), host);

    // Every output is attempted, and every failure reported.
    ResultWriter out;
    out.attempt([&] {
        std::ostringstream report;
        write_run_report(report, options, mode, road, kVersion);
        write_all(STDOUT_FILENO, report.str(), "writing the report to standard output");
    });
    if (!options.save.empty()) {
        out.attempt([&] {
            save_road_mat(options.save, options, mode, road);
            if (!options.quiet) note("signals saved to " + options.save);
        });
    }
    if (!options.plot.empty()) {
        out.attempt([&] {
            plot_run(options.plot, options, mode, road);
            if (!options.quiet) note("plot written to " + options.plot);
        });
    }
    if (!out.ok()) return kFailed;
    // A stop signal that came while the results were written: they were finished, but the
    // caller still learns of the stop.
    return stop_signal() != 0 ? stop_status() : 0;
}

// Writes every result of a finished (or interrupted) sweep: the table on stdout (unless it goes to
// a file), then the files, each replaced whole. Every output is attempted; returns false when one
// failed (each failure is reported).
bool write_sweep_results(const SweepOptions& options, const SweepResult& result) {
    std::ostringstream table;
    // An MPI launcher hands the ranks' output to a terminal of its own whether or not its own
    // output is one: under it the table for people is had only by asking for it.
    const bool compact = options.format == TableFormat::compact ||
                         (options.format == TableFormat::automatic && options.output.empty() &&
                          isatty(STDOUT_FILENO) != 0 && !started_by_launcher());
    const bool acquisition = options.config.metric == sweep::Metric::acquisition;
    if (compact && acquisition) {
        sweep::write_acquisition_table(table, options.config, result, kVersion, options.plotSnr3k);
        table << '\n';
        sweep::write_acquisition_summary(table, options.config, result, options.plotSnr3k);
    } else if (compact) {
        sweep::write_compact_table(table, options.config, result, kVersion, options.plotSnr3k,
                                   cli_names(options.config.snr3kAxis));
        table << '\n';
        sweep::write_crossings_summary(
            table, options.config, result,
            options.targets.empty() ? sweep::default_targets() : options.targets,
            options.plotSnr3k);
    } else {
        sweep::write_table(table, options.config, result, kVersion,
                           cli_names(options.config.snr3kAxis));
    }
    if (!compact && !options.targets.empty()) {
        table << "# " << sweep::crossings_legend(options.config, options.plotSnr3k) << '\n';
        sweep::write_crossings(table, options.config, result, options.targets, options.plotSnr3k,
                               "# ");
    }
    ResultWriter out;
    out.table_to_stdout(table.str(), options.output);
    out.prepare("--output", options.output, [&](std::ostream& o) { o << table.str(); });
    out.prepare("--csv", options.csv,
                [&](std::ostream& o) { sweep::write_csv(o, options.config, result); });
    out.prepare("--json", options.json,
                [&](std::ostream& o) { sweep::write_json(o, options.config, result, kVersion); });
    out.prepare("--crossings", options.crossings, [&](std::ostream& o) {
        sweep::write_crossings(o, options.config, result, options.targets, options.plotSnr3k);
    });
    out.commit();
    if (!options.plot.empty() && !result.points.empty()) {
        out.attempt([&] {
            sweep::plot_sweep(options.plot, "--plot", options.config, result, options.plotAxis);
            note("plot written to " + options.plot);
        });
    }
    return out.ok();
}

// What a journal read back is told when `progress`; what was dropped, always.
void report_journal(const std::string& file, const Journal& journal, bool progress) {
    std::string text = "resuming from '" + file + "': " + std::to_string(journal.known_count()) +
                       " finished trials";
    const bool dropped = journal.torn_record() || journal.damaged_records() > 0;
    if (journal.torn_record()) text += "; a torn last record was dropped";
    if (journal.damaged_records() > 0) {
        text += "; " + std::to_string(journal.damaged_records()) +
                " damaged records were skipped (their trials run again)";
    }
    if (dropped || (progress && journal.known_count() > 0)) note(text);
}

// The sweep in this process, or on rank 0 of an MPI job (`remote`: the other ranks).
int run_sweep_here(SweepOptions& options, Journal* journal, sweep::RemoteWorkers* remote) {
    ProgressReport report(stderr, isatty(STDERR_FILENO) != 0);
    if (journal != nullptr) report_journal(options.checkpoint, *journal, options.progress);
    if (options.progress) {
        if (const std::string text = sweep::interleaver_note(options.config); !text.empty()) {
            note("interleaver " + format_value(options.config.interLen) + " s" + text);
        }
        if (const std::string text = sweep::budget_note(options.config); !text.empty()) note(text);
    }
    SweepResult result;
    {
        StopSignals signals;
        sweep::SessionResult session = sweep::run_session(
            options.config, journal, sweep::sweep_trial_runners(options.config, &stop_flag()),
            &stop_flag(),
            [&](const sweep::SweepProgress& p) {
                if (options.progress) report.update(p);
            },
            remote);
        report.finish();
        result = std::move(session.sweep);
        const std::string& journal_failure = session.journalFailure;
        if (!journal_failure.empty()) note(journal_failure);
        if (result.interrupted) {
            note((journal_failure.empty() ? "interrupted" : "stopped") +
                 std::string("; writing the ") +
                 counted(static_cast<double>(result.points.size()), "point", "points") +
                 " with finished trials");
        }
        // A second stop signal while the results are written abandons them (signals.hpp).
        const bool written = write_sweep_results(options, result);
        if (!written || !journal_failure.empty()) return kFailed;
    }
    // A stop signal that came after the computation, while the results were written, still
    // ends the program with its status.
    return result.interrupted || stop_signal() != 0 ? stop_status() : 0;
}

// A sweep in a single process.
int do_sweep(SweepOptions& options) {
    check_sweep_outputs(options);
    std::string notes;
    check_sweep_memory(options, 1, &notes);
    if (!notes.empty() && options.progress) note(notes.substr(0, notes.size() - 1));
    std::unique_ptr<Journal> journal;
    if (!options.checkpoint.empty()) {
        journal = std::make_unique<Journal>(options.checkpoint, options.config, kVersion,
                                            cli_names(options.config.snr3kAxis));
    }
    return run_sweep_here(options, journal.get(), nullptr);
}

// Fits the table's worker threads to the machine's memory, shared by `sharing` processes on it.
void fit_requirements_threads(RequirementsOptions& options, int sharing, std::string* notes) {
    refused_as_usage([&] {
        options.config.threads =
            sweep::fit_requirements_threads(options.config, 0, sharing, notes, cli_names(true));
    });
}

void note_interrupted_table(const sweep::RequirementsResult& result) {
    const bool partial = !result.rows.empty() && !result.rows.back().complete;
    std::string text =
        (result.journalFailure.empty() ? "interrupted" : "stopped") +
        std::string("; writing the ") +
        counted(static_cast<double>(result.rows.size() - (partial ? 1 : 0)), "row", "rows") +
        " finished";
    if (partial) {
        text += " and the " +
                counted(static_cast<double>(result.rows.back().points.size()), "point", "points") +
                " of the interrupted one";
    }
    note(text);
}

// The table's outputs; false when one could not be written.
bool write_requirements_results(const RequirementsOptions& options,
                                const sweep::RequirementsResult& result) {
    std::ostringstream table;
    sweep::write_requirements_table(table, options.config, result, kVersion);
    ResultWriter out;
    out.table_to_stdout(table.str(), options.output);
    out.prepare("--output", options.output, [&](std::ostream& o) { o << table.str(); });
    out.prepare("--csv", options.csv,
                [&](std::ostream& o) { sweep::write_requirements_csv(o, options.config, result); });
    out.prepare("--json", options.json, [&](std::ostream& o) {
        sweep::write_requirements_json(o, options.config, result, kVersion);
    });
    out.commit();
    if (!options.plot.empty() && !result.rows.empty()) {
        out.attempt([&] {
            sweep::plot_requirements(options.plot, "--plot", options.config, result,
                                     options.plotAxis);
            note("plot written to " + options.plot);
        });
    }
    return out.ok();
}

// The table in this process, or on rank 0 of an MPI job (`remote`: the other ranks, told that
// the table is finished as soon as its points are).
int run_requirements_here(RequirementsOptions& options, Journal* journal,
                          std::unique_ptr<sweep::RemotePoints> remote) {
    if (journal != nullptr) report_journal(options.checkpoint, *journal, options.progress);
    sweep::RequirementsResult result;
    {
        StopSignals signals;
        result = sweep::run_requirements(
            options.config,
            [](const sweep::SweepConfig& c) { return sweep::road_trial_runners(c, &stop_flag()); },
            &stop_flag(),
            [&](const sweep::RequirementRow& row, double snr3k, const sweep::PointResult& p) {
                if (!options.progress) return;
                std::string line = format_value(row.rate) + " bit/s " + row.channel + " at " +
                                   format_value(snr3k) + " dB:";
                for (const ReceiverKind r : options.config.receivers) {
                    char buf[64];
                    std::snprintf(buf, sizeof buf, " %s %.3g", sweep::receiver_name(r),
                                  sweep::receiver_rate(p, r, sweep::Metric::decoded));
                    line += buf;
                }
                note(line + " (" + counted(static_cast<double>(p.trials), "trial", "trials") + ")");
            },
            journal, remote.get());
        remote.reset();
        if (!result.journalFailure.empty()) note(result.journalFailure);
        if (result.interrupted) note_interrupted_table(result);
        if (!write_requirements_results(options, result) || !result.journalFailure.empty()) {
            return kFailed;
        }
    }
    return result.interrupted || stop_signal() != 0 ? stop_status() : 0;
}

// The minimum-performance table, in this process.
int do_requirements(RequirementsOptions& options) {
    check_requirements_outputs(options);
    std::string notes;
    fit_requirements_threads(options, 1, &notes);
    if (!notes.empty() && options.progress) note(notes.substr(0, notes.size() - 1));
    std::unique_ptr<Journal> journal;
    if (!options.checkpoint.empty()) {
        journal = sweep::requirements_journal(options.checkpoint, options.config, kVersion,
                                              cli_names(true));
    }
    return run_requirements_here(options, journal.get(), nullptr);
}

#ifdef HFCHAIN_MPI
// What every rank does before the work of a job starts: `prepare` (checks, threads fitted to the
// memory), then rank 0's `parameters` against this rank's, then `open` (rank 0's journal) on rank
// 0. Every step that can refuse is agreed between the ranks before any work, so that a rank that
// cannot take part ends the job at once, never hangs it. Returns the agreed status (rank 0 has
// reported a refusal or failure).
int start_job(MpiJob& job, const std::function<void()>& prepare,
              const std::function<sweep::SweepParameters()>& parameters,
              const sweep::FieldNames& names, const char* what, const std::function<void()>& open) {
    const bool root = job.rank() == 0;
    std::string message;
    int status = 0;
    try {
        prepare();
    } catch (...) {
        status = failure_status(message);
    }
    // Every rank must run the same job: rank 0's parameters against this rank's.
    const sweep::SweepParameters mine = parameters();
    const std::string root_parameters = job.from_rank0(sweep::parameters_text(mine));
    if (const std::string diff = sweep::parameter_difference(
            sweep::parameters_from_text(root_parameters), mine, "on rank 0", names);
        status == 0 && !diff.empty()) {
        status = kRefused;
        message =
            "started with other parameters than rank 0 (" + diff + "); every rank must run " + what;
    }
    if (status == 0 && root) {
        try {
            open();
        } catch (...) {
            status = failure_status(message);
        }
    }
    status = job.agree(status, message);
    if (status != 0 && root) report_failure(status, message);
    return status;
}

// A sweep over the ranks of an MPI job.
int do_mpi_sweep(MpiJob& job, SweepOptions& options) {
    const bool root = job.rank() == 0;
    std::unique_ptr<Journal> journal;
    std::string notes;
    const int status = start_job(
        job,
        [&] {
            if (root) check_sweep_outputs(options);
            check_sweep_memory(options, job.local_size(), &notes);
        },
        [&] { return sweep::sweep_parameters(options.config, kVersion); },
        cli_names(options.config.snr3kAxis), "the same sweep",
        [&] {
            if (options.checkpoint.empty()) return;
            journal = std::make_unique<Journal>(options.checkpoint, options.config, kVersion,
                                                cli_names(options.config.snr3kAxis));
        });
    if (status != 0) return status;
    const int others = job.sum_of_others(options.config.threads);
    if (!root) {
        StopSignals signals;
        return serve_trials(job, options.config,
                            sweep::sweep_trial_runners(options.config, &stop_flag()),
                            options.config.threads);
    }
    if (!notes.empty() && options.progress) note(notes.substr(0, notes.size() - 1));
    const std::unique_ptr<sweep::RemoteWorkers> remote =
        remote_ranks(job, others, options.config.metric);
    return run_sweep_here(options, journal.get(), remote.get());
}

// The minimum-performance table over the ranks of an MPI job: every point's trials are shared as
// a sweep's.
int do_mpi_requirements(MpiJob& job, RequirementsOptions& options) {
    const bool root = job.rank() == 0;
    std::unique_ptr<Journal> journal;
    std::string notes;
    const int status = start_job(
        job,
        [&] {
            if (root) check_requirements_outputs(options);
            fit_requirements_threads(options, job.local_size(), &notes);
        },
        [&] { return sweep::requirements_parameters(options.config, kVersion); }, cli_names(true),
        "the same table",
        [&] {
            if (options.checkpoint.empty()) return;
            journal = sweep::requirements_journal(options.checkpoint, options.config, kVersion,
                                                  cli_names(true));
        });
    if (status != 0) return status;
    const int others = job.sum_of_others(options.config.threads);
    if (!root) {
        StopSignals signals;
        return serve_points(
            job, options.config,
            [](const sweep::SweepConfig& c) { return sweep::road_trial_runners(c, &stop_flag()); },
            options.config.threads);
    }
    if (!notes.empty() && options.progress) note(notes.substr(0, notes.size() - 1));
    return run_requirements_here(options, journal.get(), remote_points(job, others));
}
#endif

// Parses the command line; `status` and `message` tell a refusal (then the invocation is empty).
Invocation parse_invocation(int argc, char** argv, bool print, int& status, std::string& message) {
    try {
        return parse_command_line(argc, argv, kVersion, print);
    } catch (...) {
        status = failure_status(message);
        return {};
    }
}

// The program in a single process.
int run_program(int argc, char** argv) {
    int status = 0;
    std::string message;
    Invocation inv = parse_invocation(argc, argv, true, status, message);
    try {
        if (status != 0) {
            report_failure(status, message);
            return status;
        }
        switch (inv.command) {
            case Command::none:
                return inv.exitCode;
            case Command::run:
                return do_run(inv.run);
            case Command::sweep:
                return do_sweep(inv.sweep);
            case Command::requirements:
                return do_requirements(inv.requirements);
            case Command::channel:
                return do_channel(inv.channel);
            case Command::transmit:
                return transmit(inv.transmit);
            case Command::receive:
                return receive(inv.receive);
        }
    } catch (...) {
        status = failure_status(message);
        report_failure(status, message);
        return status;
    }
    return 0;
}

#ifdef HFCHAIN_MPI
// The program as one rank of an MPI job. The ranks agree on the command before any of them goes
// its own way, so that a rank that refuses its command line ends the job instead of hanging it.
int run_mpi_program(MpiJob& job, int argc, char** argv) {
    const bool root = job.rank() == 0;
    int status = 0;
    std::string message;
    Invocation inv = parse_invocation(argc, argv, root, status, message);
    const std::string command =
        status != 0 ? "refused" : std::to_string(static_cast<int>(inv.command));
    const std::string root_command = job.from_rank0(command);
    if (status == 0 && root_command != "refused" && root_command != command) {
        status = kRefused;
        message = "started with another command than rank 0; every rank must run the same sweep";
    }
    status = job.agree(status, message);
    if (status != 0) {
        if (root) report_failure(status, message);
        return status;
    }
    switch (inv.command) {
        case Command::none:
            return inv.exitCode;
        case Command::run:
            // One transmission: rank 0 makes it, the others have nothing to do.
            if (!root) return 0;
            try {
                return do_run(inv.run);
            } catch (...) {
                status = failure_status(message);
                report_failure(status, message);
                return status;
            }
        case Command::channel:
            if (root) report_refusal("channel runs in one process; start it without mpirun");
            return kRefused;
        case Command::transmit:
        case Command::receive:
            // One file: rank 0 does it, the others have nothing to do.
            if (!root) return 0;
            try {
                return inv.command == Command::transmit ? transmit(inv.transmit)
                                                        : receive(inv.receive);
            } catch (...) {
                status = failure_status(message);
                report_failure(status, message);
                return status;
            }
        case Command::sweep:
        case Command::requirements:
            try {
                return inv.command == Command::sweep ? do_mpi_sweep(job, inv.sweep)
                                                     : do_mpi_requirements(job, inv.requirements);
            } catch (...) {
                status = failure_status(message);
                report_failure(
                    status, root ? message : "rank " + std::to_string(job.rank()) + ": " + message);
                // The other ranks may wait for this one: end the whole job.
                if (!root) job.abort(status);
                return status;
            }
    }
    return 0;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);  // a closed pipe is a write error, reported as such
    sweep::keep_trial_memory();
    const int ranks = launcher_ranks();
#ifdef HFCHAIN_MPI
    if (ranks > 1) {
        MpiJob job(argc, argv);
        return run_mpi_program(job, argc, argv);
    }
#else
    if (ranks > 1) {
        // Each process would run the whole sweep and write the same files.
        if (launcher_rank() == 0) {
            report_refusal("started as " + std::to_string(ranks) +
                           " MPI processes, but this hfchain was built without MPI (Debian: "
                           "libopenmpi-dev); run it as one process or rebuild it");
        }
        return kRefused;
    }
#endif
    return run_program(argc, argv);
}
