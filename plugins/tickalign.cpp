// tickalign(SyncSymbolIn, FrameStartSample, varShapping) -> {out}
#include "receiver/timing/tickalign.hpp"

#include "plugins/octave_host.hpp"
#include "plugins/structs.hpp"

namespace {

struct Tickalign {
    static constexpr const char* kName = "tickalign";
    static constexpr const char* kInputs[] = {"SyncSymbolIn", "FrameStartSample", "varShapping"};
    static constexpr const char* kFields[] = {"out"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const hfchain::ComplexArray SyncSymbolIn = read_complex(in[0], "SyncSymbolIn", kColumn);
        const double FrameStartSample = read_scalar(in[1], "FrameStartSample");
        const hfchain::VarShapping varShapping = read_varShapping(in[2]);
        hfchain::OctaveHost host;
        const hfchain::TickalignOut r =
            hfchain::tickalign(SyncSymbolIn, FrameStartSample, varShapping, host);
        return make_struct(kFields, {to_host(r.out)});
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(tickalign, Tickalign)
