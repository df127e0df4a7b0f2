// symslicer(DemodulatorIn, mode) -> {DemodOutDemapIn, DemapOut}
#include "receiver/demod/symslicer.hpp"

#include "plugins/octave_host.hpp"
#include "plugins/structs.hpp"

namespace {

struct Symslicer {
    static constexpr const char* kName = "symslicer";
    static constexpr const char* kInputs[] = {"DemodulatorIn", "milstd"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const hfchain::ComplexArray DemodulatorIn = read_complex(in[0], "DemodulatorIn", kColumn);
        const hfchain::ModeParams mode = read_mode_params(in[1]);
        hfchain::OctaveHost host;
        const hfchain::SymslicerOut r = hfchain::symslicer(DemodulatorIn, mode, host);
        return make_struct(hfchain::kSymslicerFields,
                           {to_host(r.DemodOutDemapIn), to_host(r.DemapOut)});
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(symslicer, Symslicer)
