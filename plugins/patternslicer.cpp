// patternslicer(DemodulatorIn, gain, noiseVar, mode, detection, rule) -> {LLR, Correlations}
#include "receiver/patternslicer/patternslicer.hpp"

#include <string>

#include "plugins/structs.hpp"

namespace {

// The names the host gives the detection ("coherent", "noncoherent"), as in Python.
hfchain::PatternDetection read_detection(const mxArray* a) {
    const std::string text = hfchain::gateway::read_text(a, "detection", 16);
    if (text == "coherent") return hfchain::PatternDetection::coherent;
    if (text == "noncoherent") return hfchain::PatternDetection::noncoherent;
    hfchain::raise("hfchain:patternslicer:Detection",
                   "detection must be \"coherent\" or \"noncoherent\"; it is \"" + text + "\".");
}

struct Patternslicer {
    static constexpr const char* kName = "patternslicer";
    static constexpr const char* kInputs[] = {"DemodulatorIn", "gain",      "noiseVar",
                                              "milstd",        "detection", "rule"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const hfchain::ComplexArray DemodulatorIn = read_complex(in[0], "DemodulatorIn", kColumn);
        const hfchain::ComplexArray gain = read_complex(in[1], "gain", kColumn);
        const auto noiseVar = read_real(in[2], "noiseVar", kColumn);
        const hfchain::ModeParams mode = read_mode_params(in[3]);
        const hfchain::PatternDetection detection = read_detection(in[4]);
        const hfchain::SoftRule rule = read_soft_rule(in[5], "patternslicer");
        const hfchain::PatternslicerOut r =
            hfchain::patternslicer(DemodulatorIn, gain, *noiseVar, mode, detection, rule);
        return make_struct(hfchain::kPatternslicerFields,
                           {to_host(r.LLR), to_host(r.Correlations)});
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(patternslicer, Patternslicer)
