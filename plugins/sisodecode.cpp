// sisodecode(DecoderIn, mode, nFrame) -> {Extrinsic, InfoLLR, InfoBits}
#include "receiver/decoder/sisodecode.hpp"

#include "plugins/structs.hpp"

namespace {

struct Sisodecode {
    static constexpr const char* kName = "sisodecode";
    static constexpr const char* kInputs[] = {"DecoderIn", "milstd", "nFrame"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const auto DecoderIn = read_real(in[0], "DecoderIn", kColumn);
        const hfchain::ModeParams mode = read_mode_params(in[1]);
        const double nFrame = read_scalar(in[2], "nFrame");
        const hfchain::SisodecodeOut r = hfchain::sisodecode(*DecoderIn, mode, nFrame);
        return make_struct(hfchain::kSisodecodeFields,
                           {to_host(r.Extrinsic), to_host(r.InfoLLR), to_host(r.InfoBits)});
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(sisodecode, Sisodecode)
