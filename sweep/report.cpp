#include "sweep/report.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include "chain/theory.hpp"
#include "channel/conditions.hpp"
#include "params/rateconf.hpp"
#include "params/waveform.hpp"
#include "runtime/checks.hpp"
#include "runtime/error.hpp"
#include "runtime/output_file.hpp"
#include "sweep/acquisition.hpp"
#include "sweep/columns.hpp"
#include "sweep/late_decode.hpp"
#include "sweep/settings.hpp"

namespace hfchain::sweep {

namespace {

std::string fixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

std::string esno_list(const std::vector<double>& esno) {
    std::string s;
    for (const double e : esno) {
        if (!s.empty()) s += ' ';
        s += format_value(e);
    }
    return s;
}

// The fields of a point in the JSON, in their order, before its receivers.
constexpr const char* kJsonPointFields[] = {
    "rate", "condition", "esno_db",   "snr3k_db",   "trials",      "bits",    "errors", "events",
    "ber",  "ci95_low",  "ci95_high", "few_events", "sync_misses", "seconds", "stop"};

std::string json_value(const Column& column, const ColumnValue& value) {
    return column.kind == ColumnKind::text ? json_quote(value.text) : column_text(column, value);
}

std::string receivers_of(const SweepConfig& c) {
    std::string s;
    for (const ReceiverKind r : c.receivers)
        s += std::string(s.empty() ? "" : " ") + receiver_name(r);
    return s;
}

// "  # interrupted; few events: hf genie" after a table's row, or nothing.
std::string row_note(const SweepConfig& c, const PointResult& p) {
    std::string note = p.stop == StopReason::interrupted ? "interrupted" : "";
    for_each_column(c, kInTableNote, [&](const Column& column, const std::string&, ReceiverKind r) {
        if (column.value(c, p, r).whole == 0) return;
        std::string label = column.name + 1;  // "_few_events": "few events"
        std::replace(label.begin(), label.end(), '_', ' ');
        const std::string head = label + ':';
        if (note.find(head) == std::string::npos) note += (note.empty() ? "" : "; ") + head;
        note += std::string(" ") + receiver_name(r);
    });
    return note.empty() ? note : "  # " + note;
}

}  // namespace

namespace {

// The header's lines on what an acquisition sweep's trials are and what its columns hold.
void acquisition_lines(std::ostream& out, const SweepConfig& c, const FieldNames& names) {
    if (c.noiseSeconds > 0) {
        out << "# each trial: " << format_value(c.noiseSeconds)
            << " s of noise without a transmission (a Gaussian signal of a transmission's power "
               "and band through the channel, and white noise at the point's SNR), searched "
               "whole; every transmission found is a false detection\n";
    } else {
        out << "# each trial: a transmission of the point's mode, its frequency offset drawn "
               "within "
               "+-"
            << format_value(c.offsetHz) << " Hz, "
            << (c.late == LateEntry::preamble
                    ? "the receiver entering at a random sample of its preamble (what "
                      "the search misses read from the frames that follow it)"
                : c.late == LateEntry::data
                    ? "the receiver entering at a random sample of the data of a block that, like "
                      "the next, holds information bits, the frames read for a block start and the "
                      "mode"
                    : "after a stretch of noise of a random length up to 0.2 s")
            << ", searched for a transmission of any mode\n";
    }
    out << "# the stop rule counts trials (" << field_name(names, "metric")
        << " acquisition): at least " << c.minTrials << " trials, then stop once " << c.minEvents
        << " of them failed (not right; on noise: with a false detection), or at " << c.maxBits
        << " trials\n";
    out << "# right, wrong_mode, missed: shares of the transmissions found with their start "
           "(within "
        << format_value(kStartToleranceSymbols)
        << " symbols of a path's arrival) and their mode read surely, found there with another "
           "mode or unsurely, not found or found elsewhere; *_ci95_*: their 95 % intervals over "
           "the trials; false_per_hour: false detections over the hours of noise searched, with "
           "the exact Poisson 95 % interval\n";
}

// The header's lines on the rates, the interleaver, the shaping, the path through the air and
// the points.
void common_lines(std::ostream& out, const SweepConfig& c) {
    if (shows_rate(c)) out << "# data rates (bit/s): " << esno_list(c.rates) << '\n';
    out << "# interleaver " << format_value(c.interLen) << " s" << interleaver_note(c)
        << ", nFrame " << nframe_text(c) << " interleaver blocks per trial"
        << (shows_rate(c) ? " (by rate)" : "") << "\n";
    out << "# rolloffFactor " << format_value(c.shaping.rolloffFactor) << ", pulseDelay "
        << format_value(c.shaping.pulseDelay) << " symbols, oversamplingFactor "
        << format_value(c.shaping.oversamplingFactor) << " samples per symbol\n";
    if (c.audioRate != 0) {
        out << "# through the air: audio at " << format_value(c.audioRate)
            << " samples a second around 1800 Hz, real noise at each point's SNR, the receiver's "
               "clock "
            << format_value(c.clockPpm)
            << " ppm off the sender's, tracked and taken out before the receivers";
        if (!c.impulses.empty()) {
            out << "; static crashes, " << format_value(c.impulses[0]) << " a second at "
                << format_value(c.impulses[1]) << " dBFS";
        }
        out << '\n';
    }
    out << "# conditions:";
    for (std::size_t i = 0; i < c.conditions.size(); ++i) {
        out << ' ' << i + 1 << '=' << c.conditions[i];
    }
    out << "\n# Es/N0 (dB): " << esno_list(c.esno) << '\n';
    out << "# SNR in 3 kHz (dB) = Es/N0 - 10 log10(3000/2400):";
    for (const double e : c.esno) {
        char buf[32];
        std::snprintf(buf, sizeof buf, " %.10g", e - kSnr3kOffset);
        out << buf;
    }
    out << (c.snr3kAxis ? " (given)" : "") << '\n';
}

// The header's lines on the receivers and the error rates' columns.
void receiver_lines(std::ostream& out, const SweepConfig& c, const FieldNames& names) {
    const char* first = c.receivers.empty() ? "baseline" : receiver_name(c.receivers.front());
    const bool decoded = c.metric == Metric::decoded;
    const std::string whose =
        c.stopOn == StopOn::first ? first + std::string("'s") : std::string("each receiver's");
    out << "# receivers: " << receivers_of(c) << "; the stop rule counts " << whose << ' '
        << (decoded ? "decoded information bits" : "coded bits") << " ("
        << field_name(names, "metric") << ' ' << metric_name(c.metric) << ", "
        << field_name(names, "stopOn") << ' ' << stop_on_name(c.stopOn) << ")\n";
    out << "# each point: at least " << c.minTrials << " trials, then stop once " << c.minEvents
        << " of them had a wrong bit (error events) and the wrong bits reached " << c.minErrors
        << ", or at " << c.maxBits << (decoded ? " information bits" : " coded bits") << '\n';
    if (c.floor > 0) {
        out << "# a condition's curve ends after its first point at which every receiver's rate is "
               "below "
            << format_value(c.floor) << '\n';
    }
    if (c.late == LateEntry::data) out << "# late entry: " << kLateDataNote << '\n';
    out << "# base seed " << c.seed << " (trial seeds from seed, "
        << (shows_rate(c) ? "rate, " : "") << "condition, Es/N0, trial)\n";
    out << "# R_coded_*: hard decisions (baseline) or ratio signs (hf, genie) on the coded bits; "
           "R_ber: decoded information bits; R_ci95_low, R_ci95_high: the 95 % interval of R_ber "
           "over the trials (ratio estimator with the between-trial variance, errors coming in "
           "bursts; never narrower than the Wilson interval of the bits); R_bler: interleaver "
           "blocks with a wrong information bit; sync_misses: trials whose frame start was not "
           "the expected sample\n";
    out << "# a row ending '# few events: R': R's interval rests on fewer than " << kFewEvents
        << " trials with a wrong bit (none: the bound of independent bits), too few for it to hold "
           "where a few heavy error events carry most of the errors\n";
}

}  // namespace

void write_table(std::ostream& out, const SweepConfig& c, const SweepResult& result,
                 const std::string& version, const FieldNames& names) {
    const bool acquisition = c.metric == Metric::acquisition;
    out << "# hfchain " << version
        << (acquisition ? " sweep: acquisition of a transmission of any mode against SNR (3 kHz) "
                          "and Es/N0\n"
                        : " sweep: decoded, coded-bit and block error rates against SNR (3 kHz) "
                          "and Es/N0\n");
    common_lines(out, c);
    if (acquisition) {
        acquisition_lines(out, c, names);
        if (c.late == LateEntry::data) out << "# late entry: " << kLateDataNote << '\n';
        out << "# base seed " << c.seed << " (trial seeds from seed, "
            << (shows_rate(c) ? "rate, " : "") << "condition, Es/N0, trial)\n";
    } else {
        receiver_lines(out, c, names);
    }
    out << "# threads " << result.threads;
    if (result.ranks > 1) out << " in " << result.ranks << " processes";
    out << ", wall time " << fixed(result.wallSeconds, 1) << " s";
    if (result.knownTrials > 0) out << ", " << result.knownTrials << " trials from the checkpoint";
    out << (result.interrupted ? ", INTERRUPTED: unfinished points end early" : "") << '\n';
    out << '#';
    for_each_column(c, kInTable, [&](const Column& column, const std::string& name, ReceiverKind) {
        const std::string piece = ' ' + name;
        out << std::string(std::max<std::size_t>(column.headerWidth, piece.size()) - piece.size(),
                           ' ')
            << piece;
    });
    out << '\n';
    for (const PointResult& p : result.points) {
        for_each_column(c, kInTable, [&](const Column& column, const std::string&, ReceiverKind r) {
            const ColumnValue v = column.value(c, p, r);
            char cell[64];
            if (column.kind == ColumnKind::whole) {
                std::snprintf(cell, sizeof cell, column.table, static_cast<long long>(v.whole));
            } else {
                std::snprintf(cell, sizeof cell, column.table, v.real);
            }
            out << cell;
        });
        out << row_note(c, p) << '\n';
    }
}

void write_csv(std::ostream& out, const SweepConfig& c, const SweepResult& result) {
    const char* separator = "";
    for_each_column(c, kInCsv, [&](const Column&, const std::string& name, ReceiverKind) {
        out << separator << name;
        separator = ",";
    });
    out << '\n';
    for (const PointResult& p : result.points) {
        separator = "";
        for_each_column(c, kInCsv, [&](const Column& column, const std::string&, ReceiverKind r) {
            out << separator << column_text(column, column.value(c, p, r));
            separator = ",";
        });
        out << '\n';
    }
}

void write_json(std::ostream& out, const SweepConfig& c, const SweepResult& result,
                const std::string& version) {
    out << "{\n  \"version\": " << json_quote(version) << ",\n  \"parameters\": {\n";
    for (const Setting& setting : sweep_settings()) {
        const std::string text = setting.json != nullptr ? setting.json(c) : std::string();
        if (!text.empty()) out << "    " << text << ",\n";
    }
    out << "    \"threads\": " << result.threads << ",\n    \"ranks\": " << result.ranks
        << "\n  },\n";
    out << "  \"trials_from_checkpoint\": " << result.knownTrials << ",\n";
    out << "  \"interrupted\": " << (result.interrupted ? "true" : "false") << ",\n";
    out << "  \"wall_seconds\": " << fixed(result.wallSeconds, 3) << ",\n  \"points\": [";
    for (std::size_t i = 0; i < result.points.size(); ++i) {
        const PointResult& p = result.points[i];
        out << (i > 0 ? "," : "") << "\n    {";
        const ReceiverKind first = first_receiver(c);
        if (c.metric == Metric::acquisition) {
            const char* separator = "";
            for_each_column(c, kInJson,
                            [&](const Column& column, const std::string& name, ReceiverKind r) {
                                out << separator << '"' << name
                                    << "\": " << json_value(column, column.value(c, p, r));
                                separator = ", ";
                            });
            out << "}";
            continue;
        }
        for (const char* name : kJsonPointFields) {
            if (std::string_view(name) == "rate" && !shows_rate(c)) continue;
            const Column& column = *find_point_column(name);
            out << '"' << name << "\": " << json_value(column, column.value(c, p, first)) << ", ";
        }
        out << "\"receivers\": {";
        for (std::size_t k = 0; k < c.receivers.size(); ++k) {
            const ReceiverKind r = c.receivers[k];
            out << (k > 0 ? ", " : "") << json_quote(receiver_name(r)) << ": {";
            const char* separator = "";
            for (const Column& column : receiver_columns()) {
                if ((column.in & kInJson) == 0) continue;
                out << separator << '"' << column.name + 1
                    << "\": " << json_value(column, column.value(c, p, r));
                separator = ", ";
            }
            out << "}";
        }
        out << "}}";
    }
    out << "\n  ]\n}\n";
}

std::string json_quote(const std::string& s) {
    std::string out = "\"";
    for (const char ch : s) {
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (static_cast<unsigned char>(ch) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", ch);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

std::string gnuplot_quote(const std::string& s) {
    std::string out = "'";
    for (const char ch : s) {
        out += ch;
        if (ch == '\'') out += '\'';  // a quote inside single quotes is written twice
    }
    return out + "'";
}

void run_gnuplot(const std::string& script, const std::string& what) {
    std::FILE* pipe = ::popen("gnuplot", "w");
    if (pipe == nullptr) raise(errid::kWriteFailed, what + ": gnuplot could not be started");
    std::fwrite(script.data(), 1, script.size(), pipe);
    const int status = ::pclose(pipe);
    if (status != 0)
        raise(errid::kWriteFailed,
              what + ": gnuplot failed (status " + std::to_string(status) + ")");
}

void check_picture(const std::string& written, const std::string& what) {
    // gnuplot does not report failed writes; a picture is whole when its format's last piece is
    // there.
    std::ifstream in(written, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
    std::string tail(static_cast<std::size_t>(std::clamp<std::streamoff>(size, 0, 16)), '\0');
    if (size > 0) {
        in.seekg(size - static_cast<std::streamoff>(tail.size()));
        in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    }
    const bool whole =
        in && (tail.find("</svg>") != std::string::npos || tail.find("IEND") != std::string::npos);
    if (!whole) {
        raise(errid::kWriteFailed,
              what + ": the picture gnuplot wrote is incomplete (is the disk full?)");
    }
}

bool gnuplot_available() { return std::system("gnuplot --version >/dev/null 2>&1") == 0; }

}  // namespace hfchain::sweep
