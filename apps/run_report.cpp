#include "apps/run_report.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <sstream>

#include "apps/run_road.hpp"
#include "chain/theory.hpp"
#include "channel/conditions.hpp"
#include "params/modes.hpp"
#include "params/rateconf.hpp"
#include "params/waveform.hpp"
#include "runtime/checks.hpp"
#include "runtime/output_file.hpp"
#include "sweep/report.hpp"

namespace hfchain::app {

namespace {

std::string fmt(const char* format, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

double mean_power(const cdouble* x, index_t n) {
    if (n == 0) return 0;
    double sum = 0;
    for (index_t k = 0; k < n; ++k) sum += std::norm(x[k]);
    return sum / n;
}

void stage(std::ostream& out, const char* block, const std::string& text) {
    char name[16];
    std::snprintf(name, sizeof name, "%-11s ", block);
    out << name << text << '\n';
}

// The constellation, code and repetition of a parameter set, as the report names them.
std::string mode_text(const ModeParams& mode) {
    if (is_uncoded(mode)) return "uncoded 8-PSK, not interleaved";
    if (uses_patterns(mode)) {
        return "rate-1/2 code, each pair of coded bits sent as one of four 32-symbol patterns";
    }
    const int points = 1 << static_cast<int>(mode.bitsToSym);
    std::string text = std::to_string(points) + "-PSK, rate-1/2 code";
    if (mode.repFactor > 1) {
        text += ", each coded bit sent " + format_value(mode.repFactor) + " times";
    }
    return text;
}

// The `#` lines: the version and every parameter.
void report_header(std::ostream& out, const RunOptions& o, const std::string& version) {
    out << "# hfchain " << version << " run: one transmission through the whole chain\n";
    out << "# rate " << format_value(o.rate) << " bit/s, interleaver " << format_value(o.interLen)
        << " s, nFrame " << format_value(o.nFrame) << ", tx seed " << format_value(o.txSeed)
        << '\n';
    out << "# rolloffFactor " << format_value(o.shaping.rolloffFactor) << ", pulseDelay "
        << format_value(o.shaping.pulseDelay) << ", oversamplingFactor "
        << format_value(o.shaping.oversamplingFactor) << '\n';
    out << "# channel " << o.channel;
    if (o.channel != "none") {
        out << ", Es/N0 " << format_value(o.esno) << " dB, channel seed "
            << format_value(o.channelSeed);
    }
    out << "\n";
}

// The parameter set, the transmitter and the pulse shaping.
void report_transmitter(std::ostream& out, const ModeParams& mode, const RoadResult& road) {
    stage(out, "rateconf",
          std::to_string(static_cast<int>(mode.rate)) + " bit/s, " + mode_text(mode) + ", " +
              std::to_string(mode.interTable.numel()) + "-bit interleaver blocks, " +
              std::to_string(mode.preamSync.numel()) + "-symbol preamble, frames of " +
              format_value(mode.data) + " data + " + format_value(mode.trein) + " probe symbols");
    const SendchainOut& tx = road.tx;
    const bool uncoded = is_uncoded(mode);
    stage(out, "sendchain",
          std::to_string(tx.BitInCodIn.numel()) + " bits in (data, flush, padding), " +
              std::to_string(tx.CodOutInterIn.numel()) +
              (uncoded ? " data bits (uncoded), " : " coded bits, ") +
              std::to_string(tx.MapOutMultiplexIn.numel()) +
              (uses_patterns(mode) ? " 32-symbol patterns, " : " data symbols, ") +
              std::to_string(tx.MultiplexOut.numel()) + " symbols sent");
    const index_t preamble = mode.preamSync.numel();
    stage(out, "",
          "at 2400 symbols/s: " + fmt("%.3f", tx.MultiplexOut.numel() / 2400.0) +
              " s on air, of which " + fmt("%.3f", preamble / 2400.0) + " s preamble");
    // The first frame as sent: its symbols' phase indices (multiples of 45 degrees), data
    // symbols first, then probes, after scrambling.
    const auto frame_len = static_cast<index_t>(mode.data + mode.trein);
    if (tx.MultiplexOut.numel() >= preamble + frame_len && frame_len > 0) {
        std::string text = "frame 1 sent (phase indices):";
        for (index_t k = 0; k < frame_len; ++k) {
            const double phase = std::arg(tx.MultiplexOut[preamble + k]);
            const auto index =
                static_cast<int>(std::lround(phase / (std::numbers::pi / 4)) + 8) % 8;
            if (k == static_cast<index_t>(mode.data)) text += " |";
            text += ' ';
            text += std::to_string(index);
        }
        stage(out, "", text);
    }
    stage(out, "pulseshaper",
          std::to_string(road.shaped.filter.numel()) + "-tap filter, " +
              std::to_string(road.shaped.out.numel()) + " samples, power " +
              fmt("%.4f", mean_power(road.shaped.out.data(), road.shaped.out.numel())));
}

// The channel: none, white noise, two Watterson rays or any number of paths.
void report_channel(std::ostream& out, const RunOptions& o, const RoadResult& road) {
    const double M = o.shaping.oversamplingFactor;
    const double n0 = std::pow(10.0, -o.esno / 10);
    const RoadChannel channel = road_config(o).channel;
    const ChannelKind fading = channel.kind;
    // fadesim's four conditions are told as its two rays.
    const bool rays = find_watterson_condition(o.channel) != nullptr;
    if (o.channel == "none") {
        stage(out, "channel", "none: the shaped waveform goes straight to the matched filter");
    } else {
        const HfchannelOut& f = road.faded;
        const PathExtent extent = path_extent(channel.fading);
        std::string text;
        if (fading == ChannelKind::awgn) {
            text = "white noise only, ";
        } else if (rays) {
            const index_t L = f.raios.rows();
            text = o.channel + ": second ray " + fmt("%.4g", extent.delay * 1e3) + " ms (" +
                   fmt("%g", extent.delay * 2400 * M) + " samples) behind, Doppler spread " +
                   fmt("%g", extent.spread) + " Hz, ray powers " +
                   fmt("%.3f", mean_power(f.raios.data(), L)) + " and " +
                   fmt("%.3f", mean_power(f.raios.data() + L, L)) + ", ";
        } else {
            // Any number of paths: each one's power over this transmission.
            const index_t L = f.raios.rows();
            std::string powers;
            for (index_t p = 0; p < f.raios.cols(); ++p) {
                powers += (p > 0 ? ", " : "") + fmt("%.3f", mean_power(f.raios.data() + p * L, L));
            }
            text = o.channel + ": " +
                   counted(static_cast<double>(f.raios.cols()), "path", "paths") + " over " +
                   fmt("%.4g", extent.delay * 1e3) + " ms (" + fmt("%g", extent.delay * 2400 * M) +
                   " samples), largest Doppler spread " + fmt("%g", extent.spread) +
                   " Hz, path powers " + powers + ", ";
            const double offset = channel.fading.offset;
            if (offset != 0) text += "frequency offset " + fmt("%g", offset) + " Hz, ";
        }
        text += std::to_string(f.AwgnOut.numel()) + " samples, noise power " +
                fmt("%.4g", mean_power(f.noise.data(), f.noise.numel())) +
                " (N0 = " + fmt("%.4g", n0) + ")";
        stage(out, fading == ChannelKind::awgn ? "awgn" : rays ? "fadesim" : "hfchannel", text);
    }
}

// The matched filter and the frame start. A start on a later path of the channel (the stronger
// one at the preamble) is where the receivers take the frame from, not a miss.
void report_synchronisation(std::ostream& out, const RunOptions& o, const RoadResult& road) {
    stage(out, "pulsematch",
          std::to_string(road.matched.out.numel()) + " samples, filter delay " +
              format_value(road.matched.filterDelay) + " symbols");
    std::string sync;
    if (!road.frameFound || road.frameStart.empty()) {
        sync =
            "no frame start found (expected sample " + format_value(road.expectedFrameStart) + ")";
    } else {
        const double found = road.frameStart[0];
        sync = "frame start at sample " + format_value(found) + ", expected " +
               format_value(road.expectedFrameStart);
        const double late = found - road.expectedFrameStart;
        bool on_path = false;
        for (const HfPath& p : road_config(o).channel.fading.paths) {
            const double behind = p.delay * 2400 * o.shaping.oversamplingFactor;
            on_path = on_path || (behind > 0 && std::fabs(late - behind) < 0.5);
        }
        if (late == 0) {
            sync += ": found";
        } else if (on_path) {
            sync += ": found on the path " + counted(late, "sample", "samples") +
                    " behind the first (the stronger one at the preamble)";
        } else {
            sync += ": MISSED by " + counted(late, "sample", "samples");
        }
    }
    stage(out, "framelock", sync);
}

// The baseline receiver's hard decisions, from the symbols to the coded bits.
void report_hard_decisions(std::ostream& out, const RunOptions& o, const ModeParams& mode,
                           const RoadResult& road) {
    const SendchainOut& tx = road.tx;
    const bool uncoded = is_uncoded(mode);
    // The hard-decision stages belong to the baseline receiver: without it they do not run, and
    // their empty results are not reported as a reception.
    const bool baseline = std::find(o.receivers.begin(), o.receivers.end(),
                                    ReceiverKind::baseline) != o.receivers.end();
    if (!baseline) {
        stage(out, "tickalign",
              "not run (hard decisions: the baseline receiver was not asked for)");
        return;
    }
    stage(out, "tickalign", std::to_string(road.symbols.out.numel()) + " symbols");
    stage(out, "unframer",
          std::to_string(road.data.out.numel()) + " data symbols (" +
              std::to_string(tx.ComplexPSKSymbols.numel()) + " sent)");
    const RealArray& decisions = road.demod.DemodOutDemapIn;
    const RealArray& sent = tx.MapOutMultiplexIn;
    const index_t common = std::min(decisions.numel(), sent.numel());
    index_t symbol_errors = std::max(decisions.numel(), sent.numel()) - common;
    for (index_t k = 0; k < common; ++k) symbol_errors += decisions[k] != sent[k] ? 1 : 0;
    stage(out, "symslicer",
          std::to_string(decisions.numel()) + " decisions, " + std::to_string(symbol_errors) +
              (uses_patterns(mode) ? " pattern errors, " : " symbol errors, ") +
              std::to_string(road.demod.DemapOut.numel()) + " bits");
    if (uncoded) {
        stage(out, "unshuffle", "not used: 4800 bit/s is not interleaved");
    } else {
        stage(out, "unshuffle", std::to_string(road.deinterleaved.out.numel()) + " coded bits");
    }
    const double rate =
        road.codedBits > 0 ? static_cast<double>(road.codedBitErrors) / road.codedBits : 0.0;
    stage(out, "result",
          std::to_string(road.codedBitErrors) +
              (uncoded ? " bit errors in " : " coded-bit errors in ") +
              std::to_string(road.codedBits) + " bits (hard decisions): rate " + fmt("%.4e", rate) +
              (uncoded ? " (uncoded: these are the information bits and the flush bits)" : ""));
}

// What a receiver that ran made of the symbols, up to its soft values.
void report_soft_values(std::ostream& out, ReceiverKind kind, const ModeParams& mode,
                        const RoadResult& road, const std::string& who) {
    const Reception& r = road.reception(kind);
    const bool uncoded = is_uncoded(mode);
    if (kind == ReceiverKind::baseline && r.ran && uncoded) {
        stage(out, "symslicer", who + "the hard decisions are the information bits (no code)");
    } else if (kind == ReceiverKind::baseline && r.ran && uses_patterns(mode)) {
        stage(out, "patternslicer",
              who + std::to_string(r.soft.LLR.numel()) +
                  " ratios from the four patterns' correlations (noncoherent), noise "
                  "variance " +
                  fmt("%.4g", r.noiseVar[0]) + " (the spread around the hard decisions)");
    } else if (kind == ReceiverKind::baseline && r.ran) {
        stage(out, "softslicer",
              who + std::to_string(r.soft.LLR.numel()) +
                  " ratios from unframer's symbols, "
                  "noise variance " +
                  fmt("%.4g", r.noiseVar[0]) + " (their spread around the hard decisions)");
    } else if (kind == ReceiverKind::hf && r.ran) {
        stage(out, "freqlock",
              who + "frequency offset " + fmt("%.3f", road.locked.offset) + " Hz (coarse " +
                  fmt("%.2f", road.locked.coarseOffset) + " Hz), start " +
                  format_value(road.locked.start[0]));
        const ChansoundOut& c = road.sounding;
        std::string paths;
        for (index_t k = 0; k < c.delays.numel(); ++k) {
            paths += (k > 0 ? ", " : "") + format_value(c.delays[k]);
        }
        stage(out, "chansound",
              who + std::to_string(c.delays.numel()) + " paths at samples " + paths +
                  ", noise variance " + fmt("%.4g", c.noiseVar) + ", Doppler " +
                  fmt("%.3g", c.doppler) + " Hz, " + format_value(c.frames) + " frames");
        double mean = 0;
        for (index_t k = 0; k < r.noiseVar.numel(); ++k) mean += r.noiseVar[k];
        mean = r.noiseVar.numel() > 0 ? mean / r.noiseVar.numel() : 0;
        if (uses_patterns(mode)) {
            stage(out, "patterntrack",
                  who + std::to_string(r.soft.LLR.numel()) + " ratios from " +
                      std::to_string(road.patterns.out.numel()) +
                      " pattern symbols, noncoherent then " +
                      counted(road.patterns.passes, "coherent pass", "coherent passes") +
                      " on the track, mean error variance " + fmt("%.4g", mean));
        } else {
            stage(out, "turboequal",
                  who + std::to_string(road.equalised.out.numel()) + " equalised symbols, " +
                      counted(road.equalised.passes, "pass", "passes") + ", mean error variance " +
                      fmt("%.4g", mean));
            stage(out, "softslicer", who + std::to_string(r.soft.LLR.numel()) + " ratios");
        }
    } else if (kind == ReceiverKind::genie && r.ran) {
        stage(out, "geniecombine",
              who + std::to_string(road.genieView.out.numel()) +
                  " symbols through the known ray gains");
        stage(out, uses_patterns(mode) ? "patternslicer" : "softslicer",
              who + std::to_string(r.soft.LLR.numel()) + " ratios" +
                  (uses_patterns(mode) ? " (coherent, each symbol weighed by its gain)" : ""));
    }
}

// A receiver's deinterleaved soft values and decoded information bits.
void report_decoding(std::ostream& out, ReceiverKind kind, const ModeParams& mode,
                     const RoadResult& road, const std::string& who) {
    const Reception& r = road.reception(kind);
    const bool uncoded = is_uncoded(mode);
    if (!r.ran) {
        stage(out, uncoded ? "result" : "vitdecode",
              who + "not reached (no frame start): all " + std::to_string(r.infoBits) +
                  " information bits and " + std::to_string(r.blocks) + " blocks lost");
        return;
    }
    if (!uncoded) {
        // The ratios' own signs: the baseline's coded-bit count (its hard decisions', which the
        // result line above gives) is not what its decoder was given.
        const index_t wrong =
            ratio_sign_errors(r.deinterleaved.out, road.tx.CodOutInterIn, r.codedBits);
        stage(out, "unshuffle",
              who + std::to_string(r.deinterleaved.out.numel()) + " ratios deinterleaved, " +
                  std::to_string(wrong) + " of them with the wrong sign (" +
                  fmt("%.4e", r.codedBits > 0
                                  ? static_cast<double>(wrong) / static_cast<double>(r.codedBits)
                                  : 0.0) +
                  ")");
    }
    stage(out, uncoded ? "result" : "vitdecode",
          who + std::to_string(r.infoBitErrors) + " information-bit errors in " +
              std::to_string(r.infoBits) + " bits: rate " +
              fmt("%.4e", r.infoBits > 0 ? static_cast<double>(r.infoBitErrors) /
                                               static_cast<double>(r.infoBits)
                                         : 0.0) +
              "; " + std::to_string(r.blockErrors) + " of " + std::to_string(r.blocks) +
              " interleaver blocks wrong");
}

}  // namespace

void write_run_report(std::ostream& out, const RunOptions& o, const ModeParams& mode,
                      const RoadResult& road, const std::string& version) {
    report_header(out, o, version);
    report_transmitter(out, mode, road);
    report_channel(out, o, road);
    report_synchronisation(out, o, road);
    report_hard_decisions(out, o, mode, road);
    // The decoding receivers, each from its own symbols to the decoded information bits.
    for (const ReceiverKind kind : o.receivers) {
        const std::string who = std::string(sweep::receiver_name(kind)) + ": ";
        report_soft_values(out, kind, mode, road, who);
        report_decoding(out, kind, mode, road, who);
    }
}

}  // namespace hfchain::app
