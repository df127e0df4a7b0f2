#include "apps/run_picture.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <sstream>

#include "chain/theory.hpp"
#include "params/modes.hpp"
#include "runtime/checks.hpp"
#include "runtime/output_file.hpp"
#include "sweep/picture.hpp"
#include "sweep/report.hpp"

namespace hfchain::app {

namespace {

// The gains panel's height in pixels (the constellation panels' measures: run_picture.hpp).
constexpr int kGainsHeight = 330;
// The most samples a gain curve draws.
constexpr index_t kMostSamples = 2000;
// A gain below this (dB) is drawn at it.
constexpr double kGainFloorDb = -40;

constexpr const char* kPathColours[] = {"#0072B2", "#D55E00", "#009E73", "#CC79A7",
                                        "#E69F00", "#56B4E9", "#000000", "#8C510A"};

// The panels of the receivers asked for, in their order.
std::vector<ConstellationPanel> constellation_panels(const RunOptions& o, const ModeParams& mode,
                                                     const RoadResult& road) {
    // The points the rate's data symbols are sent on: 8-, 4- or 2-PSK; the 75 bit/s patterns'
    // symbols are 1 and -1. Every symbol as sent (scrambled, probes, preamble) is 8-PSK.
    const int bits = theory_bits(mode);
    const int points = bits > 0 ? 1 << bits : 2;
    std::vector<ConstellationPanel> panels;
    for (const ReceiverKind kind : o.receivers) {
        const Reception& r = road.reception(kind);
        if (kind == ReceiverKind::baseline) {
            panels.push_back({"baseline: received data symbols, no equaliser", &r.symbols, points});
        } else if (kind == ReceiverKind::hf) {
            panels.push_back(
                {"hf: received, every symbol (matched filter)", &road.sounding.out, 8});
            panels.push_back({uses_patterns(mode) ? "hf: symbols on the pattern track"
                                                  : "hf: equalised data symbols",
                              &r.symbols, points});
        } else {
            panels.push_back({"genie: data symbols through the known gains", &r.symbols, points});
        }
        if (!r.ran) panels.back().title += " (not reached)";
    }
    return panels;
}

double gain_db(cdouble g) { return std::max(kGainFloorDb, 20 * std::log10(std::abs(g))); }

// The sounding's estimate: for each of its paths the true path nearest its delay, and the rows
// "time dB ..." of its gains, on the time of the channel's samples.
std::string estimate_rows(const RunOptions& o, const RoadResult& road, std::vector<index_t>& path) {
    const ChansoundOut& c = road.sounding;
    const double M = o.shaping.oversamplingFactor;
    const double fs = 2400 * M;
    const RealArray& delays = road.faded.delays;
    for (index_t k = 0; k < c.delays.numel(); ++k) {
        index_t nearest = 0;
        for (index_t p = 1; p < delays.numel(); ++p) {
            const double at = road.expectedFrameStart + delays[p];
            const double best = road.expectedFrameStart + delays[nearest];
            if (std::abs(c.delays[k] - at) < std::abs(c.delays[k] - best)) nearest = p;
        }
        path.push_back(nearest);
    }
    // Sample n of the sounding is matched-filter sample start - 1 + n M (0-based), where the
    // symbol sent at channel sample m peaks at m + D M (D: the filter's delay in symbols).
    const double origin = c.start - 1 - o.shaping.pulseDelay * M;
    const index_t Ny = c.gains.cols();
    const index_t every = std::max<index_t>(1, Ny / kMostSamples);
    std::ostringstream rows;
    for (index_t n = 0; n < Ny; n += every) {
        rows << (origin + static_cast<double>(n) * M) / fs;
        for (index_t k = 0; k < c.gains.rows(); ++k) rows << ' ' << gain_db(c.gains(k, n));
        rows << '\n';
    }
    return rows.str();
}

// The panel of the path gains over time, full width at the foot of the figure.
void write_gains(std::ostream& s, const RunOptions& o, const RoadResult& road, double height) {
    const ComplexArray& g = road.faded.raios;
    const double fs = 2400 * o.shaping.oversamplingFactor;
    const index_t every = std::max<index_t>(1, g.rows() / kMostSamples);
    std::ostringstream rows;
    for (index_t n = 0; n < g.rows(); n += every) {
        rows << static_cast<double>(n) / fs;
        for (index_t p = 0; p < g.cols(); ++p) rows << ' ' << gain_db(g(n, p));
        rows << '\n';
    }
    std::vector<index_t> path;
    const bool estimated = road.reception(ReceiverKind::hf).ran && road.sounding.gains.numel() > 0;
    const std::string estimate = estimated ? estimate_rows(o, road, path) : std::string();
    s << sweep::data_block("$g", rows.str()) << sweep::data_block("$e", estimate);
    s << "set origin 0,0\nset size noratio 1," << height
      << "\nset autoscale\nset autoscale xfix\nset key outside "
      << "right top vertical noenhanced\nset title "
      << sweep::gnuplot_quote("path gains" + std::string(estimated ? ": true (solid), "
                                                                     "estimate of the hf sounding "
                                                                     "(dashed)"
                                                                   : ""))
      << "\nset xlabel 'time (s)'\nset ylabel 'gain (dB)'\nplot ";
    for (index_t p = 0; p < g.cols(); ++p) {
        const double ms = road.faded.delays.numel() > p ? road.faded.delays[p] / fs * 1e3 : 0;
        s << (p ? ", " : "") << "$g using 1:" << p + 2
          << " with lines linewidth 1.5 linecolor rgb '"
          << kPathColours[p % std::size(kPathColours)] << "' title "
          << sweep::gnuplot_quote("path " + std::to_string(p + 1) + " (" + format_value(ms) +
                                  " ms)");
    }
    for (std::size_t k = 0; k < path.size(); ++k) {
        s << ", $e using 1:" << k + 2 << " with lines dashtype 2 linewidth 1.5 linecolor rgb '"
          << kPathColours[static_cast<std::size_t>(path[k]) % std::size(kPathColours)] << "' title "
          << sweep::gnuplot_quote("estimate of path " + std::to_string(path[k] + 1));
    }
    s << '\n';
}

}  // namespace

void write_constellation(std::ostream& s, const ConstellationPanel& panel, std::size_t k,
                         double left, double width, double bottom, double height) {
    const ComplexArray& x = *panel.symbols;
    const index_t step = std::max<index_t>(1, x.numel() / panel.most);
    double reach = 1.5;
    std::ostringstream rows;
    for (index_t n = 0; n < x.numel(); n += step) {
        rows << x[n].real() << ' ' << x[n].imag() << '\n';
        reach = std::max(reach, std::min(4.0, 1.05 * std::abs(x[n])));
    }
    std::ostringstream ref;
    for (int v = 0; v < panel.points; ++v) {
        const double phase = 2 * std::numbers::pi * v / panel.points;
        ref << std::cos(phase) << ' ' << std::sin(phase) << '\n';
    }
    const std::string n = std::to_string(k);
    s << sweep::data_block("$s" + n, rows.str()) << sweep::data_block("$p" + n, ref.str());
    s << "set origin " << left << ',' << bottom << "\nset size ratio 1 " << width << ',' << height
      << "\nset xrange [" << -reach << ':' << reach << "]\nset yrange [" << -reach << ':' << reach
      << "]\nset title " << sweep::gnuplot_quote(panel.title)
      << " noenhanced\nset xlabel 'in phase'\nset ylabel 'quadrature'\nunset key\nplot ";
    if (!rows.str().empty()) {
        s << "$s" << n << " using 1:2 with points pointtype 7 pointsize 0.25 "
          << "linecolor rgb '#3070b0', ";
    }
    s << "$p" << n << " using 1:2 with points pointtype 6 pointsize 1.6 linewidth 2 "
      << "linecolor rgb 'black'\n";
}

std::string run_plot_script(const std::string& file, const RunOptions& o, const ModeParams& mode,
                            const RoadResult& road, const std::string& output) {
    const std::vector<ConstellationPanel> panels = constellation_panels(o, mode, road);
    const bool gains = road.faded.raios.rows() > 0 && road.faded.raios.cols() > 0;
    const int columns = std::max<int>(1, static_cast<int>(panels.size()));
    const int width = std::max(gains ? 1000 : 0, kPanel * columns);
    const int height = kTitleHeight + kPanel + (gains ? kGainsHeight : 0);
    std::ostringstream s;
    s << sweep::picture_terminal(file, width, height, output);
    const std::string what = format_value(o.rate) + " bit/s, " + o.channel +
                             (o.channel == "none" ? "" : ", Es/N0 " + format_value(o.esno) + " dB");
    s << "set multiplot title " << sweep::gnuplot_quote("run: " + what) << "\nset grid\n";
    const double top = static_cast<double>(kPanel) / height;
    const double bottom = gains ? static_cast<double>(kGainsHeight) / height : 0;
    const double share = static_cast<double>(kPanel) / width;
    const double left = (1 - share * static_cast<double>(panels.size())) / 2;
    for (std::size_t k = 0; k < panels.size(); ++k) {
        write_constellation(s, panels[k], k, left + share * static_cast<double>(k), share, bottom,
                            top);
    }
    if (gains) write_gains(s, o, road, bottom);
    s << "unset multiplot\nset output\n";
    return s.str();
}

void plot_run(const std::string& file, const RunOptions& options, const ModeParams& mode,
              const RoadResult& road) {
    ResultFile picture("--plot", file);
    sweep::run_gnuplot(run_plot_script(file, options, mode, road, picture.path()),
                       "--plot " + file);
    sweep::check_picture(picture.path(), "--plot " + file);
    picture.commit();
}

}  // namespace hfchain::app
