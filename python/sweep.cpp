// The sweep from Python: the program's own engine (sweep/) in its worker threads with the GIL
// released. The engine calls its progress observer on the calling thread about every 250 ms;
// there the binding takes the GIL, lets Python handle pending signals and calls the user's
// callback. A KeyboardInterrupt (or any exception of the callback) sets the engine's interrupt
// flag, the sweep stops cleanly, and the exception is raised again afterwards with the finished
// points.
#include <atomic>
#include <cmath>
#include <memory>
#include <optional>

#include "params/modeconf.hpp"
#include "params/waveform.hpp"
#include "python/docs.hpp"
#include "python/module.hpp"
#include "python/structs.hpp"
#include "python/tables.hpp"
#include "runtime/checks.hpp"
#include "sweep/columns.hpp"
#include "sweep/crossings.hpp"
#include "sweep/engine.hpp"
#include "sweep/journal.hpp"
#include "sweep/memory.hpp"
#include "sweep/session.hpp"

#ifndef HFCHAIN_VERSION
#define HFCHAIN_VERSION "unknown"
#endif

namespace hfchain::python {

namespace {

// The sweep's configuration from Python's: the points as given, or the default ones.
sweep::SweepConfig sweep_config(SweepSettings&& s) {
    if (s.esnoGiven && s.snr3kGiven) {
        raise(errid::kInvalidSweep,
              "config.snr3k: give the points either as Es/N0 (esno) or as SNR in a 3 kHz "
              "bandwidth (snr3k), not both");
    }
    sweep::SweepConfig c = std::move(static_cast<sweep::SweepConfig&>(s));
    // An acquisition sweep counts trials: the stop rule's fields left at the bit-error sweep's
    // defaults take acquisition's.
    if (c.metric == sweep::Metric::acquisition) {
        const sweep::StopRule bits;
        const sweep::StopRule trials = sweep::acquisition_stop_rule();
        if (c.minTrials == bits.minTrials) c.minTrials = trials.minTrials;
        if (c.minEvents == bits.minEvents) c.minEvents = trials.minEvents;
        if (c.maxBits == bits.maxBits) c.maxBits = trials.maxBits;
    }
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

// The sweep's configuration and points, kept beside its table for crossings().
struct SweepPoints {
    sweep::SweepConfig config;
    sweep::SweepResult result;
};

py::object result_table(const sweep::SweepConfig& config, sweep::SweepResult&& r) {
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
    py::dict meta;
    meta["receivers"] = receiver_names(config.receivers);
    meta["metric"] = sweep::metric_name(config.metric);
    meta["interrupted"] = py::bool_(r.interrupted);
    meta["threads"] = py::int_(r.threads);
    meta["trials_from_checkpoint"] = py::int_(r.knownTrials);
    meta["wall_seconds"] = py::float_(r.wallSeconds);
    auto points = std::make_shared<SweepPoints>(SweepPoints{config, std::move(r)});
    return make_table(d, meta, py::cast(std::move(points)));
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

py::object run_sweep_py(py::handle config_arg, py::object progress, py::handle checkpoint_arg,
                        py::handle max_memory_arg) {
    // As the program does at start-up: freed trial memory stays in the process for the next
    // trial instead of going back to the system and coming back as fresh pages.
    sweep::keep_trial_memory();
    sweep::SweepConfig config =
        sweep_config(config_arg.is_none() ? SweepSettings{}
                                          : from_py<SweepSettings>(config_arg, Name("config")));
    const std::string checkpoint = read_checkpoint(checkpoint_arg);
    const double max_memory =
        max_memory_arg.is_none() ? 0 : read_scalar(max_memory_arg, "max_memory");
    const sweep::FieldNames names = python_names(config.snr3kAxis);
    std::unique_ptr<sweep::Journal> journal;
    try {
        sweep::check_config(config, names);
        check_max_memory(max_memory);
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
            sweep::run_session(config, journal.get(),
                               sweep::sweep_trial_runners(config, &interrupt), &interrupt, observe);
    }
    // A record that cannot be written stops the sweep and reaches the caller.
    return hand_over(pending, session.journalFailure, "sweep_result",
                     [&] { return result_table(config, std::move(session.sweep)); });
}

const char* crossing_kind(sweep::Crossing::Kind kind) {
    using K = sweep::Crossing::Kind;
    switch (kind) {
        case K::at:
            return "at";
        case K::below_from_start:
            return "below";
        case K::fell_to_zero:
            return "at_or_below";
        case K::not_reached:
            return "above";
        case K::none:
            break;
    }
    return "none";
}

py::object crossings_py(py::handle table, py::handle targets_arg, py::handle axis_arg) {
    if (!py::hasattr(table, "_points")) {
        raise(errid::kWrongType, "Input 'result' must be the Table run_sweep returned; it is " +
                                     type_name(table) + ".");
    }
    const py::object held = table.attr("_points");
    if (held.is_none() || !py::isinstance<SweepPoints>(held)) {
        raise(errid::kInvalidSweep,
              "result: it does not carry a sweep's points; give the table run_sweep returned "
              "(a pickled or copied one keeps its columns only)");
    }
    const SweepPoints& s = held.cast<const SweepPoints&>();
    if (s.config.metric == sweep::Metric::acquisition) {
        raise(errid::kInvalidSweep,
              "result: an acquisition sweep has no error rates to cross; read its right share "
              "against its points");
    }
    std::vector<double> targets{1e-3, 1e-5};
    if (!targets_arg.is_none()) {
        const auto a = read_real(targets_arg, "targets", kMatrix);
        targets.assign(a->begin(), a->end());
    }
    for (const double t : targets) {
        if (!(t > 0 && t < 1)) {
            raise(errid::kInvalidSweep, "targets: " + format_value(t) +
                                            " is not accepted; give error rates between 0 and 1");
        }
    }
    if (targets.empty()) raise(errid::kInvalidSweep, "targets: give at least one error rate");
    bool snr3k = s.config.snr3kAxis;
    if (!axis_arg.is_none()) {
        const std::string axis = read_text(axis_arg, "axis");
        if (axis != "snr3k" && axis != "esno") {
            raise(errid::kInvalidSweep,
                  "axis: '" + axis + "' is not accepted; give esno or snr3k, or None");
        }
        snr3k = axis == "snr3k";
    }
    const std::vector<sweep::CrossingEntry> entries =
        sweep::crossing_entries(s.config, s.result, targets, snr3k);
    std::vector<double> rate, target, at, gap;
    std::vector<std::string> condition, receiver, kind, text;
    std::vector<std::int64_t> few, gap_few;
    for (const sweep::CrossingEntry& e : entries) {
        rate.push_back(e.dataRate);
        condition.push_back(e.condition);
        receiver.push_back(sweep::receiver_name(e.receiver));
        target.push_back(e.target);
        kind.push_back(crossing_kind(e.crossing.kind));
        at.push_back(e.crossing.kind == sweep::Crossing::Kind::none ? std::nan("") : e.crossing.x);
        text.push_back(sweep::crossing_text(e.crossing));
        few.push_back(e.fewEvents ? 1 : 0);
        gap.push_back(e.gap ? *e.gap : std::nan(""));
        gap_few.push_back(e.gap && e.gapFewEvents ? 1 : 0);
    }
    py::dict columns;
    columns["rate"] = column_of(rate);
    columns["condition"] = text_column(condition);
    columns["receiver"] = text_column(receiver);
    columns["target"] = column_of(target);
    columns["kind"] = text_column(kind);
    columns[snr3k ? "snr3k_db" : "esno_db"] = column_of(at);
    columns["crossing"] = text_column(text);
    columns["few_events"] = column_of(few);
    columns["gap_db"] = column_of(gap);
    columns["gap_few_events"] = column_of(gap_few);
    py::dict meta;
    meta["axis"] = snr3k ? "snr3k" : "esno";
    meta["metric"] = sweep::metric_name(s.config.metric);
    meta["legend"] = sweep::crossings_legend(s.config, snr3k);
    return make_table(columns, meta);
}

}  // namespace

void bind_sweep(py::module_& m) {
    py::class_<SweepPoints, std::shared_ptr<SweepPoints>>(
        m, "_SweepPoints", "A sweep's configuration and points, kept with its table.");
    m.def("crossings", &crossings_py, py::arg("result"), py::arg("targets") = py::none(),
          py::arg("axis") = py::none(), doc::crossings);
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
