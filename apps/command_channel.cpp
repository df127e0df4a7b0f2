// `hfchain channel IN OUT`: any audio through an HF channel (audio/audio_channel.hpp), streamed
// from file or standard input to file or standard output.
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "apps/commands.hpp"
#include "apps/option_groups.hpp"
#include "apps/signals.hpp"
#include "audio/audio_channel.hpp"
#include "audio/audio_file.hpp"
#include "channel/noise_level.hpp"
#include "runtime/checks.hpp"

namespace hfchain::app {

namespace {

constexpr std::size_t kBlock = 4096;

// What the options give as text, read once the command line is parsed.
struct ChannelText {
    std::string impulses;
    bool noSsbFilter = false, ssbFilter = false;
    double clip = 0;
};

void read_channel_options(const ChannelText& t, const CLI::App& cmd, ChannelOptions& o) {
    const bool snr = cmd.count("--snr3k") > 0, level = cmd.count("--noise-dbfs") > 0;
    if (snr == level) throw UsageError("give the noise either by --snr3k or by --noise-dbfs");
    if (snr && o.input == "-") {
        throw UsageError(
            "--snr3k measures the signal over the whole input before adding the noise: give a "
            "file as IN, or set the noise level with --noise-dbfs");
    }
    if (!t.impulses.empty()) o.config.impulses = parse_impulses(t.impulses);
    if (t.noSsbFilter && t.ssbFilter) {
        throw UsageError("--ssb-filter and --no-ssb-filter exclude each other");
    }
    if (t.noSsbFilter) o.config.ssbFilter = false;
    if (t.ssbFilter) o.config.ssbFilter = true;
    if (cmd.count("--clip") > 0) o.config.clipDbfs = t.clip;
    if (level) o.config.noiseDensity = audio::noise_density_of_dbfs(o.noiseDbfs);
    if (o.rawRate < 0) throw UsageError("--raw: give the sample rate of the raw samples");
    // The channel's settings, checked before any file is opened (the sample rate comes later).
    audio::AudioChannelConfig probe = o.config;
    try {
        audio::AudioChannel check(probe);
    } catch (const Error& e) {
        throw UsageError(e.what());
    }
}

std::unique_ptr<audio::AudioReader> open_input(const ChannelOptions& o) {
    audio::ReadOptions r;
    if (o.rawRate > 0) {
        r.raw = true;
        r.rawRate = o.rawRate;
    }
    return std::make_unique<audio::AudioReader>(o.input, r);
}

// Feeds the whole input through `channel`; `write` takes each block of output. Stops early, with
// what is done, on a stop signal.
template <class Write>
void feed(audio::AudioReader& reader, audio::AudioChannel& channel, Write&& write) {
    std::vector<double> in(kBlock), out;
    for (;;) {
        const std::size_t got = reader.read(in.data(), kBlock);
        if (got == 0 || stop_flag()) break;
        out.clear();
        channel.push(in.data(), got, out);
        write(out);
    }
    out.clear();
    channel.finish(out);
    write(out);
}

double dbfs(double power) { return 10 * std::log10(power); }

void report(const audio::AudioChannelStats& s, double rate, bool noise, std::size_t written) {
    std::string text = "hfchain channel: ";
    if (noise && s.signalPower > 0) {
        text += "SNR(3 kHz) " + shown(std::round(s.snr3k() * 100) / 100) + " dB measured (signal " +
                shown(std::round(dbfs(s.signalPower) * 100) / 100) + " dBFS over " +
                shown(static_cast<double>(s.activeLast - s.activeFirst + 1) / rate) +
                " s active, noise " + shown(std::round(dbfs(s.noiseDensity * 3000) * 100) / 100) +
                " dBFS in 3 kHz)";
    } else {
        text += "the input is silent";
    }
    text += "; " + std::to_string(s.bursts) + " static crashes; " + std::to_string(s.clipped) +
            " samples clipped; " + std::to_string(written) + " samples written";
    std::fprintf(stderr, "%s\n", text.c_str());
}

}  // namespace

CommandParser add_channel_command(CLI::App& app, ChannelOptions& o) {
    const auto t = std::make_shared<ChannelText>();
    CLI::App* cmd = app.add_subcommand(
        "channel", "Any audio through an HF channel: fading paths, noise, offsets, crashes");
    cmd->add_option("IN", o.input, "Audio file to read (WAV, FLAC, raw), or - for standard input")
        ->required();
    cmd->add_option("OUT", o.output,
                    "Audio file to write (16-bit WAV; .flac FLAC; .raw raw), or - for standard "
                    "output")
        ->required();
    cmd->add_option("-c,--channel", o.config.channel,
                    "Channel: awgn (white noise only), a preset (bom, moderado, ruim, muito_ruim, "
                    "the itu_* conditions) or a written channel such as 2p:2ms:1Hz")
        ->type_name("NAME")
        ->required();
    cmd->add_option("--snr3k", o.snr3k,
                    "SNR in 3 kHz, dB: the noise's power in 3 kHz against the signal's over the "
                    "input's active part (IN must be a file)")
        ->type_name("DB");
    cmd->add_option("--noise-dbfs", o.noiseDbfs, "The noise's power in 3 kHz, dBFS")
        ->type_name("DBFS");
    cmd->add_option("--offset", o.config.offset,
                    "Frequency offset, Hz (added to the channel's own off=)")
        ->type_name("HZ");
    cmd->add_option("--clock-ppm", o.config.clockPpm,
                    "The receiving sound card's clock against the sender's, ppm (positive: it "
                    "runs fast, and tones come out lower)")
        ->type_name("PPM");
    cmd->add_option("--impulses", t->impulses,
                    "Static crashes: RATE bursts a second at LEVEL dBFS (RMS at the onset)")
        ->type_name("RATE:LEVEL");
    cmd->add_flag("--no-ssb-filter", t->noSsbFilter,
                  "No receiver's SSB filter (300-3000 Hz; on by default for every channel but "
                  "awgn)");
    cmd->add_flag("--ssb-filter", t->ssbFilter, "The SSB filter also for awgn");
    cmd->add_option("--clip", t->clip, "Clip the output at this peak level, dBFS")
        ->type_name("DBFS");
    cmd->add_option("--carrier", o.config.carrier,
                    "Middle of the band carried (carrier +- 1500 Hz), Hz")
        ->type_name("HZ")
        ->capture_default_str();
    cmd->add_option("--seed", o.config.seed, "Seed of the fading, noise and crashes")
        ->type_name("SEED")
        ->capture_default_str();
    cmd->add_option("--raw", o.rawRate,
                    "IN (and an OUT of -) are raw 16-bit little-endian samples at this rate")
        ->type_name("HZ");
    return {cmd, [cmd, t, &o] { read_channel_options(*t, *cmd, o); }};
}

int do_channel(ChannelOptions& o) {
    StopSignals signals;
    std::unique_ptr<audio::AudioReader> reader = open_input(o);
    o.config.sampleRate = reader->sampleRate();
    // The settings were checked before the input was opened; only its sample rate is new.
    try {
        audio::AudioChannel check(o.config);
    } catch (const Error& e) {
        throw UsageError(std::string("--carrier: ") + e.message() + " ('" + o.input + "' is at " +
                         format_value(o.config.sampleRate) + " Hz)");
    }
    const bool noise = o.snr3k.has_value() || o.config.noiseDensity > 0;
    if (o.snr3k) {
        audio::AudioChannel probe(audio::signal_only(o.config));
        feed(*reader, probe, [](const std::vector<double>&) {});
        if (!(probe.stats().signalPower > 0)) {
            throw UsageError(
                "--snr3k: the input is silent, there is no signal to measure; set "
                "the noise level with --noise-dbfs");
        }
        o.config.noiseDensity = noise_density_for(probe.stats().signalPower, *o.snr3k);
        reader = open_input(o);
    }
    audio::AudioChannel channel(o.config);
    audio::WriteOptions w;
    w.sampleRate = o.config.sampleRate;
    w.container =
        o.rawRate > 0 && o.output == "-" ? audio::Container::raw : audio::container_for(o.output);
    audio::AudioWriter writer(o.output, w);
    std::size_t written = 0;
    feed(*reader, channel, [&](const std::vector<double>& out) {
        writer.write(out.data(), out.size());
        written += out.size();
    });
    writer.commit();
    report(channel.stats(), o.config.sampleRate, noise, written);
    return stop_signal() != 0 ? stop_status() : 0;
}

}  // namespace hfchain::app
