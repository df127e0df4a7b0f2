// What the sweep and the minimum-performance table hand to Python: the columns of a sweep's
// points, the table that carries columns (hfchain.Table: columns apart from the metadata, readable
// as one dict of both), and the arguments and endings the two runs share.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "python/convert.hpp"
#include "runtime/checks.hpp"
#include "sweep/columns.hpp"
#include "sweep/config.hpp"
#include "sweep/engine.hpp"

namespace hfchain::python {

// The columns of a sweep's result, named as in the program's CSV and JSON outputs: one value per
// point for each, the receivers' own under their names ("hf_ber").
class Columns {
public:
    explicit Columns(const sweep::SweepConfig& config) : config_(config) {}

    void add(const sweep::PointResult& p) {
        sweep::for_each_column(
            config_, sweep::kInPython,
            [&](const sweep::Column& column, const std::string& name, ReceiverKind r) {
                const sweep::ColumnValue v = column.value(config_, p, r);
                Column& c = this->column(name, column.kind);
                if (column.kind == Kind::text) {
                    c.texts.append(py::str(v.text));
                } else if (column.kind == Kind::whole) {
                    c.wholes.push_back(v.whole);
                } else {
                    c.reals.push_back(v.real);
                }
            });
    }

    // NumPy arrays in the order the columns were first given.
    py::dict arrays() const {
        const py::object numpy_array = py::module_::import("numpy").attr("array");
        py::dict d;
        for (const Column& c : columns_) {
            if (c.kind == Kind::text) {
                d[c.name.c_str()] = numpy_array(c.texts, "U");
            } else if (c.kind == Kind::whole) {
                d[c.name.c_str()] = py::array_t<std::int64_t>(
                    static_cast<py::ssize_t>(c.wholes.size()), c.wholes.data());
            } else {
                d[c.name.c_str()] =
                    py::array_t<double>(static_cast<py::ssize_t>(c.reals.size()), c.reals.data());
            }
        }
        return d;
    }

    // The values of the last point, as Python scalars.
    py::dict last() const {
        py::dict d;
        for (const Column& c : columns_) {
            if (c.kind == Kind::text) {
                d[c.name.c_str()] = c.texts[py::len(c.texts) - 1];
            } else if (c.kind == Kind::whole) {
                d[c.name.c_str()] = py::int_(c.wholes.back());
            } else {
                d[c.name.c_str()] = py::float_(c.reals.back());
            }
        }
        return d;
    }

private:
    using Kind = sweep::ColumnKind;
    struct Column {
        std::string name;
        Kind kind = Kind::real;
        py::list texts;
        std::vector<std::int64_t> wholes;
        std::vector<double> reals;
    };

    Column& column(const std::string& name, Kind kind) {
        for (Column& c : columns_) {
            if (c.name == name) return c;
        }
        Column c;
        c.name = name;
        c.kind = kind;
        columns_.push_back(std::move(c));
        return columns_.back();
    }

    const sweep::SweepConfig& config_;
    std::vector<Column> columns_;
};

// The fields of a sweep or a table search as Python names them: the configuration's fields below
// "config", the points under the name they were given by (snr3k or esno), and the arguments of
// run_sweep and requirements as themselves.
inline sweep::FieldNames python_names(bool snr3k) {
    return [snr3k](std::string_view field) -> std::string {
        if (field == "checkpoint") return "checkpoint";
        if (field == "maxMemory") return "max_memory";
        if (field == "esno" && snr3k) return "config.snr3k";
        return "config." + std::string(field);
    };
}

// Columns of numbers and of text (NumPy arrays).
template <class T>
py::array column_of(const std::vector<T>& v) {
    return py::array_t<T>(static_cast<py::ssize_t>(v.size()), v.data());
}

inline py::array text_column(const std::vector<std::string>& v) {
    py::list l;
    for (const std::string& t : v) l.append(py::str(t));
    return py::module_::import("numpy").attr("array")(l, "U");
}

// The receivers by name, as a list.
inline py::list receiver_names(const std::vector<ReceiverKind>& receivers) {
    py::list l;
    for (const ReceiverKind k : receivers) l.append(sweep::receiver_name(k));
    return l;
}

// hfchain.Table(columns, meta, points): points (any object, or None) travel with it for
// crossings().
inline py::object make_table(const py::dict& columns, const py::dict& meta,
                             const py::object& points = py::none()) {
    return py::module_::import("hfchain._table").attr("Table")(columns, meta, points);
}

// The journal file of a checkpoint argument (str or path), or empty for None. An empty name is
// refused, as the program refuses one: an unset variable, not "no journal".
inline std::string read_checkpoint(py::handle arg) {
    if (arg.is_none()) return {};
    std::string file = read_text(py::module_::import("os").attr("fspath")(arg), "checkpoint");
    if (file.empty()) {
        raise(
            errid::kInvalidSweep,
            "checkpoint: an empty file name is not accepted; give a file, or None for no journal");
    }
    return file;
}

// Checks the max_memory argument (bytes, 0 for the machine's memory), as a configuration field.
inline void check_max_memory(double max_memory) {
    if (!(max_memory >= 0)) {
        raise(sweep::errid::kInvalidConfig,
              "max_memory: " + format_value(max_memory) +
                  " is not accepted; give bytes above 0, or None for the machine's memory");
    }
}

// Ends a run that Python may have interrupted (`pending`): a journal that could not be written
// raises errid::kWriteFailed unless Python stopped the run first; else the table (`table()`) is
// returned, or Python's exception raised again carrying it as its attribute `attribute`.
template <class MakeTable>
py::object hand_over(std::optional<py::error_already_set>& pending,
                     const std::string& journal_failure, const char* attribute, MakeTable&& table) {
    if (!pending && !journal_failure.empty()) {
        raise(sweep::errid::kWriteFailed, journal_failure);
    }
    py::object out = table();
    if (pending) {
        // The exception object may refuse new attributes; the outcome is then only lost.
        try {
            pending->value().attr(attribute) = out;
        } catch (py::error_already_set&) {
        }
        throw std::move(*pending);
    }
    return out;
}

}  // namespace hfchain::python
