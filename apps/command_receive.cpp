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
#include "audio/air.hpp"
#include "audio/audio_file.hpp"
#include "chain/recording.hpp"
#include "params/modes.hpp"
#include "params/rateconf.hpp"
#include "runtime/builtin_host.hpp"
#include "runtime/checks.hpp"
#include "runtime/output_file.hpp"
#include "sweep/config.hpp"

namespace hfchain::app {

namespace {

constexpr int kFailed = 1;

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
    o.anyMode = cmd.count("--rate") == 0 && cmd.count("--interleaver") == 0;
}

// The sample clock's offset as the report reads it, with how far it may be off when known.
std::string clock_text(const RecordedTransmission& t) {
    if (!t.clockMeasured) return "not measured (too short)";
    char text[64];
    if (std::isnan(t.clockUncertainty)) {
        std::snprintf(text, sizeof text, "%+.1f ppm", t.clockOffset);
    } else {
        std::snprintf(text, sizeof text, "%+.1f ppm (+-%.0f)", t.clockOffset, t.clockUncertainty);
    }
    return text;
}

// The mode a transmission was read as, and how surely, for a search of any mode.
std::string mode_text(const RecordedTransmission& t) {
    char text[96];
    std::snprintf(text, sizeof text, "%s%s (confidence %.2f), ",
                  t.modeRead ? "" : "mode unsure: ", kModes[t.mode].name, t.confidence);
    return text;
}

// What became of a transmission's blocks.
std::string blocks_text(const RecordedTransmission& t) {
    if (!t.modeRead) return "not decoded";
    if (t.infoBits.numel() == 0) return "no block decoded under this mode";
    return std::to_string(t.blocks.size()) + " blocks" +
           (t.enteredLate ? " after a late entry" : "");
}

std::string snr_text(const RecordedTransmission& t) {
    if (t.blocks.empty() || std::isnan(t.snr3k)) return "not measured";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f dB", t.snr3k);
    return text;
}

std::string text_report(const ReceiveOptions& o, const audio::AirRecording& rec,
                        const std::vector<RecordedTransmission>& found) {
    std::ostringstream out;
    char line[512];
    const std::string mode =
        o.anyMode ? "any mode"
                  : format_value(o.rate) + " bit/s, " + format_value(o.interLen) + " s interleaver";
    std::snprintf(line, sizeof line, "# %s; %s: %.3f s at %s Hz\n", mode.c_str(), o.input.c_str(),
                  rec.seconds, format_value(rec.sampleRate).c_str());
    out << line;
    if (found.empty()) out << "no transmission found\n";
    for (std::size_t i = 0; i < found.size(); ++i) {
        const RecordedTransmission& t = found[i];
        std::snprintf(line, sizeof line,
                      "transmission %zu: start %.4f s, end %.4f s, %sfrequency offset %+.2f Hz, "
                      "sample clock %s, SNR(3 kHz) %s, %s\n",
                      i + 1, t.start, t.end, o.anyMode ? mode_text(t).c_str() : "",
                      t.frequencyOffset, clock_text(t).c_str(), snr_text(t).c_str(),
                      blocks_text(t).c_str());
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

std::string json_report(const ReceiveOptions& o, const audio::AirRecording& rec,
                        const std::vector<RecordedTransmission>& found) {
    std::ostringstream out;
    out.precision(10);
    const auto given = [&](double v) { return o.anyMode ? std::string("null") : format_value(v); };
    out << "{\"rate\": " << given(o.rate) << ", \"interleaver\": " << given(o.interLen)
        << ", \"sampleRate\": " << rec.sampleRate << ", \"seconds\": " << rec.seconds
        << ", \"transmissions\": [";
    for (std::size_t i = 0; i < found.size(); ++i) {
        const RecordedTransmission& t = found[i];
        out << (i > 0 ? ", " : "") << "{\"start\": " << t.start << ", \"end\": " << t.end
            << ", \"frequencyOffset\": " << t.frequencyOffset
            << ", \"clockOffset\": " << (t.clockMeasured ? std::to_string(t.clockOffset) : "null")
            << ", \"clockUncertainty\": "
            << (std::isnan(t.clockUncertainty) ? "null" : std::to_string(t.clockUncertainty))
            << ", \"mode\": "
            << (t.mode < 0 ? std::string("null") : "\"" + std::string(kModes[t.mode].name) + "\"")
            << ", \"confidence\": " << t.confidence
            << ", \"modeRead\": " << (t.modeRead ? "true" : "false")
            << ", \"enteredLate\": " << (t.enteredLate ? "true" : "false") << ", \"snr3k\": ";
        if (t.blocks.empty() || std::isnan(t.snr3k)) {
            out << "null";
        } else {
            out << t.snr3k;
        }
        out << ", \"infoBits\": " << t.infoBits.numel() << ", \"blocks\": [";
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
    for (const RecordedTransmission& t : found) bytes += audio::bytes_of_bits(t.infoBits);
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
    audio::AudioReader reader(o.input,
                              {.raw = o.rawRate > 0, .rawRate = o.rawRate, .channel = o.channel});
    std::optional<AudioSpectrum> spectrum;  // the audio's, for --plot
    if (!o.plot.empty()) spectrum.emplace(reader.sampleRate());
    const audio::AirRecording rec = audio::demodulate_recording(
        reader, o.carrier, o.input, [&](const double* samples, std::size_t n) {
            if (spectrum) spectrum->push(samples, n);
        });
    BuiltinHost host;
    const bool keep = spectrum.has_value();
    const std::vector<RecordedTransmission> found =
        o.anyMode ? audio::receive_air(rec, host, keep) : audio::receive_air(rec, mode, host, keep);

    const bool report_to_stderr = o.output == "-" || o.json == "-";
    write_all(report_to_stderr ? STDERR_FILENO : STDOUT_FILENO, text_report(o, rec, found),
              "writing the report");
    write_output("--output", o.output, decoded_bytes(found));
    write_output("--json", o.json, json_report(o, rec, found));
    if (spectrum) plot_receive(o.plot, *spectrum, found);
    bool all = !found.empty();
    for (const RecordedTransmission& t : found) {
        all = all && t.modeRead && !t.blocks.empty();
        for (const RecordedBlock& b : t.blocks) all = all && b.decoded;
    }
    return all ? 0 : kFailed;
}

CommandParser add_receive_command(CLI::App& app, ReceiveOptions& o) {
    CLI::App* cmd = app.add_subcommand(
        "receive", "Finds and decodes the transmissions in a recording, of any mode or of one");
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
        "Without --rate and --interleaver every transmission of any mode is found and decoded "
        "with the mode its preamble announces; with either, those of that mode only. "
        "Prints per transmission its start and end, mode and confidence (any mode), frequency "
        "offset, sample-clock offset (ppm the "
        "recording's clock runs fast of the sender's; measured and taken out before decoding, "
        "not measured on a transmission too short for it), SNR in 3 kHz and whether each "
        "interleaver block decoded (on standard error when an output goes to standard output). "
        "Exit status 1 when no transmission was found or a block did not decode.");
    return {cmd, [cmd, &o] { read_receive(*cmd, o); }};
}

}  // namespace hfchain::app
