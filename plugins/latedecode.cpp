// latedecode(MatchedFilterIn, blockStart, offset, mode, varShapping, nFrame, iterations) ->
// {blocks, DecodOut, out, noiseVar}
#include "chain/hf_receiver.hpp"
#include "plugins/octave_host.hpp"
#include "plugins/structs.hpp"

namespace {

struct Latedecode {
    static constexpr const char* kName = "latedecode";
    static constexpr const char* kInputs[] = {
        "MatchedFilterIn", "blockStart", "offset", "milstd", "varShapping", "nFrame", "iterations"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const hfchain::ComplexArray MatchedFilterIn =
            read_complex(in[0], "MatchedFilterIn", kColumn);
        const double blockStart = read_scalar(in[1], "blockStart");
        const double offset = read_scalar(in[2], "offset");
        const hfchain::ModeParams mode = read_mode_params(in[3]);
        hfchain::HfSettings settings;
        settings.shaping = read_varShapping(in[4]);
        settings.nFrame = read_scalar(in[5], "nFrame");
        settings.iterations = read_scalar(in[6], "iterations");
        hfchain::OctaveHost host;  // for Ctrl-C polls only: the late receiver draws no numbers
        hfchain::HfLateReceived r =
            hfchain::receive_hf_late(MatchedFilterIn, blockStart, offset, mode, settings, host);
        return make_struct(hfchain::kHfLateFields,
                           {to_host(r.blocks), to_host(r.decoding.decoded.DecodOut),
                            to_host(r.decoding.symbols), to_host(r.decoding.noiseVar)});
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(latedecode, Latedecode)
