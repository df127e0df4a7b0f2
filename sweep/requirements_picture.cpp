#include "sweep/requirements_picture.hpp"

#include <sstream>

#include "params/waveform.hpp"
#include "runtime/checks.hpp"
#include "runtime/output_file.hpp"
#include "sweep/report.hpp"

namespace hfchain::sweep {

namespace {

// Eleven colours told apart on a white page, one per row (the row's index picks it).
constexpr const char* kRowColours[] = {"#0072B2", "#009E73", "#D55E00", "#CC79A7",
                                       "#E69F00", "#56B4E9", "#000000", "#8C564B",
                                       "#7F7F7F", "#BCBD22", "#17BECF"};

// The receiver's dash and filled marker (hollowed out where few error events).
std::string receiver_shape(ReceiverKind r) {
    const int dash = r == ReceiverKind::hf ? 1 : r == ReceiverKind::genie ? 2 : 4;
    const int marker = r == ReceiverKind::hf ? 7 : r == ReceiverKind::genie ? 13 : 5;
    return " dashtype " + std::to_string(dash) + " pointtype " + std::to_string(marker) +
           " linewidth 1.5";
}

// A row's bounds at one point are the same for every receiver: each is set this far (dB) beside
// the others there.
constexpr double kBoundAside = 0.35;

struct Drawing {
    std::ostringstream blocks;       // the inline data
    std::vector<std::string> items;  // the plot command's items
    std::vector<std::string> key;    // its key's entries
    DrawnSpan span;
    bool few = false, bounds = false;
};

// A row's curves and requirement cross.
void draw_row(const RequirementsConfig& config, const RequirementRowResult& rr, PlotAxis axis,
              Drawing& d) {
    const RequirementRow& row = requirement_rows()[rr.index];
    const std::string colour = kRowColours[rr.index % std::size(kRowColours)];
    const double shift = axis_shift(axis, row.rate);
    std::vector<const PointResult*> points;
    for (const PointResult& p : rr.points) points.push_back(&p);
    std::vector<std::vector<CurvePoint>> curves;
    BoundRow bounds(kBoundAside);
    for (const ReceiverKind r : config.receivers) {
        curves.push_back(curve_points(points, r, Metric::decoded));
        bounds.count(curves.back(), shift);
    }
    for (std::size_t k = 0; k < config.receivers.size(); ++k) {
        const ReceiverKind r = config.receivers[k];
        const CurveBlocks blocks = curve_blocks(curves[k], shift, bounds, d.span);
        if (!blocks.drawn()) continue;
        const std::string n = std::to_string(d.items.size());
        d.blocks << data_block("$c" + n, blocks.rows) << data_block("$f" + n, blocks.few)
                 << data_block("$b" + n, blocks.bounds);
        for (std::string& item :
             curve_items(d.items.size(), blocks, receiver_shape(r), colour, receiver_name(r))) {
            d.items.push_back(std::move(item));
        }
        d.key.push_back("keyentry with linespoints linecolor rgb '" + colour + "'" +
                        receiver_shape(r) + " title " +
                        gnuplot_quote(std::to_string(rr.index) + ": " + format_value(row.rate) +
                                      " bit/s " + row.channel + " " + receiver_name(r)));
        d.few = d.few || !blocks.few.empty();
        d.bounds = d.bounds || !blocks.bounds.empty();
    }
    // The requirement, inside the frame.
    const double x = esno_of_snr3k(row.snr3k) - shift;
    d.span.take(x, row.ber, row.ber);
    const std::string n = std::to_string(d.items.size());
    std::ostringstream cross;
    cross << x << ' ' << row.ber << '\n';
    d.blocks << data_block("$r" + n, cross.str());
    d.items.push_back("$r" + n +
                      " using 1:2 with points pointtype 2 pointsize 2.5 linewidth 2 "
                      "linecolor rgb '" +
                      colour + "' notitle");
}

}  // namespace

std::string requirements_plot_script(const std::string& file, const RequirementsConfig& config,
                                     const RequirementsResult& result, PlotAxis axis,
                                     const std::string& output) {
    std::ostringstream s;
    s << picture_terminal(file, 1200, 800, output);
    const std::string against = axis == PlotAxis::snr3k  ? "SNR (3 kHz)"
                                : axis == PlotAxis::ebno ? "E_b/N_0"
                                                         : "E_s/N_0";
    // In double quotes, where gnuplot reads \n as a new line; the text holds no name.
    s << "set title \"Minimum-performance table: decoded information-bit error rate against "
      << against << ", interleaver " << format_value(config.interLen)
      << " s\\n{/*0.8 bars: 95 % intervals over trials; crosses: the requirements}\"\n";
    s << "set xlabel " << axis_label(axis) << "\nset ylabel 'decoded bit error rate'\n";
    s << "set logscale y\nset format y '10^{%L}'\nset grid\nset bars small\n";
    s << "set key outside right top vertical noenhanced\n";
    Drawing d;
    for (const RequirementRowResult& rr : result.rows) draw_row(config, rr, axis, d);
    if (d.items.empty()) {
        s << "set label 'no row finished' at graph 0.4, graph 0.5\nplot 2 notitle\nset output\n";
        return s.str();
    }
    s << d.blocks.str() << d.span.ranges(1.0);
    d.key.push_back(
        "keyentry with points pointtype 2 pointsize 2 linewidth 2 linecolor rgb '#000000' "
        "title 'requirement: SNR at the target rate'");
    for (std::string& item : mark_key_items(d.few, d.bounds)) d.key.push_back(std::move(item));
    d.items.insert(d.items.end(), d.key.begin(), d.key.end());
    for (std::size_t i = 0; i < d.items.size(); ++i) {
        s << (i ? ", \\\n     " : "plot ") << d.items[i];
    }
    s << "\nset output\n";
    return s.str();
}

void plot_requirements(const std::string& file, const std::string& name,
                       const RequirementsConfig& config, const RequirementsResult& result,
                       PlotAxis axis) {
    ResultFile picture(name, file);
    run_gnuplot(requirements_plot_script(file, config, result, axis, picture.path()),
                name + " " + file);
    check_picture(picture.path(), name + " " + file);
    picture.commit();
}

}  // namespace hfchain::sweep
