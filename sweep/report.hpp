// Reporting a sweep: the aligned table (with its `#` header), CSV, JSON and the gnuplot picture.
#pragma once

#include <ostream>
#include <string>

#include "sweep/config.hpp"
#include "sweep/engine.hpp"

namespace hfchain::sweep {

// The `#` lines recording the version and every parameter, then a column line, then one numeric
// line per point: Octave's `load` reads the table as a matrix. Column 1 is the condition's number
// in the list the header gives (1 = first condition of the sweep). Columns:
//   cond esno_db snr3k_db trials coded_bits info_bits blocks sync_misses, then for each receiver
//   R of the sweep, in its order, R_coded_errors R_coded_ber R_info_errors R_ber R_ci95_low
//   R_ci95_high R_block_errors R_bler, and seconds last. R_ci95_low and R_ci95_high bound R_ber
// by its 95 % interval over the trials (sweep/interval.hpp). The header names the fields of the
// stop rule's metric and receivers through `names`.
void write_table(std::ostream& out, const SweepConfig& config, const SweepResult& result,
                 const std::string& version, const FieldNames& names = {});

// CSV with a header row, the table's columns with the stop rule's error events after
// sync_misses; the condition by name, the stop reason as a last column.
void write_csv(std::ostream& out, const SweepConfig& config, const SweepResult& result);

// JSON: {"version", "parameters": {...}, "interrupted", "points": [{...}, ...]}; each point
// carries the stop rule's bits, errors, error events, rate and interval, and "receivers":
// {"hf": {...}, ...} with each one's counts, decoded rate, its interval and error trials.
void write_json(std::ostream& out, const SweepConfig& config, const SweepResult& result,
                const std::string& version);

// Draws the error rate of the sweep's metric (decoded information bits, or coded bits) against
// SNR in 3 kHz (`snr3kAxis`) or Es/N0 on a logarithmic axis, with gnuplot: one curve per
// condition and receiver with its 95 % bars, the colour telling the condition and the dash and
// marker the receiver, each stated once in a key beside the plot; a run of points without errors
// is one downward triangle at its first point's upper 95 % bound; the dotted grey curve is the
// theoretical coded-bit error rate of Gray-coded 8-PSK on white noise (for decoded curves it marks
// the channel bits before decoding; the decoded reference on white noise is the simulated awgn
// condition, so labelled once). The terminal follows the extension (.svg or .png). The file is
// replaced whole or not at all. Messages name the file `name` ("--plot"). Raises
// errid::kWriteFailed when gnuplot fails or the picture cannot be written.
void plot_sweep(const std::string& file, const std::string& name, const SweepConfig& config,
                const SweepResult& result, bool snr3kAxis);

// The gnuplot script plot_sweep feeds to gnuplot (data inline), drawing into `output` (default:
// `file`, which chooses the terminal). The same configuration and result give the same script.
std::string sweep_plot_script(const std::string& file, const SweepConfig& config,
                              const SweepResult& result, bool snr3kAxis,
                              const std::string& output = {});

// True when the plot program can be started.
bool gnuplot_available();

// Runs gnuplot on `script`; raises errid::kWriteFailed with `what` when it cannot start or fails.
void run_gnuplot(const std::string& script, const std::string& what);

// Raises errid::kWriteFailed with `what` unless the file `written` ends like a whole SVG or PNG
// picture.
void check_picture(const std::string& written, const std::string& what);

// A string as a JSON string: quotes and backslashes escaped, control characters as \u00XX.
std::string json_quote(const std::string& s);

// A string as a gnuplot single-quoted literal.
std::string gnuplot_quote(const std::string& s);

}  // namespace hfchain::sweep
