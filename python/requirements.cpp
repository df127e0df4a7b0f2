// The minimum-performance table from Python: the program's own search (sweep/requirements.hpp)
// in a thread of its own with the GIL released. The calling thread wakes about every 250 ms and
// whenever a point finishes: it lets Python handle pending signals and hands the finished points
// to the user's callback. A KeyboardInterrupt (or any exception of the callback) sets the
// search's interrupt flag; the search stops cleanly and the exception is raised again with the
// table of the rows finished.
#include "sweep/requirements.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

#include "python/docs.hpp"
#include "python/module.hpp"
#include "python/structs.hpp"
#include "python/tables.hpp"
#include "runtime/checks.hpp"
#include "sweep/memory.hpp"
#include "sweep/trial.hpp"

#ifndef HFCHAIN_VERSION
#define HFCHAIN_VERSION "unknown"
#endif

namespace hfchain::python {

namespace {

// A finished point, waiting for the calling thread.
struct FinishedPoint {
    const sweep::RequirementRow* row;
    double snr3k;
    sweep::PointResult point;
};

py::dict point_dict(const sweep::RequirementsConfig& config, const FinishedPoint& f) {
    const auto& rows = sweep::requirement_rows();
    const sweep::SweepConfig c = sweep::requirement_point_config(config, *f.row, f.snr3k);
    Columns columns(c);
    columns.add(f.point);
    py::dict d;
    d["row"] = static_cast<std::size_t>(f.row - rows.data());
    d["rate"] = f.row->rate;
    d["channel"] = f.row->channel;
    d["snr3k_db"] = f.snr3k;
    d["point"] = columns.last();
    return d;
}

// The table as the program's CSV has it, one row per table row and receiver.
py::object result_table(const sweep::RequirementsConfig& config,
                        const sweep::RequirementsResult& r) {
    std::vector<std::int64_t> index, points, few;
    std::vector<double> rate, interleaver, target, required;
    std::vector<std::string> channel, receiver, measured, low, high, margin, verdict;
    for (const sweep::RequirementRowResult& rr : r.rows) {
        const sweep::RequirementRow& row = sweep::requirement_rows()[rr.index];
        for (const sweep::RequirementOutcome& o : rr.receivers) {
            index.push_back(static_cast<std::int64_t>(rr.index));
            rate.push_back(row.rate);
            channel.push_back(row.channel);
            interleaver.push_back(rr.interLen);
            receiver.push_back(sweep::receiver_name(o.receiver));
            target.push_back(row.ber);
            required.push_back(row.snr3k);
            measured.push_back(sweep::crossing_text(o.measured));
            low.push_back(sweep::crossing_text(o.low));
            high.push_back(sweep::crossing_text(o.high));
            margin.push_back(sweep::margin_text(o, row.snr3k));
            verdict.push_back(sweep::row_verdict(rr, o));
            points.push_back(static_cast<std::int64_t>(rr.points.size()));
            few.push_back(o.fewEvents ? 1 : 0);
        }
    }
    py::dict c;
    c["row"] = column_of(index);
    c["rate"] = column_of(rate);
    c["channel"] = text_column(channel);
    c["interleaver"] = column_of(interleaver);
    c["receiver"] = text_column(receiver);
    c["target_ber"] = column_of(target);
    c["required_snr3k_db"] = column_of(required);
    c["measured_snr3k_db"] = text_column(measured);
    c["ci95_low_snr3k_db"] = text_column(low);
    c["ci95_high_snr3k_db"] = text_column(high);
    c["margin_db"] = text_column(margin);
    c["verdict"] = text_column(verdict);
    c["points"] = column_of(points);
    c["few_events"] = column_of(few);
    py::dict meta;
    meta["receivers"] = receiver_names(config.receivers);
    meta["interrupted"] = py::bool_(r.interrupted);
    meta["threads"] = py::int_(config.threads);
    meta["wall_seconds"] = py::float_(r.wallSeconds);
    return make_table(c, meta);
}

// Runs the search in a thread of its own while this one, holding the GIL only while it does,
// looks for signals and reports the finished points. Returns the exception Python raised, if
// any (the search was then interrupted).
std::optional<py::error_already_set> run_beside_python(const sweep::RequirementsConfig& config,
                                                       sweep::Journal* journal,
                                                       const py::object& progress,
                                                       sweep::RequirementsResult& result) {
    std::atomic<bool> interrupt{false};
    std::mutex mutex;
    std::condition_variable wake;
    std::vector<FinishedPoint> finished;
    bool done = false;
    std::exception_ptr failure;
    std::optional<py::error_already_set> pending;
    const auto report = [&](std::vector<FinishedPoint>& items) {
        py::gil_scoped_acquire gil;
        if (pending) return;
        try {
            if (PyErr_CheckSignals() != 0) throw py::error_already_set();
            for (const FinishedPoint& f : items) {
                if (!progress.is_none()) progress(point_dict(config, f));
            }
        } catch (py::error_already_set& e) {
            pending.emplace(std::move(e));
            interrupt = true;
        }
    };
    {
        py::gil_scoped_release nogil;
        std::thread worker([&] {
            try {
                result = sweep::run_requirements(
                    config,
                    [&](const sweep::SweepConfig& c) {
                        return sweep::road_trial_runners(c, &interrupt);
                    },
                    &interrupt,
                    [&](const sweep::RequirementRow& row, double snr3k,
                        const sweep::PointResult& p) {
                        const std::lock_guard<std::mutex> lock(mutex);
                        finished.push_back({&row, snr3k, p});
                        wake.notify_one();
                    },
                    journal);
            } catch (...) {
                failure = std::current_exception();
            }
            const std::lock_guard<std::mutex> lock(mutex);
            done = true;
            wake.notify_one();
        });
        for (bool last = false; !last;) {
            std::vector<FinishedPoint> items;
            {
                std::unique_lock<std::mutex> lock(mutex);
                wake.wait_for(lock, std::chrono::milliseconds(250),
                              [&] { return done || !finished.empty(); });
                items.swap(finished);
                last = done;
            }
            report(items);
        }
        worker.join();
    }
    if (failure) {
        pending.reset();
        std::rethrow_exception(failure);
    }
    return pending;
}

py::object requirements_py(py::handle config_arg, py::object progress, py::handle checkpoint_arg,
                           py::handle max_memory_arg) {
    sweep::keep_trial_memory();  // as the program does (run_sweep)
    sweep::RequirementsConfig config = requirements_config(
        config_arg.is_none() ? RequirementsSettings{}
                             : from_py<RequirementsSettings>(config_arg, Name("config")));
    const std::string checkpoint = read_checkpoint(checkpoint_arg);
    const double max_memory =
        max_memory_arg.is_none() ? 0 : read_scalar(max_memory_arg, "max_memory");
    std::unique_ptr<sweep::Journal> journal;
    try {
        sweep::check_requirements(config, python_names(false));
        check_max_memory(max_memory);
        config.threads =
            sweep::fit_requirements_threads(config, max_memory, 1, nullptr, python_names(false));
        if (!checkpoint.empty()) {
            journal = sweep::requirements_journal(checkpoint, config, HFCHAIN_VERSION,
                                                  python_names(false));
        }
    } catch (const Error& e) {
        if (e.identifier() == sweep::errid::kWriteFailed) throw;
        raise(errid::kInvalidSweep, e.what());
    }
    sweep::RequirementsResult result;
    std::optional<py::error_already_set> pending =
        run_beside_python(config, journal.get(), progress, result);
    return hand_over(pending, result.journalFailure, "requirements_result",
                     [&] { return result_table(config, result); });
}

py::object requirement_rows_py() {
    std::vector<std::int64_t> index;
    std::vector<double> rate, snr3k, ber;
    std::vector<std::string> channel;
    const auto& rows = sweep::requirement_rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        index.push_back(static_cast<std::int64_t>(i));
        rate.push_back(rows[i].rate);
        channel.push_back(rows[i].channel);
        snr3k.push_back(rows[i].snr3k);
        ber.push_back(rows[i].ber);
    }
    py::dict c;
    c["row"] = column_of(index);
    c["rate"] = column_of(rate);
    c["channel"] = text_column(channel);
    c["required_snr3k_db"] = column_of(snr3k);
    c["target_ber"] = column_of(ber);
    return make_table(c, py::dict());
}

}  // namespace

void bind_requirements(py::module_& m) {
    m.def("requirements", &requirements_py, py::arg("config") = py::none(),
          py::arg("progress") = py::none(), py::arg("checkpoint") = py::none(),
          py::arg("max_memory") = py::none(), doc::requirements);
    m.def("requirement_rows", &requirement_rows_py, doc::requirement_rows);
}

}  // namespace hfchain::python
