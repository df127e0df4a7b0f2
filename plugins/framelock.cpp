// framelock(SincroFrameIn, mode, varShapping) -> start sample (1 x 1, or 0 x 1 when none)
#include "receiver/framesync/framelock.hpp"

#include "plugins/octave_host.hpp"
#include "plugins/structs.hpp"

namespace {

struct Framelock {
    static constexpr const char* kName = "framelock";
    static constexpr const char* kInputs[] = {"SincroFrameIn", "milstd", "varShapping"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const hfchain::ComplexArray SincroFrameIn = read_complex(in[0], "SincroFrameIn", kColumn);
        const hfchain::ModeParams mode = read_mode_params(in[1]);
        const hfchain::VarShapping varShapping = read_varShapping(in[2]);
        hfchain::OctaveHost host;  // for Ctrl-C polls only: framelock draws no numbers
        return to_host(hfchain::framelock(SincroFrameIn, mode, varShapping, host));
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(framelock, Framelock)
