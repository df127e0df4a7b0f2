// What the pictures of error rates share (the sweep's, the requirements'): their horizontal axis,
// the rows of a curve with its intervals, its points resting on few error events and its runs
// without errors drawn as upper bounds, and a frame that follows what is drawn.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "sweep/engine.hpp"

namespace hfchain::sweep {

// The horizontal axis of a picture: Es/N0, SNR in 3 kHz, or Eb/N0 (energy per information bit:
// Es/N0 + 10 log10(2400 / rate), the whole transmission's energy, probes and preamble included,
// spread over the information bits).
enum class PlotAxis { esno, snr3k, ebno };

// "esno", "snr3k", "ebno".
std::string_view plot_axis_name(PlotAxis axis);

// The axis called `name`; false when no axis is so called.
bool parse_plot_axis(std::string_view name, PlotAxis& axis);

// What is taken from Es/N0 (dB) to place a point of `rate` bit/s on the axis: x = Es/N0 - shift.
double axis_shift(PlotAxis axis, double rate);

// The axis's label, as a gnuplot single-quoted literal (enhanced text).
std::string axis_label(PlotAxis axis);

// The gnuplot terminal line and output of a picture `width` x `height` drawn into `output`, PNG
// when `file` ends in .png, SVG otherwise.
std::string picture_terminal(const std::string& file, int width, int height,
                             const std::string& output);

// One measured point of a curve: where it lies (Es/N0, dB), its rate, 95 % interval and whether
// that interval rests on few error events.
struct CurvePoint {
    double esno = 0;
    double rate = 0;
    Interval ci95;
    bool fewEvents = false;
};

// The points of `receiver` among `points` that measured bits of `metric`, in order along the axis.
std::vector<CurvePoint> curve_points(const std::vector<const PointResult*>& points,
                                     ReceiverKind receiver, Metric metric);

// The extent of what a picture draws, so that its frame holds all of it.
struct DrawnSpan {
    double xLow = 0, xHigh = 0;  // along the axis
    double yLow = 0, yHigh = 0;  // rates, ends of intervals and bounds, all above 0
    bool any = false;

    void take(double x, double low, double high);
    // "set xrange [..]" with `margin` dB each side and "set yrange [..]" from the decade below the
    // lowest rate drawn to the one above the highest (at most 1), each at least a tenth of a
    // decade away, as script lines.
    std::string ranges(double margin) const;
};

// The data blocks of a curve, each a gnuplot inline block's rows:
//   rows:   x rate low high, a blank line where a run without errors breaks the curve;
//   few:    x rate of the measured points resting on few error events;
//   bounds: x bound, one per run of points without errors, at its first point's upper bound
//           (set aside from other curves' bounds there).
struct CurveBlocks {
    std::string rows, few, bounds;
    bool drawn() const;
};

// The bounds of several curves that fall on one place along the axis are set side by side, `step`
// apart and centred on it, in the order they are drawn, so that each shows with its receiver's
// name: first every curve is counted, then each bound drawn takes the next place.
class BoundRow {
public:
    explicit BoundRow(double step) : step_(step) {}
    void count(const std::vector<CurvePoint>& points, double shift);
    double aside(double x);  // of the next bound drawn at x

private:
    double step_;
    std::map<double, int> total_, taken_;
};

// The blocks of `points` on the axis shifted by `shift` (x = Es/N0 - shift), their bounds placed
// by `row`; widens `span` to hold them.
CurveBlocks curve_blocks(const std::vector<CurvePoint>& points, double shift, BoundRow& row,
                         DrawnSpan& span);

// Plot items of a curve whose blocks are named `$c<k>`, `$f<k>`, `$b<k>` (those drawn): the line
// with its 95 % bars in `colour` and `look` (gnuplot line properties but the colour, with a
// pointtype), the points resting on few events hollowed out (a white centre in the marker), and
// each bound as a triangle in `colour` labelled with `label` (the receiver's name) below it.
std::vector<std::string> curve_items(std::size_t k, const CurveBlocks& blocks,
                                     const std::string& look, const std::string& colour,
                                     std::string_view label);

// The key's entries explaining the hollow markers and the bounds (those `few` and `bounds` ask).
std::vector<std::string> mark_key_items(bool few, bool bounds);

// Writes `$name << EOD ... EOD` with `rows`, or nothing for no rows.
std::string data_block(const std::string& name, const std::string& rows);

}  // namespace hfchain::sweep
