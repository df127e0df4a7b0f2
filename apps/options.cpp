#include "apps/options.hpp"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string_view>

#include "apps/run_road.hpp"
#include "channel/channel_text.hpp"
#include "channel/conditions.hpp"
#include "params/rateconf.hpp"
#include "params/waveform.hpp"
#include "runtime/checks.hpp"
#include "sweep/engine.hpp"
#include "sweep/memory.hpp"
#include "sweep/output_file.hpp"
#include "sweep/report.hpp"
#include "sweep/settings.hpp"

namespace hfchain::app {

using sweep::check_output_file;
using sweep::condition_list;
using sweep::format_bytes;
using sweep::Metric;
using sweep::metric_name;
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

std::string shown(double v) { return format_value(v); }

// Names every field `option`: for the checks of one option's values.
sweep::FieldNames only(const std::string& option) {
    return [option](std::string_view) { return option; };
}

bool ends_with(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The length of the decimal number at the start of `text` (an optional sign, digits, a point, an
// exponent: "-1.5e3"), read into `v`; 0 when there is none. The C library's readers also take
// hexadecimal ("0x10" as 16), "inf" and "nan": none of them is a decimal number.
std::size_t read_decimal(std::string_view text, double& v) {
    const std::size_t at = text.starts_with('+') || text.starts_with('-') ? 1 : 0;
    if (at >= text.size() ||
        !(std::isdigit(static_cast<unsigned char>(text[at])) || text[at] == '.')) {
        return 0;
    }
    const char* first = text.data() + (text.starts_with('+') ? 1 : 0);  // from_chars takes no '+'
    const auto r = std::from_chars(first, text.data() + text.size(), v, std::chars_format::general);
    if (r.ec != std::errc()) return 0;
    return static_cast<std::size_t>(r.ptr - text.data());
}

double parse_number(const std::string& text, const std::string& whole, const std::string& option) {
    double v = 0;
    const std::size_t used = read_decimal(text, v);
    if (used == 0 || used != text.size()) {
        throw UsageError(option + ": '" + whole + "' is not a list of " +
                         (option == "--snr3k" ? "SNR" : "Es/N0") +
                         " values; accepted: numbers in dB and START:STEP:STOP ranges joined by "
                         "commas, for example 0:2:20,25");
    }
    return v;
}

// The pieces of `text` between `separator`s, empty ones included: "a,,b" is "a", "", "b".
std::vector<std::string> items_of(const std::string& text, char separator) {
    std::vector<std::string> items;
    for (std::size_t begin = 0;;) {
        const std::size_t end = text.find(separator, begin);
        items.push_back(text.substr(begin, end == std::string::npos ? end : end - begin));
        if (end == std::string::npos) return items;
        begin = end + 1;
    }
}

// The items of comma-separated lists ("-C awgn,bom -C ruim"); an empty item ("awgn,", "a,,b") is
// refused naming `option` (the parser would silently drop it).
std::vector<std::string> split_list(const std::vector<std::string>& lists,
                                    const std::string& option) {
    std::vector<std::string> items;
    for (const std::string& list : lists) {
        for (std::string& item : items_of(list, ',')) {
            if (item.empty()) {
                throw UsageError(option + ": '" + list +
                                 "' holds an empty item; give names joined by single commas");
            }
            items.push_back(std::move(item));
        }
    }
    return items;
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

void add_shaping_options(CLI::App& cmd, double& interLen, double& nFrame, VarShapping& s,
                         const char* nframe_help) {
    cmd.add_option("-i,--interleaver", interLen, "Interleaver length in seconds: 0.6 or 4.8")
        ->type_name("SECONDS")
        ->capture_default_str();
    CLI::Option* n = cmd.add_option("-n,--nframe", nFrame, nframe_help)->type_name("BLOCKS");
    if (nFrame > 0) n->capture_default_str();
    cmd.add_option("--rolloff", s.rolloffFactor, "Roll-off of the root-raised cosine, in (0, 1]")
        ->type_name("ALPHA")
        ->capture_default_str();
    cmd.add_option("--delay", s.pulseDelay,
                   "Half-length D of the pulse, in symbol periods (whole, 1..64)")
        ->type_name("SYMBOLS")
        ->capture_default_str();
    cmd.add_option(
           "-M,--oversampling", s.oversamplingFactor,
           "Samples per symbol M (whole, 1..64; a multiple of 5 for every preset but muito_ruim)")
        ->type_name("M")
        ->capture_default_str();
}

// The stop rule's options as given: numbers that become whole counts, names that become choices
// (read_stop_rule).
struct StopRuleText {
    std::string metric;
    std::string stopOn;
    double minTrials = 0;
    double minEvents = 0;
    double minErrors = 0;
    double maxBits = 0;
    double seed = 0;
    double threads = 0;

    explicit StopRuleText(const sweep::StopRule& rule, std::uint32_t seed_)
        : metric(metric_name(rule.metric)),
          stopOn(sweep::stop_on_name(rule.stopOn)),
          minTrials(static_cast<double>(rule.minTrials)),
          minEvents(static_cast<double>(rule.minEvents)),
          minErrors(static_cast<double>(rule.minErrors)),
          maxBits(static_cast<double>(rule.maxBits)),
          seed(seed_) {}
};

// Each command's words for the stop rule's options; no `metric`: the command has no --metric.
struct StopRuleHelp {
    const char* metric;
    const char* stopOn;
    const char* minTrials;
    const char* minEvents;
    const char* maxBits;
};

void add_stop_rule_options(CLI::App& cmd, StopRuleText& t, const StopRuleHelp& help) {
    if (help.metric != nullptr) {
        cmd.add_option("--metric", t.metric, help.metric)
            ->type_name("coded|decoded")
            ->capture_default_str();
    }
    cmd.add_option("--stop-on", t.stopOn, help.stopOn)
        ->type_name("first|all")
        ->capture_default_str();
    cmd.add_option("--min-trials", t.minTrials, help.minTrials)
        ->type_name("N")
        ->capture_default_str();
    cmd.add_option("--min-events", t.minEvents, help.minEvents)
        ->type_name("N")
        ->capture_default_str();
    cmd.add_option("--min-errors", t.minErrors, "... and this many bits were wrong ...")
        ->type_name("N")
        ->capture_default_str();
    cmd.add_option("--max-bits", t.maxBits, help.maxBits)->type_name("N")->capture_default_str();
}

void add_seed_options(CLI::App& cmd, StopRuleText& t) {
    cmd.add_option("-s,--seed", t.seed, "Base seed of every trial (0..4294967295)")
        ->type_name("SEED")
        ->capture_default_str();
    cmd.add_option("-j,--threads", t.threads, "Worker threads (0: one per core)")
        ->type_name("N")
        ->capture_default_str();
}

// The stop rule's choices the options give (its counts: read_counts).
void read_choices(const StopRuleText& t, sweep::StopRule& rule) {
    if (t.metric != "coded" && t.metric != "decoded") {
        throw UsageError("--metric: '" + t.metric + "' is not accepted; give coded or decoded");
    }
    rule.metric = t.metric == "coded" ? Metric::coded : Metric::decoded;
    if (t.stopOn != "first" && t.stopOn != "all") {
        throw UsageError("--stop-on: '" + t.stopOn + "' is not accepted; give first or all");
    }
    rule.stopOn = t.stopOn == "first" ? sweep::StopOn::first : sweep::StopOn::all;
}

// The stop rule's counts, the seed and the threads the options give, whole numbers by the
// configuration's own rules.
void read_counts(const StopRuleText& t, sweep::StopRule& rule, std::uint32_t& seed, int& threads) {
    refused_as_usage([&] {
        const sweep::FieldNames names = cli_names();
        rule.minTrials = sweep::check_count(t.minTrials, 1, "minTrials", names);
        rule.minEvents = sweep::check_count(t.minEvents, 1, "minEvents", names);
        rule.minErrors = sweep::check_count(t.minErrors, 1, "minErrors", names);
        rule.maxBits = sweep::check_count(t.maxBits, 1, "maxBits", names);
        sweep::check_seed(t.seed, "seed", names);
        seed = static_cast<std::uint32_t>(t.seed);
        threads =
            static_cast<int>(sweep::check_count(std::min(t.threads, 1e9), 0, "threads", names));
    });
}

// Blocks per trial given with -n (`given`): 0 is the configuration's "each rate's default", which
// -n does not offer.
void read_nframe(double nFrame, bool given, double& into) {
    if (!given) return;
    if (!(nFrame > 0)) {
        throw UsageError("--nframe: " + shown(nFrame) +
                         " is not accepted; give a number of interleaver blocks above 0 and at "
                         "most 10000");
    }
    into = nFrame;
}

}  // namespace

sweep::FieldNames cli_names(bool snr3k) {
    return [snr3k](std::string_view field) -> std::string {
        // The options of the other commands' own fields.
        static constexpr std::pair<std::string_view, const char*> options[] = {
            {"maxMemory", "--max-memory"},
            {"checkpoint", "--checkpoint"},
            {"txSeed", "--tx-seed"},
            {"channelSeed", "--channel-seed"},
            {"rows", "--rows"},
            {"resolution", "--resolution"},
            {"step", "--step"},
            {"lowest", "--lowest"},
            {"highest", "--highest"},
        };
        if (field == "esno") return snr3k ? "--snr3k" : "--esno";
        for (const sweep::Setting& s : sweep::sweep_settings()) {
            if (field == s.field) return s.option;
        }
        for (const auto& [name, option] : options) {
            if (field == name) return option;
        }
        return std::string(field);
    };
}

SweepOptions default_sweep() {
    SweepOptions o;  // the configuration's own defaults (sweep/config.hpp)
    o.plotSnr3k = true;
    o.plot = "hfchain-sweep.svg";
    return o;
}

RequirementsOptions default_requirements() {
    RequirementsOptions o;
    sweep::RequirementsConfig& c = o.config;
    // The requirements are quoted with the long interleaver.
    c.interLen = 4.8;
    c.receivers = {ReceiverKind::hf, ReceiverKind::genie};
    // A search measures about eight points a row: budgets that keep the whole table near
    // twenty minutes on two cores (README, "The minimum-performance table"), most of it in the
    // low rates, whose bits cost the most (at 75 bit/s about 90 times those of 2400 bit/s). A
    // crossing needs the bracketing points' side of the target rather than +-20 % on each: 100
    // error events, or 4e5 bits, the fewest with which a point without any error lies below
    // 1e-5 with its whole interval (3.8 / 4e5).
    c.stop.minTrials = 20;
    c.stop.minEvents = 100;
    c.stop.maxBits = 400000;
    return o;
}

// Row indices from "0,3,10" (that each is a row, given once, is the configuration's check).
std::vector<std::size_t> parse_row_list(const std::string& text) {
    std::vector<std::size_t> rows;
    for (const std::string& item : items_of(text, ',')) {
        const bool digits =
            !item.empty() && item.size() <= 6 && std::all_of(item.begin(), item.end(), [](char ch) {
                return std::isdigit(static_cast<unsigned char>(ch)) != 0;
            });
        if (!digits) {
            throw UsageError("--rows: '" + text + "' is not accepted; give row numbers (0 to " +
                             std::to_string(sweep::requirement_rows().size() - 1) +
                             ") joined by commas, for example 2,3");
        }
        rows.push_back(static_cast<std::size_t>(std::stoul(item)));
    }
    return rows;
}

std::vector<ReceiverKind> parse_receiver_list(const std::string& text, const std::string& option) {
    std::vector<ReceiverKind> list;
    for (const std::string& name : items_of(text, ',')) {
        ReceiverKind kind{};
        if (!sweep::receiver_from_name(name, kind)) {
            throw UsageError(option + ": unknown receiver '" + name +
                             "'; accepted: a comma-separated list of " + sweep::receiver_list());
        }
        list.push_back(kind);
    }
    return list;
}

std::vector<double> parse_rate_list(const std::string& text, const std::string& option) {
    std::vector<double> rates;
    for (const std::string& item : split_list({text}, option)) {
        double v = 0;
        const std::size_t used = read_decimal(item, v);
        if (used == 0 || used != item.size()) {
            throw UsageError(option + ": '" + text +
                             "' is not a list of data rates; accepted: bit/s from " +
                             sweep::rate_list() + ", joined by commas");
        }
        rates.push_back(v);
    }
    return rates;
}

std::vector<double> parse_esno_list(const std::string& text, const std::string& option) {
    std::vector<double> points;
    for (const std::string& item : items_of(text, ',')) {
        std::vector<double> parts;
        for (const std::string& part : items_of(item, ':')) {
            parts.push_back(parse_number(part, text, option));
        }
        if (parts.size() == 1) {
            refused_as_usage([&] { sweep::check_point(parts[0], "esno", only(option)); });
            points.push_back(parts[0]);
        } else if (parts.size() <= 3) {
            const double start = parts[0];
            const double step = parts.size() == 3 ? parts[1] : 1.0;
            const double stop = parts.back();
            refused_as_usage([&] {
                sweep::check_point(start, "esno", only(option));
                sweep::check_point(stop, "esno", only(option));
            });
            const double span = (stop - start) / step;
            if (!std::isfinite(span) || step == 0 || span < 0 || span > 1000) {
                throw UsageError(option + ": '" + item +
                                 "' is not a range; accepted: START:STEP:STOP with a step that "
                                 "leads from START to STOP in at most 1000 steps");
            }
            // Each point from its index, so that rounding does not accumulate; a stop within a
            // millionth of a step of the last point counts as reached.
            const auto count = static_cast<long>(std::floor(span + 1e-6)) + 1;
            for (long k = 0; k < count; ++k)
                points.push_back(start + static_cast<double>(k) * step);
        } else {
            throw UsageError(option + ": '" + item +
                             "' is not a range; accepted: START:STEP:STOP or START:STOP");
        }
    }
    return points;
}

void check_run_options(const RunOptions& o) {
    refused_as_usage([&] {
        const sweep::FieldNames names = cli_names();
        sweep::check_interleaver(o.interLen, names);
        sweep::check_rate(o.rate, o.interLen, names);
        sweep::check_nframe(o.nFrame, o.rate, o.interLen, names);
        sweep::check_shaping(o.shaping, names);
        if (o.channel != "none") {
            // The channels of a sweep's conditions (a written one refused with its own fault),
            // and none at all.
            const bool written =
                o.channel.starts_with("paths=") ||
                (!o.channel.empty() && std::isdigit(static_cast<unsigned char>(o.channel[0])));
            if (!written && !sweep::is_condition(o.channel)) {
                throw UsageError("--channel: unknown channel '" + o.channel +
                                 "'; accepted: none, " + sweep::condition_list());
            }
            const sweep::FieldNames as_channel = [&names](std::string_view field) {
                return field == "conditions" ? std::string("--channel") : names(field);
            };
            sweep::check_condition(o.channel, as_channel);
            sweep::check_ray_delay(o.channel, o.shaping.oversamplingFactor, names);
            try {
                check_hf_reach(read_channel(o.channel).channel, o.receivers);
            } catch (const Error& e) {
                throw UsageError("--receiver: '" + o.channel + "': " + e.message());
            }
        }
        sweep::check_point(o.esno, "esno", names);
        sweep::check_seed(o.txSeed, "txSeed", names);
        sweep::check_seed(o.channelSeed, "channelSeed", names);
        sweep::check_receivers(o.receivers, names);
        sweep::check_receivers_at_rate(o.receivers, o.rate, o.interLen, names);
    });
    if (!o.plotDir.empty() && !sweep::gnuplot_available()) {
        throw UsageError("--plot: gnuplot was not found; install it (Debian: gnuplot-nox)");
    }
}

namespace {

// A picture of a sweep or of the requirements: an .svg or .png file, drawn by gnuplot.
void check_plot_file(const std::string& plot) {
    if (!plot.empty() && !ends_with(plot, ".svg") && !ends_with(plot, ".png")) {
        throw UsageError("--plot: '" + plot +
                         "' is not accepted; give a file ending in .svg or .png");
    }
    if (!plot.empty() && !sweep::gnuplot_available()) {
        throw UsageError("--plot: gnuplot was not found; install it (Debian: gnuplot-nox)");
    }
}

}  // namespace

void check_sweep_options(const SweepOptions& o) {
    refused_as_usage([&] { sweep::check_config(o.config, cli_names(o.config.snr3kAxis)); });
    check_plot_file(o.plot);
}

void check_requirements_options(const RequirementsOptions& o) {
    refused_as_usage([&] { sweep::check_requirements(o.config, cli_names(true)); });
    check_plot_file(o.plot);
}

void check_requirements_outputs(const RequirementsOptions& o) {
    const std::pair<const char*, const std::string*> files[] = {
        {"--output", &o.output}, {"--csv", &o.csv}, {"--json", &o.json}, {"--plot", &o.plot}};
    refused_as_usage([&] {
        for (const auto& [option, file] : files) check_output_file(option, *file);
    });
    for (std::size_t i = 0; i < std::size(files); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (!files[i].second->empty() && !files[j].second->empty() &&
                sweep::same_file(*files[i].second, *files[j].second)) {
                throw UsageError(std::string(files[i].first) + ": '" + *files[i].second +
                                 "' is also given to " + files[j].first);
            }
        }
    }
}

void check_run_outputs(const RunOptions& o) {
    refused_as_usage([&] { check_output_file("--save", o.save); });
    if (!o.plotDir.empty()) {
        // The folder is made when missing: its nearest existing ancestor must take it.
        namespace fs = std::filesystem;
        std::error_code ec;
        fs::path dir = fs::absolute(o.plotDir, ec);
        if (fs::exists(dir, ec) && !fs::is_directory(dir, ec)) {
            throw UsageError("--plot: '" + o.plotDir + "' is not a folder");
        }
        while (!dir.empty() && !fs::exists(dir, ec) && dir != dir.parent_path()) {
            dir = dir.parent_path();
        }
        if (!fs::is_directory(dir, ec)) {
            throw UsageError("--plot: cannot make the folder '" + o.plotDir + "': '" +
                             dir.string() + "' is not a folder");
        }
        if (::access(dir.c_str(), W_OK | X_OK) != 0) {
            throw UsageError("--plot: cannot write into the folder '" + dir.string() +
                             "': " + std::strerror(errno));
        }
    }
}

void check_sweep_outputs(const SweepOptions& o) {
    const std::pair<const char*, const std::string*> files[] = {{"--output", &o.output},
                                                                {"--csv", &o.csv},
                                                                {"--json", &o.json},
                                                                {"--plot", &o.plot},
                                                                {"--checkpoint", &o.checkpoint},
                                                                {"--crossings", &o.crossings}};
    refused_as_usage([&] {
        for (const auto& [option, file] : files) check_output_file(option, *file);
    });
    for (std::size_t i = 0; i < std::size(files); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            // By the file, not the spelling: "--csv s2 --json ./s2" would lose one output, and
            // "--checkpoint ./j --csv j" would put the table over the journal.
            if (!files[i].second->empty() && !files[j].second->empty() &&
                sweep::same_file(*files[i].second, *files[j].second)) {
                const std::string as =
                    *files[i].second == *files[j].second ? "" : " (as '" + *files[j].second + "')";
                throw UsageError(std::string(files[i].first) + ": '" + *files[i].second +
                                 "' is also given to " + files[j].first + as);
            }
        }
    }
}

void check_run_memory(const RunOptions& o) {
    const ModeParams mode = rateconf(o.rate, o.interLen);
    const RoadConfig config = road_config(o);
    const double need =
        sweep::road_memory_bytes(mode, o.nFrame, o.shaping, config.channel, o.receivers,
                                 config.channel == ChannelKind::hfchannel
                                     ? static_cast<double>(config.hfChannel.paths.size())
                                     : 2.0);
    const sweep::MemoryLimit limit = sweep::memory_limit(o.maxMemory, cli_names());
    if (need > limit.bytes) {
        throw UsageError(
            "--nframe: one transmission of " + shown(o.nFrame) + " interleaver blocks of " +
            shown(o.interLen) + " s at " + shown(o.rate) + " bit/s and " +
            shown(o.shaping.oversamplingFactor) + " samples per symbol needs about " +
            format_bytes(need) + " of memory, more than the " + format_bytes(limit.bytes) +
            " limit (" + limit.source + "); give fewer blocks" +
            (o.maxMemory > 0 ? "" : ", or a larger --max-memory if swap space allows"));
    }
}

void check_sweep_memory(SweepOptions& o, int sharing, std::string* notes) {
    refused_as_usage([&] {
        o.config.threads = sweep::fit_threads(o.config, o.maxMemory, sharing, notes,
                                              cli_names(o.config.snr3kAxis));
    });
}

double parse_memory_size(const std::string& text) {
    const std::string refused = "--max-memory: '" + text +
                                "' is not a size; give bytes with an optional K, M, G or T "
                                "(powers of 1024), for example 512M or 1.5G";
    double v = 0;
    const std::size_t used = read_decimal(text, v);
    if (used == 0) throw UsageError(refused);
    std::string unit = text.substr(used);
    for (char& c : unit) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (unit.size() == 3 && unit.substr(1) == "IB") unit.resize(1);
    if (unit.size() == 2 && unit[1] == 'B') unit.resize(1);
    double scale = 1;
    if (unit == "K") {
        scale = 1024.0;
    } else if (unit == "M") {
        scale = 1024.0 * 1024;
    } else if (unit == "G") {
        scale = 1024.0 * 1024 * 1024;
    } else if (unit == "T") {
        scale = 1024.0 * 1024 * 1024 * 1024;
    } else if (!unit.empty() && unit != "B") {
        throw UsageError(refused);
    }
    const double bytes = v * scale;
    if (!std::isfinite(bytes) || bytes < 1) throw UsageError(refused);
    return bytes;
}

Invocation parse_command_line(int argc, const char* const* argv, const std::string& version,
                              bool print) {
    Invocation inv;
    CLI::App app(
        "hfchain: simulator of the HF serial-tone modem (75 to 4800 bit/s), the Watterson channel "
        "and the "
        "receiver.\nWithout arguments it runs the default sweep over all five conditions and "
        "writes hfchain-sweep.svg.",
        "hfchain");
    app.set_version_flag("--version", "hfchain " + version);
    app.require_subcommand(0, 1);

    RunOptions& r = inv.run;
    CLI::App* run = app.add_subcommand(
        "run", "One transmission through the whole chain, reported stage by stage");
    run->add_option(
           "--rate", r.rate,
           "Data rate in bit/s: " + sweep::rate_list() + " (4800: the 0.6 s interleaver only)")
        ->type_name("BIT/S")
        ->capture_default_str();
    double runNframe = 0;  // not given: the rate's fewest blocks
    add_shaping_options(*run, r.interLen, runNframe, r.shaping,
                        "Interleaver blocks of data (above 0; need not be whole, but must give a "
                        "whole number of information bits; default: the fewest whole blocks that "
                        "carry information bits at the rate, 1 from 300 to 4800 bit/s)");
    run->add_option("--tx-seed", r.txSeed, "Seed of the information bits (0..4294967295)")
        ->type_name("SEED")
        ->capture_default_str();
    run->add_option("-c,--channel", r.channel,
                    "Channel: none, awgn (white noise only), a preset (bom, moderado, ruim, "
                    "muito_ruim, the itu_* conditions) or a written channel such as "
                    "2p:2ms:1Hz:off=30Hz (as sweep's --conditions)")
        ->type_name("NAME")
        ->capture_default_str();
    run->add_option("-e,--esno", r.esno, "Es/N0 in dB (ignored for --channel none)")
        ->type_name("DB")
        ->capture_default_str();
    run->add_option("--channel-seed", r.channelSeed, "Seed of the fading and noise (0..4294967295)")
        ->type_name("SEED")
        ->capture_default_str();
    std::string runReceivers = "baseline,hf,genie";
    run->add_option(
           "-r,--receiver", runReceivers,
           "Receivers, comma-separated: baseline (hard decisions, then decoded), hf (channel "
           "sounding, turbo equalisation), genie (told the ray gains)")
        ->type_name("LIST")
        ->capture_default_str();
    run->add_option("--save", r.save, "Write every intermediate signal to this MAT file")
        ->type_name("FILE.mat");
    run->add_option("--plot", r.plotDir,
                    "Draw the received constellation and the ray gains into this folder")
        ->type_name("DIR");
    std::string runMemory;
    run->add_option("--max-memory", runMemory,
                    "Refuse a transmission that needs more memory than this (512M, 4G; "
                    "default: the machine's)")
        ->type_name("SIZE");

    SweepOptions& s = inv.sweep;
    s = default_sweep();
    s.plot.clear();
    SweepConfig& c = s.config;
    std::string esno;
    std::string snr3k;
    std::string receivers;
    for (const ReceiverKind k : c.receivers)
        receivers += std::string(receivers.empty() ? "" : ",") + receiver_name(k);
    std::string axis;
    StopRuleText rule(c, c.seed);
    bool quiet = false;
    CLI::App* sweep = app.add_subcommand(
        "sweep",
        "Decoded and coded-bit error rates against SNR (3 kHz) or Es/N0 for a list of channel "
        "conditions and receivers");
    std::string rates = "2400";
    sweep
        ->add_option("--rate", rates,
                     "Data rates in bit/s, comma-separated, each with its own curves: " +
                         sweep::rate_list() + " (every receiver at every rate)")
        ->type_name("LIST")
        ->capture_default_str();
    double nFrame = 0;
    add_shaping_options(*sweep, c.interLen, nFrame, c.shaping,
                        "Interleaver blocks of data per trial at every rate (above 0; default: at "
                        "each rate the fewest whole blocks that carry information bits, 1 from 300 "
                        "to 4800 bit/s)");
    sweep
        ->add_option("-C,--conditions", c.conditions,
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
        ->add_option("-e,--esno", esno,
                     "Es/N0 points in dB: values and START:STEP:STOP ranges, comma-separated "
                     "(default: the --snr3k points)")
        ->type_name("DB");
    sweep
        ->add_option("--snr3k", snr3k,
                     std::string("Instead of --esno: SNR in a 3 kHz bandwidth, in dB (Es/N0 = "
                                 "SNR + 0.97 dB at 2400 symbols/s; default ") +
                         default_snr3k() + ")")
        ->type_name("DB");
    sweep
        ->add_option("-r,--receiver", receivers,
                     "Receivers, comma-separated, each with its columns: baseline (hard decisions, "
                     "then decoded), hf (channel sounding, turbo equalisation), genie (told the "
                     "ray gains: the bound)")
        ->type_name("LIST")
        ->capture_default_str();
    add_stop_rule_options(
        *sweep, rule,
        {"What the stop rule counts: decoded (information-bit errors) or coded (coded-bit "
         "hard-decision errors)",
         "Whose errors the stop rule counts: the first receiver's (first) or each receiver's, a "
         "point stopping once every one has enough (all)",
         "Run at least this many trials (fading realisations) per point, then ...",
         "... stop it once this many trials had a wrong bit (error events, of --metric): each "
         "point's interval is then about +-20 % ...",
         "... or at this many bits (information or coded bits; 1e6 accepted)"});
    double floor = c.floor;
    sweep
        ->add_option("--floor", floor,
                     "End a condition's curve after its first point at which every receiver's "
                     "rate (of --metric) is below this; the points must ascend (0: no floor)")
        ->type_name("RATE")
        ->capture_default_str();
    add_seed_options(*sweep, rule);
    sweep->add_option("-o,--output", s.output, "Write the table to this file, not to stdout")
        ->type_name("FILE");
    sweep->add_option("--csv", s.csv, "Also write the table as CSV to this file")
        ->type_name("FILE");
    sweep->add_option("--json", s.json, "Also write the table as JSON to this file")
        ->type_name("FILE");
    sweep
        ->add_option(
            "--plot", s.plot,
            "Draw the error rates (of --metric) into this .svg or .png file: one curve per "
            "condition and receiver, the genie dashed")
        ->type_name("FILE");
    sweep
        ->add_option("--axis", axis,
                     "The horizontal axis of the plot and the crossings: esno or snr3k (default: "
                     "snr3k when the points were given with --snr3k, else esno)")
        ->type_name("esno|snr3k");
    std::string targets;
    sweep
        ->add_option("--targets", targets,
                     "Error rates, comma-separated (1e-3,1e-5): add to the table where each "
                     "receiver's curve of --metric crosses them, and each one's gap to the genie")
        ->type_name("RATES");
    sweep
        ->add_option("--crossings", s.crossings,
                     "Also write the crossings of --targets as a Markdown table to this file")
        ->type_name("FILE");
    sweep
        ->add_option("--checkpoint", s.checkpoint,
                     "Record finished trials in this journal; rerunning the same command resumes")
        ->type_name("FILE");
    std::string sweepMemory;
    sweep
        ->add_option("--max-memory", sweepMemory,
                     "Memory all worker threads may use together (512M, 4G; default: the "
                     "machine's)")
        ->type_name("SIZE");
    sweep->add_flag("-q,--quiet", quiet, "No progress report on stderr");
    RequirementsOptions& q = inv.requirements;
    q = default_requirements();
    sweep::RequirementsConfig& qc = q.config;
    CLI::App* req = app.add_subcommand(
        "requirements",
        "The minimum-performance table: for each row (rate, channel, required SNR in 3 kHz, "
        "target bit error rate) and receiver, the SNR where the decoded error rate crosses the "
        "target, searched along the SNR axis, with its 95 % interval, margin and pass/fail");
    std::string qReceivers = "hf,genie";
    std::string qRows;
    double qNframe = 0;
    StopRuleText qRule(qc.stop, qc.seed);
    bool qQuiet = false;
    add_shaping_options(*req, qc.interLen, qNframe, qc.shaping,
                        "Interleaver blocks of data per trial at every rate (default: at each "
                        "rate the fewest whole blocks that carry information bits)");
    req->add_option(
           "--rows", qRows,
           "Rows to run, by number, comma-separated (default: all): " +
               [] {
                   std::string t;
                   const auto& rows = sweep::requirement_rows();
                   for (std::size_t i = 0; i < rows.size(); ++i) {
                       t += (i ? "; " : "") + std::to_string(i) + " " + shown(rows[i].rate) +
                            " bit/s " + rows[i].channel + " " + shown(rows[i].snr3k) + " dB " +
                            sweep::target_text(rows[i].ber);
                   }
                   return t;
               }())
        ->type_name("LIST");
    req->add_option("-r,--receiver", qReceivers,
                    "Receivers whose crossings are searched, comma-separated: hf, genie, baseline "
                    "(the first one's errors drive the stop rule)")
        ->type_name("LIST")
        ->capture_default_str();
    req->add_option("--resolution", q.config.resolution,
                    "Bisect each crossing's bracket down to this width, in dB")
        ->type_name("DB")
        ->capture_default_str();
    req->add_option("--step", q.config.step,
                    "Steps from the required SNR that look for a bracket of the target, in dB")
        ->type_name("DB")
        ->capture_default_str();
    req->add_option("--lowest", q.config.lowest,
                    "Lowest SNR(3 kHz) searched, in dB: a curve below the target there is "
                    "reported as '< X'")
        ->type_name("DB")
        ->capture_default_str();
    req->add_option("--highest", q.config.highest,
                    "Highest SNR(3 kHz) searched, in dB: a curve above the target there is "
                    "reported as '> X'")
        ->type_name("DB")
        ->capture_default_str();
    add_stop_rule_options(
        *req, qRule,
        {nullptr,
         "Whose errors each point's stop rule counts: the first receiver's (first) or each "
         "receiver's (all)",
         "Run at least this many trials per point, then ...",
         "... stop it once this many trials had a wrong decoded bit ...",
         "... or at this many information bits"});
    add_seed_options(*req, qRule);
    req->add_option("-o,--output", q.output, "Write the table to this file, not to stdout")
        ->type_name("FILE");
    req->add_option("--csv", q.csv, "Also write the table as CSV to this file")->type_name("FILE");
    req->add_option("--json", q.json,
                    "Also write the table and every measured point as JSON to this file")
        ->type_name("FILE");
    req->add_option("--plot", q.plot,
                    "Draw each row's curves (its colour; hf solid, genie dashed, baseline "
                    "dash-dot) and its requirement as a cross into this .svg or .png file")
        ->type_name("FILE");
    req->add_flag("-q,--quiet", qQuiet, "No progress report on stderr");
    req->footer(
        "The search: each point is a sweep point (trial seeds from seed, rate, channel, Es/N0, "
        "trial: the table does not depend on --threads, and a point equals 'hfchain sweep' at the "
        "same Es/N0 and stop rule). From the required SNR it steps by --step until the target is "
        "bracketed (within --lowest..--highest), then bisects to --resolution. The crossing is "
        "interpolated in log10(rate) between the bracketing points; its 95 % interval is where "
        "the points' 95 % intervals over trials cross the target, read off the same points "
        "('> X', '< X': not bracketed by them). Margin = required - measured. pass: measured at "
        "or below the required SNR; '(within interval)': the interval reaches across it. 4800 "
        "bit/s is uncoded and runs the 0.6 s frame whatever --interleaver says. Runs in one "
        "process (not under mpirun).");
    sweep->footer(
        "Output: a table on stdout headed by '#' lines (version, every parameter); Octave's load "
        "reads it as a matrix.\nColumns: rate (bit/s, with any --rate but 2400 alone), cond "
        "esno_db "
        "snr3k_db trials coded_bits info_bits blocks "
        "sync_misses, then for each receiver R: R_coded_errors R_coded_ber R_info_errors R_ber "
        "R_ci95_low R_ci95_high R_block_errors R_bler, and seconds last; R_ber is the decoded "
        "information-bit error rate, ci95 its 95 % interval over the trials (the trials are "
        "the independent samples: errors come in bursts), R_bler the interleaver blocks with a "
        "wrong information bit. The CSV and JSON add each point's error events. With --targets, "
        "'#' lines at the end give where "
        "each curve crosses each target rate (interpolated in log10(rate) between the bracketing "
        "points) and each receiver's gap to the genie, per rate.\nTrial k of a point uses "
        "seeds derived from (seed, rate, condition, Es/N0, k): the table does not depend on "
        "--threads "
        "(nor on MPI ranks), and a point rerun alone gives the same line.\nCtrl-C, SIGTERM or "
        "SIGHUP stop and write the finished trials (exit 130, 143, 129); a second one abandons "
        "(exit 3). Result files are replaced whole or not at all.");
    run->footer(
        "--save names: the blocks' own field names (BitInCodIn ... MultiplexOut, raios, RER, ED, "
        "WattersonOutAwgnIn, noise, AwgnOut, DemodOutDemapIn, DemapOut); shared names carry "
        "their block: pulseshaper_filter, pulseshaper_out, pulsematch_filter, "
        "pulsematch_filterDelay, pulsematch_out, framelock_out, tickalign_out, unframer_out, "
        "unshuffle_out. Per receiver R (baseline_, hf_, genie_): R_symbols, R_noiseVar, R_LLR, "
        "R_unshuffle_LLR, R_DecodOut, R_InfoBits, R_codedBitErrors, R_infoBits, R_infoBitErrors, "
        "R_blocks, R_blockErrors; structures freqlock, chansound and turboequal (hf: frequency "
        "offset in Hz and start, channel estimates, equalised symbols; at 75 bit/s patterntrack "
        "instead of turboequal: the pattern detector's ratios and track) and geniecombine "
        "(genie).");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() != static_cast<int>(CLI::ExitCodes::Success)) {
            throw UsageError(e.what());
        }
        // --help or --version.
        std::ostringstream out, err;
        inv.exitCode = app.exit(e, out, err);
        if (print) {
            std::fputs(out.str().c_str(), stdout);
            std::fputs(err.str().c_str(), stderr);
        }
        return inv;
    }

    // An empty value is never a choice: it is an unset variable in the caller's script
    // (`--checkpoint "$JOURNAL"`), which taken as "not given" would silently change the job.
    for (const CLI::App* cmd : {run, sweep, req}) {
        for (const CLI::Option* opt : cmd->get_options()) {
            if (opt->get_type_size() == 0) continue;  // a flag
            for (const std::string& value : opt->results()) {
                if (value.empty()) {
                    throw UsageError(opt->get_name() + ": an empty value is not accepted");
                }
            }
        }
    }

    if (argc <= 1) {
        inv.command = Command::sweep;
        inv.sweep = default_sweep();
    } else if (run->parsed()) {
        inv.command = Command::run;
        r.receivers = parse_receiver_list(runReceivers);
        if (run->count("--nframe") > 0) {
            r.nFrame = runNframe;
        } else {
            // A rate or interleaver without parameter set is refused below, naming its option.
            try {
                r.nFrame = sweep::default_nframe(r.rate, r.interLen);
            } catch (const Error&) {
            }
        }
        if (r.channel != "none") r.channel = sweep::canonical_condition(r.channel);
        if (!runMemory.empty()) r.maxMemory = parse_memory_size(runMemory);
        check_run_options(r);
    } else if (sweep->parsed()) {
        inv.command = Command::sweep;
        if (!esno.empty() && !snr3k.empty()) {
            throw UsageError(
                "--snr3k: give the points either as Es/N0 (--esno) or as SNR in a 3 kHz bandwidth "
                "(--snr3k), not both");
        }
        // Neither given: the configuration's default points, given as SNR in 3 kHz.
        if (!snr3k.empty()) {
            c.esno = parse_esno_list(snr3k, "--snr3k");
            for (double& e : c.esno) e = esno_of_snr3k(e);
            c.snr3kAxis = true;
        } else if (!esno.empty()) {
            c.esno = parse_esno_list(esno);
            c.snr3kAxis = false;
        }
        c.conditions = split_list(c.conditions, "--conditions");
        c.rates = parse_rate_list(rates);
        read_nframe(nFrame, sweep->count("--nframe") > 0, c.nFrame);
        for (std::string& name : c.conditions) name = sweep::canonical_condition(name);
        c.receivers = parse_receiver_list(receivers);
        read_choices(rule, c);
        if (!axis.empty() && axis != "esno" && axis != "snr3k") {
            throw UsageError("--axis: '" + axis + "' is not accepted; give esno or snr3k");
        }
        s.plotSnr3k = axis.empty() ? c.snr3kAxis : axis == "snr3k";
        if (!targets.empty()) s.targets = parse_target_list(targets);
        if (!s.crossings.empty() && s.targets.empty()) {
            throw UsageError("--crossings: give the error rates to cross with --targets");
        }
        c.floor = floor;
        read_counts(rule, c, c.seed, c.threads);
        s.progress = !quiet;
        if (!sweepMemory.empty()) s.maxMemory = parse_memory_size(sweepMemory);
        check_sweep_options(s);
    } else if (req->parsed()) {
        inv.command = Command::requirements;
        if (!qRows.empty()) q.config.rows = parse_row_list(qRows);
        read_nframe(qNframe, req->count("--nframe") > 0, qc.nFrame);
        qc.receivers = parse_receiver_list(qReceivers);
        read_choices(qRule, qc.stop);
        read_counts(qRule, qc.stop, qc.seed, qc.threads);
        q.progress = !qQuiet;
        check_requirements_options(q);
    } else if (print) {
        // Options but no command: only possible for top-level flags, which exit above.
        std::fputs(app.help().c_str(), stdout);
    }
    return inv;
}

}  // namespace hfchain::app
