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
    double channelSeed = 2;
    std::string save;     // MAT file to write, or empty
    std::string plotDir;  // folder for the pictures, or empty
};

struct SweepOptions {
    SweepConfig config;
    std::string csv;   // CSV file, or empty
    std::string json;  // JSON file, or empty
    std::string plot;  // .svg or .png file, or empty
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

// Parses and checks the command line. Help and version requests and CLI11's own parse errors are
// printed here (Command::none); refused values raise UsageError.
Invocation parse_command_line(int argc, const char* const* argv, const std::string& version);

// Es/N0 points from "START:STEP:STOP" ranges (STOP included when the steps land on it; "A:B"
// means a step of 1) and single values, joined by commas: "0:2:10,15,20". Raises UsageError.
std::vector<double> parse_esno_list(const std::string& text);

// The checks, also used on their own by the tests.
void check_run_options(const RunOptions& o);
void check_sweep_options(const SweepOptions& o);

// True when the plot program can be started.
bool gnuplot_available();

}  // namespace hfchain::app
