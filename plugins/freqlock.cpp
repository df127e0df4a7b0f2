// freqlock(MatchedFilterIn, mode, varShapping) -> {start, offset, coarseOffset, coarseStart, out}
#include "receiver/freqlock/freqlock.hpp"

#include "plugins/octave_host.hpp"
#include "plugins/structs.hpp"

namespace {

struct Freqlock {
    static constexpr const char* kName = "freqlock";
    static constexpr const char* kInputs[] = {"MatchedFilterIn", "milstd", "varShapping"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const hfchain::ComplexArray MatchedFilterIn =
            read_complex(in[0], "MatchedFilterIn", kColumn);
        const hfchain::ModeParams mode = read_mode_params(in[1]);
        const hfchain::VarShapping varShapping = read_varShapping(in[2]);
        hfchain::OctaveHost host;  // for Ctrl-C polls only: freqlock draws no numbers
        const hfchain::FreqlockOut r = hfchain::freqlock(MatchedFilterIn, mode, varShapping, host);
        return make_struct(hfchain::kFreqlockFields,
                           {to_host(r.start), to_host(r.offset), to_host(r.coarseOffset),
                            to_host(r.coarseStart), to_host(r.out)});
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(freqlock, Freqlock)
