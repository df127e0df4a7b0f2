// `hfchain sweep`: error rates against SNR for conditions and receivers.
#include <memory>
#include <string>

#include "apps/commands.hpp"
#include "apps/option_groups.hpp"
#include "channel/channel_text.hpp"
#include "channel/conditions.hpp"
#include "params/waveform.hpp"
#include "sweep/config.hpp"

namespace hfchain::app {

using sweep::receiver_name;
using sweep::SweepConfig;

namespace {

// The default points as SNR in 3 kHz, for the help: "0,2,4".
std::string default_snr3k() {
    std::string s;
    for (const double e : sweep::default_esno()) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.10g", snr3k_of_esno(e));
        s += (s.empty() ? "" : ",") + std::string(buf);
    }
    return s;
}

// Error rates from "1e-3,1e-5": each above 0 and below 1, at most 20 of them.
std::vector<double> parse_target_list(const std::string& text) {
    std::vector<double> targets;
    for (const std::string& item : items_of(text, ',')) {
        double v = 0;
        const std::size_t used = read_decimal(item, v);
        if (used == 0 || used != item.size() || !(v > 0 && v < 1) || targets.size() >= 20) {
            throw UsageError("--targets: '" + text +
                             "' is not accepted; give up to 20 error rates above 0 and below 1, "
                             "joined by commas, for example 1e-3,1e-5");
        }
        targets.push_back(v);
    }
    return targets;
}

// What the sweep's options give as text, read once the command line is parsed (read_sweep).
struct SweepText {
    std::string rates = "2400";
    double nFrame = 0;
    std::string esno;
    std::string snr3k;
    std::string receivers;
    std::string impulses;
    std::string late;
    StopRuleText rule;
    double floor = 0;
    std::string axis;
    std::string plotAxis;
    std::string targets;
    std::string memory;
    std::string format;
    bool quiet = false;
};

// --rate, the mode's options, -C, -e, --snr3k, -r, --audio, --clock-ppm and --impulses.
void add_point_options(CLI::App& sweep, SweepConfig& c, SweepText& t) {
    sweep
        .add_option("--rate", t.rates,
                    "Data rates in bit/s, comma-separated, each with its own curves: " +
                        sweep::rate_list() + " (every receiver at every rate)")
        ->type_name("LIST")
        ->capture_default_str();
    add_shaping_options(sweep, c.interLen, t.nFrame, c.shaping,
                        "Interleaver blocks of data per trial at every rate (above 0; default: at "
                        "each rate the fewest whole blocks that carry information bits, 1 from 300 "
                        "to 4800 bit/s)");
    sweep
        .add_option("-C,--conditions", c.conditions,
                    "Conditions, comma-separated: presets (" + preset_list() +
                        ") or written channels: Np:DELAY:SPREAD[:shift=F][:off=F] (N equal paths "
                        "at delays 0, DELAY, 2 DELAY, ..., such as 2p:2ms:1Hz) or "
                        "paths=DELAY/POWER/SPREAD[/SHIFT]+...[:off=F] (powers in dB relative to "
                        "each other, such as paths=0ms/0dB/1Hz+2ms/-3dB/1Hz); delays in ms, us or "
                        "s, frequencies in Hz (SPREAD the two-sided Doppler spread, 0 for a fixed "
                        "path; off= the offset of the whole signal). Tables name a written "
                        "channel by its canonical spelling")
        ->type_name("NAMES")
        ->capture_default_str();
    sweep
        .add_option("-e,--esno", t.esno,
                    "Es/N0 points in dB: values and START:STEP:STOP ranges, comma-separated "
                    "(default: the --snr3k points)")
        ->type_name("DB");
    sweep
        .add_option("--snr3k", t.snr3k,
                    std::string("Instead of --esno: SNR in a 3 kHz bandwidth, in dB (Es/N0 = "
                                "SNR + 0.97 dB at 2400 symbols/s; default ") +
                        default_snr3k() + ")")
        ->type_name("DB");
    for (const ReceiverKind k : c.receivers) {
        t.receivers += std::string(t.receivers.empty() ? "" : ",") + receiver_name(k);
    }
    sweep
        .add_option("-r,--receiver", t.receivers,
                    "Receivers, comma-separated, each with its columns: baseline (hard decisions, "
                    "then decoded), hf (channel sounding, turbo equalisation), genie (told the "
                    "ray gains: the bound)")
        ->type_name("LIST")
        ->capture_default_str();
    sweep
        .add_option("--audio", c.audioRate,
                    "Send every trial through the air at this sound card's sample rate (8000 .. "
                    "192000): audio around 1800 Hz, real noise at the point's SNR in its band, "
                    "the receiver's clock tracked and taken out (docs/clock-and-audio-sweep.md); "
                    "the same trials as in baseband (0, the default)")
        ->type_name("FS");
    sweep
        .add_option("--clock-ppm", c.clockPpm,
                    "With --audio: the receiver's sound card's clock runs this many parts per "
                    "million faster than the sender's (-1000 .. 1000)")
        ->type_name("PPM");
    sweep
        .add_option("--impulses", t.impulses,
                    "With --audio: static crashes on the received audio, RATE bursts a second at "
                    "LEVEL dBFS (RMS at the onset), such as 2:-10, added after the noise as by "
                    "`hfchain channel --impulses`; the genie counts them as noise")
        ->type_name("RATE:LEVEL");
    sweep
        .add_option("--offset", c.offsetHz,
                    "With --metric acquisition: each trial's frequency offset is drawn within "
                    "+-this many Hz (0 .. 150)")
        ->type_name("HZ")
        ->capture_default_str();
    sweep
        .add_option("--late", t.late,
                    "Where the receiver starts listening (default: before the transmission): "
                    "preamble, at a random sample of its preamble (with --metric acquisition); "
                    "data, at a random sample of the data of a block that, like the next, holds "
                    "information bits (3 blocks a trial or more; 4 at 150 and 6 at 75 bit/s with "
                    "0.6 s), with --metric acquisition finding a block start and the mode, with "
                    "--metric decoded and -r hf decoding the next whole block (150 bit/s and "
                    "up)")
        ->type_name("preamble|data");
    sweep
        .add_option("--noise", c.noiseSeconds,
                    "With --metric acquisition: trials of this many seconds of noise without a "
                    "transmission (1 .. 3600), counting false detections per hour")
        ->type_name("SECONDS");
}

// --late: where a trial's receiver starts listening.
sweep::LateEntry parse_late(const std::string& text) {
    if (text.empty()) return sweep::LateEntry::none;
    if (text == "preamble") return sweep::LateEntry::preamble;
    if (text == "data") return sweep::LateEntry::data;
    throw UsageError("--late: '" + text + "' is not accepted; give preamble or data");
}

// An acquisition sweep's stop rule where the options give none (sweep::acquisition_stop_rule).
void acquisition_counts(const CLI::App& sweep, SweepConfig& c) {
    if (c.metric != sweep::Metric::acquisition) return;
    const sweep::StopRule rule = sweep::acquisition_stop_rule();
    if (sweep.count("--min-trials") == 0) c.minTrials = rule.minTrials;
    if (sweep.count("--min-events") == 0) c.minEvents = rule.minEvents;
    if (sweep.count("--max-bits") == 0) c.maxBits = rule.maxBits;
}

// --format, the result files, --axis, --targets, --crossings, --checkpoint, --max-memory and -q.
void add_output_options(CLI::App& sweep, SweepOptions& s, SweepText& t) {
    sweep
        .add_option("--format", t.format,
                    "The table: compact (for people: a line of about 100 characters per point, "
                    "then the crossings of --targets or of 1e-3 and 1e-5) or wide (every column, "
                    "'#' header lines: for machines and Octave's load; the CSV and JSON keep "
                    "these columns). Default: compact on a terminal, wide in a pipe or --output")
        ->type_name("compact|wide");
    add_result_options(sweep, s.output, s.csv, s.json, "Also write the table as JSON to this file",
                       s.plot,
                       "Draw the error rates (of --metric) into this .svg or .png file: one curve "
                       "per condition and receiver with its 95 % bars, the genie dashed");
    sweep
        .add_option("--axis", t.axis,
                    "The horizontal axis of the plot and the crossings: esno or snr3k (default: "
                    "snr3k when the points were given with --snr3k, else esno)")
        ->type_name("esno|snr3k");
    add_plot_axis_option(sweep, t.plotAxis, "that of --axis");
    sweep
        .add_option("--targets", t.targets,
                    "Error rates, comma-separated (default 1e-3,1e-5 in the compact table): add "
                    "to the table where each receiver's curve of --metric crosses them, and each "
                    "one's gap to the genie")
        ->type_name("RATES");
    sweep
        .add_option("--crossings", s.crossings,
                    "Also write the crossings of --targets as a Markdown table to this file")
        ->type_name("FILE");
    sweep
        .add_option("--checkpoint", s.checkpoint,
                    "Record finished trials in this journal; rerunning the same command resumes")
        ->type_name("FILE");
    sweep
        .add_option("--max-memory", t.memory,
                    "Memory all worker threads may use together (512M, 4G; default: the "
                    "machine's)")
        ->type_name("SIZE");
    sweep.add_flag("-q,--quiet", t.quiet, "No progress report on stderr");
}

// The points: as Es/N0, as SNR in 3 kHz, or neither (the configuration's default points, given as
// SNR in 3 kHz).
void read_points(const SweepText& t, SweepConfig& c) {
    if (!t.esno.empty() && !t.snr3k.empty()) {
        throw UsageError(
            "--snr3k: give the points either as Es/N0 (--esno) or as SNR in a 3 kHz bandwidth "
            "(--snr3k), not both");
    }
    if (!t.snr3k.empty()) {
        c.esno = parse_esno_list(t.snr3k, "--snr3k");
        for (double& e : c.esno) e = esno_of_snr3k(e);
        c.snr3kAxis = true;
    } else if (!t.esno.empty()) {
        c.esno = parse_esno_list(t.esno);
        c.snr3kAxis = false;
    }
}

void read_sweep(const SweepText& t, const CLI::App& sweep, SweepOptions& s) {
    SweepConfig& c = s.config;
    read_points(t, c);
    c.conditions = split_list(c.conditions, "--conditions");
    c.rates = parse_rate_list(t.rates);
    read_nframe(t.nFrame, sweep.count("--nframe") > 0, c.nFrame);
    for (std::string& name : c.conditions) name = sweep::canonical_condition(name);
    c.receivers = parse_receiver_list(t.receivers);
    if (!t.impulses.empty()) {
        const ImpulseSettings impulses = parse_impulses(t.impulses);
        c.impulses = {impulses.rate, impulses.level};
    }
    read_choices(t.rule, c);
    c.late = parse_late(t.late);
    if (t.format == "compact") {
        s.format = TableFormat::compact;
    } else if (t.format == "wide") {
        s.format = TableFormat::wide;
    } else if (!t.format.empty()) {
        throw UsageError("--format: '" + t.format + "' is not accepted; give compact or wide");
    }
    if (!t.axis.empty() && t.axis != "esno" && t.axis != "snr3k") {
        throw UsageError("--axis: '" + t.axis + "' is not accepted; give esno or snr3k");
    }
    s.plotSnr3k = t.axis.empty() ? c.snr3kAxis : t.axis == "snr3k";
    s.plotAxis =
        read_plot_axis(t.plotAxis, s.plotSnr3k ? sweep::PlotAxis::snr3k : sweep::PlotAxis::esno);
    if (!t.targets.empty()) s.targets = parse_target_list(t.targets);
    if (!s.crossings.empty() && s.targets.empty()) {
        throw UsageError("--crossings: give the error rates to cross with --targets");
    }
    c.floor = t.floor;
    read_counts(t.rule, c, c.seed, c.threads);
    acquisition_counts(sweep, c);
    if (c.metric == sweep::Metric::acquisition) {
        if (!s.targets.empty()) {
            throw UsageError(
                "--targets: an acquisition sweep's summary gives where the right "
                "share falls to 99 % and 90 %; give no error rates");
        }
        if (!s.plot.empty()) throw UsageError("--plot: an acquisition sweep draws no curves");
    }
    s.progress = !t.quiet;
    if (!t.memory.empty()) s.maxMemory = parse_memory_size(t.memory);
    check_sweep_options(s);
}

}  // namespace

CommandParser add_sweep_command(CLI::App& app, SweepOptions& s) {
    s = default_sweep();
    s.plot.clear();
    SweepConfig& c = s.config;
    const auto t = std::make_shared<SweepText>();
    t->rule = StopRuleText(c, c.seed);
    t->floor = c.floor;
    CLI::App* sweep = app.add_subcommand(
        "sweep",
        "Decoded and coded-bit error rates against SNR (3 kHz) or Es/N0 for a list of channel "
        "conditions and receivers");
    add_point_options(*sweep, c, *t);
    add_stop_rule_options(
        *sweep, t->rule,
        {"What the stop rule counts: decoded (information-bit errors) or coded (coded-bit "
         "hard-decision errors)",
         "Whose errors the stop rule counts: the first receiver's (first) or each receiver's, a "
         "point stopping once every one has enough (all)",
         "Run at least this many trials (fading realisations) per point, then ...",
         "... stop it once this many trials had a wrong bit (error events, of --metric): each "
         "point's interval is then about +-20 % ...",
         "... or at this many bits (information or coded bits; 1e6 accepted)"});
    sweep
        ->add_option("--floor", t->floor,
                     "End a condition's curve after its first point at which every receiver's "
                     "rate (of --metric) is below this; the points must ascend (0: no floor)")
        ->type_name("RATE")
        ->capture_default_str();
    add_seed_options(*sweep, t->rule);
    add_output_options(*sweep, s, *t);
    sweep->footer(
        "Output: on a terminal (or with --format compact), a compact table for people, then "
        "where each curve crosses 1e-3 and 1e-5 (or --targets) and its gap to the genie. "
        "Otherwise (or with --format wide), the wide table headed by '#' lines (version, every "
        "parameter); Octave's load reads it as a matrix.\nWide columns: rate (bit/s, with any "
        "--rate but 2400 alone), cond "
        "esno_db "
        "snr3k_db trials coded_bits info_bits blocks "
        "sync_misses, then for each receiver R: R_coded_errors R_coded_ber R_info_errors R_ber "
        "R_ci95_low R_ci95_high R_block_errors R_bler, and seconds last; R_ber is the decoded "
        "information-bit error rate, ci95 its 95 % interval over the trials (the trials are "
        "the independent samples: errors come in bursts), R_bler the interleaver blocks with a "
        "wrong information bit. The CSV and JSON add each point's error events. With --targets, "
        "'#' lines at the end of the wide table give where "
        "each curve crosses each target rate (interpolated in log10(rate) between the bracketing "
        "points) and each receiver's gap to the genie, per rate.\nTrial k of a point uses "
        "seeds derived from (seed, rate, condition, Es/N0, k): the table does not depend on "
        "--threads "
        "(nor on MPI ranks), and a point rerun alone gives the same line.\nCtrl-C, SIGTERM or "
        "SIGHUP stop and write the finished trials (exit 130, 143, 129); a second one abandons "
        "(exit 3). Result files are replaced whole or not at all.");
    return {sweep, [sweep, t, &s] { read_sweep(*t, *sweep, s); }};
}

}  // namespace hfchain::app
