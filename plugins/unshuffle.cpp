// unshuffle(DeinterleaverIn, mode) -> {out}
#include "receiver/deinterleave/unshuffle.hpp"

#include "plugins/octave_host.hpp"
#include "plugins/structs.hpp"

namespace {

struct Unshuffle {
    static constexpr const char* kName = "unshuffle";
    static constexpr const char* kInputs[] = {"DeinterleaverIn", "milstd"};
    static constexpr const char* kFields[] = {"out"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const auto DeinterleaverIn = read_real(in[0], "DeinterleaverIn", kColumn);
        const hfchain::ModeParams mode = read_mode_params(in[1]);
        hfchain::OctaveHost host;
        const hfchain::UnshuffleOut r = hfchain::unshuffle(*DeinterleaverIn, mode, host);
        return make_struct(kFields, {to_host(r.out)});
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(unshuffle, Unshuffle)
