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
#include <initializer_list>
#include <sstream>
#include <string_view>

#include "apps/commands.hpp"
#include "apps/option_groups.hpp"
#include "apps/run_road.hpp"
#include "channel/channel_text.hpp"
#include "channel/conditions.hpp"
#include "params/rateconf.hpp"
#include "params/waveform.hpp"
#include "runtime/checks.hpp"
#include "runtime/output_file.hpp"
#include "sweep/engine.hpp"
#include "sweep/memory.hpp"
#include "sweep/report.hpp"
#include "sweep/settings.hpp"

namespace hfchain::app {

using sweep::condition_list;
using sweep::format_bytes;
using sweep::Metric;
using sweep::metric_name;
using sweep::receiver_name;
using sweep::SweepConfig;

namespace {

// Names every field `option`: for the checks of one option's values.
sweep::FieldNames only(const std::string& option) {
    return [option](std::string_view) { return option; };
}

bool ends_with(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
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
    o.plotAxis = sweep::PlotAxis::snr3k;
    return o;
}

RequirementsOptions default_requirements() {
    RequirementsOptions o;
    o.config = sweep::requirements_defaults();
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

void check_plot_file(const std::string& plot) {
    if (!plot.empty() && !ends_with(plot, ".svg") && !ends_with(plot, ".png")) {
        throw UsageError("--plot: '" + plot +
                         "' is not accepted; give a file ending in .svg or .png");
    }
    if (!plot.empty() && !sweep::gnuplot_available()) {
        throw UsageError("--plot: gnuplot was not found; install it (Debian: gnuplot-nox)");
    }
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
    check_plot_file(o.plot);
}

namespace {

// The files a command writes, by option: each writable, and no file given to two options.
void check_output_files(std::initializer_list<std::pair<const char*, const std::string*>> files) {
    refused_as_usage([&] {
        for (const auto& [option, file] : files) check_output_file(option, *file);
    });
    for (auto i = files.begin(); i != files.end(); ++i) {
        for (auto j = files.begin(); j != i; ++j) {
            // By the file, not the spelling: "--csv s2 --json ./s2" would lose one output, and
            // "--checkpoint ./j --csv j" would put the table over the journal.
            if (!i->second->empty() && !j->second->empty() && same_file(*i->second, *j->second)) {
                const std::string as = *i->second == *j->second ? "" : " (as '" + *j->second + "')";
                throw UsageError(std::string(i->first) + ": '" + *i->second +
                                 "' is also given to " + j->first + as);
            }
        }
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
    check_output_files({{"--output", &o.output},
                        {"--csv", &o.csv},
                        {"--json", &o.json},
                        {"--plot", &o.plot},
                        {"--checkpoint", &o.checkpoint}});
}

void check_run_outputs(const RunOptions& o) {
    check_output_files({{"--save", &o.save}, {"--plot", &o.plot}});
}

void check_sweep_outputs(const SweepOptions& o) {
    check_output_files({{"--output", &o.output},
                        {"--csv", &o.csv},
                        {"--json", &o.json},
                        {"--plot", &o.plot},
                        {"--checkpoint", &o.checkpoint},
                        {"--crossings", &o.crossings}});
}

void check_run_memory(const RunOptions& o) {
    const ModeParams mode = rateconf(o.rate, o.interLen);
    const RoadConfig config = road_config(o);
    const double need = sweep::road_call_bytes(mode, config);
    const sweep::MemoryLimit limit = sweep::memory_limit(o.maxMemory, cli_names());
    if (need > limit.bytes) {
        throw UsageError(
            "--nframe: one transmission of " +
            counted(o.nFrame, "interleaver block", "interleaver blocks") + " of " +
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
        "and the receiver.\n'hfchain sweep' runs the default sweep over all five conditions (a "
        "few minutes); 'hfchain COMMAND --help' lists a command's options.",
        "hfchain");
    app.set_version_flag("--version", "hfchain " + version);
    app.require_subcommand(0, 1);

    // In the order the help lists them.
    const CommandParser commands[] = {add_run_command(app, inv.run),
                                      add_sweep_command(app, inv.sweep),
                                      add_requirements_command(app, inv.requirements),
                                      add_channel_command(app, inv.channel),
                                      add_transmit_command(app, inv.transmit),
                                      add_receive_command(app, inv.receive)};
    constexpr Command kinds[] = {Command::run,     Command::sweep,    Command::requirements,
                                 Command::channel, Command::transmit, Command::receive};

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
    for (const CommandParser& parser : commands) {
        for (const CLI::Option* opt : parser.command->get_options()) {
            if (opt->get_type_size() == 0) continue;  // a flag
            for (const std::string& value : opt->results()) {
                if (value.empty()) {
                    throw UsageError(opt->get_name() + ": an empty value is not accepted");
                }
            }
        }
    }

    for (std::size_t k = 0; k < std::size(commands); ++k) {
        if (!commands[k].command->parsed()) continue;
        inv.command = kinds[k];
        commands[k].finish();
        return inv;
    }
    // No command: the usage, which names the commands (the other top-level options exit above).
    if (print) std::fputs(app.help().c_str(), stdout);
    return inv;
}

}  // namespace hfchain::app
