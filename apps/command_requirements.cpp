// `hfchain requirements`: the minimum-performance table.
#include <memory>
#include <string>

#include "apps/commands.hpp"
#include "apps/option_groups.hpp"
#include "sweep/requirements.hpp"

namespace hfchain::app {

namespace {

// What the requirements' options give as text, read once the command line is parsed.
struct RequirementsText {
    std::string rows;
    std::string receivers = "hf,genie";
    double nFrame = 0;
    StopRuleText rule;
    std::string plotAxis;
    bool quiet = false;
};

// "0 4800 bit/s 1p:0ms:0Hz 17 dB 1e-3; 1 ...": the rows, for the help.
std::string row_list() {
    std::string t;
    const auto& rows = sweep::requirement_rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        t += (i ? "; " : "") + std::to_string(i) + " " + shown(rows[i].rate) + " bit/s " +
             rows[i].channel + " " + shown(rows[i].snr3k) + " dB " +
             sweep::target_text(rows[i].ber);
    }
    return t;
}

// --rows, -r and the search's options.
void add_search_options(CLI::App& req, sweep::RequirementsConfig& c, RequirementsText& t) {
    req.add_option("--rows", t.rows,
                   "Rows to run, by number, comma-separated (default: all): " + row_list())
        ->type_name("LIST");
    req.add_option("-r,--receiver", t.receivers,
                   "Receivers whose crossings are searched, comma-separated: hf, genie, baseline "
                   "(the first one's errors drive the stop rule)")
        ->type_name("LIST")
        ->capture_default_str();
    req.add_option("--resolution", c.resolution,
                   "Bisect each crossing's bracket down to this width, in dB")
        ->type_name("DB")
        ->capture_default_str();
    req.add_option("--step", c.step,
                   "Steps from the required SNR that look for a bracket of the target, in dB")
        ->type_name("DB")
        ->capture_default_str();
    req.add_option("--lowest", c.lowest,
                   "Lowest SNR(3 kHz) searched, in dB: a curve below the target there is "
                   "reported as '< X'")
        ->type_name("DB")
        ->capture_default_str();
    req.add_option("--highest", c.highest,
                   "Highest SNR(3 kHz) searched, in dB: a curve above the target there is "
                   "reported as '> X'")
        ->type_name("DB")
        ->capture_default_str();
}

void read_requirements(const RequirementsText& t, const CLI::App& req, RequirementsOptions& q) {
    sweep::RequirementsConfig& c = q.config;
    if (!t.rows.empty()) c.rows = parse_row_list(t.rows);
    read_nframe(t.nFrame, req.count("--nframe") > 0, c.nFrame);
    c.receivers = parse_receiver_list(t.receivers);
    read_choices(t.rule, c.stop);
    read_counts(t.rule, c.stop, c.seed, c.threads);
    q.plotAxis = read_plot_axis(t.plotAxis, sweep::PlotAxis::snr3k);
    q.progress = !t.quiet;
    check_requirements_options(q);
}

}  // namespace

CommandParser add_requirements_command(CLI::App& app, RequirementsOptions& q) {
    q = default_requirements();
    sweep::RequirementsConfig& c = q.config;
    const auto t = std::make_shared<RequirementsText>();
    t->rule = StopRuleText(c.stop, c.seed);
    CLI::App* req = app.add_subcommand(
        "requirements",
        "The minimum-performance table: for each row (rate, channel, required SNR in 3 kHz, "
        "target bit error rate) and receiver, the SNR where the decoded error rate crosses the "
        "target, searched along the SNR axis, with its 95 % interval, margin and pass/fail");
    add_shaping_options(*req, c.interLen, t->nFrame, c.shaping,
                        "Interleaver blocks of data per trial at every rate (default: at each "
                        "rate the fewest whole blocks that carry information bits)");
    add_search_options(*req, c, *t);
    add_stop_rule_options(
        *req, t->rule,
        {nullptr,
         "Whose errors each point's stop rule counts: the first receiver's (first) or each "
         "receiver's (all)",
         "Run at least this many trials per point, then ...",
         "... stop it once this many trials had a wrong decoded bit ...",
         "... or at this many information bits"});
    add_seed_options(*req, t->rule);
    add_result_options(*req, q.output, q.csv, q.json,
                       "Also write the table and every measured point as JSON to this file", q.plot,
                       "Draw each row's curves with their 95 % bars (its colour; hf solid, "
                       "genie dashed, baseline dash-dot) and its requirement as a cross into "
                       "this .svg or .png file");
    add_plot_axis_option(*req, t->plotAxis, "snr3k");
    req->add_option("--checkpoint", q.checkpoint,
                    "Record finished trials in this journal; rerunning the same command resumes "
                    "and gives the table of an uninterrupted run")
        ->type_name("FILE");
    req->add_flag("-q,--quiet", t->quiet, "No progress report on stderr");
    req->footer(
        "The search: each point is a sweep point (trial seeds from seed, rate, channel, Es/N0, "
        "trial: the table does not depend on --threads, and a point equals 'hfchain sweep' at the "
        "same Es/N0 and stop rule). From the required SNR it steps by --step until the target is "
        "bracketed (within --lowest..--highest), then bisects to --resolution. The crossing is "
        "interpolated in log10(rate) between the bracketing points; its 95 % interval is where "
        "the points' 95 % intervals over trials cross the target, read off the same points "
        "('> X', '< X': not bracketed by them). Margin = required - measured. pass: measured at "
        "or below the required SNR; '(within interval)': the interval reaches across it. 4800 "
        "bit/s is uncoded and runs the 0.6 s frame whatever --interleaver says. Stopped, it "
        "writes the rows finished and the interrupted row's measured points (verdict "
        "'incomplete'). Under mpirun every point's trials are shared by the ranks as a sweep's, "
        "with "
        "the same table.");
    return {req, [req, t, &q] { read_requirements(*t, *req, q); }};
}

}  // namespace hfchain::app
