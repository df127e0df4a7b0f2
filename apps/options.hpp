// The command line of hfchain: `run` (one transmission) and `sweep` (error rate against Es/N0).
//
// The options map onto the sweep's configuration (sweep/config.hpp), whose checks name each field
// through cli_names(): every value is checked before any work starts, and a refused value raises
// UsageError with a message that names the option and says what is accepted.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "audio/audio_channel.hpp"
#include "chain/road.hpp"
#include "runtime/error.hpp"
#include "shaping/varshapping.hpp"
#include "sweep/config.hpp"
#include "sweep/picture.hpp"
#include "sweep/requirements.hpp"

namespace hfchain::app {

// A refused command line: nothing was run, the program exits with status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The command line's name of each configuration field: its option ("interLen" is
// "--interleaver"); the points are "--snr3k" when given as SNR in 3 kHz (`snr3k`), else "--esno".
// A field without an option keeps its own name.
sweep::FieldNames cli_names(bool snr3k = false);

// Runs `check` and turns a refusal of the sweep library (a value or a file it does not accept)
// into a UsageError with the same message; other errors pass unchanged.
template <class Check>
void refused_as_usage(Check&& check);

struct RunOptions {
    double rate = 2400;  // data rate in bit/s (--rate)
    double interLen = 0.6;
    double nFrame = 1;
    double txSeed = 1;
    VarShapping shaping;
    std::string channel = "bom";  // none, awgn, a preset or a written channel (canonical)
    double esno = 20;
    std::vector<ReceiverKind> receivers{ReceiverKind::baseline, ReceiverKind::hf,
                                        ReceiverKind::genie};  // --receiver
    double channelSeed = 2;
    std::string save;      // MAT file to write, or empty
    std::string plot;      // .svg or .png file for the picture, or empty
    double maxMemory = 0;  // bytes the transmission may use (--max-memory), 0: the machine's
    bool quiet = false;    // no notes on stderr (-q)
};

// The sweep's table: compact for people (sweep/summary.hpp) or wide for machines
// (sweep/report.hpp); automatic: compact on a terminal, wide in a file or a pipe (--format).
enum class TableFormat { automatic, compact, wide };

struct SweepOptions {
    sweep::SweepConfig config;
    TableFormat format = TableFormat::automatic;
    std::string output;      // file for the table, or empty for standard output
    std::string csv;         // CSV file, or empty
    std::string json;        // JSON file, or empty
    std::string plot;        // .svg or .png file, or empty
    bool plotSnr3k = false;  // the axis of the plot and the crossings: SNR in 3 kHz (true) or
                             // Es/N0 (--axis)
    sweep::PlotAxis plotAxis = sweep::PlotAxis::esno;  // the picture's axis (--plot-axis, else
                                                       // that of --axis)
    std::vector<double> targets;  // error rates whose crossings are reported (--targets)
    std::string crossings;        // Markdown file for the crossings, or empty
    std::string checkpoint;       // journal of finished trials, or empty
    double maxMemory = 0;         // bytes the sweep may use (--max-memory), 0: the machine's
    bool progress = true;
};

// The default sweep (`hfchain sweep`, the main job with --plot hfchain-sweep.svg): all five
// conditions.
SweepOptions default_sweep();

// `hfchain requirements`: the minimum-performance table (sweep/requirements.hpp).
struct RequirementsOptions {
    sweep::RequirementsConfig config;  // its sweep: the long interleaver, hf and genie, and a stop
                                       // rule sized for the whole table (default_requirements())
    std::string output;                // file for the table, or empty for standard output
    std::string csv;                   // CSV file, or empty
    std::string json;                  // JSON file, or empty
    std::string plot;                  // .svg or .png file, or empty
    sweep::PlotAxis plotAxis = sweep::PlotAxis::snr3k;  // the picture's axis (--plot-axis)
    std::string checkpoint;                             // journal of finished trials, or empty
    bool progress = true;
};

// The defaults of `hfchain requirements`.
RequirementsOptions default_requirements();

// `hfchain channel IN OUT`: audio through an HF channel (audio/audio_channel.hpp).
struct ChannelOptions {
    std::string input, output;         // files, or "-"
    audio::AudioChannelConfig config;  // its sampleRate is the input's
    std::optional<double> snr3k;       // --snr3k, dB
    double noiseDbfs = 0;              // --noise-dbfs (config.noiseDensity from it)
    double rawRate = 0;                // --raw: raw samples at this rate; 0: not raw
};

// `hfchain transmit`: one transmission as audio.
struct TransmitOptions {
    double rate = 2400;
    double interLen = 0.6;
    double nFrame = 0;    // blocks of random bits (0: the rate's fewest); a message sets its own
    std::string message;  // file whose bytes are sent, or empty (random bits from txSeed)
    double txSeed = 1;
    double sampleRate = 8000;
    double carrier = 1800;
    double levelDbfs = -3;  // the peak's level (or the RMS level with rmsLevel)
    bool rmsLevel = false;
    std::string output;  // audio file, "-" standard output
    std::string plot;    // .svg or .png file for the spectrum, or empty
};

// `hfchain receive`: the transmissions in a recording, decoded.
struct ReceiveOptions {
    std::string input;  // audio file, "-" standard input
    double rate = 2400;
    double interLen = 0.6;
    bool anyMode = false;  // neither the rate nor the interleaver given: transmissions of any mode
    double carrier = 1800;
    int channel = 1;     // channel of a stereo file, from 1
    double rawRate = 0;  // samples a second of a raw 16-bit file (0: not raw)
    std::string output;  // decoded bytes, or empty
    std::string json;    // the report as JSON, or empty
    std::string plot;    // .svg or .png file for the picture, or empty
};

// --plot: empty, or an .svg or .png file with gnuplot installed to draw it (UsageError).
void check_plot_file(const std::string& plot);

enum class Command { none, run, sweep, requirements, channel, transmit, receive };

struct Invocation {
    Command command = Command::none;  // none: help or version was printed, exit with `exitCode`
    int exitCode = 0;
    RunOptions run;
    SweepOptions sweep;
    RequirementsOptions requirements;
    ChannelOptions channel;
    TransmitOptions transmit;
    ReceiveOptions receive;
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

// Receivers from a comma-separated list of known names ("hf,genie"), in order (that each is
// named once is the configuration's check). Raises UsageError naming `option`.
std::vector<ReceiverKind> parse_receiver_list(const std::string& text,
                                              const std::string& option = "--receiver");

// Data rates from a comma-separated list of numbers in bit/s ("75,600,2400"), in order (that each
// is a rate of the waveform, given once, is the configuration's check). Raises UsageError naming
// `option`.
std::vector<double> parse_rate_list(const std::string& text, const std::string& option = "--rate");

// Row numbers of the minimum-performance table from "0,3,10", in order (that each is a row, given
// once, is the configuration's check). Raises UsageError naming --rows.
std::vector<std::size_t> parse_row_list(const std::string& text);

// A size for --max-memory: a number of bytes with an optional binary multiple K, M, G or T
// (also KiB, MiB, ..., any case): "512M", "1.5G", "4e9". Raises UsageError naming --max-memory.
double parse_memory_size(const std::string& text);

// The checks, also used on their own by the tests.
void check_run_options(const RunOptions& o);
void check_sweep_options(const SweepOptions& o);
void check_requirements_options(const RequirementsOptions& o);

// The checks of the files and folders a command will write (only in the process that writes
// them): each file's folder must exist and be writable. Raise UsageError naming the option.
void check_run_outputs(const RunOptions& o);
void check_sweep_outputs(const SweepOptions& o);
void check_requirements_outputs(const RequirementsOptions& o);

// The memory checks, made before any work: one transmission of `run` must fit in the limit
// (--max-memory, or the machine's memory); a sweep's worker threads, times `sharing` processes of
// the same job on this machine, must fit together. A sweep given no --threads runs fewer threads
// when one per core would not fit (the count is set in o.config.threads; a message says so on
// `notes` when not null). Raise UsageError naming the option to change, with the estimate and the
// limit (sweep/memory.hpp).
void check_run_memory(const RunOptions& o);
void check_sweep_memory(SweepOptions& o, int sharing, std::string* notes);

template <class Check>
void refused_as_usage(Check&& check) {
    try {
        check();
    } catch (const Error& e) {
        if (e.identifier() == sweep::errid::kInvalidConfig ||
            e.identifier() == sweep::errid::kUnusableFile) {
            throw UsageError(e.what());
        }
        throw;
    }
}

}  // namespace hfchain::app
