// The audio channel (audio/audio_channel.hpp) on a whole signal: NumPy samples in and out.
#include <algorithm>
#include <optional>
#include <vector>

#include "audio/audio_channel.hpp"
#include "python/docs.hpp"
#include "python/host.hpp"
#include "python/module.hpp"

namespace hfchain::python {

namespace {

std::optional<double> optional_scalar(py::handle h, const char* name) {
    if (h.is_none()) return std::nullopt;
    return read_scalar(h, name);
}

}  // namespace

void bind_audio(py::module_& m) {
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
