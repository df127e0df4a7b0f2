#include "sweep/picture.hpp"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "params/waveform.hpp"
#include "sweep/interval.hpp"
#include "sweep/report.hpp"

namespace hfchain::sweep {

namespace {

constexpr std::pair<PlotAxis, std::string_view> kAxisNames[] = {
    {PlotAxis::esno, "esno"}, {PlotAxis::snr3k, "snr3k"}, {PlotAxis::ebno, "ebno"}};

// The markers: a curve's points at this size, the white centre that hollows one out at this.
constexpr double kPointSize = 0.8;
constexpr double kHollowSize = 0.4;
constexpr int kBoundPointtype = 11;  // a triangle pointing down
constexpr double kRoom = 0.1;        // decades kept between the frame and what is drawn

}  // namespace

std::string_view plot_axis_name(PlotAxis axis) {
    for (const auto& [a, name] : kAxisNames) {
        if (a == axis) return name;
    }
    return "esno";
}

bool parse_plot_axis(std::string_view name, PlotAxis& axis) {
    for (const auto& [a, n] : kAxisNames) {
        if (n == name) {
            axis = a;
            return true;
        }
    }
    return false;
}

double axis_shift(PlotAxis axis, double rate) {
    switch (axis) {
        case PlotAxis::snr3k:
            return kSnr3kOffset;
        case PlotAxis::ebno:
            return 10 * std::log10(rate / 2400);
        default:
            return 0;
    }
}

std::string axis_label(PlotAxis axis) {
    switch (axis) {
        case PlotAxis::snr3k:
            return "'SNR in 3 kHz (dB)   (E_s/N_0 = SNR + 0.97 dB)'";
        case PlotAxis::ebno:
            return "'E_b/N_0 (dB), per information bit   (E_b/N_0 = E_s/N_0 + 10 log_{10}(2400 / "
                   "rate))'";
        default:
            return "'E_s/N_0 (dB)'";
    }
}

std::string picture_terminal(const std::string& file, int width, int height,
                             const std::string& output) {
    const bool png = file.size() >= 4 && file.compare(file.size() - 4, 4, ".png") == 0;
    const std::string size = std::to_string(width) + "," + std::to_string(height);
    return (png ? "set terminal pngcairo size " + size + " enhanced font 'sans,10'\n"
                : "set terminal svg size " + size + " dynamic enhanced font 'sans,12'\n") +
           "set output " + gnuplot_quote(output.empty() ? file : output) + '\n';
}

std::vector<CurvePoint> curve_points(const std::vector<const PointResult*>& points,
                                     ReceiverKind receiver, Metric metric) {
    std::vector<CurvePoint> curve;
    for (const PointResult* p : points) {
        const ReceiverCounts& n = p->of(receiver);
        // A point without bits (interrupted before its first trial) was not measured.
        if ((metric == Metric::decoded ? n.infoBits : n.codedBits) <= 0) continue;
        curve.push_back({p->esno, receiver_rate(*p, receiver, metric),
                         receiver_interval(*p, receiver, metric),
                         rests_on_few_events(receiver_events(*p, receiver, metric))});
    }
    std::stable_sort(curve.begin(), curve.end(),
                     [](const CurvePoint& a, const CurvePoint& b) { return a.esno < b.esno; });
    return curve;
}

void DrawnSpan::take(double x, double low, double high) {
    xLow = any ? std::min(xLow, x) : x;
    xHigh = any ? std::max(xHigh, x) : x;
    yLow = any ? std::min(yLow, low) : low;
    yHigh = any ? std::max(yHigh, high) : high;
    any = true;
}

std::string DrawnSpan::ranges(double margin) const {
    if (!any) return "set xrange [0:1]\nset yrange [1e-06:1]\n";
    // Whole decades, the tick marks of a logarithmic axis, with a tenth of a decade of room: a
    // mark drawn on a decade (a requirement's cross at 1e-5) is not drawn on the frame.
    const double high = std::min(1.0, std::pow(10.0, std::ceil(std::log10(yHigh) + kRoom)));
    double low = std::pow(10.0, std::floor(std::log10(yLow) - kRoom));
    if (low >= high) low = high / 10;
    std::ostringstream s;
    s << "set xrange [" << xLow - margin << ':' << xHigh + margin << "]\nset yrange [" << low << ':'
      << high << "]\n";
    return s.str();
}

bool CurveBlocks::drawn() const {
    return rows.find_first_not_of('\n') != std::string::npos || !bounds.empty();
}

// The places of the bounds of `points`: each run without errors at its first point.
template <typename Take>
void for_each_bound(const std::vector<CurvePoint>& points, Take take) {
    bool in_bounded_run = false;
    for (const CurvePoint& p : points) {
        if (p.rate == 0 && !in_bounded_run) take(p);
        in_bounded_run = p.rate == 0;
    }
}

void BoundRow::count(const std::vector<CurvePoint>& points, double shift) {
    for_each_bound(points, [&](const CurvePoint& p) { ++total_[p.esno - shift]; });
}

double BoundRow::aside(double x) {
    const int k = taken_[x]++;
    return (k - (std::max(total_[x], 1) - 1) / 2.0) * step_;
}

CurveBlocks curve_blocks(const std::vector<CurvePoint>& points, double shift, BoundRow& row,
                         DrawnSpan& span) {
    std::ostringstream rows, few, bounds;
    bool in_bounded_run = false;
    for (const CurvePoint& p : points) {
        const double x = p.esno - shift;
        if (p.rate > 0) {
            rows << x << ' ' << p.rate << ' ' << p.ci95.low << ' ' << p.ci95.high << '\n';
            if (p.fewEvents) few << x << ' ' << p.rate << '\n';
            span.take(x, p.ci95.low > 0 ? std::min(p.ci95.low, p.rate) : p.rate / 10,
                      std::max(p.ci95.high, p.rate));
            in_bounded_run = false;
        } else if (!in_bounded_run) {
            rows << '\n';
            const double at = x + row.aside(x);
            bounds << at << ' ' << p.ci95.high << '\n';
            span.take(at, p.ci95.high, p.ci95.high);
            in_bounded_run = true;
        }
    }
    return {rows.str(), few.str(), bounds.str()};
}

std::vector<std::string> curve_items(std::size_t k, const CurveBlocks& blocks,
                                     const std::string& look, const std::string& colour,
                                     std::string_view label) {
    const std::string n = std::to_string(k);
    std::vector<std::string> items;
    std::ostringstream size;
    size << " pointsize " << kPointSize;
    if (blocks.rows.find_first_not_of('\n') != std::string::npos) {
        items.push_back("$c" + n + " using 1:2:3:4 with yerrorlines linecolor rgb '" + colour +
                        "'" + look + size.str() + " notitle");
    }
    if (!blocks.few.empty()) {
        // The curve's own marker, its centre painted white.
        std::ostringstream hollow;
        hollow << "$f" << n << " using 1:2 with points linecolor rgb 'white'" << look
               << " pointsize " << kHollowSize << " notitle";
        items.push_back(hollow.str());
    }
    if (!blocks.bounds.empty()) {
        items.push_back("$b" + n + " using 1:2 with points linecolor rgb '" + colour +
                        "' pointtype " + std::to_string(kBoundPointtype) +
                        " pointsize 1.3 notitle");
        items.push_back("$b" + n + " using 1:2:(" + gnuplot_quote(std::string(label)) +
                        ") with labels rotate by 90 right offset 0,-0.9 font ',8' textcolor "
                        "rgb '" +
                        colour + "' notitle");
    }
    return items;
}

std::vector<std::string> mark_key_items(bool few, bool bounds) {
    std::vector<std::string> items;
    if (few) {
        items.push_back(
            "keyentry with points linecolor rgb '#000000' pointtype 6 pointsize 1 "
            "title 'hollow: interval rests on fewer than " +
            std::to_string(kFewEvents) + " trials with errors'");
    }
    if (bounds) {
        items.push_back("keyentry with points linecolor rgb '#000000' pointtype " +
                        std::to_string(kBoundPointtype) +
                        " pointsize 1.3 title 'no error: 95 % upper bound (receiver named "
                        "below)'");
    }
    return items;
}

std::string data_block(const std::string& name, const std::string& rows) {
    if (rows.empty()) return {};
    return name + " << EOD\n" + rows + "EOD\n";
}

}  // namespace hfchain::sweep
