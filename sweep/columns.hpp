// A point's columns, listed once: what each holds, how it is computed and written, and which of
// the outputs carry it. The table, the CSV and the JSON (sweep/report.hpp) and Python's columns
// read them in this order (the JSON names its point's fields in an order of its own).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "sweep/config.hpp"
#include "sweep/engine.hpp"

namespace hfchain::sweep {

enum class ColumnKind { text, whole, real };

// How the CSV and the JSON write a real number: the shortest text that reads back
// (format_value), four decimals of a mantissa ("1.2500e-03") or three decimals ("0.125").
enum class RealText { shortest, mantissa, milli };

struct ColumnValue {
    std::string text;
    std::int64_t whole = 0;
    double real = 0;
};

// The outputs a column is written to. kInTableNote: not a column of the table but a note at the
// end of a row ("  # few events: hf genie"), naming the receivers whose value is not 0, so that
// Octave's `load` reads the same matrix.
inline constexpr unsigned kInTable = 1, kInCsv = 2, kInJson = 4, kInPython = 8, kInTableNote = 16;
inline constexpr unsigned kEverywhere = kInTable | kInCsv | kInJson | kInPython;
// Not an output: a column of the point's or closing ones that an acquisition sweep (which has no
// receivers' columns) writes too, to the outputs of `in`.
inline constexpr unsigned kOfAcquisition = 32;

struct Column {
    const char* name;  // a receiver's column: after the receiver's name ("_ber" of "hf_ber")
    ColumnKind kind;
    unsigned in;        // kInTable | ...
    int headerWidth;    // the table's header right-aligns " name" to this width
    const char* table;  // printf format of the table's value ("%7.2f", " %12lld")
    RealText text;      // reals in the CSV and the JSON
    // The value at point `p` of `config` for receiver `r` (the shared columns: the first one).
    ColumnValue (*value)(const SweepConfig& config, const PointResult& p, ReceiverKind r);
};

// The columns of a point shared by its receivers, in order; "rate" only when shows_rate().
std::span<const Column> point_columns();

// The columns of each receiver, in order, after the point's.
std::span<const Column> receiver_columns();

// The columns after the receivers'.
std::span<const Column> closing_columns();

// An acquisition sweep's own columns (Metric::acquisition), in place of the receivers': each
// class's share and its 95 % interval, then the false detections over the hours searched.
std::span<const Column> acquisition_columns();

// The column of `name` among the point's and the closing ones; null when there is none.
const Column* find_point_column(const std::string& name);

// The receiver whose counts a point's shared columns give: the first of the sweep.
ReceiverKind first_receiver(const SweepConfig& config);

// `value` of `column` as the CSV writes it (text as it is).
std::string column_text(const Column& column, const ColumnValue& value);

// Calls f(column, its name, the receiver it is of) for the columns written to `output` (kInTable,
// ...) in order: the point's (the rate only when the sweep shows it), each receiver's, the closing
// ones. An acquisition sweep: the point's and closing ones of kOfAcquisition, and its own between.
template <class F>
void for_each_column(const SweepConfig& c, unsigned output, F&& f) {
    const ReceiverKind first = first_receiver(c);
    const bool acquisition = c.metric == Metric::acquisition;
    for (const Column& column : point_columns()) {
        if ((column.in & output) == 0 || (acquisition && (column.in & kOfAcquisition) == 0))
            continue;
        if (std::string_view(column.name) == "rate" && !shows_rate(c)) continue;
        f(column, std::string(column.name), first);
    }
    if (acquisition) {
        for (const Column& column : acquisition_columns()) {
            if ((column.in & output) != 0) f(column, std::string(column.name), first);
        }
    }
    for (const ReceiverKind r : c.receivers) {
        if (acquisition) break;
        for (const Column& column : receiver_columns()) {
            if ((column.in & output) != 0)
                f(column, receiver_name(r) + std::string(column.name), r);
        }
    }
    for (const Column& column : closing_columns()) {
        if ((column.in & output) == 0 || (acquisition && (column.in & kOfAcquisition) == 0))
            continue;
        f(column, std::string(column.name), first);
    }
}

}  // namespace hfchain::sweep
