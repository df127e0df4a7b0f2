// pulseshaper(ShappingIn, varShapping) -> {filter, out}
#include "shaping/pulseshaper.hpp"

#include "plugins/octave_host.hpp"
#include "plugins/structs.hpp"

namespace {

struct Pulseshaper {
    static constexpr const char* kName = "pulseshaper";
    static constexpr const char* kInputs[] = {"ShappingIn", "varShapping"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const hfchain::ComplexArray ShappingIn = read_complex(in[0], "ShappingIn", kColumn);
        const hfchain::VarShapping varShapping = read_varShapping(in[1]);
        hfchain::OctaveHost host;
        const hfchain::PulseshaperOut r = hfchain::pulseshaper(ShappingIn, varShapping, host);
        return make_struct(hfchain::kPulseshaperFields, {to_host(r.filter), to_host(r.out)});
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(pulseshaper, Pulseshaper)
