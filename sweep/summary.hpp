// A sweep's results for people on a terminal: a compact table of the points (about 100 columns
// for two receivers) and the summary of where each curve crosses its target rates. The full
// table for machines is write_table (sweep/report.hpp).
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "sweep/config.hpp"
#include "sweep/engine.hpp"

namespace hfchain::sweep {

// A few lines of what was swept (rates, interleaver, blocks per trial, the stop rule, the wall
// time), then one line per point:
//   condition  SNR3k  trials | for each receiver: BER, its 95 % interval, blocks wrong | stop
// with the data rate after the condition when shows_rate(config). The error rate is the stop
// rule's metric (decoded information bits, or coded bits) of each receiver; an interval resting
// on few error events ends with "*"; a point without bits shows "-". SNR3k is the SNR in 3 kHz
// (Es/N0 when the points were given as such and `snr3kAxis` is false). `names` names the stop
// rule's fields as the caller's users know them.
void write_compact_table(std::ostream& out, const SweepConfig& config, const SweepResult& result,
                         const std::string& version, bool snr3kAxis, const FieldNames& names = {});

// The crossings of `targets` (crossing_table) as aligned columns under a short legend, the
// condition first: what users read of a sweep, each receiver's SNR at 1e-3 and 1e-5 and its gap
// to the genie.
void write_crossings_summary(std::ostream& out, const SweepConfig& config,
                             const SweepResult& result, const std::vector<double>& targets,
                             bool snr3kAxis);

// An acquisition sweep's (Metric::acquisition) in place of the two above: the compact table of
// its points (the right share and its interval, wrong mode, missed; on noise alone the false
// detections per hour and its interval), then for each rate and condition the SNR at which the
// right share falls to 99 % and to 90 % (interpolated between the bracketing points, scanning
// down from the highest; "<= X" when it never falls by the lowest point X, "> X" when it is
// below already at the highest). Trials of noise alone have no such summary.
void write_acquisition_table(std::ostream& out, const SweepConfig& config,
                             const SweepResult& result, const std::string& version, bool snr3kAxis);
void write_acquisition_summary(std::ostream& out, const SweepConfig& config,
                               const SweepResult& result, bool snr3kAxis);

// The SNR (or Es/N0, by `snr3kAxis`) as the summary gives it at which a curve's right share
// falls to `share` (above): `points` of one rate and condition, in any order.
std::string share_crossing(const std::vector<const PointResult*>& points, double share,
                           bool snr3kAxis);

// The targets of the summary when none are given: 1e-3 and 1e-5.
std::vector<double> default_targets();

// `text` broken into lines of at most `width` characters at spaces (a longer word stands alone),
// each line ending in a newline.
std::string wrapped(const std::string& text, std::size_t width);

}  // namespace hfchain::sweep
