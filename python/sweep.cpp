// The sweep from Python: the program's own engine (sweep/) in its worker threads with the GIL
// released. The engine calls its progress observer on the calling thread about every 250 ms;
// there the binding takes the GIL, lets Python handle pending signals and calls the user's
// callback. A KeyboardInterrupt (or any exception of the callback) sets the engine's interrupt
// flag, the sweep stops cleanly, and the exception is raised again afterwards with the finished
// points.
#include <atomic>
#include <memory>
#include <optional>

#include "params/modeconf.hpp"
#include "params/waveform.hpp"
#include "python/docs.hpp"
#include "python/module.hpp"
#include "python/structs.hpp"
#include "runtime/checks.hpp"
#include "sweep/columns.hpp"
#include "sweep/engine.hpp"
#include "sweep/journal.hpp"
#include "sweep/memory.hpp"
#include "sweep/session.hpp"

#ifndef HFCHAIN_VERSION
#define HFCHAIN_VERSION "unknown"
#endif

namespace hfchain::python {

namespace {

// The sweep's fields as Python names them: the configuration's fields below "config", the
// points under the name they were given by, and the arguments of run_sweep as themselves.
sweep::FieldNames python_names(bool snr3k) {
    return [snr3k](std::string_view field) -> std::string {
        if (field == "checkpoint") return "checkpoint";
        if (field == "maxMemory") return "max_memory";
        if (field == "esno" && snr3k) return "config.snr3k";
        return "config." + std::string(field);
    };
}

// The sweep's configuration from Python's: the points as given, or the default ones.
sweep::SweepConfig sweep_config(SweepSettings&& s) {
    if (s.esnoGiven && s.snr3kGiven) {
        raise(errid::kInvalidSweep,
              "config.snr3k: give the points either as Es/N0 (esno) or as SNR in a 3 kHz "
              "bandwidth (snr3k), not both");
    }
    sweep::SweepConfig c = std::move(static_cast<sweep::SweepConfig&>(s));
    for (std::string& name : c.conditions) name = sweep::canonical_condition(name);
    if (s.esnoGiven) {
        c.esno = std::move(*s.esnoGiven);
        c.snr3kAxis = false;
    } else if (s.snr3kGiven) {
        // Checked as given, before they become Es/N0.
        try {
            for (const double snr : *s.snr3kGiven) {
                sweep::check_point(snr, "esno", python_names(true));
            }
        } catch (const Error& e) {
            raise(errid::kInvalidSweep, e.what());
        }
        c.esno = std::move(*s.snr3kGiven);
        for (double& e : c.esno) e = esno_of_snr3k(e);
        c.snr3kAxis = true;
    }
    return c;
}

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

py::dict result_dict(const sweep::SweepConfig& config, const sweep::SweepResult& r) {
    Columns c(config);
    for (const sweep::PointResult& p : r.points) c.add(p);
    py::dict d = c.arrays();
    if (r.points.empty()) {
        // Without a point the receivers' columns are still there, empty.
        sweep::PointResult none;
        Columns names(config);
        names.add(none);
        for (const auto item : names.arrays()) {
            if (!d.contains(item.first)) {
                d[item.first] = item.second.attr("__getitem__")(py::slice(0, 0, 1));
            }
        }
    }
    py::list receivers;
    for (const ReceiverKind k : config.receivers) receivers.append(sweep::receiver_name(k));
    d["receivers"] = receivers;
    d["metric"] = sweep::metric_name(config.metric);
    d["interrupted"] = py::bool_(r.interrupted);
    d["threads"] = py::int_(r.threads);
    d["trials_from_checkpoint"] = py::int_(r.knownTrials);
    d["wall_seconds"] = py::float_(r.wallSeconds);
    return d;
}

py::dict progress_dict(const sweep::SweepConfig& config, const sweep::SweepProgress& p) {
    py::dict d;
    d["pointsDone"] = p.pointsDone;
    d["pointsTotal"] = p.pointsTotal;
    d["fraction"] = p.fraction;
    d["elapsed"] = p.elapsed;
    if (p.finished != nullptr) {
        Columns c(config);
        c.add(*p.finished);
        d["finished"] = c.last();
    } else {
        d["finished"] = py::none();
    }
    return d;
}

py::dict run_sweep_py(py::handle config_arg, py::object progress, py::handle checkpoint_arg,
                      py::handle max_memory_arg) {
    sweep::SweepConfig config =
        sweep_config(config_arg.is_none() ? SweepSettings{}
                                          : from_py<SweepSettings>(config_arg, Name("config")));
    const std::string checkpoint =
        checkpoint_arg.is_none()
            ? std::string()
            : read_text(py::module_::import("os").attr("fspath")(checkpoint_arg), "checkpoint");
    // As the program refuses an empty value: an unset variable, not "no journal".
    if (!checkpoint_arg.is_none() && checkpoint.empty()) {
        raise(
            errid::kInvalidSweep,
            "checkpoint: an empty file name is not accepted; give a file, or None for no journal");
    }
    const double max_memory =
        max_memory_arg.is_none() ? 0 : read_scalar(max_memory_arg, "max_memory");
    const sweep::FieldNames names = python_names(config.snr3kAxis);
    std::unique_ptr<sweep::Journal> journal;
    try {
        sweep::check_config(config, names);
        if (!(max_memory >= 0)) {
            raise(sweep::errid::kInvalidConfig,
                  "max_memory: " + format_value(max_memory) +
                      " is not accepted; give bytes above 0, or None for the machine's memory");
        }
        config.threads = sweep::fit_threads(config, max_memory, 1, nullptr, names);
        if (!checkpoint.empty()) {
            journal = std::make_unique<sweep::Journal>(checkpoint, config, HFCHAIN_VERSION, names);
        }
    } catch (const Error& e) {
        if (e.identifier() == sweep::errid::kWriteFailed) throw;
        raise(errid::kInvalidSweep, e.what());
    }

    std::atomic<bool> interrupt{false};
    std::optional<py::error_already_set> pending;  // raised by Python during the sweep
    const sweep::ProgressCallback observe = [&](const sweep::SweepProgress& p) {
        py::gil_scoped_acquire gil;
        if (pending) return;
        try {
            if (PyErr_CheckSignals() != 0) throw py::error_already_set();
            if (!progress.is_none()) progress(progress_dict(config, p));
        } catch (py::error_already_set& e) {
            pending.emplace(std::move(e));
            interrupt = true;
        }
    };
    sweep::SessionResult session;
    {
        py::gil_scoped_release nogil;
        session =
            sweep::run_session(config, journal.get(), sweep::road_trial_runners(config, &interrupt),
                               &interrupt, observe);
    }
    // A record that cannot be written stops the sweep and reaches the caller.
    if (!pending && !session.journalFailure.empty()) {
        raise(sweep::errid::kWriteFailed, session.journalFailure);
    }
    const sweep::SweepResult& result = session.sweep;
    py::dict out = result_dict(config, result);
    if (pending) {
        // The exception object may refuse new attributes; the sweep's outcome is then only lost.
        try {
            pending->value().attr("sweep_result") = out;
        } catch (py::error_already_set&) {
        }
        throw std::move(*pending);
    }
    return out;
}

}  // namespace

void bind_sweep(py::module_& m) {
    m.def("run_sweep", &run_sweep_py, py::arg("config") = py::none(),
          py::arg("progress") = py::none(), py::arg("checkpoint") = py::none(),
          py::arg("max_memory") = py::none(), doc::run_sweep);
    m.def(
        "trial_seeds",
        [](py::handle seed, py::handle condition, py::handle esno, py::handle trial,
           py::handle rate) {
            const sweep::TrialSeeds s = sweep::trial_seeds(
                static_cast<std::uint32_t>(read_whole(seed, "seed", 0, 4294967295)),
                read_scalar(rate, "rate"), read_text(condition, "condition"),
                read_scalar(esno, "esno"), read_whole(trial, "trial", 0, 9007199254740992));
            return py::make_tuple(s.tx, s.channel);
        },
        py::arg("seed"), py::arg("condition"), py::arg("esno"), py::arg("trial"),
        py::arg("rate") = 2400, doc::trial_seeds);
    m.def("keep_trial_memory", &sweep::keep_trial_memory, doc::keep_trial_memory);
}

}  // namespace hfchain::python
