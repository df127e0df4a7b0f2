#include "sweep/summary.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "params/waveform.hpp"
#include "runtime/checks.hpp"
#include "sweep/acquisition.hpp"
#include "sweep/columns.hpp"
#include "sweep/crossings.hpp"
#include "sweep/interval.hpp"
#include "sweep/late_decode.hpp"

namespace hfchain::sweep {

namespace {

constexpr std::size_t kLegendWidth = 100;

// Each receiver's cells: its error rate, its interval with the few-events mark, its blocks wrong.
constexpr std::size_t kRateWidth = 8;       // "1.23e-04"
constexpr std::size_t kIntervalWidth = 18;  // "[1.1e-04,1.4e-04]*"
constexpr std::size_t kBlocksWidth = 7;

std::string padded(const std::string& text, std::size_t width, bool left = false) {
    if (text.size() >= width) return text;
    const std::string fill(width - text.size(), ' ');
    return left ? text + fill : fill + text;
}

std::string mantissa(double v, int decimals) {
    if (v == 0) return "0";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.*e", decimals, v);
    return buf;
}

std::string fixed(double v, int decimals) {
    char buf[32];
    // Rounded first, so that a level a hair below zero reads 0.0, not -0.0.
    const double scale = std::pow(10.0, decimals);
    std::snprintf(buf, sizeof buf, "%.*f", decimals, std::round(v * scale) / scale + 0.0);
    return buf;
}

// Decimals that show every point's level exactly: one, or two.
int level_decimals(const std::vector<double>& levels) {
    for (const double v : levels) {
        if (std::fabs(v * 10 - std::round(v * 10)) > 1e-6) return 2;
    }
    return 1;
}

std::string joined(const std::vector<std::string>& items) {
    std::string s;
    for (const std::string& item : items) s += (s.empty() ? "" : ", ") + item;
    return s;
}

// What was swept and how each point was stopped, as a paragraph above the table.
std::string heading(const SweepConfig& c, const SweepResult& result, const std::string& version,
                    bool snr3kAxis, const FieldNames& names) {
    std::vector<std::string> rates;
    for (const double r : c.rates) rates.push_back(format_value(r));
    std::vector<std::string> receivers;
    for (const ReceiverKind r : c.receivers) receivers.push_back(receiver_name(r));
    const std::string blocks = nframe_text(c);
    std::string s = "hfchain " + version + " sweep: " + joined(rates) + " bit/s, interleaver " +
                    format_value(c.interLen) + " s" + interleaver_note(c) + ", " + blocks +
                    (blocks == "1" ? " block" : " blocks") + " per trial" +
                    (blocks.find(',') != std::string::npos ? " (by rate)" : "") + "; receivers " +
                    joined(receivers) + ".";
    if (c.late == LateEntry::data) s += std::string(" Late entry: ") + kLateDataNote + ".";
    const std::string whose = c.stopOn == StopOn::first
                                  ? std::string(receiver_name(first_receiver(c))) + "'s"
                                  : std::string("each receiver's");
    const bool decoded = c.metric == Metric::decoded;
    s += " Each point runs at least " +
         counted(static_cast<double>(c.minTrials), "trial", "trials") + ", then stops at " +
         std::to_string(c.minEvents) + " error events of " + whose + ' ' +
         (decoded ? "decoded" : "coded") + " bits (" + field_name(names, "metric") + ' ' +
         metric_name(c.metric) + ") or at " +
         counted(static_cast<double>(c.maxBits), "bit", "bits") + " (stop: events, bits).";
    if (snr3kAxis) s += " SNR3k: the SNR in 3 kHz in dB (Es/N0 - 0.97 dB).";
    s += std::string(" BER: the ") + (decoded ? "decoded information-bit" : "coded-bit") +
         " error rate and its 95 % interval over the trials ('*': resting on fewer than " +
         std::to_string(kFewEvents) + " error events); blk err: interleaver blocks wrong.";
    s += " Wall time " + fixed(result.wallSeconds, 1) + " s";
    if (result.knownTrials > 0) {
        s += ", " + std::to_string(result.knownTrials) + " trials from the checkpoint";
    }
    s += result.interrupted ? "; INTERRUPTED: unfinished points end early." : ".";
    return s;
}

// A receiver's three cells at point `p`.
std::string receiver_cells(const SweepConfig& c, const PointResult& p, ReceiverKind r) {
    const ReceiverCounts& n = p.of(r);
    const std::int64_t bits = c.metric == Metric::decoded ? n.infoBits : n.codedBits;
    std::string rate = "-";
    std::string interval = "-";
    if (bits > 0) {
        const Interval ci = receiver_interval(p, r, c.metric);
        rate = mantissa(receiver_rate(p, r, c.metric), 2);
        const std::int64_t errors = c.metric == Metric::decoded ? n.infoErrors : n.codedErrors;
        // Without an error the interval starts at 0 (its computed end is 0 to rounding).
        interval = '[' + mantissa(errors > 0 ? ci.low : 0.0, 1) + ',' + mantissa(ci.high, 1) + ']' +
                   (rests_on_few_events(receiver_events(p, r, c.metric)) ? "*" : "");
    }
    return "  " + padded(rate, kRateWidth) + "  " + padded(interval, kIntervalWidth, true) +
           padded(std::to_string(n.blockErrors), kBlocksWidth);
}

}  // namespace

std::string wrapped(const std::string& text, std::size_t width) {
    std::string out;
    std::string line;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t space = text.find(' ', at);
        const std::size_t end = space == std::string::npos ? text.size() : space;
        const std::string word = text.substr(at, end - at);
        at = end + 1;
        if (word.empty()) continue;
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            out += line + '\n';
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    if (!line.empty()) out += line + '\n';
    return out;
}

std::vector<double> default_targets() { return {1e-3, 1e-5}; }

void write_compact_table(std::ostream& out, const SweepConfig& c, const SweepResult& result,
                         const std::string& version, bool snr3kAxis, const FieldNames& names) {
    out << wrapped(heading(c, result, version, snr3kAxis, names), kLegendWidth) << '\n';
    std::size_t name_width = 9;
    for (const std::string& name : c.conditions) name_width = std::max(name_width, name.size());
    const bool by_rate = shows_rate(c);
    std::vector<double> levels;
    for (const double e : c.esno) levels.push_back(snr3kAxis ? snr3k_of_esno(e) : e);
    const int decimals = level_decimals(levels);

    // Two heading lines: each receiver's name over its three columns, then the columns.
    constexpr std::size_t group = 2 + kRateWidth + 2 + kIntervalWidth + kBlocksWidth;
    std::string over(name_width + (by_rate ? 6 : 0) + 8 + 8, ' ');
    std::string under = padded("condition", name_width, true) + (by_rate ? "  rate" : "") +
                        padded(snr3kAxis ? "SNR3k" : "Es/N0", 8) + padded("trials", 8);
    for (const ReceiverKind r : c.receivers) {
        const std::string name = std::string(" ") + receiver_name(r) + ' ';
        const std::size_t dashes = group - 2 - name.size();
        over += "  " + std::string(dashes / 2, '-') + name + std::string(dashes - dashes / 2, '-');
        under += "  " + padded("BER", kRateWidth) + "  " +
                 padded("95 % interval", kIntervalWidth, true) + padded("blk err", kBlocksWidth);
    }
    out << over << '\n' << under << "  stop\n";
    for (const PointResult& p : result.points) {
        std::string line = padded(p.condition, name_width, true);
        if (by_rate) line += padded(format_value(p.dataRate), 6);
        line += padded(fixed(snr3kAxis ? snr3k_of_esno(p.esno) : p.esno, decimals), 8) +
                padded(std::to_string(p.trials), 8);
        for (const ReceiverKind r : c.receivers) line += receiver_cells(c, p, r);
        out << line << "  " << stop_reason_name(p.stop) << '\n';
    }
}

void write_crossings_summary(std::ostream& out, const SweepConfig& config,
                             const SweepResult& result, const std::vector<double>& targets,
                             bool snr3kAxis) {
    const CrossingTable table = crossing_table(config, result, targets, snr3kAxis);
    out << wrapped(std::string("Crossings: the ") + (snr3kAxis ? "SNR in 3 kHz" : "Es/N0") +
                       " (dB) at which each receiver's " +
                       (config.metric == Metric::decoded ? "decoded" : "coded-bit") +
                       " error rate falls to the target rate, interpolated between the "
                       "bracketing points ('< X': below it from the first point X; '<= X': no "
                       "error from X on; '> X': not reached by X; '*': resting on fewer than " +
                       std::to_string(kFewEvents) +
                       " error events); gap: its distance to the genie in dB.",
                   kLegendWidth);
    // The key cells are left-aligned, the others right-aligned to their column's widest.
    std::vector<std::size_t> widths(table.head.size());
    for (std::size_t k = 0; k < widths.size(); ++k) {
        widths[k] = table.head[k].size();
        for (const auto& row : table.rows) widths[k] = std::max(widths[k], row[k].size());
    }
    const auto line = [&](const std::vector<std::string>& cells) {
        std::string s;
        for (std::size_t k = 0; k < cells.size(); ++k) {
            s += (k == 0 ? "" : "  ") + padded(cells[k], widths[k], k < table.keys);
        }
        while (!s.empty() && s.back() == ' ') s.pop_back();
        out << s << '\n';
    };
    line(table.head);
    for (const auto& row : table.rows) line(row);
}

namespace {

double level_of(const PointResult& p, bool snr3kAxis) {
    return snr3kAxis ? snr3k_of_esno(p.esno) : p.esno;
}

std::string percent(double share) { return fixed(100 * share, 1); }

}  // namespace

void write_acquisition_table(std::ostream& out, const SweepConfig& c, const SweepResult& result,
                             const std::string& version, bool snr3kAxis) {
    const bool noise = c.noiseSeconds > 0;
    std::vector<std::string> rates;
    for (const double r : c.rates) rates.push_back(format_value(r));
    std::string s = "hfchain " + version + " sweep: acquisition of " + joined(rates) +
                    " bit/s, interleaver " + format_value(c.interLen) + " s" + interleaver_note(c) +
                    ".";
    s += noise ? " Each trial searches " + format_value(c.noiseSeconds) +
                     " s of noise without a transmission: every transmission found is a false "
                     "detection; false/h: false detections per hour with its 95 % interval."
               : " Each trial searches for a transmission of any mode, sent with a frequency "
                 "offset within +-" +
                     format_value(c.offsetHz) + " Hz" +
                     (c.late == LateEntry::preamble ? ", the receiver entering in its preamble"
                      : c.late == LateEntry::data
                          ? ", the receiver entering in its data (right: the mode and a block "
                            "start read from the frames)"
                          : " after up to 0.2 s of noise") +
                     "; right: found with its start, its mode read surely (%, with its 95 % "
                     "interval), wrong mode: found there as another mode or unsurely, missed: "
                     "not found or elsewhere.";
    s += " Each point runs at least " +
         counted(static_cast<double>(c.minTrials), "trial", "trials") + ", then stops at " +
         std::to_string(c.minEvents) + " failed trials or at " +
         counted(static_cast<double>(c.maxBits), "trial", "trials") + ". Wall time " +
         fixed(result.wallSeconds, 1) + " s" + (result.interrupted ? "; INTERRUPTED." : ".");
    out << wrapped(s, kLegendWidth) << '\n';
    std::size_t name_width = 9;
    for (const std::string& name : c.conditions) name_width = std::max(name_width, name.size());
    const bool by_rate = shows_rate(c);
    std::string head = padded("condition", name_width, true) + (by_rate ? "  rate" : "") +
                       padded(snr3kAxis ? "SNR3k" : "Es/N0", 8) + padded("trials", 8);
    head += noise ? "  " + padded("hours", 9) + padded("false", 7) + padded("false/h", 9) + "  " +
                        padded("95 % interval", 17, true)
                  : "  " + padded("right", 7) + "  " + padded("95 % interval", 13, true) +
                        padded("wrong", 7) + padded("missed", 8);
    out << head << "  stop\n";
    for (const PointResult& p : result.points) {
        std::string line = padded(p.condition, name_width, true);
        if (by_rate) line += padded(format_value(p.dataRate), 6);
        line += padded(fixed(level_of(p, snr3kAxis), 1), 8) + padded(std::to_string(p.trials), 8);
        if (noise) {
            const Interval ci = false_per_hour_interval(p);
            line += "  " + padded(fixed(p.acquisition.searched / 3600, 3), 9) +
                    padded(std::to_string(p.acquisition.falseDetections), 7) +
                    padded(fixed(false_per_hour(p), 3), 9) + "  " +
                    padded('[' + fixed(ci.low, 3) + ',' + fixed(ci.high, 3) + ']', 17, true);
        } else {
            const Interval ci = acquisition_interval(p, 0);
            line += "  " + padded(percent(acquisition_share(p, 0)), 7) + "  " +
                    padded('[' + percent(ci.low) + ',' + percent(ci.high) + ']', 13, true) +
                    padded(std::to_string(p.acquisition.wrongMode), 7) +
                    padded(std::to_string(p.acquisition.missed), 8);
        }
        out << line << "  " << stop_reason_name(p.stop) << '\n';
    }
}

std::string share_crossing(const std::vector<const PointResult*>& points, double share,
                           bool snr3kAxis) {
    std::vector<const PointResult*> sorted = points;
    std::sort(sorted.begin(), sorted.end(),
              [](const PointResult* a, const PointResult* b) { return a->esno < b->esno; });
    if (sorted.empty()) return "-";
    const auto level = [&](std::size_t k) { return level_of(*sorted[k], snr3kAxis); };
    const auto right = [&](std::size_t k) { return acquisition_share(*sorted[k], 0); };
    std::size_t k = sorted.size() - 1;
    if (right(k) < share) return "> " + fixed(level(k), 1);
    while (k > 0 && right(k - 1) >= share) --k;
    if (k == 0) return "<= " + fixed(level(0), 1);
    // right(k - 1) < share <= right(k): linear in the share between the two.
    const double t = (share - right(k - 1)) / (right(k) - right(k - 1));
    return fixed(level(k - 1) + t * (level(k) - level(k - 1)), 1);
}

void write_acquisition_summary(std::ostream& out, const SweepConfig& c, const SweepResult& result,
                               bool snr3kAxis) {
    if (c.noiseSeconds > 0) return;
    out << wrapped(std::string("Where the right share falls: the ") +
                       (snr3kAxis ? "SNR in 3 kHz" : "Es/N0") +
                       " (dB) at which the share of transmissions found with their mode and "
                       "start falls to 99 % and to 90 %, interpolated between the bracketing "
                       "points ('<= X': not by the lowest point X; '> X': below it already at "
                       "the highest point X).",
                   kLegendWidth);
    std::size_t name_width = 9;
    for (const std::string& name : c.conditions) name_width = std::max(name_width, name.size());
    out << padded("condition", name_width, true) << padded("rate", 6) << padded("99 %", 9)
        << padded("90 %", 9) << '\n';
    for (const double rate : c.rates) {
        for (const std::string& condition : c.conditions) {
            std::vector<const PointResult*> curve;
            for (const PointResult& p : result.points) {
                if (p.dataRate == rate && p.condition == condition) curve.push_back(&p);
            }
            out << padded(condition, name_width, true) << padded(format_value(rate), 6)
                << padded(share_crossing(curve, 0.99, snr3kAxis), 9)
                << padded(share_crossing(curve, 0.90, snr3kAxis), 9) << '\n';
        }
    }
}

}  // namespace hfchain::sweep
