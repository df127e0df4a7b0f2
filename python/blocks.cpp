// The blocks and the whole road: each binding converts its arguments (checking kind, dtype and
// shape; float64 and complex128 arrays in column-major order are borrowed, and the holders keep
// them alive until the call returns), calls the C++ entry function with the GIL released and
// hands the result over without a copy. A new block is one more binding of the same few lines.
#include <limits>

#include "chain/hf_receiver.hpp"
#include "chain/theory.hpp"
#include "channel/channel_text.hpp"
#include "params/modes.hpp"
#include "params/rateconf.hpp"
#include "python/docs.hpp"
#include "python/host.hpp"
#include "python/module.hpp"
#include "python/structs.hpp"
#include "receiver/modelock/modelock.hpp"
#include "runtime/checks.hpp"
#include "sweep/memory.hpp"

namespace hfchain::python {

namespace {

template <class S>
S read(py::handle h, const char* name) {
    return from_py<S>(h, Name(name));
}

constexpr index_t kMostPaths = 10000;

// hfchannel's paths as a P x 4 matrix: delay (s), power (dB), spread (Hz), shift (Hz).
RealArray path_rows(const HfChannel& c) {
    const auto P = static_cast<index_t>(c.paths.size());
    RealArray rows(P, 4);
    for (index_t p = 0; p < P; ++p) {
        const HfPath& h = c.paths[static_cast<std::size_t>(p)];
        rows(p, 0) = h.delay;
        rows(p, 1) = h.power;
        rows(p, 2) = h.spread;
        rows(p, 3) = h.shift;
    }
    return rows;
}

// modelock's settings from a mapping with any of the keys threshold, from and to (None: the
// defaults).
VarModelock modelock_settings(py::handle h) {
    VarModelock s;
    if (h.is_none()) return s;
    if (!py::isinstance<py::dict>(h)) {
        raise(errid::kWrongType, "Input 'settings' must be a dict or None.");
    }
    const Name name("settings");
    for (const auto& [key, value] : py::reinterpret_borrow<py::dict>(h)) {
        const std::string k = py::str(key);
        if (k == "threshold") {
            s.threshold = read_scalar(value, Name(name, "threshold"));
        } else if (k == "from") {
            s.from = read_scalar(value, Name(name, "from"));
        } else if (k == "to") {
            s.to = read_scalar(value, Name(name, "to"));
        } else {
            raise(errid::kWrongFields, "Input 'settings' has the key '" + k +
                                           "', which is not one of threshold, from, to.");
        }
    }
    return s;
}

// A channel given as text (a preset or a written channel) or as path_rows' matrix.
HfChannel read_hfchannel(py::handle h, const char* name) {
    if (py::isinstance<py::str>(h)) {
        return hfchain::read_channel(read_text(h, name, kMostChannelText)).channel;
    }
    const auto in = read_real(h, name, Shape{upto(kMostPaths), fixed(4)});
    const RealArray& rows = *in;
    HfChannel c;
    for (index_t p = 0; p < rows.rows(); ++p) {
        c.paths.push_back({rows(p, 0), rows(p, 1), rows(p, 2), rows(p, 3)});
    }
    return c;
}

}  // namespace

void bind_blocks(py::module_& m) {
    m.def(
        "modeconf",
        [](py::handle interLen) {
            const double v = read_scalar(interLen, "interLen");
            return to_py(without_gil([&] { return modeconf(v); }));
        },
        py::arg("interLen"), doc::modeconf);

    m.def(
        "rateconf",
        [](py::handle rate, py::handle interLen) {
            const double r = read_scalar(rate, "rate");
            const double v = read_scalar(interLen, "interLen");
            return to_py(without_gil([&] { return rateconf(r, v); }));
        },
        py::arg("rate"), py::arg("interLen"), doc::rateconf);

    m.def(
        "sendchain",
        [](py::handle mode, py::handle nFrame, py::handle seed, py::handle host) {
            const ModeParams m = read<ModeParams>(mode, "milstd");
            const double n = read_scalar(nFrame, "nFrame");
            const double s = read_scalar(seed, "seed");
            return to_py(with_host(host, [&](HostServices& h) { return sendchain(m, n, s, h); }));
        },
        py::arg("milstd"), py::arg("nFrame"), py::arg("seed"), py::arg("host") = py::none(),
        doc::sendchain);

    m.def(
        "pulseshaper",
        [](py::handle ShappingIn, py::handle varShapping) {
            const auto in = read_complex(ShappingIn, "ShappingIn");
            const VarShapping vs = read<VarShapping>(varShapping, "varShapping");
            return to_py(without_gil([&] { return pulseshaper(*in, vs); }));
        },
        py::arg("ShappingIn"), py::arg("varShapping"), doc::pulseshaper);

    m.def(
        "fadesim",
        [](py::handle WattersonIn, py::handle varWatterson, py::handle varShapping,
           py::handle host) {
            const auto in = read_complex(WattersonIn, "WattersonIn");
            const VarWatterson vw = read<VarWatterson>(varWatterson, "varWatterson");
            const VarShapping vs = read<VarShapping>(varShapping, "varShapping");
            return to_py(with_host(host, [&](HostServices& h) { return fadesim(*in, vw, vs, h); }));
        },
        py::arg("WattersonIn"), py::arg("varWatterson"), py::arg("varShapping"),
        py::arg("host") = py::none(), doc::fadesim);

    m.def(
        "hfchannel",
        [](py::handle x, py::handle channel, py::handle EsNodB, py::handle seed,
           py::handle varShapping, py::handle offset, py::handle host) {
            const auto in = read_complex(x, "x");
            VarHfchannel v;
            v.channel = read_hfchannel(channel, "channel");
            v.channel.offset += numeric_offset(read_scalar(offset, "offset"));
            v.EsNodB = read_scalar(EsNodB, "EsNodB");
            v.seed = read_scalar(seed, "seed");
            const VarShapping vs = read<VarShapping>(varShapping, "varShapping");
            sweep::check_call_memory(sweep::hfchannel_call_bytes(static_cast<double>(in->numel()),
                                                                 v.channel, vs.oversamplingFactor),
                                     "hfchannel: " + std::to_string(in->numel()) +
                                         " samples through " +
                                         std::to_string(v.channel.paths.size()) + " paths",
                                     "give a shorter input or fewer paths");
            return to_py(
                with_host(host, [&](HostServices& h) { return hfchannel(*in, v, vs, h); }));
        },
        py::arg("x"), py::arg("channel"), py::arg("EsNodB"), py::arg("seed"),
        py::arg("varShapping"), py::arg("offset") = 0.0, py::arg("host") = py::none(),
        doc::hfchannel);

    m.def(
        "read_channel",
        [](py::handle text) {
            const std::string t = read_text(text, "text", kMostChannelText);
            const ChannelChoice c = without_gil([&] { return hfchain::read_channel(t); });
            return py::make_tuple(c.canonical, to_py(path_rows(c.channel)), c.channel.offset);
        },
        py::arg("text"), doc::read_channel);

    m.def(
        "pulsematch",
        [](py::handle MatchedFilterIn, py::handle varShapping) {
            const auto in = read_complex(MatchedFilterIn, "MatchedFilterIn");
            const VarShapping vs = read<VarShapping>(varShapping, "varShapping");
            return to_py(without_gil([&] { return pulsematch(*in, vs); }));
        },
        py::arg("MatchedFilterIn"), py::arg("varShapping"), doc::pulsematch);

    m.def(
        "framelock",
        [](py::handle SincroFrameIn, py::handle mode, py::handle varShapping) {
            const auto in = read_complex(SincroFrameIn, "SincroFrameIn");
            const ModeParams m = read<ModeParams>(mode, "milstd");
            const VarShapping vs = read<VarShapping>(varShapping, "varShapping");
            return to_py(without_gil([&] { return framelock(*in, m, vs); }));
        },
        py::arg("SincroFrameIn"), py::arg("milstd"), py::arg("varShapping"), doc::framelock);

    m.def(
        "tickalign",
        [](py::handle SyncSymbolIn, py::handle FrameStartSample, py::handle varShapping) {
            const auto in = read_complex(SyncSymbolIn, "SyncSymbolIn");
            const double start = read_scalar(FrameStartSample, "FrameStartSample");
            const VarShapping vs = read<VarShapping>(varShapping, "varShapping");
            return to_py(without_gil([&] { return tickalign(*in, start, vs); }));
        },
        py::arg("SyncSymbolIn"), py::arg("FrameStartSample"), py::arg("varShapping"),
        doc::tickalign);

    m.def(
        "unframer",
        [](py::handle DemultiplexIn, py::handle mode) {
            const auto in = read_complex(DemultiplexIn, "DemultiplexIn");
            const ModeParams m = read<ModeParams>(mode, "milstd");
            return to_py(without_gil([&] { return unframer(*in, m); }));
        },
        py::arg("DemultiplexIn"), py::arg("milstd"), doc::unframer);

    m.def(
        "symslicer",
        [](py::handle DemodulatorIn, py::handle mode) {
            const auto in = read_complex(DemodulatorIn, "DemodulatorIn");
            const ModeParams m = read<ModeParams>(mode, "milstd");
            return to_py(without_gil([&] { return symslicer(*in, m); }));
        },
        py::arg("DemodulatorIn"), py::arg("milstd"), doc::symslicer);

    m.def(
        "unshuffle",
        [](py::handle DeinterleaverIn, py::handle mode) {
            const auto in = read_real(DeinterleaverIn, "DeinterleaverIn");
            const ModeParams m = read<ModeParams>(mode, "milstd");
            return to_py(without_gil([&] { return unshuffle(*in, m); }));
        },
        py::arg("DeinterleaverIn"), py::arg("milstd"), doc::unshuffle);

    m.def(
        "softslicer",
        [](py::handle DemodulatorIn, py::handle noiseVar, py::handle mode, py::handle rule) {
            const auto in = read_complex(DemodulatorIn, "DemodulatorIn");
            const auto nv = read_real(noiseVar, "noiseVar");
            const ModeParams m = read<ModeParams>(mode, "milstd");
            const SoftRule r = read_enum<SoftRule>(rule, "rule");
            return to_py(without_gil([&] { return softslicer(*in, *nv, m, r); }));
        },
        py::arg("DemodulatorIn"), py::arg("noiseVar"), py::arg("milstd"),
        py::arg("rule") = "max_log", doc::softslicer);

    m.def(
        "patternslicer",
        [](py::handle DemodulatorIn, py::handle gain, py::handle noiseVar, py::handle mode,
           py::handle detection, py::handle rule) {
            const auto in = read_complex(DemodulatorIn, "DemodulatorIn");
            const auto g = read_complex(gain, "gain");
            const auto nv = read_real(noiseVar, "noiseVar");
            const ModeParams m = read<ModeParams>(mode, "milstd");
            const PatternDetection d = read_enum<PatternDetection>(detection, "detection");
            const SoftRule r = read_enum<SoftRule>(rule, "rule");
            return to_py(without_gil([&] { return patternslicer(*in, *g, *nv, m, d, r); }));
        },
        py::arg("DemodulatorIn"), py::arg("gain"), py::arg("noiseVar"), py::arg("milstd"),
        py::arg("detection"), py::arg("rule") = "max_log", doc::patternslicer);

    m.def(
        "vitdecode",
        [](py::handle DecoderIn, py::handle mode, py::handle nFrame) {
            const auto in = read_real(DecoderIn, "DecoderIn");
            const ModeParams m = read<ModeParams>(mode, "milstd");
            const double n = read_scalar(nFrame, "nFrame");
            return to_py(without_gil([&] { return vitdecode(*in, m, n); }));
        },
        py::arg("DecoderIn"), py::arg("milstd"), py::arg("nFrame"), doc::vitdecode);

    m.def(
        "sisodecode",
        [](py::handle DecoderIn, py::handle mode, py::handle nFrame) {
            const auto in = read_real(DecoderIn, "DecoderIn");
            const ModeParams m = read<ModeParams>(mode, "milstd");
            const double n = read_scalar(nFrame, "nFrame");
            return to_py(without_gil([&] { return sisodecode(*in, m, n); }));
        },
        py::arg("DecoderIn"), py::arg("milstd"), py::arg("nFrame"), doc::sisodecode);

    // freqlock, blocklock, chansound and turboequal draw no numbers: the host is there for Ctrl-C.
    m.def(
        "freqlock",
        [](py::handle MatchedFilterIn, py::handle mode, py::handle varShapping) {
            const auto in = read_complex(MatchedFilterIn, "MatchedFilterIn");
            const ModeParams m = read<ModeParams>(mode, "milstd");
            const VarShapping vs = read<VarShapping>(varShapping, "varShapping");
            return to_py(
                with_host(py::none(), [&](HostServices& h) { return freqlock(*in, m, vs, h); }));
        },
        py::arg("MatchedFilterIn"), py::arg("milstd"), py::arg("varShapping"), doc::freqlock);

    m.def(
        "modelock",
        [](py::handle MatchedFilterIn, py::handle varShapping, py::handle settings) {
            const auto in = read_complex(MatchedFilterIn, "MatchedFilterIn");
            const VarShapping vs = read<VarShapping>(varShapping, "varShapping");
            const VarModelock s = modelock_settings(settings);
            const ModelockOut r =
                with_host(py::none(), [&](HostServices& h) { return modelock(*in, vs, s, h); });
            const Mode* mode = r.mode >= 0 ? &kModes[r.mode] : nullptr;
            const py::object values[] = {py::bool_(r.found),
                                         py::float_(r.score),
                                         py::float_(r.start),
                                         py::float_(r.offset),
                                         py::float_(mode != nullptr ? mode->rate : 0.0),
                                         py::float_(mode != nullptr ? mode->interLen : 0.0),
                                         py::float_(r.confidence),
                                         py::int_(r.segmentsLeft),
                                         py::float_(r.preambleStart),
                                         py::float_(r.firstData)};
            py::dict out;
            for (std::size_t i = 0; i < std::size(kModelockFields); ++i) {
                out[kModelockFields[i]] = values[i];
            }
            return out;
        },
        py::arg("MatchedFilterIn"), py::arg("varShapping"), py::arg("settings") = py::none(),
        doc::modelock);

    m.def(
        "blocklock",
        [](py::handle MatchedFilterIn, py::handle varShapping, py::handle threshold) {
            const auto in = read_complex(MatchedFilterIn, "MatchedFilterIn");
            const VarShapping vs = read<VarShapping>(varShapping, "varShapping");
            const VarBlocklock settings{read_scalar(threshold, "threshold")};
            return to_py(with_host(
                py::none(), [&](HostServices& h) { return blocklock(*in, vs, settings, h); }));
        },
        py::arg("MatchedFilterIn"), py::arg("varShapping"),
        py::arg("threshold") = kBlocklockThreshold, doc::blocklock);

    m.def(
        "decode_late",
        [](py::handle MatchedFilterIn, py::handle blockStart, py::handle offset, py::handle mode,
           py::handle varShapping, py::handle nFrame, py::handle iterations) {
            const auto in = read_complex(MatchedFilterIn, "MatchedFilterIn");
            const double start = read_scalar(blockStart, "blockStart");
            const double f = read_scalar(offset, "offset");
            const ModeParams m = read<ModeParams>(mode, "milstd");
            HfSettings settings;
            settings.shaping = read<VarShapping>(varShapping, "varShapping");
            settings.nFrame = read_scalar(nFrame, "nFrame");
            settings.iterations = read_scalar(iterations, "iterations");
            HfLateReceived r = with_host(py::none(), [&](HostServices& h) {
                return receive_hf_late(*in, start, f, m, settings, h);
            });
            py::dict out;
            out["blocks"] = r.blocks;
            out["DecodOut"] = to_numpy(std::move(r.decoding.decoded.DecodOut));
            out["out"] = to_numpy(std::move(r.decoding.symbols));
            out["noiseVar"] = to_numpy(std::move(r.decoding.noiseVar));
            return out;
        },
        py::arg("MatchedFilterIn"), py::arg("blockStart"), py::arg("offset"), py::arg("milstd"),
        py::arg("varShapping"), py::arg("nFrame") = std::numeric_limits<double>::infinity(),
        py::arg("iterations") = 2.0, doc::decode_late);

    m.def(
        "chansound",
        [](py::handle MatchedFilterIn, py::handle FrameStartSample, py::handle mode,
           py::handle varShapping) {
            const auto in = read_complex(MatchedFilterIn, "MatchedFilterIn");
            const double start = read_scalar(FrameStartSample, "FrameStartSample");
            const ModeParams m = read<ModeParams>(mode, "milstd");
            const VarShapping vs = read<VarShapping>(varShapping, "varShapping");
            return to_py(with_host(
                py::none(), [&](HostServices& h) { return chansound(*in, start, m, vs, h); }));
        },
        py::arg("MatchedFilterIn"), py::arg("FrameStartSample"), py::arg("milstd"),
        py::arg("varShapping"), doc::chansound);

    m.def(
        "turboequal",
        [](py::handle sounding, py::handle mode, py::handle nFrame, py::handle iterations) {
            const ChansoundOut s = read<ChansoundOut>(sounding, "sounding");
            const ModeParams m = read<ModeParams>(mode, "milstd");
            const double n = read_scalar(nFrame, "nFrame");
            const double it = read_scalar(iterations, "iterations");
            return to_py(
                with_host(py::none(), [&](HostServices& h) { return turboequal(s, m, n, it, h); }));
        },
        py::arg("sounding"), py::arg("milstd"), py::arg("nFrame"), py::arg("iterations"),
        doc::turboequal);

    m.def(
        "patterntrack",
        [](py::handle sounding, py::handle mode, py::handle passes, py::handle rule) {
            const ChansoundOut s = read<ChansoundOut>(sounding, "sounding");
            const ModeParams m = read<ModeParams>(mode, "milstd");
            const double p = read_scalar(passes, "passes");
            const SoftRule r = read_enum<SoftRule>(rule, "rule");
            return to_py(without_gil([&] { return patterntrack(s, m, p, r); }));
        },
        py::arg("sounding"), py::arg("milstd"), py::arg("passes"), py::arg("rule") = "max_log",
        doc::patterntrack);

    m.def(
        "geniecombine",
        [](py::handle MultiplexOut, py::handle raios, py::handle noise, py::handle EsNodB,
           py::handle mode, py::handle varShapping) {
            const auto tx = read_complex(MultiplexOut, "MultiplexOut");
            // fadesim's L x 2 ray gains, or empty for a channel without rays.
            const auto rays = read_complex(raios, "raios", Shape{upto(kUnbounded), upto(2)});
            const auto n = read_complex(noise, "noise");
            const double esno = read_scalar(EsNodB, "EsNodB");
            const ModeParams m = read<ModeParams>(mode, "milstd");
            const VarShapping vs = read<VarShapping>(varShapping, "varShapping");
            return to_py(without_gil([&] { return geniecombine(*tx, *rays, *n, esno, m, vs); }));
        },
        py::arg("MultiplexOut"), py::arg("raios"), py::arg("noise"), py::arg("EsNodB"),
        py::arg("milstd"), py::arg("varShapping"), doc::geniecombine);

    m.def(
        "run_road",
        [](py::handle mode, py::handle config, py::handle host) {
            const ModeParams m = read<ModeParams>(mode, "milstd");
            const RoadConfig c = road_config(read<RoadSettings>(config, "config"));
            // The program's check before any work: the road keeps every signal to the end.
            sweep::check_call_memory(
                sweep::road_call_bytes(m, c),
                "run_road: one transmission of " + format_value(c.nFrame) + " interleaver blocks",
                "give config.nFrame fewer blocks");
            return to_py(with_host(host, [&](HostServices& h) { return run_road(m, c, h); }));
        },
        py::arg("milstd"), py::arg("config"), py::arg("host") = py::none(), doc::run_road);

    m.def(
        "ber_8psk_gray",
        [](py::handle EsNodB) { return ber_8psk_gray(read_scalar(EsNodB, "EsNodB")); },
        py::arg("EsNodB"), doc::ber_8psk_gray);

    m.def(
        "ber_psk_gray",
        [](py::handle bits, py::handle EsNodB) {
            const double b = read_scalar(bits, "bits");
            if (b != 1 && b != 2 && b != 3) {
                raise("hfchain:theory:Constellation",
                      "The theory knows 2-, 4- and 8-PSK (1 to 3 bits a symbol); bits is " +
                          format_value(b) + ".");
            }
            return ber_psk_gray(static_cast<int>(b), read_scalar(EsNodB, "EsNodB"));
        },
        py::arg("bits"), py::arg("EsNodB"), doc::ber_psk_gray);
}

}  // namespace hfchain::python
