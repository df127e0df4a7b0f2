// vitdecode(DecoderIn, mode, nFrame) -> {DecodOut, InfoBits}
#include "receiver/decoder/vitdecode.hpp"

#include "plugins/structs.hpp"

namespace {

struct Vitdecode {
    static constexpr const char* kName = "vitdecode";
    static constexpr const char* kInputs[] = {"DecoderIn", "milstd", "nFrame"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const auto DecoderIn = read_real(in[0], "DecoderIn", kColumn);
        const hfchain::ModeParams mode = read_mode_params(in[1]);
        const double nFrame = read_scalar(in[2], "nFrame");
        const hfchain::VitdecodeOut r = hfchain::vitdecode(*DecoderIn, mode, nFrame);
        return make_struct(hfchain::kVitdecodeFields, {to_host(r.DecodOut), to_host(r.InfoBits)});
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(vitdecode, Vitdecode)
