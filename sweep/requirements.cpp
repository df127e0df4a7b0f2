#include "sweep/requirements.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>

#include "params/modes.hpp"
#include "params/waveform.hpp"
#include "runtime/checks.hpp"
#include "runtime/error.hpp"
#include "runtime/output_file.hpp"
#include "sweep/memory.hpp"
#include "sweep/report.hpp"
#include "sweep/session.hpp"
#include "sweep/trial.hpp"

namespace hfchain::sweep {

namespace {

[[noreturn]] void refuse(const FieldNames& names, std::string_view field, const std::string& what) {
    raise(errid::kInvalidConfig, field_name(names, field) + ": " + what);
}

// A point's key: the SNR in milli-dB, as the seeds see the Es/N0.
long long milli(double snr3k) { return std::llround(snr3k * 1000); }

std::string number(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

}  // namespace

const std::vector<RequirementRow>& requirement_rows() {
    static const std::vector<RequirementRow> rows = {
        {4800, "1p:0ms:0Hz", 17, 1e-3}, {4800, "2p:2ms:0.5Hz", 27, 1e-3},
        {2400, "1p:0ms:0Hz", 10, 1e-5}, {2400, "2p:2ms:1Hz", 18, 1e-5},
        {2400, "2p:2ms:5Hz", 30, 1e-3}, {2400, "2p:5ms:1Hz", 30, 1e-5},
        {1200, "2p:2ms:1Hz", 11, 1e-5}, {600, "2p:2ms:1Hz", 7, 1e-5},
        {300, "2p:5ms:5Hz", 7, 1e-5},   {150, "2p:5ms:5Hz", 5, 1e-5},
        {75, "2p:5ms:5Hz", 2, 1e-5}};
    return rows;
}

double row_interleaver(const RequirementRow& row, double interLen) {
    return rate_interleaver(row.rate, interLen);
}

RequirementsConfig requirements_defaults() {
    RequirementsConfig c;
    // The requirements are quoted with the long interleaver.
    c.interLen = 4.8;
    c.receivers = {ReceiverKind::hf, ReceiverKind::genie};
    // A search measures about eight points a row: budgets that keep the whole table near
    // twenty minutes on two cores (docs/requirements.md), most of it in the
    // low rates, whose bits cost the most (at 75 bit/s about 90 times those of 2400 bit/s). A
    // crossing needs the bracketing points' side of the target rather than +-20 % on each: 100
    // error events, or 4e5 bits, the fewest with which a point without any error lies below
    // 1e-5 with its whole interval (3.8 / 4e5).
    c.stop.minTrials = 20;
    c.stop.minEvents = 100;
    c.stop.maxBits = 400000;
    return c;
}

SweepConfig requirement_point_config(const RequirementsConfig& config, const RequirementRow& row,
                                     double snr3k) {
    SweepConfig c;
    static_cast<StopRule&>(c) = config.stop;
    c.metric = Metric::decoded;
    c.rates = {row.rate};
    c.interLen = row_interleaver(row, config.interLen);
    c.nFrame = config.nFrame;
    c.shaping = config.shaping;
    c.conditions = {canonical_condition(row.channel)};
    c.esno = {esno_of_snr3k(snr3k)};
    c.snr3kAxis = true;
    c.receivers = config.receivers;
    c.floor = 0;
    c.seed = config.seed;
    c.threads = config.threads;
    return c;
}

void check_requirements(const RequirementsConfig& config, const FieldNames& names) {
    const auto& all = requirement_rows();
    // Recorded in the table whatever rows run, also when a 4800 bit/s row alone does not use it.
    check_interleaver(config.interLen, names);
    for (std::size_t i = 0; i < config.rows.size(); ++i) {
        if (config.rows[i] >= all.size()) {
            refuse(names, "rows",
                   std::to_string(config.rows[i]) + " is no row; give rows 0 to " +
                       std::to_string(all.size() - 1));
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (config.rows[j] == config.rows[i]) {
                refuse(names, "rows",
                       "row " + std::to_string(config.rows[i]) +
                           " is given twice; give each row once");
            }
        }
    }
    if (!(config.step >= 0.1 && config.step <= 20)) {
        refuse(names, "step",
               format_value(config.step) + " dB is not accepted; give a step from 0.1 to 20 dB");
    }
    if (!(config.resolution > 0.001 && config.resolution <= config.step)) {
        refuse(names, "resolution",
               format_value(config.resolution) +
                   " dB is not accepted; give a resolution above 0.001 dB and at most the step (" +
                   format_value(config.step) + " dB)");
    }
    const auto in_range = [](double v) { return v >= -50 && v <= 100; };
    if (!in_range(config.lowest)) {
        refuse(names, "lowest",
               format_value(config.lowest) + " dB is not accepted; give -50 to 100");
    }
    if (!in_range(config.highest) || !(config.highest > config.lowest)) {
        refuse(names, "highest",
               format_value(config.highest) + " dB is not accepted; give -50 to 100, above " +
                   format_value(config.lowest) + " dB");
    }
    std::vector<std::size_t> rows = config.rows;
    if (rows.empty()) {
        for (std::size_t i = 0; i < all.size(); ++i) rows.push_back(i);
    }
    for (const std::size_t i : rows) {
        const RequirementRow& row = all[i];
        if (row.snr3k < config.lowest || row.snr3k > config.highest) {
            refuse(names, row.snr3k < config.lowest ? "lowest" : "highest",
                   "row " + std::to_string(i) + " requires " + format_value(row.snr3k) +
                       " dB, outside the search range " + format_value(config.lowest) + " to " +
                       format_value(config.highest) + " dB");
        }
        check_config(requirement_point_config(config, row, row.snr3k), names);
    }
}

const char* verdict_text(Verdict verdict) {
    switch (verdict) {
        case Verdict::pass:
            return "pass";
        case Verdict::pass_within:
            return "pass (within interval)";
        case Verdict::fail_within:
            return "fail (within interval)";
        case Verdict::fail:
            return "fail";
        case Verdict::undecided:
            break;
    }
    return "undecided";
}

namespace {

// -1: the crossing is surely at or below `required`; +1: surely above it; 0: not known.
int side(const Crossing& c, double required) {
    switch (c.kind) {
        case Crossing::Kind::at:
            return c.x <= required ? -1 : 1;
        case Crossing::Kind::below_from_start:
        case Crossing::Kind::fell_to_zero:
            return c.x <= required ? -1 : 0;
        case Crossing::Kind::not_reached:
            return c.x >= required ? 1 : 0;
        case Crossing::Kind::none:
            break;
    }
    return 0;
}

}  // namespace

Verdict judge(const Crossing& measured, const Crossing& low, const Crossing& high,
              double required) {
    const int m = side(measured, required);
    if (m < 0) return side(high, required) < 0 ? Verdict::pass : Verdict::pass_within;
    if (m > 0) return side(low, required) > 0 ? Verdict::fail : Verdict::fail_within;
    return Verdict::undecided;
}

std::string margin_text(const RequirementOutcome& outcome, double required) {
    const Crossing& c = outcome.measured;
    switch (c.kind) {
        case Crossing::Kind::at:
            return one_decimal(required - c.x);
        case Crossing::Kind::below_from_start:
            return "> " + one_decimal(required - c.x);
        case Crossing::Kind::fell_to_zero:
            return ">= " + one_decimal(required - c.x);
        case Crossing::Kind::not_reached:
            return "< " + one_decimal(required - c.x);
        case Crossing::Kind::none:
            break;
    }
    return "-";
}

Crossing last_crossing(const std::vector<double>& x, const std::vector<double>& rate,
                       double target) {
    const std::size_t n = std::min(x.size(), rate.size());
    // From the last point back: the last pair of points with errors that brackets the target.
    std::size_t next = n;
    for (std::size_t k = n; k-- > 0;) {
        if (!(rate[k] > 0)) continue;
        if (next < n && rate[k] >= target && rate[next] < target) {
            const double a = std::log10(rate[k]);
            const double b = std::log10(rate[next]);
            const double f = (std::log10(target) - a) / (b - a);
            return {Crossing::Kind::at, x[k] + f * (x[next] - x[k])};
        }
        next = k;
    }
    return find_crossing(x, rate, target);
}

RequirementOutcome read_outcome(const std::vector<PointResult>& points, ReceiverKind receiver,
                                double target, double required) {
    std::vector<const PointResult*> sorted;
    for (const PointResult& p : points) sorted.push_back(&p);
    std::sort(sorted.begin(), sorted.end(),
              [](const PointResult* a, const PointResult* b) { return a->esno < b->esno; });
    std::vector<double> x, rate, low, high;
    for (const PointResult* p : sorted) {
        x.push_back(snr3k_of_esno(p->esno));
        rate.push_back(receiver_rate(*p, receiver, Metric::decoded));
        const Interval i = receiver_interval(*p, receiver, Metric::decoded);
        low.push_back(i.low);
        high.push_back(i.high);
    }
    RequirementOutcome o;
    o.receiver = receiver;
    o.measured = find_crossing(x, rate, target);
    o.fewEvents = rests_on_few_events(o.measured, sorted, receiver, Metric::decoded);
    // Few errors a point make a curve that is not monotone within its noise, and each bound
    // curve could then cross the target on the other side of the measured crossing. The low end
    // is read off the points up to the measured bracket's lower point, the high end is the last
    // crossing of the upper bounds: both then hold the crossing, and the interval covers every
    // place the noisy curve may cross.
    std::size_t upto = x.size();
    if (o.measured.kind == Crossing::Kind::at) {
        upto = 0;
        while (upto < x.size() && !(x[upto] > o.measured.x)) ++upto;
        // The next point with errors below the target (the bracket's lower point) is included.
        while (upto < x.size() && !(rate[upto] > 0)) ++upto;
        upto = std::min(upto + 1, x.size());
    } else if (o.measured.kind == Crossing::Kind::fell_to_zero) {
        // At or below X: the low end too, read off the points up to X.
        upto = 0;
        while (upto < x.size() && x[upto] <= o.measured.x) ++upto;
    }
    o.low = find_crossing(std::vector<double>(x.begin(), x.begin() + static_cast<long>(upto)),
                          std::vector<double>(low.begin(), low.begin() + static_cast<long>(upto)),
                          target);
    o.high = last_crossing(x, high, target);
    o.verdict = judge(o.measured, o.low, o.high, required);
    return o;
}

namespace {

// The journal's number of the point of row `index` at `snr3k` dB: a million numbers a row, the
// SNR in milli-dB from -100 dB.
constexpr std::int64_t kRowPoints = 1'000'000;
constexpr std::int64_t kLowestMilli = -100'000;
std::int64_t journal_point(std::size_t index, double snr3k) {
    return static_cast<std::int64_t>(index) * kRowPoints + milli(snr3k) - kLowestMilli;
}

// The journal of a run (null: none), its trials not yet handed to their points (by the journal's
// number of the point, each numbered 0 as its point's own) and its first failure to be written.
struct RequirementsJournal {
    Journal* journal = nullptr;
    std::map<std::int64_t, std::vector<KnownTrial>> known;
    std::string failure;
};

// The search of one row: its points, measured once for all its receivers.
class RowSearch {
public:
    RowSearch(const RequirementsConfig& config, std::size_t index, const RowRunners& runners,
              std::atomic<bool>* interrupt, const RequirementsProgress& progress,
              RequirementsJournal& journal, RemotePoints* remote)
        : config_(config),
          index_(index),
          row_(requirement_rows()[index]),
          factory_(runners(requirement_point_config(config, row_, row_.snr3k))),
          interrupt_(interrupt),
          progress_(progress),
          journal_(journal),
          remote_(remote) {}

    // The point at `snr3k`; false when it was interrupted.
    bool point(double snr3k, const PointResult*& out) {
        const auto found = measured_.find(milli(snr3k));
        if (found != measured_.end()) {
            out = &found->second;
            return true;
        }
        const SweepConfig c = requirement_point_config(config_, row_, snr3k);
        const std::int64_t number = journal_point(index_, snr3k);
        JournalPart part;
        part.journal = journal_.journal;
        part.firstPoint = number;
        if (auto known = journal_.known.find(number); known != journal_.known.end()) {
            part.known = std::move(known->second);
            journal_.known.erase(known);
        }
        RemoteWorkers* workers = remote_ != nullptr ? remote_->point(index_, snr3k) : nullptr;
        SessionResult r = run_session(c, std::move(part), factory_, interrupt_, {}, workers);
        if (journal_.failure.empty()) journal_.failure = r.journalFailure;
        if (r.sweep.interrupted || r.sweep.points.size() != 1) return false;
        out = &measured_.emplace(milli(snr3k), std::move(r.sweep.points[0])).first->second;
        if (progress_) progress_(row_, snr3k, *out);
        return true;
    }

    // Searches `receiver`'s crossing; false when interrupted.
    bool search(ReceiverKind receiver);

    // The row with the points measured.
    RequirementRowResult result(bool complete) {
        RequirementRowResult rr;
        rr.index = index_;
        rr.interLen = row_interleaver(row_, config_.interLen);
        rr.complete = complete;
        for (auto& [key, p] : measured_) rr.points.push_back(std::move(p));
        for (const ReceiverKind receiver : config_.receivers) {
            rr.receivers.push_back(read_outcome(rr.points, receiver, row_.ber, row_.snr3k));
        }
        return rr;
    }

    bool empty() const { return measured_.empty(); }

private:
    bool interval_ends(ReceiverKind receiver);

    const RequirementsConfig& config_;
    std::size_t index_;
    const RequirementRow& row_;
    TrialRunnerFactory factory_;
    std::atomic<bool>* interrupt_;
    const RequirementsProgress& progress_;
    RequirementsJournal& journal_;
    RemotePoints* remote_;
    std::map<long long, PointResult> measured_;  // by SNR in milli-dB
};

bool RowSearch::search(ReceiverKind receiver) {
    const auto above = [&](const PointResult& p) {
        return receiver_rate(p, receiver, Metric::decoded) >= row_.ber;
    };
    const PointResult* p = nullptr;
    double x = row_.snr3k;
    if (!point(x, p)) return false;
    // Step until the target is bracketed by [a, b]: a at or above it, b below it.
    const bool start_above = above(*p);
    double a = x, b = x;
    bool bracketed = false;
    while (!bracketed) {
        const double next = start_above ? std::min(x + config_.step, config_.highest)
                                        : std::max(x - config_.step, config_.lowest);
        if (next == x) break;  // the end of the range: the crossing is a bound
        x = next;
        if (!point(x, p)) return false;
        if (above(*p) != start_above) {
            bracketed = true;
            (start_above ? b : a) = x;
        } else {
            (start_above ? a : b) = x;
        }
    }
    while (bracketed && b - a > config_.resolution + 1e-9) {
        const double m = std::round((a + b) / 2 * 1000) / 1000;
        if (!point(m, p)) return false;
        (above(*p) ? a : b) = m;
    }
    return !bracketed || interval_ends(receiver);
}

// The interval's ends lie outside the bracket: a point a step further out where the points so far
// do not bracket an end (at most kIntervalSteps a side, to bound the cost; an end still open is
// reported as a bound). False when interrupted.
bool RowSearch::interval_ends(ReceiverKind receiver) {
    constexpr int kIntervalSteps = 2;
    for (int lower = 0, upper = 0;;) {
        std::vector<PointResult> sofar;
        for (const auto& [key, q] : measured_) sofar.push_back(q);
        const RequirementOutcome o = read_outcome(sofar, receiver, row_.ber, row_.snr3k);
        double next = 0;
        if (o.low.kind == Crossing::Kind::below_from_start && o.low.x > config_.lowest &&
            lower < kIntervalSteps) {
            next = std::max(o.low.x - config_.step, config_.lowest);
            ++lower;
        } else if (o.high.kind == Crossing::Kind::not_reached && o.high.x < config_.highest &&
                   upper < kIntervalSteps) {
            next = std::min(o.high.x + config_.step, config_.highest);
            ++upper;
        } else {
            return true;
        }
        const PointResult* p = nullptr;
        if (!point(next, p)) return false;
    }
}

std::vector<std::size_t> chosen_rows(const RequirementsConfig& config) {
    std::vector<std::size_t> rows = config.rows;
    if (rows.empty()) {
        for (std::size_t i = 0; i < requirement_rows().size(); ++i) rows.push_back(i);
    }
    return rows;
}

}  // namespace

int fit_requirements_threads(const RequirementsConfig& config, double maxMemory, int sharing,
                             std::string* notes, const FieldNames& names) {
    int threads = 0;
    for (const std::size_t i : chosen_rows(config)) {
        const RequirementRow& row = requirement_rows()[i];
        const int t = fit_threads(requirement_point_config(config, row, row.snr3k), maxMemory,
                                  sharing, notes, names);
        threads = threads == 0 ? t : std::min(threads, t);
    }
    return threads;
}

SweepParameters requirements_parameters(const RequirementsConfig& config,
                                        const std::string& version) {
    const std::vector<std::size_t> rows = chosen_rows(config);
    const RequirementRow& first = requirement_rows()[rows.front()];
    SweepParameters parameters;
    // The points' own settings but those of a row (rate, channel, SNR, its interleaver, blocks).
    for (auto& [name, value] :
         sweep_parameters(requirement_point_config(config, first, first.snr3k), version)) {
        if (name != "rates" && name != "conditions" && name != "esno" && name != "interLen" &&
            name != "nFrame") {
            parameters.emplace_back(name, value);
        }
    }
    std::string list;
    for (const std::size_t i : rows) {
        if (!list.empty()) list += ',';
        list += std::to_string(i);
    }
    parameters.insert(parameters.begin() + 1, {{"table", "minimum performance"},
                                               {"rows", list},
                                               {"interLen", format_value(config.interLen)},
                                               {"nFrame", format_value(config.nFrame)},
                                               {"resolution", format_value(config.resolution)},
                                               {"step", format_value(config.step)},
                                               {"lowest", format_value(config.lowest)},
                                               {"highest", format_value(config.highest)}});
    return parameters;
}

std::unique_ptr<Journal> requirements_journal(const std::string& file,
                                              const RequirementsConfig& config,
                                              const std::string& version, const FieldNames& names) {
    const std::vector<std::size_t> rows = chosen_rows(config);
    // A record is a trial of a point of one of the rows, within the search's range.
    RecordCheck check = [config, rows](const KnownTrial& k) -> std::string {
        const std::int64_t index = k.ticket.point / kRowPoints;
        const double snr3k = static_cast<double>(k.ticket.point % kRowPoints + kLowestMilli) / 1000;
        if (k.ticket.point < 0 ||
            std::find(rows.begin(), rows.end(), static_cast<std::size_t>(index)) == rows.end() ||
            !(snr3k >= config.lowest && snr3k <= config.highest)) {
            return "point " + std::to_string(k.ticket.point) + " is not one of the rows' points";
        }
        const SweepConfig c = requirement_point_config(config, requirement_rows()[index], snr3k);
        KnownTrial own = k;
        own.ticket.point = 0;
        return impossible_record(own, c, 1, trial_size(c, c.rates[0]));
    };
    return std::make_unique<Journal>(file, requirements_parameters(config, version), check, names);
}

RequirementsResult run_requirements(const RequirementsConfig& config, const RowRunners& runners,
                                    std::atomic<bool>* interrupt,
                                    const RequirementsProgress& progress, Journal* journal,
                                    RemotePoints* remote) {
    const auto start = std::chrono::steady_clock::now();
    RequirementsResult result;
    RequirementsJournal known{journal, {}, {}};
    if (journal != nullptr) {
        for (KnownTrial& k : journal->take_known()) {
            const std::int64_t number = k.ticket.point;
            k.ticket.point = 0;
            known.known[number].push_back(k);
        }
    }
    for (const std::size_t index : chosen_rows(config)) {
        RowSearch search(config, index, runners, interrupt, progress, known, remote);
        bool complete = true;
        for (const ReceiverKind receiver : config.receivers) {
            complete = complete && search.search(receiver);
        }
        // An interrupted row keeps the points it measured, marked incomplete.
        if (complete || !search.empty()) result.rows.push_back(search.result(complete));
        if (!complete || (interrupt != nullptr && interrupt->load())) {
            result.interrupted = true;
            break;
        }
    }
    result.journalFailure = known.failure;
    result.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

const char* row_verdict(const RequirementRowResult& rr, const RequirementOutcome& o) {
    return rr.complete ? verdict_text(o.verdict) : "incomplete";
}

namespace {

std::string interval_text(const RequirementOutcome& o) {
    return crossing_text(o.low) + ".." + crossing_text(o.high);
}

void write_parameters(std::ostream& out, const RequirementsConfig& config,
                      const std::string& prefix) {
    const RequirementsConfig& c = config;
    const StopRule& stop = config.stop;
    out << prefix << "interleaver " << format_value(c.interLen)
        << " s (4800 bit/s: 0.6 s, its only frame)\n";
    out << prefix << "receivers";
    for (const ReceiverKind r : c.receivers) out << ' ' << receiver_name(r);
    out << "\n"
        << prefix << "stop rule per point: at least " << stop.minTrials << " trials, then "
        << stop.minEvents << " trials with a wrong decoded bit of " << receiver_name(c.receivers[0])
        << (stop.stopOn == StopOn::all ? " (of every receiver)" : "") << " and " << stop.minErrors
        << " wrong bits, or " << stop.maxBits << " information bits\n";
    out << prefix << "search: from the required SNR in steps of " << format_value(config.step)
        << " dB within " << format_value(config.lowest) << " to " << format_value(config.highest)
        << " dB until the target is bracketed, then bisection to "
        << format_value(config.resolution) << " dB\n";
    out << prefix << "seed " << c.seed << " (trial seeds from seed, rate, channel, Es/N0, trial)\n";
}

}  // namespace

void write_requirements_table(std::ostream& out, const RequirementsConfig& config,
                              const RequirementsResult& result, const std::string& version) {
    out << "# hfchain " << version << " minimum-performance table"
        << (result.interrupted ? " INTERRUPTED" : "") << '\n';
    write_parameters(out, config, "# ");
    out << "# SNRs in dB in 3 kHz; measured: where the decoded information-bit error rate crosses "
           "the target (log-linear between the bracketing points; '<= X': fell to no error by X, "
           "'> X': still above at X, '< X': below from X); ci95: where the points' 95 % "
           "intervals cross it; margin = required - measured; '*' after measured: it rests on a "
           "point whose interval rests on fewer than "
        << kFewEvents << " trials with a wrong bit, too few to be trusted\n";
    for (const RequirementRowResult& rr : result.rows) {
        if (!rr.complete) {
            out << "# row " << rr.index
                << " incomplete: its search was interrupted; measured and ci95 are read off the "
                << rr.points.size() << " points it finished\n";
        }
    }
    out << "# wall time " << one_decimal(result.wallSeconds) << " s\n";
    char line[512];
    std::snprintf(line, sizeof line, "%-3s %5s %-13s %5s %-8s %-5s %8s %9s %-15s %7s %-22s %s\n",
                  "row", "rate", "channel", "inter", "receiver", "ber", "required", "measured",
                  "ci95", "margin", "verdict", "points");
    out << line;
    for (const RequirementRowResult& rr : result.rows) {
        const RequirementRow& row = requirement_rows()[rr.index];
        for (const RequirementOutcome& o : rr.receivers) {
            std::snprintf(line, sizeof line,
                          "%-3zu %5.0f %-13s %5s %-8s %-5s %8s %9s %-15s %7s %-22s %zu\n", rr.index,
                          row.rate, row.channel.c_str(), format_value(rr.interLen).c_str(),
                          receiver_name(o.receiver), target_text(row.ber).c_str(),
                          one_decimal(row.snr3k).c_str(),
                          (crossing_text(o.measured) + (o.fewEvents ? "*" : "")).c_str(),
                          interval_text(o).c_str(), margin_text(o, row.snr3k).c_str(),
                          row_verdict(rr, o), rr.points.size());
            out << line;
        }
    }
}

void write_requirements_csv(std::ostream& out, const RequirementsConfig& config,
                            const RequirementsResult& result) {
    (void)config;
    out << "row,rate,channel,interleaver,receiver,target_ber,required_snr3k_db,measured_snr3k_db,"
           "ci95_low_snr3k_db,ci95_high_snr3k_db,margin_db,verdict,points,few_events\n";
    for (const RequirementRowResult& rr : result.rows) {
        const RequirementRow& row = requirement_rows()[rr.index];
        for (const RequirementOutcome& o : rr.receivers) {
            out << rr.index << ',' << format_value(row.rate) << ',' << row.channel << ','
                << format_value(rr.interLen) << ',' << receiver_name(o.receiver) << ','
                << target_text(row.ber) << ',' << format_value(row.snr3k) << ','
                << crossing_text(o.measured) << ',' << crossing_text(o.low) << ','
                << crossing_text(o.high) << ',' << margin_text(o, row.snr3k) << ','
                << row_verdict(rr, o) << ',' << rr.points.size() << ',' << (o.fewEvents ? 1 : 0)
                << '\n';
        }
    }
}

namespace {

// A level of a row in the JSON: `, "NAME": X, "NAME_relation": "=", "NAME_text": "X"` with the
// level in dB as a number (null where `crossing` has none), how the quantity stands to it ("=",
// or a bound: "<", "<=", ">", ">=") and the text the table shows. `margin`: the level is the
// required SNR minus the crossing, which turns a bound's relation round.
std::string json_level(const char* name, const Crossing& crossing, double level,
                       const std::string& text, bool margin = false) {
    const char* relation = nullptr;
    switch (crossing.kind) {
        case Crossing::Kind::at:
            relation = "=";
            break;
        case Crossing::Kind::below_from_start:
            relation = margin ? ">" : "<";
            break;
        case Crossing::Kind::fell_to_zero:
            relation = margin ? ">=" : "<=";
            break;
        case Crossing::Kind::not_reached:
            relation = margin ? "<" : ">";
            break;
        case Crossing::Kind::none:
            break;
    }
    const std::string field = std::string(", \"") + name;
    return field + "\": " + (relation != nullptr ? number(level) : std::string("null")) + field +
           "_relation\": " + (relation != nullptr ? json_quote(relation) : std::string("null")) +
           field + "_text\": " + json_quote(text);
}

}  // namespace

void write_requirements_json(std::ostream& out, const RequirementsConfig& config,
                             const RequirementsResult& result, const std::string& version) {
    const RequirementsConfig& c = config;
    const StopRule& stop = config.stop;
    out << "{\n  \"version\": " << json_quote(version) << ",\n  \"parameters\": {"
        << "\"interleaver\": " << number(c.interLen) << ", \"receivers\": [";
    for (std::size_t i = 0; i < c.receivers.size(); ++i) {
        out << (i ? ", " : "") << json_quote(receiver_name(c.receivers[i]));
    }
    out << "], \"min_trials\": " << stop.minTrials << ", \"min_events\": " << stop.minEvents
        << ", \"min_errors\": " << stop.minErrors << ", \"max_bits\": " << stop.maxBits
        << ", \"stop_on\": " << json_quote(stop_on_name(stop.stopOn)) << ", \"seed\": " << c.seed
        << ", \"resolution_db\": " << number(config.resolution)
        << ", \"step_db\": " << number(config.step)
        << ", \"lowest_snr3k_db\": " << number(config.lowest)
        << ", \"highest_snr3k_db\": " << number(config.highest)
        << "},\n  \"interrupted\": " << (result.interrupted ? "true" : "false")
        << ",\n  \"wall_seconds\": " << number(result.wallSeconds) << ",\n  \"rows\": [";
    for (std::size_t k = 0; k < result.rows.size(); ++k) {
        const RequirementRowResult& rr = result.rows[k];
        const RequirementRow& row = requirement_rows()[rr.index];
        out << (k ? "," : "") << "\n    {\"row\": " << rr.index
            << ", \"rate\": " << number(row.rate) << ", \"channel\": " << json_quote(row.channel)
            << ", \"interleaver\": " << number(rr.interLen)
            << ", \"target_ber\": " << number(row.ber)
            << ", \"required_snr3k_db\": " << number(row.snr3k) << ",\n     \"receivers\": [";
        for (std::size_t i = 0; i < rr.receivers.size(); ++i) {
            const RequirementOutcome& o = rr.receivers[i];
            out << (i ? ", " : "") << "{\"receiver\": " << json_quote(receiver_name(o.receiver))
                << json_level("measured", o.measured, o.measured.x, crossing_text(o.measured))
                << json_level("ci95_low", o.low, o.low.x, crossing_text(o.low))
                << json_level("ci95_high", o.high, o.high.x, crossing_text(o.high))
                << json_level("margin", o.measured, row.snr3k - o.measured.x,
                              margin_text(o, row.snr3k), true)
                << ", \"verdict\": " << json_quote(row_verdict(rr, o))
                << ", \"few_events\": " << (o.fewEvents ? 1 : 0) << '}';
        }
        out << "],\n     \"points\": [";
        for (std::size_t i = 0; i < rr.points.size(); ++i) {
            const PointResult& p = rr.points[i];
            out << (i ? "," : "") << "\n       {\"snr3k_db\": " << number(snr3k_of_esno(p.esno))
                << ", \"esno_db\": " << number(p.esno) << ", \"trials\": " << p.trials
                << ", \"sync_misses\": " << p.syncMisses;
            for (const ReceiverKind r : c.receivers) {
                const ReceiverCounts& n = p.of(r);
                const Interval ci = receiver_interval(p, r, Metric::decoded);
                out << ", " << json_quote(receiver_name(r)) << ": {\"info_bits\": " << n.infoBits
                    << ", \"info_errors\": " << n.infoErrors
                    << ", \"ber\": " << number(receiver_rate(p, r, Metric::decoded))
                    << ", \"ci95_low\": " << number(ci.low)
                    << ", \"ci95_high\": " << number(ci.high) << ", \"few_events\": "
                    << (rests_on_few_events(receiver_events(p, r, Metric::decoded)) ? 1 : 0) << '}';
            }
            out << '}';
        }
        out << "]}";
    }
    out << "\n  ]\n}\n";
}

}  // namespace hfchain::sweep
