// The built-in generator as the Python class BuiltinHost, and the host a block call runs with:
// the caller's generator (or a fresh one), the GIL released, and Ctrl-C seen by the blocks'
// interrupt poll.
#pragma once

#include <mutex>
#include <utility>

#include "python/convert.hpp"
#include "runtime/builtin_host.hpp"

namespace hfchain::python {

// The Python object: a generator and the lock that makes calls on it run one at a time (a block
// running without the GIL in one thread, a draw in another).
struct HostObject {
    BuiltinHost host;
    std::mutex busy;
};

// Host services for one block call: draws from `generator`; the interrupt poll, on the main
// thread only and at most every 20 ms (so never in a shorter call), takes the GIL to let Python
// handle a pending signal and abandons the call with the Python exception the handler raised
// (KeyboardInterrupt for Ctrl-C).
class CallHost final : public HostServices {
public:
    explicit CallHost(BuiltinHost& generator);

    std::unique_ptr<RngSettings> seed_twister(double seed) override {
        return generator_.seed_twister(seed);
    }
    void restore(const RngSettings& settings) override { generator_.restore(settings); }
    RealArray rand(index_t n) override { return generator_.rand(n); }
    RealArray randn(index_t rows, index_t cols) override { return generator_.randn(rows, cols); }
    void poll_interrupt() override;

private:
    BuiltinHost& generator_;
    bool main_thread_;
    std::int64_t next_poll_ns_;
};

// Runs f(host) with the GIL released, on the generator of `host_arg` (a BuiltinHost, or None for
// a fresh one).
template <class F>
auto with_host(py::handle host_arg, F&& f) {
    if (host_arg.is_none()) {
        BuiltinHost generator;
        CallHost host(generator);
        py::gil_scoped_release nogil;
        return f(static_cast<HostServices&>(host));
    }
    if (!py::isinstance<HostObject>(host_arg)) {
        raise(errid::kWrongType,
              "Input 'host' must be a BuiltinHost or None; it is " + type_name(host_arg) + ".");
    }
    HostObject& object = host_arg.cast<HostObject&>();
    CallHost host(object.host);
    py::gil_scoped_release nogil;
    std::lock_guard lock(object.busy);
    return f(static_cast<HostServices&>(host));
}

// Runs f() with the GIL released.
template <class F>
auto without_gil(F&& f) {
    py::gil_scoped_release nogil;
    return f();
}

void bind_host(py::module_& m);

}  // namespace hfchain::python
