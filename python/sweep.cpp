// The sweep from Python: the runner's own engine in its worker threads with the GIL released.
// The engine calls its progress observer on the calling thread about every 250 ms; there the
// binding takes the GIL, lets Python handle pending signals and calls the user's callback. A
// KeyboardInterrupt (or any exception of the callback) sets the engine's interrupt flag, the
// sweep stops cleanly, and the exception is raised again afterwards with the finished points.
#include <atomic>
#include <optional>

#include "python/docs.hpp"
#include "python/module.hpp"
#include "python/structs.hpp"
#include "sweep/engine.hpp"

namespace hfchain::python {

namespace {

// The columns of a sweep's result, named as in the runner's JSON output.
struct Columns {
    py::list condition, stop;
    std::vector<double> esno, ber, low, high, seconds;
    std::vector<std::int64_t> trials, bits, errors, syncMisses;

    void add(const sweep::PointResult& p) {
        const sweep::Interval ci = p.interval();
        condition.append(py::str(p.condition));
        stop.append(py::str(sweep::stop_reason_name(p.stop)));
        esno.push_back(p.esno);
        ber.push_back(p.rate());
        low.push_back(ci.low);
        high.push_back(ci.high);
        seconds.push_back(p.seconds);
        trials.push_back(p.trials);
        bits.push_back(p.bits);
        errors.push_back(p.errors);
        syncMisses.push_back(p.syncMisses);
    }

    py::dict dict() const {
        const py::object text_array = py::module_::import("numpy").attr("array");
        py::dict d;
        d["condition"] = text_array(condition, "U");
        d["esno_db"] = array(esno);
        d["trials"] = array(trials);
        d["bits"] = array(bits);
        d["errors"] = array(errors);
        d["ber"] = array(ber);
        d["ci95_low"] = array(low);
        d["ci95_high"] = array(high);
        d["sync_misses"] = array(syncMisses);
        d["seconds"] = array(seconds);
        d["stop"] = text_array(stop, "U");
        return d;
    }

    template <class T>
    static py::array_t<T> array(const std::vector<T>& v) {
        return py::array_t<T>(static_cast<py::ssize_t>(v.size()), v.data());
    }
};

py::dict point_dict(const sweep::PointResult& p) {
    const sweep::Interval ci = p.interval();
    py::dict d;
    d["condition"] = p.condition;
    d["esno_db"] = p.esno;
    d["trials"] = p.trials;
    d["bits"] = p.bits;
    d["errors"] = p.errors;
    d["ber"] = p.rate();
    d["ci95_low"] = ci.low;
    d["ci95_high"] = ci.high;
    d["sync_misses"] = p.syncMisses;
    d["seconds"] = p.seconds;
    d["stop"] = sweep::stop_reason_name(p.stop);
    return d;
}

py::dict result_dict(const sweep::SweepResult& r) {
    Columns c;
    for (const sweep::PointResult& p : r.points) c.add(p);
    py::dict d = c.dict();
    d["interrupted"] = py::bool_(r.interrupted);
    d["threads"] = py::int_(r.threads);
    d["wall_seconds"] = py::float_(r.wallSeconds);
    return d;
}

py::dict progress_dict(const sweep::SweepProgress& p) {
    py::dict d;
    d["pointsDone"] = p.pointsDone;
    d["pointsTotal"] = p.pointsTotal;
    d["fraction"] = p.fraction;
    d["elapsed"] = p.elapsed;
    d["finished"] = p.finished != nullptr ? py::object(point_dict(*p.finished)) : py::none();
    return d;
}

py::dict run_sweep_py(py::handle config_arg, py::object progress) {
    const sweep::SweepConfig config = from_py<sweep::SweepConfig>(config_arg, Name("config"));
    try {
        sweep::check_config(config,
                            [](std::string_view field) { return "config." + std::string(field); });
    } catch (const Error& e) {
        raise(errid::kInvalidSweep, e.what());
    }

    const Milstd milstd = modeconf(config.interLen);
    std::atomic<bool> interrupt{false};
    std::optional<py::error_already_set> pending;  // raised by Python during the sweep
    const sweep::ProgressCallback observe = [&](const sweep::SweepProgress& p) {
        py::gil_scoped_acquire gil;
        if (pending) return;
        try {
            if (PyErr_CheckSignals() != 0) throw py::error_already_set();
            if (!progress.is_none()) progress(progress_dict(p));
        } catch (py::error_already_set& e) {
            pending.emplace(std::move(e));
            interrupt = true;
        }
    };

    sweep::SweepResult result;
    {
        py::gil_scoped_release nogil;
        result = sweep::run_sweep(config, sweep::road_trial_runners(milstd, config, &interrupt),
                                  &interrupt, observe);
    }
    py::dict out = result_dict(result);
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
    m.def("run_sweep", &run_sweep_py, py::arg("config"), py::arg("progress") = py::none(),
          doc::run_sweep);
    m.def(
        "trial_seeds",
        [](py::handle seed, py::handle condition, py::handle esno, py::handle trial) {
            const sweep::TrialSeeds s = sweep::trial_seeds(
                static_cast<std::uint32_t>(read_whole(seed, "seed", 0, 4294967295)),
                read_text(condition, "condition"), read_scalar(esno, "esno"),
                read_whole(trial, "trial", 0, 9007199254740992));
            return py::make_tuple(s.tx, s.channel);
        },
        py::arg("seed"), py::arg("condition"), py::arg("esno"), py::arg("trial"), doc::trial_seeds);
    m.def("keep_trial_memory", &sweep::keep_trial_memory, doc::keep_trial_memory);
}

}  // namespace hfchain::python
