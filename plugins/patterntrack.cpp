// patterntrack(sounding, mode, passes, rule) -> {LLR, noncoherentLLR, out, noiseVar, gains,
// gainVar, doppler, passes}
#include "receiver/patterntrack/patterntrack.hpp"

#include "plugins/sounding.hpp"

namespace {

struct Patterntrack {
    static constexpr const char* kName = "patterntrack";
    static constexpr const char* kInputs[] = {"sounding", "milstd", "passes", "rule"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const hfchain::ChansoundOut sounding = read_sounding(in[0]);
        const hfchain::ModeParams mode = read_mode_params(in[1]);
        const double passes = read_scalar(in[2], "passes");
        const hfchain::SoftRule rule = read_soft_rule(in[3], "patterntrack");
        const hfchain::PatterntrackOut r = hfchain::patterntrack(sounding, mode, passes, rule);
        return make_struct(
            hfchain::kPatterntrackFields,
            {to_host(r.LLR), to_host(r.noncoherentLLR), to_host(r.out), to_host(r.noiseVar),
             to_host(r.gains), to_host(r.gainVar), to_host(r.doppler), to_host(r.passes)});
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(patterntrack, Patterntrack)
