// The parts of the module, bound in this order by module.cpp.
#pragma once

#include "python/convert.hpp"

namespace hfchain::python {

void bind_structs(py::module_& m);       // structs.cpp
void bind_host(py::module_& m);          // host.cpp
void bind_blocks(py::module_& m);        // blocks.cpp
void bind_sweep(py::module_& m);         // sweep.cpp
void bind_requirements(py::module_& m);  // requirements.cpp
void bind_timing(py::module_& m);        // timing.cpp
void bind_audio(py::module_& m);         // audio.cpp

}  // namespace hfchain::python
