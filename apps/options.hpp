// The command line of hfchain: `run` (one transmission) and `sweep` (error rate against Es/N0).
//
// Every value is checked before any work starts; a refused value raises UsageError with a message
// that names the option and says what is accepted.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "apps/sweep.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain::app {

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The channel names `run` accepts: no channel, white noise only, or a Watterson condition.
inline constexpr const char* kRunChannelNames[] = {"none", "bom",        "moderado",
                                                   "ruim", "muito_ruim", "awgn"};

struct RunOptions {
    double interLen = 0.6;
    double nFrame = 1;
    double txSeed = 1;
    VarShapping shaping;
    std::string channel = "bom";
    double esno = 20;
    std::vector<ReceiverKind> receivers{ReceiverKind::baseline, ReceiverKind::hf,
                                        ReceiverKind::genie};  // --receiver
    double channelSeed = 2;
    std::string save;      // MAT file to write, or empty
    std::string plotDir;   // folder for the pictures, or empty
    double maxMemory = 0;  // bytes the transmission may use (--max-memory), 0: the machine's
};

struct SweepOptions {
    SweepConfig config;
    std::string output;      // file for the table, or empty for standard output
    std::string csv;         // CSV file, or empty
    std::string json;        // JSON file, or empty
    std::string plot;        // .svg or .png file, or empty
    bool plotSnr3k = false;  // the plot's axis: SNR in 3 kHz (true) or Es/N0 (--axis)
    std::string checkpoint;  // journal of finished trials, or empty
    double maxMemory = 0;    // bytes the sweep may use (--max-memory), 0: the machine's
    bool progress = true;
};

// The default sweep (the main job when hfchain is called without arguments): all five
// conditions, the plot written to "hfchain-sweep.svg" in the current folder.
SweepOptions default_sweep();

enum class Command { none, run, sweep };

struct Invocation {
    Command command = Command::none;  // none: help or version was printed, exit with `exitCode`
    int exitCode = 0;
    RunOptions run;
    SweepOptions sweep;
};

// Parses and checks the command line. Help and version requests are printed here (Command::none,
// exit code 0) unless `print` is false; unknown options, missing and malformed values and refused
// values raise UsageError naming the option.
Invocation parse_command_line(int argc, const char* const* argv, const std::string& version,
                              bool print = true);

// Es/N0 points from "START:STEP:STOP" ranges (STOP included when the steps land on it; "A:B"
// means a step of 1) and single values, joined by commas: "0:2:10,15,20". Raises UsageError
// naming `option`.
std::vector<double> parse_esno_list(const std::string& text, const std::string& option = "--esno");

// Receivers from a comma-separated list of names ("hf,genie"): known names, each once, at least
// one. Raises UsageError naming `option`.
std::vector<ReceiverKind> parse_receiver_list(const std::string& text,
                                              const std::string& option = "--receiver");

// The checks, also used on their own by the tests.
void check_run_options(const RunOptions& o);
void check_sweep_options(const SweepOptions& o);

// The checks of the files and folders a command will write (only in the process that writes
// them): each file's folder must exist and be writable (run --plot's folder is made when its
// parent exists). Raise UsageError naming the option.
void check_run_outputs(const RunOptions& o);
void check_sweep_outputs(const SweepOptions& o);

// The memory checks, made before any work: one transmission of `run` must fit in the limit
// (--max-memory, or the machine's memory); a sweep's worker threads, times `sharing` processes of
// the same job on this machine, must fit together. A sweep given no --threads runs fewer threads
// when one per core would not fit (the count is set in o.config.threads; a message says so on
// `notes` when not null). Raise UsageError naming the option to change, with the estimate and the
// limit.
void check_run_memory(const RunOptions& o);
void check_sweep_memory(SweepOptions& o, int sharing, std::string* notes);

// True when the plot program can be started.
bool gnuplot_available();

}  // namespace hfchain::app
