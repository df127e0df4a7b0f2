// sendchain(mode, nFrame, seed) -> {BitInCodIn, CodOutInterIn, InterOutMapIn,
// MapOutMultiplexIn, ComplexPSKSymbols, ModConstellation, ProbeInfo, MultiplexOut}
#include "transmitter/sendchain.hpp"

#include "plugins/octave_host.hpp"
#include "plugins/structs.hpp"

namespace {

struct Sendchain {
    static constexpr const char* kName = "sendchain";
    static constexpr const char* kInputs[] = {"milstd", "nFrame", "seed"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const hfchain::ModeParams mode = read_mode_params(in[0]);
        const double nFrame = read_scalar(in[1], "nFrame");
        const double seed = read_scalar(in[2], "seed");
        hfchain::OctaveHost host;
        const hfchain::SendchainOut r = hfchain::sendchain(mode, nFrame, seed, host);
        return make_struct(
            hfchain::kSendchainFields,
            {to_host(r.BitInCodIn), to_host(r.CodOutInterIn), to_host(r.InterOutMapIn),
             to_host(r.MapOutMultiplexIn), to_host(r.ComplexPSKSymbols),
             to_host(r.ModConstellation), to_host(r.ProbeInfo), to_host(r.MultiplexOut)});
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(sendchain, Sendchain)
