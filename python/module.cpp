// The extension module hfchain._hfchain; the package hfchain (hfchain/__init__.py) re-exports it.
#include "python/module.hpp"

#include "python/docs.hpp"

PYBIND11_MODULE(_hfchain, m) {
    namespace hp = hfchain::python;
    // The docstrings carry their own signature lines, written in the type stub.
    hp::py::options options;
    options.disable_function_signatures();

    m.doc() = hp::doc::module_doc;
    m.attr("__version__") = HFCHAIN_VERSION;
    hp::register_errors(m);
    hp::bind_structs(m);
    hp::bind_host(m);
    hp::bind_blocks(m);
    hp::bind_sweep(m);
    hp::bind_requirements(m);
    hp::bind_timing(m);
    hp::bind_audio(m);
}
