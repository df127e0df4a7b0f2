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
#include "sweep/columns.hpp"
#include "sweep/output_file.hpp"
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

void write_table(std::ostream& out, const SweepConfig& c, const SweepResult& result,
                 const std::string& version, const FieldNames& names) {
    const char* first = c.receivers.empty() ? "baseline" : receiver_name(c.receivers.front());
    const bool decoded = c.metric == Metric::decoded;
    out << "# hfchain " << version
        << " sweep: decoded, coded-bit and block error rates against SNR (3 kHz) and Es/N0\n";
    if (shows_rate(c)) out << "# data rates (bit/s): " << esno_list(c.rates) << '\n';
    out << "# interleaver " << format_value(c.interLen) << " s, nFrame " << nframe_text(c)
        << " interleaver blocks per trial" << (shows_rate(c) ? " (by rate)" : "") << "\n";
    out << "# rolloffFactor " << format_value(c.shaping.rolloffFactor) << ", pulseDelay "
        << format_value(c.shaping.pulseDelay) << " symbols, oversamplingFactor "
        << format_value(c.shaping.oversamplingFactor) << " samples per symbol\n";
    if (c.audioRate != 0) {
        out << "# through the air: audio at " << format_value(c.audioRate)
            << " samples a second around 1800 Hz, real noise at each point's SNR, the receiver's "
               "clock "
            << format_value(c.clockPpm)
            << " ppm off the sender's, tracked and taken out before the receivers\n";
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

namespace {

// The picture's look. A curve is named by its keys (its condition, its receiver; a data rate
// would be a third) and each key chooses its own part of the curve's look: the condition the
// colour, the receiver the dash and the marker. The key of the picture states each choice once (a
// block of conditions drawn as colour swatches, a block of receivers drawn in black with their
// dash and marker) instead of one entry per curve, which with 5 conditions and 3 receivers
// would hide the curves behind fifteen entries.

// Parts of a gnuplot line style; a part left empty (or 0) is not set and is left to the others.
struct Look {
    std::string colour;  // "#rrggbb"
    int dashtype = 0;
    int pointtype = 0;
    double width = 0;  // line width
};

Look over(Look below, const Look& above) {
    if (!above.colour.empty()) below.colour = above.colour;
    if (above.dashtype != 0) below.dashtype = above.dashtype;
    if (above.pointtype != 0) below.pointtype = above.pointtype;
    if (above.width != 0) below.width = above.width;
    return below;
}

std::string properties(const Look& look) {
    std::string s;
    if (!look.colour.empty()) s += " linecolor rgb '" + look.colour + "'";
    if (look.dashtype != 0) s += " dashtype " + std::to_string(look.dashtype);
    if (look.pointtype != 0) s += " pointtype " + std::to_string(look.pointtype);
    if (look.width != 0) s += " linewidth " + format_value(look.width);
    return s;
}

// One key of the curves and the values it takes in the picture, in order of first use.
struct LookKey {
    std::string heading;  // the block's heading in the key
    std::string sample;   // how the block's entries are drawn in the key
    Look plain;           // what the entries show of the other keys' parts (black: no colour)
    std::vector<std::string> labels;
    std::vector<Look> looks;

    std::size_t add(const std::string& label, const Look& look) {
        const auto at = std::find(labels.begin(), labels.end(), label);
        if (at != labels.end()) return static_cast<std::size_t>(at - labels.begin());
        labels.push_back(label);
        looks.push_back(look);
        return labels.size() - 1;
    }
};

// Colour-blind safe colours (Okabe and Ito). The named conditions keep theirs in every picture, in
// order of severity; other names take the spare ones in the order of the sweep.
constexpr std::pair<std::string_view, const char*> kConditionColours[] = {
    {kAwgnCondition, "#0072B2"}, {"bom", "#009E73"},        {"moderado", "#E69F00"},
    {"ruim", "#D55E00"},         {"muito_ruim", "#CC79A7"},
};
constexpr const char* kSpareColours[] = {"#56B4E9", "#8C510A", "#7F7F7F", "#332288", "#BBBB00"};

struct ReceiverLook {
    ReceiverKind kind;
    int dashtype;
    int pointtype;  // 7 filled circle, 6 open circle, 5 filled square
    const char* label;
};
constexpr ReceiverLook kReceiverLooks[] = {
    {ReceiverKind::hf, 1, 7, "hf: HF receiver (turbo equaliser)"},
    {ReceiverKind::genie, 2, 6, "genie: known channel (bound)"},
    {ReceiverKind::baseline, 4, 5, "baseline: hard decisions, no equaliser"},
};
static_assert(std::size(kReceiverLooks) == kReceiverCount, "every receiver has a look");

// A point without errors has no place on a logarithmic axis. What was learnt there is that the
// rate is below the upper end of its interval: a run of such points is drawn once, as this marker
// (a triangle pointing down) at its first point's upper bound, in the condition's colour
// and unjoined to the curve, which breaks there. The bounds of one point are the same for every
// receiver (the same trials) and, with the same bits, for every condition: the conditions' markers
// are set side by side, `kBoundAside` of the axis's span apart, rather than one over another.
constexpr int kBoundPointtype = 11;

// The line widths of the data rates, in the order of the sweep's rates.
constexpr double kRateWidths[] = {0.7, 1.5, 2.3, 3.1, 3.9, 4.7, 5.5};
constexpr double kBoundAside = 0.008;

std::string condition_label(const std::string& name, bool decoded) {
    if (name == kAwgnCondition) {
        return name + (decoded ? ": white noise (simulated reference)" : ": white noise");
    }
    if (const WattersonCondition* w = find_watterson_condition(name)) {
        return name + ": " + format_value(w->tau * 1e3) + " ms delay, " + format_value(w->fd) +
               " Hz Doppler";
    }
    return name;
}

Look condition_look(const std::string& name, std::size_t& spare) {
    for (const auto& [known, colour] : kConditionColours) {
        if (name == known) return {colour, 0, 0};
    }
    return {kSpareColours[spare++ % std::size(kSpareColours)], 0, 0};
}

struct Curve {
    std::vector<std::size_t> values;  // per LookKey
    std::string block;                // the measured points; a blank line where the curve breaks
    std::string bounds;               // the points drawn as upper bounds
};

// The rows of one curve: its points sorted along the axis, shifted by `shift`, its bounds also
// by `aside`; lowers `lowest` to the smallest rate, lower end or bound drawn.
Curve curve_rows(const SweepConfig& c, const SweepResult& result, double at_rate,
                 const std::string& name, ReceiverKind r, double shift, double aside,
                 double& lowest) {
    std::vector<const PointResult*> points;
    for (const PointResult& p : result.points) {
        const ReceiverCounts& n = p.of(r);
        // A point without bits (interrupted before its first trial) was not measured.
        const std::int64_t bits = c.metric == Metric::decoded ? n.infoBits : n.codedBits;
        if (p.dataRate == at_rate && p.condition == name && bits > 0) points.push_back(&p);
    }
    std::stable_sort(points.begin(), points.end(),
                     [](const PointResult* a, const PointResult* b) { return a->esno < b->esno; });
    Curve curve;
    std::ostringstream block;
    std::ostringstream bounds;
    bool in_bounded_run = false;
    for (const PointResult* p : points) {
        const double rate = receiver_rate(*p, r, c.metric);
        const Interval ci95 = receiver_interval(*p, r, c.metric);
        if (rate > 0) {
            block << p->esno - shift << ' ' << rate << ' ' << ci95.low << ' ' << ci95.high << '\n';
            lowest = std::min(lowest, ci95.low > 0 ? ci95.low : rate / 10);
            in_bounded_run = false;
        } else if (!in_bounded_run) {
            block << '\n';
            bounds << p->esno - shift + aside << ' ' << ci95.high << '\n';
            lowest = std::min(lowest, ci95.high);
            in_bounded_run = true;
        }
    }
    curve.block = block.str();
    curve.bounds = bounds.str();
    return curve;
}

bool has_rows(const std::string& block) {
    return block.find_first_not_of('\n') != std::string::npos;
}

// The line and the key's name of the theory of 2^bits-PSK: grey, thicker than the curves, one
// dash pattern per constellation.
std::string theory_style(int bits) {
    switch (bits) {
        case 3:
            return "dashtype 3 linewidth 2 linecolor rgb 'gray40'";
        case 2:
            return "dashtype (10,5,2,5) linewidth 2 linecolor rgb 'gray50'";
        default:
            return "dashtype (2,6) linewidth 2 linecolor rgb 'gray60'";
    }
}

std::string theory_label(int bits) {
    switch (bits) {
        case 3:
            return "theory: Gray 8-PSK on white noise";
        case 2:
            return "theory: Gray 4-PSK on white noise";
        default:
            return "theory: 2-PSK on white noise";
    }
}

}  // namespace

std::string sweep_plot_script(const std::string& file, const SweepConfig& c,
                              const SweepResult& result, bool snr3kAxis,
                              const std::string& output) {
    const bool decoded = c.metric == Metric::decoded;
    const double shift = snr3kAxis ? kSnr3kOffset : 0.0;  // x = Es/N0 - shift
    const bool png = file.size() >= 4 && file.compare(file.size() - 4, 4, ".png") == 0;
    std::ostringstream s;
    s << (png ? "set terminal pngcairo size 1250,750 enhanced font 'sans,11'\n"
              : "set terminal svg size 1250,750 dynamic enhanced font 'sans,12'\n");
    s << "set output " << gnuplot_quote(output.empty() ? file : output) << '\n';

    double lo = c.esno.front();
    double hi = c.esno.front();
    for (const double e : c.esno) {
        lo = std::min(lo, e);
        hi = std::max(hi, e);
    }
    if (hi == lo) hi = lo + 1;

    // The keys of the curves, in the order of their blocks in the key: the condition, the receiver.
    std::vector<LookKey> keys{
        {"{/:Bold condition} (colour)", "with boxes fillstyle solid", {}, {}, {}},
        {"{/:Bold receiver} (line, marker)", "with linespoints linewidth 1.5", {"#000000"}, {}, {}},
    };
    // With several data rates, the rate is a third key: the line's width.
    if (shows_rate(c)) {
        keys.push_back({"{/:Bold data rate} (line width)", "with lines", {"#000000"}, {}, {}});
    }
    // The bounds' row of conditions is centred on the point, half_row steps either side.
    const double half_row = (static_cast<double>(c.conditions.size()) - 1) / 2;
    std::vector<Curve> curves;
    double lowest = 1.0;
    std::size_t spare = 0;
    std::vector<std::optional<Look>> colours(c.conditions.size());  // taken at a first curve
    for (std::size_t ri = 0; ri < c.rates.size(); ++ri) {
        const double at_rate = c.rates[ri];
        for (std::size_t ci = 0; ci < c.conditions.size(); ++ci) {
            const std::string& name = c.conditions[ci];
            const double aside = (static_cast<double>(ci) - half_row) * kBoundAside * (hi - lo + 1);
            for (const ReceiverKind r : c.receivers) {
                Curve curve = curve_rows(c, result, at_rate, name, r, shift, aside, lowest);
                if (!has_rows(curve.block) && curve.bounds.empty()) continue;
                if (!colours[ci]) colours[ci] = condition_look(name, spare);
                const ReceiverLook& rl =
                    *std::find_if(std::begin(kReceiverLooks), std::end(kReceiverLooks),
                                  [r](const ReceiverLook& l) { return l.kind == r; });
                curve.values = {keys[0].add(condition_label(name, decoded), *colours[ci]),
                                keys[1].add(rl.label, {"", rl.dashtype, rl.pointtype})};
                if (keys.size() > 2) {
                    Look width;
                    width.width = kRateWidths[ri % std::size(kRateWidths)];
                    curve.values.push_back(keys[2].add(format_value(at_rate) + " bit/s", width));
                }
                curves.push_back(std::move(curve));
            }
        }
    }
    // The lowest rate worth showing: a decade below the smallest rate, lower end or bound drawn.
    const double floor_rate = std::max(1e-7, std::pow(10.0, std::floor(std::log10(lowest)) - 1));

    // The theory of the coded bits, once per constellation among the rates (none for the 75
    // bit/s patterns alone), 8-PSK first.
    std::vector<int> theories;
    for (const double at_rate : c.rates) {
        const int bits = theory_bits(rateconf(at_rate, 0.6));
        if (bits > 0 && std::find(theories.begin(), theories.end(), bits) == theories.end()) {
            theories.push_back(bits);
        }
    }
    std::sort(theories.rbegin(), theories.rend());
    for (const int bits : theories) {
        s << "$theory" << bits << " << EOD\n";
        for (int k = 0; k <= 200; ++k) {
            const double e = lo + (hi - lo) * k / 200.0;
            const double ber = ber_psk_gray(bits, e);
            if (ber >= floor_rate / 10) s << e - shift << ' ' << ber << '\n';
        }
        s << "EOD\n";
    }
    for (std::size_t k = 0; k < curves.size(); ++k) {
        s << "$c" << k << " << EOD\n" << curves[k].block << "EOD\n";
        if (!curves[k].bounds.empty()) s << "$b" << k << " << EOD\n" << curves[k].bounds << "EOD\n";
    }

    s << "set logscale y\nset format y '10^{%L}'\nset grid\n";
    // Half a dB beside the outer points, and room for the bounds set aside from them.
    const double margin = 0.5 + half_row * kBoundAside * (hi - lo + 1);
    s << "set xrange [" << lo - shift - margin << ':' << hi - shift + margin << "]\n";
    s << "set yrange [" << floor_rate << ":1]\n";
    s << "set xlabel "
      << (snr3kAxis ? "'SNR in 3 kHz (dB)   (E_s/N_0 = SNR + 0.97 dB)'" : "'E_s/N_0 (dB)'")
      << "\nset ylabel "
      << (decoded ? "'decoded information-bit error rate'"
                  : "'coded-bit error rate (before decoding)'")
      << '\n';
    const std::string what =
        decoded ? "Decoded information-bit error rate" : "Coded-bit error rate before decoding";
    const std::string against = snr3kAxis ? "SNR in 3 kHz" : "E_s/N_0";
    // In double quotes, where gnuplot reads \n as a new line; the text holds no name.
    s << "set title \"" << what << " against " << against << ", " << format_value(c.interLen)
      << " s interleaver\\n{/*0.8 bars: 95 % intervals over trials;  pulse shaping: "
      << format_value(c.shaping.oversamplingFactor) << " samples a symbol, roll-off "
      << format_value(c.shaping.rolloffFactor) << ", delay " << format_value(c.shaping.pulseDelay)
      << " symbols}\"\n";
    s << "set key outside right top vertical Left reverse noenhanced font '," << (png ? 10 : 11)
      << "' spacing 1.1 samplen 3\n";
    s << "set bars small\n";
    // Items after the first start with a comma.
    const char* separator = "plot ";
    const auto next = [&separator]() {
        const char* now = separator;
        separator = ", \\\n     ";
        return now;
    };
    for (const int bits : theories) {
        s << next() << "$theory" << bits << " using 1:2 with lines " << theory_style(bits)
          << " notitle";
    }
    for (std::size_t k = 0; k < curves.size(); ++k) {
        Look look;
        for (std::size_t key = 0; key < keys.size(); ++key) {
            look = over(look, keys[key].looks[curves[k].values[key]]);
        }
        if (has_rows(curves[k].block)) {
            s << next() << "$c" << k << " using 1:2:3:4 with yerrorlines"
              << (look.width != 0 ? "" : " linewidth 1.5") << properties(look)
              << " pointsize 0.8 notitle";
        }
        if (!curves[k].bounds.empty()) {
            s << next() << "$b" << k << " using 1:2 with points"
              << properties({look.colour, 0, kBoundPointtype}) << " pointsize 1.3 notitle";
        }
    }
    // The key: one block per key of the curves, then what is drawn once.
    for (const LookKey& key : keys) {
        s << next() << "keyentry with lines linetype nodraw title " << gnuplot_quote(key.heading)
          << " enhanced";
        for (std::size_t v = 0; v < key.labels.size(); ++v) {
            s << next() << "keyentry " << key.sample << properties(over(key.plain, key.looks[v]))
              << " title " << gnuplot_quote(key.labels[v]);
        }
    }
    const bool bounds = std::any_of(curves.begin(), curves.end(),
                                    [](const Curve& curve) { return !curve.bounds.empty(); });
    if (!theories.empty() || bounds) {
        s << next() << "keyentry with lines linetype nodraw title '{/:Bold reference}' enhanced";
    }
    for (const int bits : theories) {
        s << next() << "keyentry with lines " << theory_style(bits) << " title "
          << gnuplot_quote(theory_label(bits));
    }
    // gnuplot gives a key entry one line whatever its text holds: a second line is an entry.
    if (decoded && !theories.empty())
        s << next()
          << "keyentry with lines linetype nodraw title '  (coded bits, before "
             "decoding)'";
    if (bounds) {
        s << next() << "keyentry with points" << properties({"#000000", 0, kBoundPointtype})
          << " pointsize 1.3 title 'no error: 95 % upper bound'";
    }
    s << "\nset output\n";
    return s.str();
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

void plot_sweep(const std::string& file, const std::string& name, const SweepConfig& config,
                const SweepResult& result, bool snr3kAxis) {
    ResultFile picture(name, file);
    run_gnuplot(sweep_plot_script(file, config, result, snr3kAxis, picture.path()),
                name + " " + file);
    check_picture(picture.path(), name + " " + file);
    picture.commit();
}

}  // namespace hfchain::sweep
