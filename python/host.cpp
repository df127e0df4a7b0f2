#include "python/host.hpp"

#include <pythread.h>

#include <chrono>
#include <memory>

#include "python/docs.hpp"
#include "runtime/checks.hpp"

namespace hfchain::python {

namespace {

unsigned long main_thread_ident = 0;

constexpr std::int64_t kPollIntervalNs = 20'000'000;

std::int64_t now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Saved settings as a Python object.
struct SettingsObject {
    std::unique_ptr<RngSettings> settings;
};

index_t read_count(py::handle h, const char* name) {
    return check_integer(read_scalar(h, name), name);
}

}  // namespace

CallHost::CallHost(BuiltinHost& generator)
    : generator_(generator),
      main_thread_(PyThread_get_thread_ident() == main_thread_ident),
      next_poll_ns_(main_thread_ ? now_ns() + kPollIntervalNs : 0) {}

void CallHost::poll_interrupt() {
    if (!main_thread_) return;
    const std::int64_t now = now_ns();
    if (now < next_poll_ns_) return;
    next_poll_ns_ = now + kPollIntervalNs;
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
}

void bind_host(py::module_& m) {
    main_thread_ident =
        py::module_::import("threading").attr("main_thread")().attr("ident").cast<unsigned long>();

    py::class_<SettingsObject>(m, "RngSettings", doc::RngSettings);

    py::class_<HostObject>(m, "BuiltinHost", doc::BuiltinHost)
        .def(py::init([](py::handle seed) {
                 auto object = std::make_unique<HostObject>();
                 if (!seed.is_none()) object->host.seed_twister(read_scalar(seed, "seed"));
                 return object;
             }),
             py::arg("seed") = py::none(), doc::BuiltinHost___init__)
        .def(
            "seed_twister",
            [](HostObject& self, py::handle seed) {
                const double s = read_scalar(seed, "seed");
                return without_gil([&] {
                    std::lock_guard lock(self.busy);
                    return SettingsObject{self.host.seed_twister(s)};
                });
            },
            py::arg("seed"), doc::BuiltinHost_seed_twister)
        .def(
            "restore",
            [](HostObject& self, const SettingsObject& settings) {
                without_gil([&] {
                    std::lock_guard lock(self.busy);
                    self.host.restore(*settings.settings);
                    return 0;
                });
            },
            py::arg("settings"), doc::BuiltinHost_restore)
        .def(
            "settings",
            [](HostObject& self) {
                return without_gil([&] {
                    std::lock_guard lock(self.busy);
                    return SettingsObject{self.host.settings()};
                });
            },
            doc::BuiltinHost_settings)
        .def(
            "rand",
            [](HostObject& self, py::handle n) {
                const index_t count = read_count(n, "n");
                RealArray draws = without_gil([&] {
                    std::lock_guard lock(self.busy);
                    return self.host.rand(count);
                });
                return to_numpy(std::move(draws));
            },
            py::arg("n"), doc::BuiltinHost_rand)
        .def(
            "randn",
            [](HostObject& self, py::handle rows, py::handle cols) {
                const index_t r = read_count(rows, "rows");
                const index_t c = read_count(cols, "cols");
                RealArray draws = without_gil([&] {
                    std::lock_guard lock(self.busy);
                    return self.host.randn(r, c);
                });
                return to_numpy(std::move(draws));
            },
            py::arg("rows"), py::arg("cols") = 1, doc::BuiltinHost_randn);
}

}  // namespace hfchain::python
