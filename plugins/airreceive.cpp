// airreceive(audio, milstd, varReceive) -> T x 1 structure array {start, frequencyOffset,
// clockOffset, snr3k, decoded, disagreement, bits}, one element per transmission found
//
// varReceive: sampleRate, carrier.
#include <cmath>
#include <iterator>
#include <vector>

#include "audio/air.hpp"
#include "plugins/octave_host.hpp"
#include "plugins/structs.hpp"

namespace {

inline constexpr const char* kVarReceiveFields[] = {"sampleRate", "carrier"};
inline constexpr const char* kTransmissionFields[] = {
    "start", "frequencyOffset", "clockOffset", "snr3k", "decoded", "disagreement", "bits"};

// One element of the result: the transmission's figures, its blocks as columns.
void set_transmission(mxArray* out, mwIndex i, const hfchain::RecordedTransmission& t) {
    using namespace hfchain::gateway;
    const auto n = static_cast<hfchain::index_t>(t.blocks.size());
    hfchain::RealArray decoded(n), disagreement(n);
    for (hfchain::index_t b = 0; b < n; ++b) {
        decoded[b] = t.blocks[b].decoded ? 1 : 0;
        disagreement[b] = t.blocks[b].disagreement;
    }
    const double clock = t.clockMeasured ? t.clockOffset : std::nan("");
    mxArray* values[] = {to_host(t.start),   to_host(t.frequencyOffset), to_host(clock),
                         to_host(t.snr3k),   to_host(decoded),           to_host(disagreement),
                         to_host(t.infoBits)};
    for (int f = 0; f < static_cast<int>(std::size(values)); ++f) {
        mxSetFieldByNumber(out, i, f, values[f]);
    }
}

struct Airreceive {
    static constexpr const char* kName = "airreceive";
    static constexpr const char* kInputs[] = {"audio", "milstd", "varReceive"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const auto audio = read_real(in[0], "audio", kColumn);
        const hfchain::ModeParams mode = read_mode_params(in[1]);
        const StructReader s(in[2], "varReceive", kVarReceiveFields);
        const double sampleRate = s.scalar("sampleRate");
        const double carrier = s.scalar("carrier");
        hfchain::OctaveHost host;
        const hfchain::audio::AirRecording recording = hfchain::audio::demodulate_recording(
            audio->data(), static_cast<std::size_t>(audio->numel()), sampleRate, carrier, "audio");
        const std::vector<hfchain::RecordedTransmission> found =
            hfchain::audio::receive_air(recording, mode, host);
        mxArray* out = create_in_host([&] {
            return mxCreateStructMatrix(found.size(), 1, std::size(kTransmissionFields),
                                        const_cast<const char**>(kTransmissionFields));
        });
        for (std::size_t i = 0; i < found.size(); ++i) set_transmission(out, i, found[i]);
        return out;
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(airreceive, Airreceive)
