// modelock(MatchedFilterIn, varShapping, settings) -> {found, score, start, offset, rate, interLen,
// confidence, segmentsLeft, preambleStart, firstData}
#include "receiver/modelock/modelock.hpp"

#include "params/modes.hpp"
#include "plugins/octave_host.hpp"
#include "plugins/structs.hpp"

namespace {

struct Modelock {
    static constexpr const char* kName = "modelock";
    static constexpr const char* kInputs[] = {"MatchedFilterIn", "varShapping", "settings"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const hfchain::ComplexArray MatchedFilterIn =
            read_complex(in[0], "MatchedFilterIn", kColumn);
        const hfchain::VarShapping varShapping = read_varShapping(in[1]);
        const StructReader s(in[2], "settings", hfchain::kVarModelockFields);
        hfchain::VarModelock settings;
        settings.threshold = s.scalar("threshold");
        settings.from = s.scalar("from");
        settings.to = s.scalar("to");
        hfchain::OctaveHost host;  // for Ctrl-C polls only: modelock draws no numbers
        const hfchain::ModelockOut r =
            hfchain::modelock(MatchedFilterIn, varShapping, settings, host);
        const hfchain::Mode* mode = r.mode >= 0 ? &hfchain::kModes[r.mode] : nullptr;
        return make_struct(hfchain::kModelockFields,
                           {logical_to_host(r.found), to_host(r.score), to_host(r.start),
                            to_host(r.offset), to_host(mode != nullptr ? mode->rate : 0.0),
                            to_host(mode != nullptr ? mode->interLen : 0.0), to_host(r.confidence),
                            to_host(static_cast<double>(r.segmentsLeft)), to_host(r.preambleStart),
                            to_host(r.firstData)});
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(modelock, Modelock)
