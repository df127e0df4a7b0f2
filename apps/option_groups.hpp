// The option groups the commands share (the mode, the stop rule and seed, the result files) and
// the readers of the command line's numbers and lists.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "apps/options.hpp"
#include "channel/impulses.hpp"
#include "shaping/varshapping.hpp"
#include "sweep/config.hpp"
#include "sweep/picture.hpp"

namespace hfchain::app {

// A value as the help and the messages show it.
std::string shown(double v);

// The length of the decimal number at the start of `text` (an optional sign, digits, a point, an
// exponent: "-1.5e3"), read into `v`; 0 when there is none. The C library's readers also take
// hexadecimal ("0x10" as 16), "inf" and "nan": none of them is a decimal number.
std::size_t read_decimal(std::string_view text, double& v);

// The pieces of `text` between `separator`s, empty ones included: "a,,b" is "a", "", "b".
std::vector<std::string> items_of(const std::string& text, char separator);

// The items of comma-separated lists ("-C awgn,bom -C ruim"); an empty item ("awgn,", "a,,b") is
// refused naming `option` (the parser would silently drop it).
std::vector<std::string> split_list(const std::vector<std::string>& lists,
                                    const std::string& option);

// The mode's options: -i, -n (help `nframe_help`; its default shown when above 0), --rolloff,
// --delay, -M.
void add_shaping_options(CLI::App& cmd, double& interLen, double& nFrame, VarShapping& s,
                         const char* nframe_help);

// The stop rule's options as given: numbers that become whole counts, names that become choices
// (read_choices, read_counts).
struct StopRuleText {
    std::string metric;
    std::string stopOn;
    double minTrials = 0;
    double minEvents = 0;
    double minErrors = 0;
    double maxBits = 0;
    double seed = 0;
    double threads = 0;

    StopRuleText() = default;
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

// The stop rule's options (--metric when the command has it, --stop-on, --min-trials,
// --min-events, --min-errors, --max-bits).
void add_stop_rule_options(CLI::App& cmd, StopRuleText& t, const StopRuleHelp& help);

// -s, --seed and -j, --threads.
void add_seed_options(CLI::App& cmd, StopRuleText& t);

// The stop rule's choices the options give (its counts: read_counts).
void read_choices(const StopRuleText& t, sweep::StopRule& rule);

// The stop rule's counts, the seed and the threads the options give, whole numbers by the
// configuration's own rules.
void read_counts(const StopRuleText& t, sweep::StopRule& rule, std::uint32_t& seed, int& threads);

// Blocks per trial given with -n (`given`): 0 is the configuration's "each rate's default", which
// -n does not offer.
void read_nframe(double nFrame, bool given, double& into);

// The result files: -o, --csv, --json and --plot, with each command's words for the last two.
void add_result_options(CLI::App& cmd, std::string& output, std::string& csv, std::string& json,
                        const std::string& json_help, std::string& plot,
                        const std::string& plot_help);

// --plot-axis: the horizontal axis of a command's picture, as text; `fallback` names the default.
void add_plot_axis_option(CLI::App& cmd, std::string& text, const std::string& fallback);

// The axis --plot-axis names, `fallback` when none was given. Raises UsageError for another name.
sweep::PlotAxis read_plot_axis(const std::string& text, sweep::PlotAxis fallback);

// --impulses RATE:LEVEL (bursts a second, dBFS), checked by check_impulses; refused as a usage
// error naming --impulses.
ImpulseSettings parse_impulses(const std::string& text);

}  // namespace hfchain::app
