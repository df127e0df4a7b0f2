// softslicer(DemodulatorIn, noiseVar, mode) -> {LLR}
#include "receiver/softdemod/softslicer.hpp"

#include "plugins/structs.hpp"

namespace {

struct Softslicer {
    static constexpr const char* kName = "softslicer";
    static constexpr const char* kInputs[] = {"DemodulatorIn", "noiseVar", "milstd"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const hfchain::ComplexArray DemodulatorIn = read_complex(in[0], "DemodulatorIn", kColumn);
        const auto noiseVar = read_real(in[1], "noiseVar", kColumn);
        const hfchain::ModeParams mode = read_mode_params(in[2]);
        const hfchain::SoftslicerOut r = hfchain::softslicer(DemodulatorIn, *noiseVar, mode);
        return make_struct(hfchain::kSoftslicerFields, {to_host(r.LLR)});
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(softslicer, Softslicer)
