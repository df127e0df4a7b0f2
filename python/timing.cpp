// Speed measurement support (bench/python_calls.py): times the C++ entry function alone on
// arguments converted once, so that the script can set it against the same call from Python in
// the same process and the same moment. Not part of the documented interface.
#include <chrono>
#include <functional>

#include "python/host.hpp"
#include "python/module.hpp"
#include "python/structs.hpp"

namespace hfchain::python {

namespace {

// Seconds per call of f, over `repeat` calls.
double seconds_per_call(const std::function<void()>& f, std::int64_t repeat) {
    py::gil_scoped_release nogil;
    const auto start = std::chrono::steady_clock::now();
    for (std::int64_t i = 0; i < repeat; ++i) f();
    const std::chrono::duration<double> d = std::chrono::steady_clock::now() - start;
    return d.count() / static_cast<double>(repeat);
}

}  // namespace

void bind_timing(py::module_& m) {
    m.def("_time_cpp", [](const std::string& block, std::int64_t repeat, const py::args& args) {
        if (args.size() < 1) raise(errid::kWrongValue, "No arguments for '" + block + "'.");
        if (block == "modeconf") {
            const double v = read_scalar(args[0], "interLen");
            return seconds_per_call(
                [&] {
                    volatile auto r = modeconf(v).rate;
                    (void)r;
                },
                repeat);
        }
        if (block == "pulsematch") {
            const auto in = read_complex(args[0], "MatchedFilterIn");
            const VarShapping vs = from_py<VarShapping>(args[1], "varShapping");
            return seconds_per_call([&] { pulsematch(*in, vs); }, repeat);
        }
        if (block == "unshuffle") {
            const auto in = read_real(args[0], "DeinterleaverIn");
            const ModeParams ms = from_py<ModeParams>(args[1], "milstd");
            return seconds_per_call([&] { unshuffle(*in, ms); }, repeat);
        }
        if (block == "sendchain") {
            const ModeParams ms = from_py<ModeParams>(args[0], "milstd");
            const double n = read_scalar(args[1], "nFrame");
            const double s = read_scalar(args[2], "seed");
            BuiltinHost host;
            return seconds_per_call([&] { sendchain(ms, n, s, host); }, repeat);
        }
        if (block == "softslicer") {
            const auto in = read_complex(args[0], "DemodulatorIn");
            const auto nv = read_real(args[1], "noiseVar");
            const ModeParams ms = from_py<ModeParams>(args[2], "milstd");
            return seconds_per_call([&] { softslicer(*in, *nv, ms); }, repeat);
        }
        if (block == "vitdecode" || block == "sisodecode") {
            const auto in = read_real(args[0], "DecoderIn");
            const ModeParams ms = from_py<ModeParams>(args[1], "milstd");
            const double n = read_scalar(args[2], "nFrame");
            if (block == "vitdecode")
                return seconds_per_call([&] { vitdecode(*in, ms, n); }, repeat);
            return seconds_per_call([&] { sisodecode(*in, ms, n); }, repeat);
        }
        if (block == "chansound") {
            const auto in = read_complex(args[0], "MatchedFilterIn");
            const double start = read_scalar(args[1], "FrameStartSample");
            const ModeParams ms = from_py<ModeParams>(args[2], "milstd");
            const VarShapping vs = from_py<VarShapping>(args[3], "varShapping");
            return seconds_per_call([&] { chansound(*in, start, ms, vs); }, repeat);
        }
        if (block == "turboequal") {
            const ChansoundOut sounding = from_py<ChansoundOut>(args[0], "sounding");
            const ModeParams ms = from_py<ModeParams>(args[1], "milstd");
            const double n = read_scalar(args[2], "nFrame");
            const double it = read_scalar(args[3], "iterations");
            return seconds_per_call([&] { turboequal(sounding, ms, n, it); }, repeat);
        }
        if (block == "geniecombine") {
            const auto tx = read_complex(args[0], "MultiplexOut");
            const auto rays = read_complex(args[1], "raios", kMatrix);
            const auto noise = read_complex(args[2], "noise");
            const double esno = read_scalar(args[3], "EsNodB");
            const ModeParams ms = from_py<ModeParams>(args[4], "milstd");
            const VarShapping vs = from_py<VarShapping>(args[5], "varShapping");
            return seconds_per_call([&] { geniecombine(*tx, *rays, *noise, esno, ms, vs); },
                                    repeat);
        }
        raise(errid::kWrongValue, "No timing for '" + block + "'.");
    });
}

}  // namespace hfchain::python
