// `hfchain receive`: the transmissions of one mode in a recording, found and decoded.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "apps/air.hpp"
#include "apps/air_picture.hpp"
#include "apps/commands.hpp"
#include "audio/airpath.hpp"
#include "audio/audio_file.hpp"
#include "audio/passband.hpp"
#include "chain/recording.hpp"
#include "params/rateconf.hpp"
#include "runtime/builtin_host.hpp"
#include "runtime/checks.hpp"
#include "runtime/output_file.hpp"
#include "sweep/config.hpp"

namespace hfchain::app {

namespace {

constexpr int kFailed = 1;

// The baseband is kept in single precision, 8 bytes a sample at 9600 samples a second (277 MB
// an hour of recording): recordings beyond this are refused.
constexpr double kLongestRecording = 8 * 3600;  // s

// Audio read at a time.
constexpr std::size_t kChunk = 1 << 16;

void read_receive(const CLI::App& cmd, ReceiveOptions& o) {
    refused_as_usage([&] {
        const sweep::FieldNames names = cli_names();
        sweep::check_interleaver(o.interLen, names);
        sweep::check_rate(o.rate, o.interLen, names);
        check_output_file("--output", o.output == "-" ? "" : o.output);
        check_output_file("--json", o.json == "-" ? "" : o.json);
    });
    if (!(o.carrier > 0) || !std::isfinite(o.carrier)) {
        throw UsageError("--carrier: a frequency above 0 Hz");
    }
    if (o.channel < 1) throw UsageError("--channel: the channels are counted from 1");
    if (cmd.count("--raw-rate") > 0 && !(o.rawRate >= 8000 && o.rawRate <= 192000)) {
        throw UsageError("--raw-rate: 8000 to 192000 samples a second");
    }
    check_plot_file(o.plot);
    if (o.output == "-" && o.json == "-") {
        throw UsageError("--output, --json: only one of them can go to standard output");
    }
}

struct Recording {
    Baseband baseband;
    double sampleRate = 0;
    double seconds = 0;
    std::optional<AudioSpectrum> spectrum;  // the audio's, for --plot
};

// The file brought down to baseband chunk by chunk: only the baseband is kept.
Recording demodulate_file(const ReceiveOptions& o) {
    audio::ReadOptions read{.raw = o.rawRate > 0, .rawRate = o.rawRate, .channel = o.channel};
    audio::AudioReader reader(o.input, read);
    const audio::PassbandConfig config = air_passband(reader.sampleRate(), o.carrier);
    try {
        audio::check_passband(config);
    } catch (const Error& e) {
        raise("hfchain:receive:BadRecording", "'" + o.input + "': " + e.message());
    }
    audio::Demodulator demod(config);
    Recording r;
    r.sampleRate = reader.sampleRate();
    if (!o.plot.empty()) r.spectrum.emplace(r.sampleRate);
    std::vector<double> samples(kChunk);
    std::vector<cdouble> down;
    long long read_total = 0;
    const auto keep = [&] {
        for (const cdouble& v : down) {
            r.baseband.emplace_back(static_cast<float>(v.real()), static_cast<float>(v.imag()));
        }
        down.clear();
    };
    for (std::size_t n; (n = reader.read(samples.data(), kChunk)) > 0;) {
        read_total += static_cast<long long>(n);
        if (static_cast<double>(read_total) > kLongestRecording * r.sampleRate) {
            raise(
                "hfchain:receive:TooLong",
                "'" + o.input + "' is longer than " + format_value(kLongestRecording / 3600) +
                    " hours, the longest recording receive reads (its baseband is kept in "
                    "memory, 277 MB an hour); cut it into parts (sox IN PART trim START LENGTH).");
        }
        if (r.spectrum) r.spectrum->push(samples.data(), n);
        demod.push(samples.data(), n, down);
        keep();
    }
    demod.finish(down);
    keep();
    r.seconds = static_cast<double>(read_total) / r.sampleRate;
    return r;
}

// The sample clock's offset as the report reads it.
std::string clock_text(const RecordedTransmission& t) {
    if (!t.clockMeasured) return "not measured (too short)";
    char text[64];
    std::snprintf(text, sizeof text, "%+.1f ppm", t.clockOffset);
    return text;
}

std::string text_report(const ReceiveOptions& o, const Recording& rec,
                        const std::vector<RecordedTransmission>& found) {
    std::ostringstream out;
    char line[256];
    std::snprintf(line, sizeof line, "# %s bit/s, %s s interleaver; %s: %.3f s at %s Hz\n",
                  format_value(o.rate).c_str(), format_value(o.interLen).c_str(), o.input.c_str(),
                  rec.seconds, format_value(rec.sampleRate).c_str());
    out << line;
    if (found.empty()) out << "no transmission found\n";
    for (std::size_t i = 0; i < found.size(); ++i) {
        const RecordedTransmission& t = found[i];
        std::snprintf(line, sizeof line,
                      "transmission %zu: start %.4f s, frequency offset %+.2f Hz, sample clock "
                      "%s, SNR(3 kHz) %.1f dB, %zu blocks\n",
                      i + 1, t.start, t.frequencyOffset, clock_text(t).c_str(), t.snr3k,
                      t.blocks.size());
        out << line;
        for (std::size_t b = 0; b < t.blocks.size(); ++b) {
            std::snprintf(line, sizeof line, "  block %zu: %s (disagreement %.3f)\n", b + 1,
                          t.blocks[b].decoded ? "decoded" : "not decoded",
                          t.blocks[b].disagreement);
            out << line;
        }
    }
    return out.str();
}

std::string json_report(const ReceiveOptions& o, const Recording& rec,
                        const std::vector<RecordedTransmission>& found) {
    std::ostringstream out;
    out.precision(10);
    out << "{\"rate\": " << o.rate << ", \"interleaver\": " << o.interLen
        << ", \"sampleRate\": " << rec.sampleRate << ", \"seconds\": " << rec.seconds
        << ", \"transmissions\": [";
    for (std::size_t i = 0; i < found.size(); ++i) {
        const RecordedTransmission& t = found[i];
        out << (i > 0 ? ", " : "") << "{\"start\": " << t.start
            << ", \"frequencyOffset\": " << t.frequencyOffset
            << ", \"clockOffset\": " << (t.clockMeasured ? std::to_string(t.clockOffset) : "null")
            << ", \"snr3k\": " << t.snr3k << ", \"infoBits\": " << t.infoBits.numel()
            << ", \"blocks\": [";
        for (std::size_t b = 0; b < t.blocks.size(); ++b) {
            out << (b > 0 ? ", " : "")
                << "{\"decoded\": " << (t.blocks[b].decoded ? "true" : "false")
                << ", \"disagreement\": " << t.blocks[b].disagreement << "}";
        }
        out << "]}";
    }
    out << "]}\n";
    return out.str();
}

// The decoded information bits of every transmission as bytes, first bit the most significant
// (a transmission's last byte completed with zeros).
std::string decoded_bytes(const std::vector<RecordedTransmission>& found) {
    std::string bytes;
    for (const RecordedTransmission& t : found) {
        for (index_t k = 0; k < t.infoBits.numel(); k += 8) {
            unsigned byte = 0;
            for (index_t b = 0; b < 8; ++b) {
                const bool one = k + b < t.infoBits.numel() && t.infoBits[k + b] == 1;
                byte |= (one ? 1u : 0u) << (7 - b);
            }
            bytes.push_back(static_cast<char>(byte));
        }
    }
    return bytes;
}

// Writes `content` to `path` whole, or to standard output for "-".
void write_output(const char* option, const std::string& path, const std::string& content) {
    if (path.empty()) return;
    if (path == "-") {
        write_all(STDOUT_FILENO, content, std::string("writing ") + option);
        return;
    }
    ResultFile file(option, path);
    file.write(content);
    file.commit();
}

}  // namespace

int receive(const ReceiveOptions& o) {
    const ModeParams mode = rateconf(o.rate, o.interLen);
    const Recording rec = demodulate_file(o);
    BuiltinHost host;
    RecordingSettings settings;
    settings.shaping = air_shaping();
    settings.reclock = [](const ComplexArray& x, double ppm) { return audio::reclock(x, ppm); };
    const std::vector<RecordedTransmission> found =
        receive_recording(rec.baseband, mode, settings, host);

    const bool report_to_stderr = o.output == "-" || o.json == "-";
    write_all(report_to_stderr ? STDERR_FILENO : STDOUT_FILENO, text_report(o, rec, found),
              "writing the report");
    write_output("--output", o.output, decoded_bytes(found));
    write_output("--json", o.json, json_report(o, rec, found));
    if (rec.spectrum) plot_receive(o.plot, o, *rec.spectrum, rec.baseband, found, settings);
    bool all = !found.empty();
    for (const RecordedTransmission& t : found) {
        for (const RecordedBlock& b : t.blocks) all = all && b.decoded;
    }
    return all ? 0 : kFailed;
}

CommandParser add_receive_command(CLI::App& app, ReceiveOptions& o) {
    CLI::App* cmd = app.add_subcommand(
        "receive", "Finds and decodes the transmissions of one mode in a recording");
    cmd->add_option("input", o.input,
                    "Audio file (WAV, FLAC, raw with --raw-rate); - for "
                    "standard input")
        ->type_name("IN")
        ->required();
    add_mode_options(*cmd, o.rate, o.interLen);
    add_carrier_option(*cmd, o.carrier);
    cmd->add_option("--channel", o.channel, "Channel of a stereo file, from 1")
        ->type_name("N")
        ->capture_default_str();
    cmd->add_option("--raw-rate", o.rawRate,
                    "Read IN as raw 16-bit little-endian mono samples at this rate")
        ->type_name("HZ");
    cmd->add_option("-o,--output", o.output,
                    "Write the decoded information bits as bytes (every transmission's, its "
                    "last block's zero padding included); - for standard output")
        ->type_name("FILE");
    cmd->add_option("--json", o.json, "Write the report as JSON; - for standard output")
        ->type_name("FILE");
    cmd->add_option("--plot", o.plot,
                    "Draw into this .svg or .png file the recording's spectrum and the first "
                    "transmission's symbols before and after the HF receiver")
        ->type_name("FILE");
    cmd->footer(
        "Prints per transmission its start, frequency offset, sample-clock offset (ppm the "
        "recording's clock runs fast of the sender's; measured and taken out before decoding, "
        "not measured on a transmission too short for it), SNR in 3 kHz and whether each "
        "interleaver block decoded (on standard error when an output goes to standard output). "
        "Exit status 1 when no transmission was found or a block did not decode.");
    return {cmd, [cmd, &o] { read_receive(*cmd, o); }};
}

}  // namespace hfchain::app
