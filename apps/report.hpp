// Reporting a sweep: the aligned table (with its `#` header), CSV, JSON and the gnuplot picture.
#pragma once

#include <ostream>
#include <string>

#include "apps/options.hpp"
#include "apps/sweep.hpp"

namespace hfchain::app {

// The `#` lines recording the version and every parameter, then a column line, then one numeric
// line per point: Octave's `load` reads the table as a matrix. Column 1 is the condition's number
// in the list the header gives (1 = first condition of the sweep).
//   cond esno_db trials bits errors ber ci95_low ci95_high sync_misses seconds
void write_table(std::ostream& out, const SweepOptions& options, const SweepResult& result,
                 const std::string& version);

// CSV with a header row; the condition by name, the stop reason as a column.
void write_csv(std::ostream& out, const SweepResult& result);

// JSON: {"version", "parameters": {...}, "interrupted", "points": [{...}, ...]}.
void write_json(std::ostream& out, const SweepOptions& options, const SweepResult& result,
                const std::string& version);

// Draws the error rate against Es/N0 on a logarithmic axis, one curve per condition with its
// 95 % bars and the theoretical curve of Gray-coded 8-PSK on white noise, with gnuplot; the
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
