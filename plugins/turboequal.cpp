// turboequal(sounding, mode, nFrame, iterations) -> {out, noiseVar, gains, gainVar, doppler,
// passes}
#include "receiver/turboequal/turboequal.hpp"

#include "plugins/octave_host.hpp"
#include "plugins/sounding.hpp"

namespace {

struct Turboequal {
    static constexpr const char* kName = "turboequal";
    static constexpr const char* kInputs[] = {"sounding", "milstd", "nFrame", "iterations"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const hfchain::ChansoundOut sounding = read_sounding(in[0]);
        const hfchain::ModeParams mode = read_mode_params(in[1]);
        const double nFrame = read_scalar(in[2], "nFrame");
        const double iterations = read_scalar(in[3], "iterations");
        hfchain::OctaveHost host;  // for Ctrl-C polls only: turboequal draws no numbers
        const hfchain::TurboequalOut r =
            hfchain::turboequal(sounding, mode, nFrame, iterations, host);
        return make_struct(hfchain::kTurboequalFields,
                           {to_host(r.out), to_host(r.noiseVar), to_host(r.gains),
                            to_host(r.gainVar), to_host(r.doppler), to_host(r.passes)});
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(turboequal, Turboequal)
