// geniecombine(MultiplexOut, raios, noise, EsNodB, mode, varShapping) -> {out, noiseVar, gain}
#include "receiver/geniecombine/geniecombine.hpp"

#include "plugins/structs.hpp"

namespace {

struct Geniecombine {
    static constexpr const char* kName = "geniecombine";
    static constexpr const char* kInputs[] = {"MultiplexOut", "raios",  "noise",
                                              "EsNodB",       "milstd", "varShapping"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const hfchain::ComplexArray MultiplexOut = read_complex(in[0], "MultiplexOut", kColumn);
        // raios: L x 2 from fadesim, or empty (Octave's [] is 0 x 0) for a channel without rays.
        const hfchain::ComplexArray raios =
            read_complex(in[1], "raios", Shape{upto(kUnbounded), upto(2)});
        const hfchain::ComplexArray noise = read_complex(in[2], "noise", kColumn);
        const double EsNodB = read_scalar(in[3], "EsNodB");
        const hfchain::ModeParams mode = read_mode_params(in[4]);
        const hfchain::VarShapping varShapping = read_varShapping(in[5]);
        const hfchain::GeniecombineOut r =
            hfchain::geniecombine(MultiplexOut, raios, noise, EsNodB, mode, varShapping);
        return make_struct(hfchain::kGeniecombineFields,
                           {to_host(r.out), to_host(r.noiseVar), to_host(r.gain)});
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(geniecombine, Geniecombine)
