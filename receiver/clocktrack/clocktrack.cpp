#include "receiver/clocktrack/clocktrack.hpp"

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "receiver/matchedfilter/pulsematch.hpp"
#include "runtime/checks.hpp"
#include "runtime/error.hpp"

namespace hfchain {

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr double kShortestWindow = 16;  // symbols
constexpr index_t kFewestWindows = 3;

[[noreturn]] void refuse(const std::string& what) {
    raise(kClocktrackRefused, "clocktrack: " + what);
}

bool whole(double v) { return std::isfinite(v) && v == std::floor(v); }

// The span [first, first + count) of an n-sample signal the settings name, checked.
void check_settings(index_t samples, const VarShapping& s, const VarClocktrack& c, index_t& first,
                    index_t& count) {
    if (!whole(s.oversamplingFactor) || s.oversamplingFactor < 2) {
        refuse("M " + format_value(s.oversamplingFactor) +
               " gives no symbol-rate line; it takes a whole M of 2 or more samples a symbol");
    }
    if (!(c.window >= kShortestWindow) || !std::isfinite(c.window)) {
        refuse("window " + format_value(c.window) + " symbols; it takes 16 symbols or more");
    }
    const auto n = static_cast<double>(samples);
    if (!whole(c.first) || c.first < 0 || c.first > n) {
        refuse("first " + format_value(c.first) + " is no sample of the " + format_value(n) +
               "-sample signal");
    }
    const double span = c.count == 0 ? n - c.first : c.count;
    if (!whole(span) || span < 0 || c.first + span > n) {
        refuse("count " + format_value(c.count) + " from sample " + format_value(c.first) +
               " reaches past the " + format_value(n) + "-sample signal");
    }
    const double windows = std::floor(span / (c.window * s.oversamplingFactor));
    if (windows < kFewestWindows) {
        refuse(format_value(span) + " samples hold " + format_value(windows) + " windows of " +
               format_value(c.window) + " symbols; it takes at least 3");
    }
    first = static_cast<index_t>(c.first);
    count = static_cast<index_t>(span);
}

void check_finite(const ComplexArray& x, index_t first, index_t count) {
    for (index_t k = first; k < first + count; ++k) {
        if (!std::isfinite(x[k].real()) || !std::isfinite(x[k].imag())) {
            refuse("sample " + std::to_string(k) + " is not finite");
        }
    }
}

// The symbol-rate line c_w of each window of `y` (W samples each, from sample `from`).
std::vector<cdouble> lines(const ComplexArray& y, index_t from, index_t W, index_t K, index_t M) {
    std::vector<cdouble> turn(static_cast<std::size_t>(M));
    for (index_t i = 0; i < M; ++i) {
        turn[static_cast<std::size_t>(i)] =
            std::polar(1.0, -kTwoPi * static_cast<double>(i) / static_cast<double>(M));
    }
    std::vector<cdouble> c(static_cast<std::size_t>(K));
    for (index_t w = 0; w < K; ++w) {
        cdouble sum;
        const index_t start = from + w * W;
        for (index_t k = start; k < start + W; ++k) {
            sum += std::norm(y[k]) * turn[static_cast<std::size_t>(k % M)];
        }
        c[static_cast<std::size_t>(w)] = sum;
    }
    return c;
}

// x reduced to [-0.5, 0.5).
double wrap(double x) { return x - std::floor(x + 0.5); }

// How strongly the windows' lines `c` add up once a drift of `drift` symbols a symbol is taken
// out: |sum c_w e^{j 2 pi drift t_w}|, t_w the windows' centres.
double strength(const std::vector<cdouble>& c, const RealArray& centre, double drift) {
    cdouble sum;
    for (std::size_t w = 0; w < c.size(); ++w) {
        sum += c[w] * std::polar(1.0, kTwoPi * drift * centre[static_cast<index_t>(w)]);
    }
    return std::abs(sum);
}

// The drift that makes the windows' lines add up most strongly: a search on a grid of a sixth of
// the lines' resolution (one turn over the span) within kSearchTurns of the drift read between
// neighbouring windows, then golden-section steps about the best point of the grid.
double strongest_drift(const std::vector<cdouble>& c, const RealArray& centre, double coarse,
                       double span) {
    constexpr int kSearchSteps = 36;  // a sixth of a turn each: six turns either way
    const double step = 1 / (6 * span);
    double best = coarse, value = strength(c, centre, coarse);
    for (int i = -kSearchSteps; i <= kSearchSteps; ++i) {
        const double d = coarse + i * step;
        const double v = strength(c, centre, d);
        if (v > value) best = d, value = v;
    }
    const double g = (std::sqrt(5.0) - 1) / 2;
    double a = best - step, b = best + step;
    for (int i = 0; i < 40; ++i) {
        const double x1 = b - g * (b - a), x2 = a + g * (b - a);
        if (strength(c, centre, x1) >= strength(c, centre, x2)) {
            b = x2;
        } else {
            a = x1;
        }
    }
    return (a + b) / 2;
}

// Reads the drift of the windows' lines `c` and fills the result: the drift read between
// neighbouring windows first, then the one that adds the lines up most strongly (a deep fade's
// window, weak, counts for little, and a window whose timing slipped cannot pull the line as it
// would a fit), and the timings unwrapped about it.
void fit(const std::vector<cdouble>& c, double window, ClocktrackOut& out) {
    const auto K = static_cast<index_t>(c.size());
    cdouble turns;
    for (std::size_t w = 1; w < c.size(); ++w) turns += c[w] * std::conj(c[w - 1]);
    const double coarse = -std::arg(turns) / (kTwoPi * window);  // symbols a symbol
    const double drift = strongest_drift(c, out.centre, coarse, static_cast<double>(K) * window);
    cdouble common;
    for (index_t w = 0; w < K; ++w) {
        common += c[static_cast<std::size_t>(w)] * std::polar(1.0, kTwoPi * drift * out.centre[w]);
    }
    const double offset = -std::arg(common) / kTwoPi;
    double sw = 0, spread = 0;
    for (index_t w = 0; w < K; ++w) {
        const double t = out.centre[w];
        const double r =
            wrap(-std::arg(c[static_cast<std::size_t>(w)]) / kTwoPi - drift * t - offset);
        out.timing[w] = r + drift * t + offset;
        out.weight[w] = std::abs(c[static_cast<std::size_t>(w)]);
        sw += out.weight[w];
        spread += out.weight[w] * r * r;
    }
    out.residual = sw > 0 ? std::sqrt(spread / sw) : 0;
    out.ppm = drift * 1e6;
}

// The reading from `matched`, the matched filter's output of a span of `count` samples.
ClocktrackOut track(const ComplexArray& matched, index_t count, const VarShapping& varShapping,
                    double window, HostServices& host) {
    const auto M = static_cast<index_t>(varShapping.oversamplingFactor);
    // The filter's delay is D M samples: sample D M + k of its output belongs to sample k of the
    // span, so the windows start there and the line's phase keeps the span's timing.
    const auto delay =
        static_cast<index_t>(std::llround(varShapping.pulseDelay * varShapping.oversamplingFactor));
    const auto W = static_cast<index_t>(std::llround(window)) * M;
    const index_t K = count / W;
    host.poll_interrupt();
    std::vector<cdouble> c = lines(matched, delay, W, K, M);
    // The delay shifts every sample index by D M: turn the lines back so that timing 0 is a
    // symbol at a multiple of M samples from the span's first sample.
    const cdouble back =
        std::polar(1.0, kTwoPi * static_cast<double>(delay % M) / static_cast<double>(M));
    for (cdouble& v : c) v *= back;
    ClocktrackOut out;
    out.centre = RealArray(K);
    out.timing = RealArray(K);
    out.weight = RealArray(K);
    for (index_t w = 0; w < K; ++w) out.centre[w] = (static_cast<double>(w) + 0.5) * window;
    fit(c, window, out);
    return out;
}

}  // namespace

ClocktrackOut clocktrack(const ComplexArray& received, const VarShapping& varShapping,
                         const VarClocktrack& varClocktrack, HostServices& host) {
    index_t first = 0, count = 0;
    check_settings(received.numel(), varShapping, varClocktrack, first, count);
    check_finite(received, first, count);
    ComplexArray span(count);
    for (index_t k = 0; k < count; ++k) span[k] = received[first + k];
    const PulsematchOut matched = pulsematch(span, varShapping, host);
    return track(matched.out, count, varShapping, varClocktrack.window, host);
}

ClocktrackOut clocktrack(const PulsematchOut& matched, const VarShapping& varShapping,
                         double window, HostServices& host) {
    const index_t count = matched.out.numel() - (matched.filter.numel() - 1);
    index_t first = 0, span = 0;
    check_settings(count, varShapping, {0, 0, window}, first, span);
    check_finite(matched.out, 0, matched.out.numel());
    return track(matched.out, count, varShapping, window, host);
}

}  // namespace hfchain
