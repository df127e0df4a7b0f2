// `hfchain transmit`: a whole transmission (preamble, data, any rate and interleaver) as audio.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

#include "apps/air.hpp"
#include "apps/air_picture.hpp"
#include "apps/commands.hpp"
#include "audio/air.hpp"
#include "audio/audio_file.hpp"
#include "audio/passband.hpp"
#include "params/rateconf.hpp"
#include "runtime/builtin_host.hpp"
#include "runtime/checks.hpp"
#include "runtime/output_file.hpp"
#include "sweep/config.hpp"

namespace hfchain::app {

namespace {

constexpr int kFailed = 1;

struct TransmitText {
    double peak = 0, rms = 0;
};

void read_transmit(const TransmitText& t, const CLI::App& cmd, TransmitOptions& o) {
    if (cmd.count("--peak") > 0 && cmd.count("--rms") > 0) {
        throw UsageError("--peak, --rms: give one level");
    }
    if (cmd.count("--rms") > 0) {
        o.rmsLevel = true;
        o.levelDbfs = t.rms;
    } else if (cmd.count("--peak") > 0) {
        o.levelDbfs = t.peak;
    }
    if (!std::isfinite(o.levelDbfs) || o.levelDbfs > 0) {
        throw UsageError((o.rmsLevel ? "--rms" : "--peak") +
                         std::string(": the level is in dB below full scale, at most 0"));
    }
    refused_as_usage([&] {
        const sweep::FieldNames names = cli_names();
        sweep::check_interleaver(o.interLen, names);
        sweep::check_rate(o.rate, o.interLen, names);
        if (o.nFrame > 0) sweep::check_nframe(o.nFrame, o.rate, o.interLen, names);
        sweep::check_seed(o.txSeed, "txSeed", names);
    });
    if (!o.message.empty() && cmd.count("--seed") > 0) {
        throw UsageError("--message, --seed: give one source of bits");
    }
    if (!o.message.empty() && cmd.count("--nframe") > 0) {
        throw UsageError("--nframe: a message sets its own blocks; give --nframe with --seed");
    }
    try {
        audio::check_passband(audio::air_passband(o.sampleRate, o.carrier));
    } catch (const Error& e) {
        throw UsageError(std::string("--sample-rate, --carrier: ") + e.message());
    }
    if (o.output != "-") {
        refused_as_usage([&] { check_output_file("--output", o.output); });
    }
    check_plot_file(o.plot);
}

// The bits of the file's bytes, the first bit the most significant of the first byte.
RealArray message_bits(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) raise("hfchain:transmit:BadMessage", "Cannot read the message file '" + path + "'.");
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    if (in.bad())
        raise("hfchain:transmit:BadMessage", "Cannot read the message file '" + path + "'.");
    return audio::bits_of_bytes(bytes);
}

}  // namespace

int transmit(const TransmitOptions& o) {
    const ModeParams mode = rateconf(o.rate, o.interLen);
    BuiltinHost host;
    RealArray bits;
    audio::AirSource source{
        .nFrame = o.nFrame > 0 ? o.nFrame : sweep::default_nframe(o.rate, o.interLen),
        .seed = o.txSeed};
    if (!o.message.empty()) {
        bits = message_bits(o.message);
        source.message = &bits;
    }
    const audio::Level level{
        .kind = o.rmsLevel ? audio::Level::Kind::rms : audio::Level::Kind::peak,
        .dbfs = o.levelDbfs};
    const audio::AirTransmission tx = audio::transmit_air(
        mode, source, audio::air_passband(o.sampleRate, o.carrier), level, host);
    const audio::AudioSignal& audio = tx.audio;
    audio::write_audio(o.output,
                       {.container = audio::container_for(o.output),
                        .encoding = audio::Encoding::pcm16,
                        .sampleRate = o.sampleRate},
                       audio.samples);

    std::ostringstream text;
    char line[512];
    std::snprintf(line, sizeof line,
                  "mode %s bit/s, %s s interleaver: %s blocks, %lld information bits (%s)\n"
                  "duration %.3f s at %s Hz, carrier %s Hz\n"
                  "level %.2f dBFS peak, %.2f dBFS RMS, peak-to-average ratio %.2f dB\n",
                  format_value(o.rate).c_str(), format_value(o.interLen).c_str(),
                  format_value(tx.nFrame).c_str(), static_cast<long long>(tx.infoBits),
                  o.message.empty() ? ("random, seed " + format_value(o.txSeed)).c_str()
                                    : ("the bytes of " + o.message + ", then zeros").c_str(),
                  static_cast<double>(audio.samples.size()) / o.sampleRate,
                  format_value(o.sampleRate).c_str(), format_value(o.carrier).c_str(),
                  audio.peakDbfs, audio.rmsDbfs, audio.peakToAverageDb);
    write_all(o.output == "-" ? STDERR_FILENO : STDOUT_FILENO, text.str() + line,
              "writing the report");
    if (!o.plot.empty()) plot_transmit(o.plot, o, audio.samples);
    return 0;
}

CommandParser add_transmit_command(CLI::App& app, TransmitOptions& o) {
    const auto t = std::make_shared<TransmitText>();
    CLI::App* cmd = app.add_subcommand(
        "transmit", "One whole transmission (preamble and data) as audio on a carrier");
    add_mode_options(*cmd, o.rate, o.interLen);
    cmd->add_option("--message", o.message,
                    "Send this file's bytes (first bit: the most significant of the first byte; "
                    "the last block completed with zero bits)")
        ->type_name("FILE");
    cmd->add_option("--seed", o.txSeed, "Seed of random information bits (without --message)")
        ->type_name("SEED")
        ->capture_default_str();
    cmd->add_option("-n,--nframe", o.nFrame,
                    "Interleaver blocks of random bits (default: the rate's fewest whole blocks)")
        ->type_name("N");
    cmd->add_option("--sample-rate", o.sampleRate, "Audio samples a second (8000 to 192000)")
        ->type_name("HZ")
        ->capture_default_str();
    add_carrier_option(*cmd, o.carrier);
    cmd->add_option("--peak", t->peak, "Peak level in dBFS (default -3)")->type_name("DBFS");
    cmd->add_option("--rms", t->rms, "RMS level in dBFS instead of the peak's")->type_name("DBFS");
    cmd->add_option("-o,--output", o.output,
                    "Audio file: .wav (16-bit), .flac, .raw (16-bit little-endian); - for "
                    "standard output (WAV)")
        ->type_name("FILE")
        ->required();
    cmd->add_option("--plot", o.plot, "Draw the audio's spectrum into this .svg or .png file")
        ->type_name("FILE");
    cmd->footer(
        "Prints the mode, the blocks, the duration and the level (on standard error when the "
        "audio goes to standard output).");
    return {cmd, [cmd, t, &o] { read_transmit(*t, *cmd, o); }};
}

}  // namespace hfchain::app
