// chansound(MatchedFilterIn, FrameStartSample, mode, varShapping) -> {start, delays, basis, out,
// gains, gainVar, pathPower, windowGains, windowTime, noiseVar, doppler, frames, profile,
// profileStart}
#include "receiver/chansound/chansound.hpp"

#include "plugins/octave_host.hpp"
#include "plugins/sounding.hpp"

namespace {

struct Chansound {
    static constexpr const char* kName = "chansound";
    static constexpr const char* kInputs[] = {"MatchedFilterIn", "FrameStartSample", "milstd",
                                              "varShapping"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const hfchain::ComplexArray MatchedFilterIn =
            read_complex(in[0], "MatchedFilterIn", kColumn);
        const double FrameStartSample = read_scalar(in[1], "FrameStartSample");
        const hfchain::ModeParams mode = read_mode_params(in[2]);
        const hfchain::VarShapping varShapping = read_varShapping(in[3]);
        hfchain::OctaveHost host;  // for Ctrl-C polls only: chansound draws no numbers
        const hfchain::ChansoundOut r =
            hfchain::chansound(MatchedFilterIn, FrameStartSample, mode, varShapping, host);
        return chansound_to_host(r);
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(chansound, Chansound)
