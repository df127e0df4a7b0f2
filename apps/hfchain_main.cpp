// hfchain: the command-line front of the simulator.
//
//   hfchain                 the main job: the default sweep over all five conditions, table on
//                           stdout, picture in hfchain-sweep.svg
//   hfchain run [options]   one transmission, reported stage by stage
//   hfchain sweep [options] coded-bit error rate against Es/N0
//
// Exit status: 0 done, 1 a block failed, 2 a refused option, 130 interrupted (what was finished is
// still written).
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>

#include "apps/matfile.hpp"
#include "apps/options.hpp"
#include "apps/progress.hpp"
#include "apps/report.hpp"
#include "apps/run_report.hpp"
#include "apps/sweep.hpp"
#include "params/modeconf.hpp"
#include "runtime/builtin_host.hpp"
#include "runtime/error.hpp"

#ifndef HFCHAIN_VERSION
#define HFCHAIN_VERSION "unknown"
#endif

namespace {

using namespace hfchain;
using namespace hfchain::app;

const std::string kVersion = HFCHAIN_VERSION;

std::atomic<bool> g_interrupt{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the SIGINT handler stores to it");

extern "C" void on_sigint(int) { g_interrupt.store(true); }

// Ctrl-C sets the flag the blocks poll; a second Ctrl-C ends the program at once. A SIGINT that
// was ignored when the program started (a background job of a shell) stays ignored.
class InterruptScope {
public:
    InterruptScope() {
        sigaction(SIGINT, nullptr, &previous_);
        if (previous_.sa_handler == SIG_IGN) return;
        struct sigaction sa {};
        sa.sa_handler = on_sigint;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESETHAND;
        sigaction(SIGINT, &sa, nullptr);
    }
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;
    ~InterruptScope() { sigaction(SIGINT, &previous_, nullptr); }

private:
    struct sigaction previous_ {};
};

std::ofstream open_output(const std::string& file, const char* option) {
    std::ofstream out(file);
    if (!out) throw UsageError(std::string(option) + ": cannot write '" + file + "'");
    return out;
}

int do_run(const RunOptions& options) {
    const Milstd milstd = modeconf(options.interLen);
    BuiltinHost host;
    InterruptScope interrupt_scope;
    host.set_interrupt_flag(&g_interrupt);
    const RoadResult road = run_road(milstd, road_config(options), host);
    write_run_report(std::cout, options, milstd, road, kVersion);
    std::cout.flush();
    if (!options.save.empty()) {
        save_road_mat(options.save, options, milstd, road);
        std::fprintf(stderr, "hfchain: signals saved to %s\n", options.save.c_str());
    }
    if (!options.plotDir.empty()) {
        for (const std::string& f : plot_run(options.plotDir, options, road)) {
            std::fprintf(stderr, "hfchain: plot written to %s\n", f.c_str());
        }
    }
    return 0;
}

int do_sweep(const SweepOptions& options) {
    // Output files are opened before the work, so that a bad path does not waste a sweep.
    std::ofstream csv;
    std::ofstream json;
    if (!options.csv.empty()) csv = open_output(options.csv, "--csv");
    if (!options.json.empty()) json = open_output(options.json, "--json");

    // The parameter set is built once and shared read-only by every worker.
    const Milstd milstd = modeconf(options.config.interLen);
    ProgressReport report(stderr, isatty(STDERR_FILENO) != 0);
    SweepResult result;
    {
        InterruptScope interrupt_scope;
        result = run_sweep(options.config, road_trial_runners(milstd, options.config, &g_interrupt),
                           &g_interrupt, [&](const SweepProgress& p) {
                               if (options.progress) report.update(p);
                           });
        report.finish();
    }
    if (result.interrupted) {
        std::fprintf(stderr, "hfchain: interrupted; writing the %zu points with finished trials\n",
                     result.points.size());
    }
    write_table(std::cout, options, result, kVersion);
    std::cout.flush();
    if (csv.is_open()) {
        write_csv(csv, result);
        csv.close();
        if (!csv) throw UsageError("--csv: writing '" + options.csv + "' failed");
    }
    if (json.is_open()) {
        write_json(json, options, result, kVersion);
        json.close();
        if (!json) throw UsageError("--json: writing '" + options.json + "' failed");
    }
    if (!options.plot.empty() && !result.points.empty()) {
        plot_sweep(options.plot, options, result);
        std::fprintf(stderr, "hfchain: plot written to %s\n", options.plot.c_str());
    }
    return result.interrupted ? 130 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);  // a plot program that dies must not take us with it
    keep_trial_memory();
    try {
        Invocation inv = parse_command_line(argc, argv, kVersion);
        switch (inv.command) {
            case Command::none:
                return inv.exitCode;
            case Command::run:
                return do_run(inv.run);
            case Command::sweep:
                if (argc <= 1 && !gnuplot_available()) {
                    std::fprintf(stderr,
                                 "hfchain: gnuplot not found (Debian: gnuplot-nox); the sweep "
                                 "runs without its picture\n");
                    inv.sweep.plot.clear();
                }
                return do_sweep(inv.sweep);
        }
    } catch (const UsageError& e) {
        std::fprintf(stderr,
                     "hfchain: %s\nRun 'hfchain --help' or 'hfchain COMMAND --help' for "
                     "the options.\n",
                     e.what());
        return 2;
    } catch (const Error& e) {
        if (e.identifier() == errid::kInterrupted) {
            std::fprintf(stderr, "hfchain: interrupted\n");
            return 130;
        }
        std::fprintf(stderr, "hfchain: error%s%s%s: %s\n", e.identifier().empty() ? "" : " (",
                     e.identifier().c_str(), e.identifier().empty() ? "" : ")", e.what());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "hfchain: error: %s\n", e.what());
        return 1;
    }
    return 0;
}
