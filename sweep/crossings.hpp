// Where an error-rate curve falls to a target rate: the SNR (or Es/N0) of 1e-3 or 1e-5, read off a
// sweep's points, for each condition and receiver, and the gap of each receiver to the genie.
//
// The crossing is interpolated by a straight line in log10(rate) between the first two measured
// points that bracket the target (the first at or above it, the next below it; points without
// errors are passed over, as log10(0) is no number). When no pair brackets it:
//   "< X"   the curve is below the target from its first point X on;
//   "<= X"  it fell from above the target to no error at all by X;
//   "> X"   it never fell below the target up to its last point X;
//   "-"     there are no points.
// A crossing resting on a point whose interval rests on few error events (sweep/interval.hpp) is
// marked with a "*" in the crossing table ("7.7*", "<= 8.0*").
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "sweep/config.hpp"
#include "sweep/engine.hpp"

namespace hfchain::sweep {

struct Crossing {
    enum class Kind { at, below_from_start, fell_to_zero, not_reached, none };
    Kind kind = Kind::none;
    double x = 0;  // the crossing (Kind::at) or the point X of the bound
    // The points it rests on (indices of x): the bracket's two points, or the point X.
    std::size_t first = 0;
    std::size_t last = 0;
};

// The crossing of `target` (> 0) by the rates `rate` (>= 0) at the ascending points `x` (dB); the
// two lists pair element by element (the shorter decides).
Crossing find_crossing(const std::vector<double>& x, const std::vector<double>& rate,
                       double target);

// True when `crossing`, found on the rates of `receiver` at `points` (in the order of its x),
// rests on a point whose interval over trials of `metric` rests on few error events.
bool rests_on_few_events(const Crossing& crossing, const std::vector<const PointResult*>& points,
                         ReceiverKind receiver, Metric metric);

// "9.4", "< 6.0", "<= 12.0", "> 16.0" or "-" (one decimal).
std::string crossing_text(const Crossing& crossing);

// A level in dB with one decimal as the tables show it: "-0.3", "0.0" (never "-0.0").
std::string one_decimal(double v);

// A target rate as the table heads it: "1e-3", "2.5e-4".
std::string target_text(double target);

// One line saying what the crossing table holds (axis, metric, the bounds' marks, the mark of
// few error events), for a table's header.
std::string crossings_legend(const SweepConfig& config, bool snr3kAxis);

// One receiver's crossing of one target on the points of one rate and condition, as the crossing
// table shows it.
struct CrossingEntry {
    double dataRate = 2400;  // bit/s
    std::string condition;
    double target = 0;
    ReceiverKind receiver = ReceiverKind::hf;
    Crossing crossing;       // on the axis asked for (SNR in 3 kHz or Es/N0)
    bool fewEvents = false;  // it rests on a point whose interval rests on few error events
    // Beside the genie: the crossing minus the genie's in dB, where both are interpolated; marked
    // as resting on few error events when either crossing is.
    std::optional<double> gap;
    bool gapFewEvents = false;
};

// Every entry of the crossing table: by rate and condition of `config` with points in `result`
// (rate-major), then by target, then by receiver in the order of config.receivers.
std::vector<CrossingEntry> crossing_entries(const SweepConfig& config, const SweepResult& result,
                                            const std::vector<double>& targets, bool snr3kAxis);

// The crossing table's cells: the head, and one row per rate and condition of `config` with points
// in `result` (rate-major). The first `keys` cells of the head and of each row name the row (the
// rate in bit/s when shows_rate(config), the condition); then for each target in turn, each
// receiver's crossing of its rate of the metric against SNR in 3 kHz (`snr3kAxis`) or Es/N0
// ("hf @1e-3"), and, when the genie runs beside other receivers, each one's gap to it in dB (its
// crossing minus the genie's, where both are interpolated; "gap" alone for one receiver, "R gap"
// for several). A crossing resting on a point whose interval rests on few error events, and a
// gap from such a crossing, end with "*".
struct CrossingTable {
    std::size_t keys = 1;
    std::vector<std::string> head;
    std::vector<std::vector<std::string>> rows;
};
CrossingTable crossing_table(const SweepConfig& config, const SweepResult& result,
                             const std::vector<double>& targets, bool snr3kAxis);

// The crossing table (crossing_table) in Markdown, with the interleaver before the other cells:
//   | interleaver | condition | hf @1e-3 | genie @1e-3 | gap | hf @1e-5 | ... |
// Every line starts with `prefix` ("# " inside a table).
void write_crossings(std::ostream& out, const SweepConfig& config, const SweepResult& result,
                     const std::vector<double>& targets, bool snr3kAxis,
                     const std::string& prefix = {});

}  // namespace hfchain::sweep
