// blocklock(MatchedFilterIn, varShapping, threshold) -> {found, score, offset, mode, confidence,
// blockStart}
#include "receiver/blocklock/blocklock.hpp"

#include "plugins/octave_host.hpp"
#include "plugins/structs.hpp"

namespace {

struct Blocklock {
    static constexpr const char* kName = "blocklock";
    static constexpr const char* kInputs[] = {"MatchedFilterIn", "varShapping", "threshold"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const hfchain::ComplexArray MatchedFilterIn =
            read_complex(in[0], "MatchedFilterIn", kColumn);
        const hfchain::VarShapping varShapping = read_varShapping(in[1]);
        const hfchain::VarBlocklock settings{read_scalar(in[2], "threshold")};
        hfchain::OctaveHost host;  // for Ctrl-C polls only: blocklock draws no numbers
        const hfchain::BlocklockOut r =
            hfchain::blocklock(MatchedFilterIn, varShapping, settings, host);
        return make_struct(
            hfchain::kBlocklockFields,
            {to_host(r.found ? 1.0 : 0.0), to_host(r.score), to_host(r.offset),
             to_host(static_cast<double>(r.mode)), to_host(r.confidence), to_host(r.blockStart)});
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(blocklock, Blocklock)
