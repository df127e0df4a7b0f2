// Reporting a sweep: the aligned table (with its `#` header), CSV, JSON and the gnuplot picture.
#pragma once

#include <ostream>
#include <string>

#include "apps/options.hpp"
#include "apps/sweep.hpp"

namespace hfchain::app {

// The `#` lines recording the version and every parameter, then a column line, then one numeric
// line per point: Octave's `load` reads the table as a matrix. Column 1 is the condition's number
// in the list the header gives (1 = first condition of the sweep). Columns:
//   cond esno_db snr3k_db trials coded_bits info_bits blocks sync_misses, then for each receiver
//   R of the sweep, in its order, R_coded_errors R_coded_ber R_info_errors R_ber R_ci95_low
//   R_ci95_high R_block_errors R_bler, and seconds last.
void write_table(std::ostream& out, const SweepOptions& options, const SweepResult& result,
                 const std::string& version);

// CSV with a header row, the table's columns; the condition by name, the stop reason as a last
// column.
void write_csv(std::ostream& out, const SweepOptions& options, const SweepResult& result);

// JSON: {"version", "parameters": {...}, "interrupted", "points": [{...}, ...]}; each point
// carries the stop rule's bits, errors and rate and "receivers": {"hf": {...}, ...}.
void write_json(std::ostream& out, const SweepOptions& options, const SweepResult& result,
                const std::string& version);

// Draws the error rate of the sweep's metric (decoded information bits, or coded bits) against
// SNR in 3 kHz or Es/N0 (options.plotSnr3k) on a logarithmic axis, one curve per condition and
// receiver with its 95 % bars, the genie's dashed, and the theoretical coded-bit curve of
// Gray-coded 8-PSK on white noise (for decoded curves it marks the channel bits before decoding;
// the decoded reference on white noise is the simulated awgn condition), with gnuplot; the
// terminal follows the extension (.svg or .png). The file is replaced whole or not at all.
// Raises OutputError when gnuplot fails or the picture cannot be written.
void plot_sweep(const std::string& file, const SweepOptions& options, const SweepResult& result);

// The gnuplot script plot_sweep feeds to gnuplot (data inline), drawing into `output` (default:
// `file`, which chooses the terminal).
std::string sweep_plot_script(const std::string& file, const SweepOptions& options,
                              const SweepResult& result, const std::string& output = {});

// Runs gnuplot on `script`; raises OutputError with `what` when it cannot start or fails.
void run_gnuplot(const std::string& script, const std::string& what);

// Raises OutputError with `what` unless the file `written` ends like a whole SVG or PNG picture.
void check_picture(const std::string& written, const std::string& what);

// A string as a gnuplot single-quoted literal.
std::string gnuplot_quote(const std::string& s);

}  // namespace hfchain::app
