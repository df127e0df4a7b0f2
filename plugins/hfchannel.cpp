// hfchannel(x, varHfchannel, varShapping) -> {raios, delays, offset, WattersonOutAwgnIn, noise,
// AwgnOut}
//
// varHfchannel: paths, offset, EsNodB, seed. `paths` is either a P x 4 matrix, one row per path
// [delay (s), mean power (dB), two-sided Doppler spread (Hz), Doppler shift (Hz)], or a character
// row naming a preset or writing a channel ("ruim", "2p:2ms:1Hz:off=50Hz"); `offset` (Hz, from
// -1000 to 1000 as the text's off=) is the offset of the whole signal, added to a written
// channel's own.
#include "channel/hfchannel.hpp"

#include "channel/channel_text.hpp"
#include "plugins/octave_host.hpp"
#include "plugins/structs.hpp"

namespace {

inline constexpr const char* kVarHfchannelFields[] = {"paths", "offset", "EsNodB", "seed"};

// A written channel is a character row of at most 2000 characters (16 paths fit in 600).
constexpr hfchain::index_t kTextMaxLength = 2000;
constexpr hfchain::index_t kMostPaths = 10000;

hfchain::VarHfchannel read_varHfchannel(const mxArray* a) {
    using namespace hfchain::gateway;
    const StructReader s(a, "varHfchannel", kVarHfchannelFields);
    hfchain::VarHfchannel v;
    const mxArray* paths = s.field("paths");
    if (mxIsChar(paths)) {
        v.channel = hfchain::read_channel(s.text("paths", kTextMaxLength)).channel;
    } else {
        const hfchain::RealArray rows = s.real("paths", Shape{upto(kMostPaths), fixed(4)});
        for (hfchain::index_t p = 0; p < rows.rows(); ++p) {
            v.channel.paths.push_back({rows(p, 0), rows(p, 1), rows(p, 2), rows(p, 3)});
        }
    }
    v.channel.offset += hfchain::numeric_offset(s.scalar("offset"));
    v.EsNodB = s.scalar("EsNodB");
    v.seed = s.scalar("seed");
    return v;
}

struct Hfchannel {
    static constexpr const char* kName = "hfchannel";
    static constexpr const char* kInputs[] = {"x", "varHfchannel", "varShapping"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const hfchain::ComplexArray x = read_complex(in[0], "x", kColumn);
        const hfchain::VarHfchannel varHfchannel = read_varHfchannel(in[1]);
        const hfchain::VarShapping varShapping = read_varShapping(in[2]);
        hfchain::OctaveHost host;
        const hfchain::HfchannelOut r = hfchain::hfchannel(x, varHfchannel, varShapping, host);
        return make_struct(hfchain::kHfchannelFields,
                           {to_host(r.raios), to_host(r.delays), to_host(r.offset),
                            to_host(r.WattersonOutAwgnIn), to_host(r.noise), to_host(r.AwgnOut)});
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(hfchannel, Hfchannel)
