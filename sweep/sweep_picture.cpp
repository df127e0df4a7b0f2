#include "sweep/sweep_picture.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <sstream>

#include "chain/theory.hpp"
#include "channel/conditions.hpp"
#include "params/rateconf.hpp"
#include "params/waveform.hpp"
#include "runtime/checks.hpp"
#include "runtime/output_file.hpp"
#include "sweep/report.hpp"

namespace hfchain::sweep {

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

// The look's properties but its colour.
std::string shape(const Look& look) {
    std::string s;
    if (look.dashtype != 0) s += " dashtype " + std::to_string(look.dashtype);
    if (look.pointtype != 0) s += " pointtype " + std::to_string(look.pointtype);
    s += " linewidth " + format_value(look.width != 0 ? look.width : 1.5);
    return s;
}

std::string properties(const Look& look) {
    return (look.colour.empty() ? "" : " linecolor rgb '" + look.colour + "'") + shape(look);
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

// Filled markers, so that a point resting on few error events can be hollowed out.
struct ReceiverLook {
    ReceiverKind kind;
    int dashtype;
    int pointtype;  // 7 circle, 13 diamond, 5 square
    const char* label;
};
constexpr ReceiverLook kReceiverLooks[] = {
    {ReceiverKind::hf, 1, 7, "hf: HF receiver (turbo equaliser)"},
    {ReceiverKind::genie, 2, 13, "genie: known channel (bound)"},
    {ReceiverKind::baseline, 4, 5, "baseline: hard decisions, no equaliser"},
};
static_assert(std::size(kReceiverLooks) == kReceiverCount, "every receiver has a look");

// The line widths of the data rates, in the order of the sweep's rates.
constexpr double kRateWidths[] = {0.7, 1.5, 2.3, 3.1, 3.9, 4.7, 5.5};

// Bounds of one point are the same for every receiver (the same trials) and, with the same bits,
// for every condition: each curve's bound is set this share of the axis's span beside the
// others there, rather than over them (room for its receiver's name).
constexpr double kBoundAside = 0.02;

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
    CurveBlocks blocks;
    ReceiverKind receiver;
};

struct Curves {
    std::vector<LookKey> keys;
    std::vector<Curve> list;
    DrawnSpan span;
};

// The measured points of each curve, by rate, condition and receiver.
struct Measured {
    std::size_t rate, condition;
    ReceiverKind receiver;
    std::vector<CurvePoint> points;
};

std::vector<Measured> measured_curves(const SweepConfig& c, const SweepResult& result) {
    std::vector<Measured> out;
    for (std::size_t ri = 0; ri < c.rates.size(); ++ri) {
        for (std::size_t ci = 0; ci < c.conditions.size(); ++ci) {
            std::vector<const PointResult*> points;
            for (const PointResult& p : result.points) {
                if (p.dataRate == c.rates[ri] && p.condition == c.conditions[ci]) {
                    points.push_back(&p);
                }
            }
            for (const ReceiverKind r : c.receivers) {
                out.push_back({ri, ci, r, curve_points(points, r, c.metric)});
            }
        }
    }
    return out;
}

// Every curve of the sweep with its look, in the order of the rates, conditions and receivers.
Curves collect_curves(const SweepConfig& c, const SweepResult& result, PlotAxis axis) {
    Curves out;
    // The keys of the curves, in the order of their blocks in the key: the condition, the receiver.
    out.keys = {{"{/:Bold condition} (colour)", "with boxes fillstyle solid", {}, {}, {}},
                {"{/:Bold receiver} (line, marker)", "with linespoints", {"#000000"}, {}, {}}};
    // With several data rates, the rate is a third key: the line's width.
    if (shows_rate(c)) {
        out.keys.push_back({"{/:Bold data rate} (line width)", "with lines", {"#000000"}, {}, {}});
    }
    const auto [lo, hi] = std::minmax_element(c.esno.begin(), c.esno.end());
    const std::vector<Measured> measured = measured_curves(c, result);
    BoundRow row(kBoundAside * (*hi - *lo + 1));
    for (const Measured& m : measured) row.count(m.points, axis_shift(axis, c.rates[m.rate]));
    std::size_t spare = 0;
    std::vector<std::optional<Look>> colours(c.conditions.size());  // taken at a first curve
    for (const Measured& m : measured) {
        const CurveBlocks blocks =
            curve_blocks(m.points, axis_shift(axis, c.rates[m.rate]), row, out.span);
        if (!blocks.drawn()) continue;
        const std::string& name = c.conditions[m.condition];
        if (!colours[m.condition]) colours[m.condition] = condition_look(name, spare);
        const ReceiverLook& rl =
            *std::find_if(std::begin(kReceiverLooks), std::end(kReceiverLooks),
                          [&m](const ReceiverLook& l) { return l.kind == m.receiver; });
        Curve curve{{out.keys[0].add(condition_label(name, c.metric == Metric::decoded),
                                     *colours[m.condition]),
                     out.keys[1].add(rl.label, {"", rl.dashtype, rl.pointtype})},
                    blocks,
                    m.receiver};
        if (out.keys.size() > 2) {
            Look width;
            width.width = kRateWidths[m.rate % std::size(kRateWidths)];
            curve.values.push_back(
                out.keys[2].add(format_value(c.rates[m.rate]) + " bit/s", width));
        }
        out.list.push_back(std::move(curve));
    }
    return out;
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

// The constellations of the coded bits among the rates (none for the 75 bit/s patterns alone),
// 8-PSK first.
std::vector<int> theories_of(const SweepConfig& c) {
    std::vector<int> theories;
    for (const double at_rate : c.rates) {
        const int bits = theory_bits(rateconf(at_rate, 0.6));
        if (bits > 0 && std::find(theories.begin(), theories.end(), bits) == theories.end()) {
            theories.push_back(bits);
        }
    }
    std::sort(theories.rbegin(), theories.rend());
    return theories;
}

// The theory's rows over the sweep's Es/N0, down to a decade below the frame's floor. On the
// Eb/N0 axis the energy is that of each of the constellation's own bits.
std::string theory_rows(const SweepConfig& c, PlotAxis axis, int bits, double floor_rate) {
    const auto [lo, hi] = std::minmax_element(c.esno.begin(), c.esno.end());
    const double span = std::max(*hi - *lo, 1.0);
    const double shift = axis == PlotAxis::ebno ? 10 * std::log10(bits) : axis_shift(axis, 2400);
    std::ostringstream s;
    for (int k = 0; k <= 200; ++k) {
        const double e = *lo + span * k / 200.0;
        const double ber = ber_psk_gray(bits, e);
        if (ber >= floor_rate / 10) s << e - shift << ' ' << ber << '\n';
    }
    return s.str();
}

// Labels, title and key of the frame.
std::string frame_lines(const std::string& file, const SweepConfig& c, PlotAxis axis) {
    const bool decoded = c.metric == Metric::decoded;
    const bool png = file.ends_with(".png");
    std::ostringstream s;
    s << "set logscale y\nset format y '10^{%L}'\nset grid\n";
    s << "set xlabel " << axis_label(axis) << "\nset ylabel "
      << (decoded ? "'decoded information-bit error rate'"
                  : "'coded-bit error rate (before decoding)'")
      << '\n';
    const std::string what =
        decoded ? "Decoded information-bit error rate" : "Coded-bit error rate before decoding";
    const std::string against = axis == PlotAxis::snr3k  ? "SNR in 3 kHz"
                                : axis == PlotAxis::ebno ? "E_b/N_0"
                                                         : "E_s/N_0";
    // In double quotes, where gnuplot reads \n as a new line; the text holds no name.
    s << "set title \"" << what << " against " << against << ", " << format_value(c.interLen)
      << " s interleaver\\n{/*0.8 bars: 95 % intervals over trials;  pulse shaping: "
      << format_value(c.shaping.oversamplingFactor) << " samples a symbol, roll-off "
      << format_value(c.shaping.rolloffFactor) << ", delay " << format_value(c.shaping.pulseDelay)
      << " symbols}\"\n";
    s << "set key outside right top vertical Left reverse noenhanced font '," << (png ? 10 : 11)
      << "' spacing 1.1 samplen 3\n";
    s << "set bars small\n";
    return s.str();
}

// The key: one block per key of the curves, then what is drawn once.
std::vector<std::string> key_items(const Curves& curves, const std::vector<int>& theories,
                                   bool decoded) {
    std::vector<std::string> items;
    for (const LookKey& key : curves.keys) {
        items.push_back("keyentry with lines linetype nodraw title " + gnuplot_quote(key.heading) +
                        " enhanced");
        for (std::size_t v = 0; v < key.labels.size(); ++v) {
            items.push_back("keyentry " + key.sample + properties(over(key.plain, key.looks[v])) +
                            " title " + gnuplot_quote(key.labels[v]));
        }
    }
    bool few = false;
    bool bounds = false;
    for (const Curve& curve : curves.list) {
        few = few || !curve.blocks.few.empty();
        bounds = bounds || !curve.blocks.bounds.empty();
    }
    if (!theories.empty() || bounds || few) {
        items.push_back("keyentry with lines linetype nodraw title '{/:Bold reference}' enhanced");
    }
    for (const int bits : theories) {
        items.push_back("keyentry with lines " + theory_style(bits) + " title " +
                        gnuplot_quote(theory_label(bits)));
    }
    // gnuplot gives a key entry one line whatever its text holds: a second line is an entry.
    if (decoded && !theories.empty()) {
        items.push_back(
            "keyentry with lines linetype nodraw title '  (coded bits, before decoding)'");
    }
    for (std::string& item : mark_key_items(few, bounds)) items.push_back(std::move(item));
    return items;
}

}  // namespace

std::string sweep_plot_script(const std::string& file, const SweepConfig& c,
                              const SweepResult& result, PlotAxis axis, const std::string& output) {
    const Curves curves = collect_curves(c, result, axis);
    const std::string ranges = curves.span.ranges(0.5);
    const double floor_rate = std::stod(ranges.substr(ranges.find("yrange [") + 8));
    std::ostringstream s;
    s << picture_terminal(file, 1250, 750, output);
    std::vector<int> theories;  // those with a part inside the frame
    for (const int bits : theories_of(c)) {
        const std::string rows = theory_rows(c, axis, bits, floor_rate);
        if (rows.empty()) continue;
        s << data_block("$theory" + std::to_string(bits), rows);
        theories.push_back(bits);
    }
    std::vector<std::string> items;
    for (std::size_t k = 0; k < curves.list.size(); ++k) {
        const Curve& curve = curves.list[k];
        const std::string n = std::to_string(k);
        s << data_block("$c" + n, curve.blocks.rows) << data_block("$f" + n, curve.blocks.few)
          << data_block("$b" + n, curve.blocks.bounds);
        Look look;
        for (std::size_t key = 0; key < curves.keys.size(); ++key) {
            look = over(look, curves.keys[key].looks[curve.values[key]]);
        }
        for (std::string& item : curve_items(k, curve.blocks, shape(look), look.colour,
                                             receiver_name(curve.receiver))) {
            items.push_back(std::move(item));
        }
    }
    s << frame_lines(file, c, axis) << ranges;
    std::vector<std::string> all;
    for (const int bits : theories) {
        all.push_back("$theory" + std::to_string(bits) + " using 1:2 with lines " +
                      theory_style(bits) + " notitle");
    }
    all.insert(all.end(), items.begin(), items.end());
    for (std::string& item : key_items(curves, theories, c.metric == Metric::decoded)) {
        all.push_back(std::move(item));
    }
    for (std::size_t i = 0; i < all.size(); ++i) s << (i ? ", \\\n     " : "plot ") << all[i];
    s << "\nset output\n";
    return s.str();
}

void plot_sweep(const std::string& file, const std::string& name, const SweepConfig& config,
                const SweepResult& result, PlotAxis axis) {
    ResultFile picture(name, file);
    run_gnuplot(sweep_plot_script(file, config, result, axis, picture.path()), name + " " + file);
    check_picture(picture.path(), name + " " + file);
    picture.commit();
}

}  // namespace hfchain::sweep
