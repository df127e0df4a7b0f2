// The waveform's minimum-performance table: for each row (a data rate, a channel, an SNR in 3 kHz
// and the decoded bit error rate the modem must reach there) and each receiver, the SNR at which
// the receiver's decoded information-bit error rate crosses the row's target, found by searching
// the SNR axis, with its 95 % interval, the margin to the requirement and a verdict.
//
// The search. Every point it measures is a sweep point of its own (run_sweep with one rate, one
// channel and one Es/N0), so its trials draw the seeds of (seed, rate, channel, Es/N0, trial)
// exactly as in a sweep, and a point equals the sweep's point at the same Es/N0 and stop rule.
// For one receiver: the first point is the required SNR; while the rate is at or above the target
// the search steps up by `step` dB, while it is below it steps down, until the target is
// bracketed (a point at or above it next to one below it) or the search range [lowest, highest]
// is exhausted; then it bisects the bracket until it is at most `resolution` dB wide. The points
// of a row are shared by its receivers (every point runs them all on the same signals), so a
// receiver's search reuses the points another one measured.
//
// The crossing. Over all the row's points, in ascending SNR, it is read as a sweep's crossing is
// (sweep/crossings.hpp): a straight line in log10(rate) between the first bracketing pair. A
// point below the target without any error cannot be interpolated to: the crossing is then "<= X"
// (at or below that point, which is at most `resolution` dB past the last point above the target
// once the search has bisected). Its 95 % interval is read the same way off the points' 95 %
// intervals over trials (sweep/interval.hpp): the lower end where the intervals' lower bounds
// cross the target (among the points up to the crossing's bracket), the upper end where their
// upper bounds last cross it, so that on a curve that is not monotone within its noise the
// interval still holds the crossing and every place the curve may cross. The points are those the
// search chose for the rate itself, so an end whose bound curve is not bracketed by them is
// reported as a bound ("> X", "< X") rather than extrapolated; and a point's interval describes
// that point only: the interval of the crossing ignores the error of the straight-line
// interpolation, small next to the intervals once the bracket is `resolution` wide.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "sweep/config.hpp"
#include "sweep/crossings.hpp"
#include "sweep/engine.hpp"
#include "sweep/journal.hpp"

namespace hfchain::sweep {

// One row of the table: the data rate (bit/s), the channel as a sweep condition (a written
// channel in its canonical spelling, channel/channel_text.hpp), the SNR in 3 kHz (dB) at which
// the decoded information-bit error rate must reach `ber`.
struct RequirementRow {
    double rate = 2400;
    std::string channel;
    double snr3k = 0;
    double ber = 1e-5;
};

// The table's eleven rows, from 4800 down to 75 bit/s; one fixed path is "1p:0ms:0Hz", two equal
// Watterson paths D ms apart with a Doppler spread of S Hz "2p:Dms:SHz".
const std::vector<RequirementRow>& requirement_rows();

// The interleaver a row runs with when `interLen` is asked for: `interLen`, or the short one at a
// rate that has only that one (4800 bit/s).
double row_interleaver(const RequirementRow& row, double interLen);

struct RequirementsConfig {
    // What every point runs with; the rest of its sweep configuration is its row's
    // (requirement_point_config).
    double interLen = 4.8;  // the interleaver (row_interleaver)
    double nFrame = 0;      // blocks per trial; 0: each rate's default
    VarShapping shaping;
    std::vector<ReceiverKind> receivers{ReceiverKind::hf, ReceiverKind::genie};  // each one's
                                                                                 // crossing
    StopRule stop;  // its metric is always the decoded bits
    std::uint32_t seed = 1;
    int threads = 0;
    std::vector<std::size_t> rows;  // indices into requirement_rows(), in order; empty: all
    double resolution = 0.3;        // dB: the bisection stops at a bracket this wide
    double step = 2;                // dB: the steps that look for a bracket
    double lowest = -10;            // dB SNR(3 kHz): the search range
    double highest = 40;
};

// The table's settings of the program and of Python: the long interleaver, the HF receiver and
// the genie, and each point's budget (at least 20 trials, then 100 error events or 400000 bits).
RequirementsConfig requirements_defaults();

// Checks `config`: the rows (known, each once), resolution above 0 and at most the step, step
// from 0.1 to 20 dB, the range (lowest below highest, each from -50 to 100 dB and holding every
// row's required SNR), and the sweep configuration of every row's point (the receivers at the
// row's rate, the hf receiver's reach on the row's channel: check_config). Raises
// errid::kInvalidConfig naming the field through `names` ("rows", "resolution", "step",
// "lowest", "highest", or the sweep's fields).
void check_requirements(const RequirementsConfig& config, const FieldNames& names = {});

// The sweep configuration of one point of `row` at SNR(3 kHz) `snr3k` dB.
SweepConfig requirement_point_config(const RequirementsConfig& config, const RequirementRow& row,
                                     double snr3k);

// The worker threads that fit the largest of the chosen rows' points (each point is a sweep) in
// memory_limit(maxMemory), shared by `sharing` processes on this machine: fit_threads over every
// row's point, the fewest kept. Its notes and errors are fit_threads'.
int fit_requirements_threads(const RequirementsConfig& config, double maxMemory, int sharing,
                             std::string* notes, const FieldNames& names = {});

enum class Verdict {
    pass,         // the crossing is at or below the required SNR, and so is its interval
    pass_within,  // at or below it, but the interval reaches above it
    fail_within,  // above it, but the interval reaches down to it
    fail,         // above it, and so is its interval
    undecided,    // the search could not place the crossing on either side
};
const char* verdict_text(Verdict verdict);

// One receiver's result on one row.
struct RequirementOutcome {
    ReceiverKind receiver = ReceiverKind::hf;
    Crossing measured;  // SNR(3 kHz) at which the rate crosses the target
    Crossing low;       // where the 95 % intervals' lower bounds cross it (the interval's low end)
    Crossing high;      // where their upper bounds cross it (the interval's high end)
    Verdict verdict = Verdict::undecided;
    bool fewEvents = false;  // `measured` rests on a point whose interval rests on few events
};

// The margin, required SNR minus measured, as text: "1.3", or a bound ("> 2.0") when the crossing
// is one; "-" without a crossing.
std::string margin_text(const RequirementOutcome& outcome, double required);

struct RequirementRowResult {
    std::size_t index = 0;                      // into requirement_rows()
    double interLen = 4.8;                      // the interleaver the row ran with
    std::vector<PointResult> points;            // every point measured, by ascending SNR
    std::vector<RequirementOutcome> receivers;  // in the order of the configuration's receivers
    bool complete = true;  // false: its search was interrupted; read off the points it has
};

struct RequirementsResult {
    // Those searched (all unless interrupted; the last one then incomplete when it had points).
    std::vector<RequirementRowResult> rows;
    bool interrupted = false;
    std::string journalFailure;  // the first failure to write the journal, or empty
    double wallSeconds = 0;
};

// The verdict column: an interrupted row's search may have stopped short of its crossing, so it
// gets no verdict ("incomplete"), whatever its points show.
const char* row_verdict(const RequirementRowResult& rr, const RequirementOutcome& o);

// The verdict of `outcome`'s crossings against `required` dB.
Verdict judge(const Crossing& measured, const Crossing& low, const Crossing& high, double required);

// The last crossing of `target` by `rate` at the ascending points `x`: as find_crossing() but
// taking the last bracketing pair of points with errors instead of the first (the same bounds
// when no pair brackets it).
Crossing last_crossing(const std::vector<double>& x, const std::vector<double>& rate,
                       double target);

// Reads a row's crossing, its interval and the verdict for `receiver` off its points (any order).
RequirementOutcome read_outcome(const std::vector<PointResult>& points, ReceiverKind receiver,
                                double target, double required);

// Makes the trial runners of one row's points (road_trial_runners for the real road; tests pass
// fakes).
using RowRunners = std::function<TrialRunnerFactory(const SweepConfig& pointConfig)>;

// Workers outside this process that serve the points one after another (the other ranks of an
// MPI job). Every call is made from the thread that runs run_requirements().
class RemotePoints {
public:
    virtual ~RemotePoints() = default;
    // The workers of the point of row `index` (into requirement_rows()) at SNR(3 kHz) `snr3k`,
    // told which point it is; they serve its sweep until their poll() returns false.
    virtual RemoteWorkers* point(std::size_t index, double snr3k) = 0;
};

// Called after every point with the row, its SNR(3 kHz) and the point's result.
using RequirementsProgress =
    std::function<void(const RequirementRow& row, double snr3k, const PointResult& point)>;

// Runs the search of every row and receiver of `config` (checked by the caller). Stops early when
// `interrupt` becomes true: the rows finished are returned, and the one interrupted with the
// points it measured, marked incomplete; the result is marked interrupted. With `journal`
// (requirements_journal) every finished trial is appended to it and the trials it read back are
// counted as if they had just run, so that the same table comes out as from an uninterrupted run;
// a journal that cannot be written stops the run as `interrupt` would. With `remote`, every
// point's trials are shared with the workers it gives; the table is the same. Errors: those of
// run_sweep.
RequirementsResult run_requirements(const RequirementsConfig& config, const RowRunners& runners,
                                    std::atomic<bool>* interrupt,
                                    const RequirementsProgress& progress = {},
                                    Journal* journal = nullptr, RemotePoints* remote = nullptr);

// The parameters that decide the table, for its journal's header: the version, the rows, the
// search and the points' settings.
SweepParameters requirements_parameters(const RequirementsConfig& config,
                                        const std::string& version);

// The checkpoint journal of the table (a sweep's journal, journal.hpp): a point is numbered by
// its row and its SNR (row x 1000000 + SNR in milli-dB + 100000), so that a resumed run finds each
// point's trials whatever the search measured before it. Refuses, as a sweep's, a journal of
// other parameters or a record no point of the rows can have written.
std::unique_ptr<Journal> requirements_journal(const std::string& file,
                                              const RequirementsConfig& config,
                                              const std::string& version,
                                              const FieldNames& names = {});

// The table: `#` lines (version, parameters, the method), then one line per row and receiver:
//   row rate channel interleaver receiver ber required measured ci95 margin verdict points
// SNRs in dB in 3 kHz; ci95 "LOW..HIGH"; a measured crossing resting on a point whose interval
// rests on few error events ends with "*".
void write_requirements_table(std::ostream& out, const RequirementsConfig& config,
                              const RequirementsResult& result, const std::string& version);

// CSV with a header row: row,rate,channel,interleaver,receiver,target_ber,required_snr3k_db,
// measured_snr3k_db,ci95_low_snr3k_db,ci95_high_snr3k_db,margin_db,verdict,points,few_events; a
// crossing that is a bound keeps its mark ("> 30.0"); few_events is 1 when the measured crossing
// rests on a point whose interval rests on few error events.
void write_requirements_csv(std::ostream& out, const RequirementsConfig& config,
                            const RequirementsResult& result);

// JSON: {"version", "parameters", "interrupted", "rows": [{row, rate, channel, interleaver,
// target_ber, required_snr3k_db, "receivers": [{receiver, measured, ci95_low, ci95_high, margin,
// verdict, few_events}], "points": [{snr3k_db, esno_db, trials, sync_misses, "R": {info_bits,
// info_errors, ber, ci95_low, ci95_high, few_events}}]}]}. Each crossing (measured, ci95_low,
// ci95_high, in dB SNR(3 kHz)) and the margin is a number (null without one) with two fields
// beside it: NAME_relation, "=" or the bound's "<", "<=", ">", ">=" (null without one), and
// NAME_text, the table's text ("> 30.0", "-"); few_events 1 or 0 as in the CSV and the sweep's
// outputs.
void write_requirements_json(std::ostream& out, const RequirementsConfig& config,
                             const RequirementsResult& result, const std::string& version);

}  // namespace hfchain::sweep
