// The waveform on the air (audio/air.hpp) and the audio channel (audio/audio_channel.hpp) on
// whole signals: NumPy samples in and out.
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "audio/air.hpp"
#include "audio/audio_channel.hpp"
#include "params/modes.hpp"
#include "params/rateconf.hpp"
#include "python/docs.hpp"
#include "python/host.hpp"
#include "python/module.hpp"
#include "sweep/config.hpp"

namespace hfchain::python {

namespace {

std::optional<double> optional_scalar(py::handle h, const char* name) {
    if (h.is_none()) return std::nullopt;
    return read_scalar(h, name);
}

// The level of the audio: a peak or an RMS level in dBFS, the peak at -3 dBFS when neither.
audio::Level read_level(py::handle peak, py::handle rms) {
    if (!peak.is_none() && !rms.is_none()) {
        raise(errid::kWrongValue, "Give the level by peak or by rms, not both.");
    }
    audio::Level level;
    if (!rms.is_none()) {
        level.kind = audio::Level::Kind::rms;
        level.dbfs = read_scalar(rms, "rms");
    } else if (!peak.is_none()) {
        level.dbfs = read_scalar(peak, "peak");
    }
    return level;
}

// The message's bytes: bytes or a bytearray.
std::string read_message(py::handle message) {
    if (!py::isinstance<py::bytes>(message) && !py::isinstance<py::bytearray>(message)) {
        raise(errid::kWrongType, "Input 'message' must be bytes, a bytearray or None; it is " +
                                     type_name(message) + ".");
    }
    if (py::isinstance<py::bytearray>(message)) {
        return {PyByteArray_AsString(message.ptr()),
                static_cast<std::size_t>(PyByteArray_Size(message.ptr()))};
    }
    return py::reinterpret_borrow<py::bytes>(message).cast<std::string>();
}

py::tuple transmit(py::handle rate, py::handle interleaver, py::handle message, py::handle seed,
                   py::handle nframe, py::handle sample_rate, py::handle carrier, py::handle peak,
                   py::handle rms) {
    const double r = read_scalar(rate, "rate");
    const double interLen = read_scalar(interleaver, "interleaver");
    const ModeParams mode = rateconf(r, interLen);
    audio::AirSource source;
    source.seed = static_cast<double>(read_whole(seed, "seed", 0, 4294967295LL));
    source.nFrame =
        nframe.is_none() ? sweep::default_nframe(r, interLen) : read_scalar(nframe, "nframe");
    RealArray bits;
    if (!message.is_none()) {
        if (!nframe.is_none()) {
            raise(errid::kWrongValue, "A message sets its own blocks: give nframe without it.");
        }
        bits = audio::bits_of_bytes(read_message(message));
        source.message = &bits;
    }
    const audio::PassbandConfig passband = audio::air_passband(
        read_scalar(sample_rate, "sample_rate"), read_scalar(carrier, "carrier"));
    const audio::Level level = read_level(peak, rms);
    audio::AirTransmission t = with_host(py::none(), [&](HostServices& host) {
        return audio::transmit_air(mode, source, passband, level, host);
    });
    py::dict report;
    report["rate"] = r;
    report["interleaver"] = interLen;
    report["blocks"] = t.nFrame;
    report["infoBits"] = t.infoBits;
    report["duration"] = static_cast<double>(t.audio.samples.size()) / passband.sampleRate;
    report["sampleRate"] = passband.sampleRate;
    report["carrier"] = passband.carrier;
    report["peakDbfs"] = t.audio.peakDbfs;
    report["rmsDbfs"] = t.audio.rmsDbfs;
    report["peakToAverage"] = t.audio.peakToAverageDb;
    py::array_t<double> out(static_cast<py::ssize_t>(t.audio.samples.size()));
    std::copy(t.audio.samples.begin(), t.audio.samples.end(), out.mutable_data());
    return py::make_tuple(out, report);
}

py::dict transmission_dict(const RecordedTransmission& t) {
    py::dict d;
    d["start"] = t.start;
    d["end"] = t.end;
    d["rate"] = t.mode >= 0 ? py::object(py::float_(kModes[t.mode].rate)) : py::none();
    d["interleaver"] = t.mode >= 0 ? py::object(py::float_(kModes[t.mode].interLen)) : py::none();
    d["confidence"] = t.confidence;
    d["modeRead"] = t.modeRead;
    d["enteredLate"] = t.enteredLate;
    d["frequencyOffset"] = t.frequencyOffset;
    d["clockOffset"] = t.clockMeasured ? py::object(py::float_(t.clockOffset)) : py::none();
    d["clockUncertainty"] =
        std::isnan(t.clockUncertainty) ? py::none() : py::object(py::float_(t.clockUncertainty));
    d["snr3k"] = std::isnan(t.snr3k) ? py::none() : py::object(py::float_(t.snr3k));
    py::list blocks;
    for (const RecordedBlock& b : t.blocks) {
        py::dict block;
        block["decoded"] = b.decoded;
        block["disagreement"] = b.disagreement;
        blocks.append(block);
    }
    d["blocks"] = blocks;
    py::array_t<std::uint8_t> bits(static_cast<py::ssize_t>(t.infoBits.numel()));
    std::transform(t.infoBits.begin(), t.infoBits.end(), bits.mutable_data(),
                   [](double b) { return static_cast<std::uint8_t>(b == 1); });
    d["bits"] = bits;
    d["bytes"] = py::bytes(audio::bytes_of_bits(t.infoBits));
    return d;
}

py::list receive(py::handle audio_in, py::handle sample_rate, py::handle rate,
                 py::handle interleaver, py::handle carrier) {
    const auto in = read_real(audio_in, "audio");
    const double fs = read_scalar(sample_rate, "sample_rate");
    // Neither rate nor interleaver: every mode is searched, each read from its preamble.
    const bool anyMode = rate.is_none() && interleaver.is_none();
    const ModeParams mode =
        anyMode ? ModeParams{}
                : rateconf(rate.is_none() ? 2400 : read_scalar(rate, "rate"),
                           interleaver.is_none() ? 0.6 : read_scalar(interleaver, "interleaver"));
    const double fc = read_scalar(carrier, "carrier");
    const std::vector<RecordedTransmission> found = with_host(py::none(), [&](HostServices& host) {
        const audio::AirRecording recording = audio::demodulate_recording(
            in->data(), static_cast<std::size_t>(in->numel()), fs, fc, "audio");
        return anyMode ? audio::receive_air(recording, host)
                       : audio::receive_air(recording, mode, host);
    });
    py::list out;
    for (const RecordedTransmission& t : found) out.append(transmission_dict(t));
    return out;
}

}  // namespace

void bind_audio(py::module_& m) {
    m.def("transmit", &transmit, py::arg("rate") = 2400, py::arg("interleaver") = 0.6,
          py::kw_only(), py::arg("message") = py::none(), py::arg("seed") = 1,
          py::arg("nframe") = py::none(), py::arg("sample_rate") = 8000, py::arg("carrier") = 1800,
          py::arg("peak") = py::none(), py::arg("rms") = py::none(), doc::transmit);
    m.def("receive", &receive, py::arg("audio"), py::arg("sample_rate"), py::kw_only(),
          py::arg("rate") = py::none(), py::arg("interleaver") = py::none(),
          py::arg("carrier") = 1800, doc::receive);

    m.def(
        "audio_channel",
        [](py::handle audio, py::handle sample_rate, py::handle channel, py::handle snr3k,
           py::handle noise_dbfs, py::handle offset, py::handle clock_ppm, py::handle impulses,
           py::handle ssb_filter, py::handle clip, py::handle seed, py::handle carrier) {
            const auto in = read_real(audio, "audio");
            audio::AudioChannelConfig c;
            c.sampleRate = read_scalar(sample_rate, "sample_rate");
            c.channel = read_text(channel, "channel");
            const std::optional<double> snr = optional_scalar(snr3k, "snr3k");
            const std::optional<double> level = optional_scalar(noise_dbfs, "noise_dbfs");
            if (snr && level) {
                raise(errid::kWrongValue, "Give the noise by snr3k or by noise_dbfs, not both.");
            }
            if (level) c.noiseDensity = audio::noise_density_of_dbfs(*level);
            c.offset = read_scalar(offset, "offset");
            c.clockPpm = read_scalar(clock_ppm, "clock_ppm");
            if (!impulses.is_none()) {
                if (!py::isinstance<py::sequence>(impulses) || py::len(impulses) != 2) {
                    raise(errid::kWrongType, "impulses must be (rate, level) or None.");
                }
                const auto pair = py::reinterpret_borrow<py::sequence>(impulses);
                c.impulses = ImpulseSettings{read_scalar(pair[0], "impulses rate"),
                                             read_scalar(pair[1], "impulses level")};
            }
            if (!ssb_filter.is_none()) c.ssbFilter = ssb_filter.cast<bool>();
            c.clipDbfs = optional_scalar(clip, "clip");
            c.seed = read_scalar(seed, "seed");
            c.carrier = read_scalar(carrier, "carrier");
            const std::vector<double> samples(in->data(), in->data() + in->numel());
            const audio::ChannelResult r =
                without_gil([&] { return audio::pass_audio_channel(samples, c, snr); });
            py::array_t<double> out(static_cast<py::ssize_t>(r.samples.size()));
            std::copy(r.samples.begin(), r.samples.end(), out.mutable_data());
            py::dict stats;
            stats["snr3k"] = r.stats.snr3k();
            stats["signal_power"] = r.stats.signalPower;
            stats["noise_density"] = r.stats.noiseDensity;
            stats["active_first"] = r.stats.activeFirst;
            stats["active_last"] = r.stats.activeLast;
            stats["bursts"] = r.stats.bursts;
            stats["clipped"] = r.stats.clipped;
            return py::make_tuple(out, stats);
        },
        py::arg("audio"), py::arg("sample_rate"), py::arg("channel"), py::kw_only(),
        py::arg("snr3k") = py::none(), py::arg("noise_dbfs") = py::none(), py::arg("offset") = 0,
        py::arg("clock_ppm") = 0, py::arg("impulses") = py::none(),
        py::arg("ssb_filter") = py::none(), py::arg("clip") = py::none(), py::arg("seed") = 0,
        py::arg("carrier") = 1800, doc::audio_channel);
}

}  // namespace hfchain::python
