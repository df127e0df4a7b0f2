#include "apps/option_groups.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <stdexcept>

#include "runtime/checks.hpp"

namespace hfchain::app {

using sweep::Metric;
using sweep::metric_name;

std::string shown(double v) { return format_value(v); }

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

void add_stop_rule_options(CLI::App& cmd, StopRuleText& t, const StopRuleHelp& help) {
    if (help.metric != nullptr) {
        cmd.add_option("--metric", t.metric, help.metric)
            ->type_name("coded|decoded|acquisition")
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
    if (t.metric != "coded" && t.metric != "decoded" && t.metric != "acquisition") {
        throw UsageError("--metric: '" + t.metric +
                         "' is not accepted; give coded, decoded or acquisition");
    }
    rule.metric = t.metric == "coded"     ? Metric::coded
                  : t.metric == "decoded" ? Metric::decoded
                                          : Metric::acquisition;
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

void add_result_options(CLI::App& cmd, std::string& output, std::string& csv, std::string& json,
                        const std::string& json_help, std::string& plot,
                        const std::string& plot_help) {
    cmd.add_option("-o,--output", output, "Write the table to this file, not to stdout")
        ->type_name("FILE");
    cmd.add_option("--csv", csv, "Also write the table as CSV to this file")->type_name("FILE");
    cmd.add_option("--json", json, json_help)->type_name("FILE");
    cmd.add_option("--plot", plot, plot_help)->type_name("FILE");
}

void add_plot_axis_option(CLI::App& cmd, std::string& text, const std::string& fallback) {
    cmd.add_option("--plot-axis", text,
                   "The horizontal axis of --plot: esno, snr3k or ebno (Eb/N0 per information "
                   "bit, each rate's curves shifted by 10 log10(2400 / rate)); default: " +
                       fallback)
        ->type_name("esno|snr3k|ebno");
}

sweep::PlotAxis read_plot_axis(const std::string& text, sweep::PlotAxis fallback) {
    sweep::PlotAxis axis = fallback;
    if (!text.empty() && !sweep::parse_plot_axis(text, axis)) {
        throw UsageError("--plot-axis: '" + text + "' is not accepted; give esno, snr3k or ebno");
    }
    return axis;
}

ImpulseSettings parse_impulses(const std::string& text) {
    ImpulseSettings s;
    const std::size_t colon = text.find(':');
    try {
        if (colon == std::string::npos) throw std::invalid_argument("no colon");
        std::size_t used = 0;
        s.rate = std::stod(text.substr(0, colon), &used);
        if (used != colon) throw std::invalid_argument("rate");
        const std::string level = text.substr(colon + 1);
        s.level = std::stod(level, &used);
        if (used != level.size()) throw std::invalid_argument("level");
    } catch (const std::exception&) {
        throw UsageError("--impulses: '" + text +
                         "' is not RATE:LEVEL (bursts a second, dBFS), such as 2:-10");
    }
    try {
        check_impulses(s);
    } catch (const Error& e) {
        throw UsageError("--impulses: " + std::string(e.what()));
    }
    return s;
}

}  // namespace hfchain::app
