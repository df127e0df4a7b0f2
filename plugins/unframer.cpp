// unframer(DemultiplexIn, mode) -> {out}
#include "receiver/demux/unframer.hpp"

#include "plugins/octave_host.hpp"
#include "plugins/structs.hpp"

namespace {

struct Unframer {
    static constexpr const char* kName = "unframer";
    static constexpr const char* kInputs[] = {"DemultiplexIn", "milstd"};
    static constexpr const char* kFields[] = {"out"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const hfchain::ComplexArray DemultiplexIn = read_complex(in[0], "DemultiplexIn", kColumn);
        const hfchain::ModeParams mode = read_mode_params(in[1]);
        hfchain::OctaveHost host;
        const hfchain::UnframerOut r = hfchain::unframer(DemultiplexIn, mode, host);
        return make_struct(kFields, {to_host(r.out)});
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(unframer, Unframer)
