// pulsematch(MatchedFilterIn, varShapping) -> {filter, filterDelay, out}
#include "receiver/matchedfilter/pulsematch.hpp"

#include "plugins/octave_host.hpp"
#include "plugins/structs.hpp"

namespace {

struct Pulsematch {
    static constexpr const char* kName = "pulsematch";
    static constexpr const char* kInputs[] = {"MatchedFilterIn", "varShapping"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const hfchain::ComplexArray MatchedFilterIn =
            read_complex(in[0], "MatchedFilterIn", kColumn);
        const hfchain::VarShapping varShapping = read_varShapping(in[1]);
        hfchain::OctaveHost host;
        const hfchain::PulsematchOut r = hfchain::pulsematch(MatchedFilterIn, varShapping, host);
        return make_struct(hfchain::kPulsematchFields,
                           {to_host(r.filter), to_host(r.filterDelay), to_host(r.out)});
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(pulsematch, Pulsematch)
