// Reporting a sweep: the aligned table (with its `#` header), CSV, JSON, and what the pictures
// share of gnuplot (sweep/sweep_picture.hpp draws the sweep's).
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
