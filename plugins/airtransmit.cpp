// airtransmit(milstd, varSource, varTransmit) -> {audio, nFrame, infoBits, duration, peakDbfs,
// rmsDbfs, peakToAverage}
//
// varSource: bits (information bits, a column of 0 and 1, sent over the fewest whole interleaver
// blocks that hold them; empty: random bits), nFrame and seed (the blocks and seed of the random
// bits, read only without bits). varTransmit: sampleRate, carrier, level (dBFS), levelKind
// ("peak" or "rms").
#include "audio/air.hpp"
#include "plugins/octave_host.hpp"
#include "plugins/structs.hpp"

namespace {

inline constexpr const char* kVarSourceFields[] = {"bits", "nFrame", "seed"};
inline constexpr const char* kVarTransmitFields[] = {"sampleRate", "carrier", "level", "levelKind"};
inline constexpr const char* kAirtransmitFields[] = {
    "audio", "nFrame", "infoBits", "duration", "peakDbfs", "rmsDbfs", "peakToAverage"};

// Ten million information bits: over an hour at 2400 bit/s.
constexpr hfchain::index_t kMostBits = 10'000'000;

hfchain::audio::Level read_level(const hfchain::gateway::StructReader& s) {
    hfchain::audio::Level level;
    level.dbfs = s.scalar("level");
    const std::string kind = s.text("levelKind", 8);
    if (kind == "rms") {
        level.kind = hfchain::audio::Level::Kind::rms;
    } else if (kind != "peak") {
        hfchain::raise(
            "hfchain:airtransmit:LevelKind",
            "varTransmit.levelKind must be \"peak\" or \"rms\"; it is \"" + kind + "\".");
    }
    return level;
}

struct Airtransmit {
    static constexpr const char* kName = "airtransmit";
    static constexpr const char* kInputs[] = {"milstd", "varSource", "varTransmit"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const hfchain::ModeParams mode = read_mode_params(in[0]);
        const StructReader source(in[1], "varSource", kVarSourceFields);
        const hfchain::RealArray bits = source.real("bits", Shape{upto(kMostBits), upto(1)});
        hfchain::audio::AirSource from{.message = bits.numel() > 0 ? &bits : nullptr};
        if (from.message == nullptr) {
            from.nFrame = source.scalar("nFrame");
            from.seed = source.scalar("seed");
        }
        const StructReader transmit(in[2], "varTransmit", kVarTransmitFields);
        const hfchain::audio::PassbandConfig passband =
            hfchain::audio::air_passband(transmit.scalar("sampleRate"), transmit.scalar("carrier"));
        const hfchain::audio::Level level = read_level(transmit);
        hfchain::OctaveHost host;
        const hfchain::audio::AirTransmission t =
            hfchain::audio::transmit_air(mode, from, passband, level, host);
        hfchain::RealArray audio(static_cast<hfchain::index_t>(t.audio.samples.size()));
        std::copy(t.audio.samples.begin(), t.audio.samples.end(), audio.begin());
        return make_struct(
            kAirtransmitFields,
            {to_host(audio), to_host(t.nFrame), to_host(static_cast<double>(t.infoBits)),
             to_host(static_cast<double>(t.audio.samples.size()) / passband.sampleRate),
             to_host(t.audio.peakDbfs), to_host(t.audio.rmsDbfs),
             to_host(t.audio.peakToAverageDb)});
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(airtransmit, Airtransmit)
