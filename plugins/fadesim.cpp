// fadesim(WattersonIn, varWatterson, varShapping) -> {raios, RER, ED, WattersonOutAwgnIn, noise,
// AwgnOut}
#include "channel/fadesim.hpp"

#include "plugins/octave_host.hpp"
#include "plugins/structs.hpp"

namespace {

// `model` is a character row of at most 50 characters.
constexpr hfchain::index_t kModelMaxLength = 50;

hfchain::VarWatterson read_varWatterson(const mxArray* a) {
    const hfchain::gateway::StructReader s(a, "varWatterson", hfchain::kVarWattersonFields);
    hfchain::VarWatterson v;
    v.model = s.text("model", kModelMaxLength);
    v.EsNodB = s.scalar("EsNodB");
    v.seed = s.scalar("seed");
    return v;
}

struct Fadesim {
    static constexpr const char* kName = "fadesim";
    static constexpr const char* kInputs[] = {"WattersonIn", "varWatterson", "varShapping"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const hfchain::ComplexArray WattersonIn = read_complex(in[0], "WattersonIn", kColumn);
        const hfchain::VarWatterson varWatterson = read_varWatterson(in[1]);
        const hfchain::VarShapping varShapping = read_varShapping(in[2]);
        hfchain::OctaveHost host;
        const hfchain::FadesimOut r =
            hfchain::fadesim(WattersonIn, varWatterson, varShapping, host);
        return make_struct(hfchain::kFadesimFields,
                           {to_host(r.raios), to_host(r.RER), to_host(r.ED),
                            to_host(r.WattersonOutAwgnIn), to_host(r.noise), to_host(r.AwgnOut)});
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(fadesim, Fadesim)
