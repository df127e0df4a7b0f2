// airchannel(audio, varAirchannel) -> {audio, snr3k, signalPower, noiseDensity, activeFirst,
// activeLast, bursts, clipped}
//
// varAirchannel: sampleRate, carrier, channel (a preset's name, a written channel or "awgn"),
// offset, snr3k or noiseDbfs (one of them, the other empty; both empty: no noise), clockPpm,
// impulses ([bursts a second, dBFS] or empty), ssbFilter (1, 0, or empty: the channel's default),
// clip (dBFS, or empty), seed.
#include <optional>
#include <vector>

#include "audio/audio_channel.hpp"
#include "plugins/octave_host.hpp"
#include "plugins/structs.hpp"

namespace {

inline constexpr const char* kVarAirchannelFields[] = {
    "sampleRate", "carrier",  "channel",   "offset", "snr3k", "noiseDbfs",
    "clockPpm",   "impulses", "ssbFilter", "clip",   "seed"};
inline constexpr const char* kAirchannelFields[] = {"audio",        "snr3k",       "signalPower",
                                                    "noiseDensity", "activeFirst", "activeLast",
                                                    "bursts",       "clipped"};

// A written channel is a character row of at most 2000 characters, as hfchannel's.
constexpr hfchain::index_t kTextMaxLength = 2000;

using hfchain::gateway::StructReader;

// A field that is a number or empty (not set).
std::optional<double> optional_scalar(const StructReader& s, const char* f) {
    using namespace hfchain::gateway;
    const hfchain::RealArray v = s.real(f, Shape{upto(1), upto(1)});
    if (v.numel() == 0) return std::nullopt;
    return v[0];
}

struct Settings {
    hfchain::audio::AudioChannelConfig config;
    std::optional<double> snr3k;
};

Settings read_varAirchannel(const mxArray* a) {
    using namespace hfchain::gateway;
    const StructReader s(a, "varAirchannel", kVarAirchannelFields);
    Settings r;
    hfchain::audio::AudioChannelConfig& c = r.config;
    c.sampleRate = s.scalar("sampleRate");
    c.carrier = s.scalar("carrier");
    c.channel = s.text("channel", kTextMaxLength);
    c.offset = s.scalar("offset");
    r.snr3k = optional_scalar(s, "snr3k");
    const std::optional<double> level = optional_scalar(s, "noiseDbfs");
    if (r.snr3k && level) {
        hfchain::raise("hfchain:airchannel:Noise",
                       "Give the noise by varAirchannel.snr3k or by varAirchannel.noiseDbfs, not "
                       "both (the other empty).");
    }
    if (level) c.noiseDensity = hfchain::audio::noise_density_of_dbfs(*level);
    c.clockPpm = s.scalar("clockPpm");
    const hfchain::RealArray impulses = s.real("impulses", Shape{upto(1), upto(2)});
    if (impulses.numel() == 2) {
        c.impulses = hfchain::ImpulseSettings{impulses[0], impulses[1]};
    } else if (impulses.numel() != 0) {
        hfchain::raise(kWrongSize,
                       "Input 'varAirchannel.impulses' must be [bursts a second, dBFS] or empty.");
    }
    if (const std::optional<double> ssb = optional_scalar(s, "ssbFilter")) {
        if (*ssb != 0 && *ssb != 1) {
            hfchain::raise("hfchain:airchannel:SsbFilter",
                           "varAirchannel.ssbFilter must be 1, 0 or empty.");
        }
        c.ssbFilter = *ssb == 1;
    }
    c.clipDbfs = optional_scalar(s, "clip");
    c.seed = s.scalar("seed");
    return r;
}

struct Airchannel {
    static constexpr const char* kName = "airchannel";
    static constexpr const char* kInputs[] = {"audio", "varAirchannel"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const auto audio = read_real(in[0], "audio", kColumn);
        const Settings settings = read_varAirchannel(in[1]);
        const std::vector<double> samples(audio->data(), audio->data() + audio->numel());
        const hfchain::audio::ChannelResult r =
            hfchain::audio::pass_audio_channel(samples, settings.config, settings.snr3k);
        hfchain::RealArray out(static_cast<hfchain::index_t>(r.samples.size()));
        std::copy(r.samples.begin(), r.samples.end(), out.begin());
        const auto whole = [](std::int64_t v) { return to_host(static_cast<double>(v)); };
        // The active part's samples counted from 1 (0 for a silent input).
        return make_struct(
            kAirchannelFields,
            {to_host(out), to_host(r.stats.snr3k()), to_host(r.stats.signalPower),
             to_host(r.stats.noiseDensity), whole(r.stats.activeFirst + 1),
             whole(r.stats.activeLast + 1), whole(r.stats.bursts), whole(r.stats.clipped)});
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(airchannel, Airchannel)
