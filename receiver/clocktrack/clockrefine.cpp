#include "receiver/clocktrack/clockrefine.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "receiver/layout/layout.hpp"
#include "runtime/cholesky.hpp"

namespace hfchain {

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr index_t kBefore = 8, kAfter = 24;  // symbols of lag before and after an instant
constexpr index_t kTaps = kBefore + kAfter;  // symbols of lag a profile spans
constexpr index_t kLongestRun = 48;          // known symbols taken coherently
constexpr double kBand = 0.4;                // share of the profile's spectrum used
constexpr index_t kFewestWindows = 3;

// One window's delay profile: where its known symbols centre, and its spectrum.
struct Profile {
    double centre = 0;          // symbols from symbol 0
    double frac = 0;            // samples of clocktrack's drift the whole-sample lags leave
    bool preamble = false;      // a window of the preamble (lined up with the preamble's only)
    std::vector<cdouble> bins;  // bins 1 .. B of the profile's spectrum
};

// What a window's profile is read from: the matched filter's output `y`, symbol k peaking at
// sample first + k M, turned back by the frequency offset (`turn` radians a sample).
struct Samples {
    const ComplexArray& y;
    index_t first = 0, M = 0;
    double turn = 0;

    // y[n] turned back (0 outside y).
    cdouble at(index_t n) const {
        if (n < 0 || n >= y.numel()) return {};
        return y[n] * std::polar(1.0, turn * static_cast<double>(n));
    }
};

// The power of the response at the kTaps M lags from kBefore symbols before an instant, from the
// known symbols from `from` to `to` among unknown ones: each run's correlation with the signal,
// its power added over the runs, over the sum of the runs' squared lengths.
std::vector<double> correlated_profile(const Samples& x, const ComplexArray& mean,
                                       const RealArray& var, index_t from, index_t to) {
    const auto N = static_cast<std::size_t>(kTaps * x.M);
    std::vector<double> power(N);
    std::vector<cdouble> sum(N);
    const cdouble step = std::polar(1.0, x.turn);
    index_t run = 0;
    double scale = 0;
    const auto flush = [&] {
        for (std::size_t l = 0; l < N; ++l) power[l] += std::norm(sum[l]);
        std::fill(sum.begin(), sum.end(), cdouble());
        scale += static_cast<double>(run * run);
        run = 0;
    };
    for (index_t k = from; k < to; ++k) {
        if (var[k] != 0 || run == kLongestRun) {
            if (run > 0) flush();
            if (var[k] != 0) continue;
        }
        const index_t at = x.first + (k - kBefore) * x.M;
        const index_t a = std::max<index_t>(0, -at);
        const index_t b = std::min<index_t>(static_cast<index_t>(N), x.y.numel() - at);
        cdouble point = std::conj(mean[k]) * std::polar(1.0, x.turn * static_cast<double>(at + a));
        for (index_t l = a; l < b; ++l, point *= step) {
            sum[static_cast<std::size_t>(l)] += x.y[at + l] * point;
        }
        ++run;
    }
    if (run > 0) flush();
    for (double& p : power) p /= std::max(scale, 1.0);
    return power;
}

// The same from symbols `from` to `to`, all known: the response fitted to them by least squares
// at each of the M sample phases, so that the symbols' own sidelobes, which a run's correlation
// keeps, are not taken for paths. Empty when the window is too short to fit.
std::vector<double> fitted_profile(const Samples& x, const ComplexArray& mean, index_t from,
                                   index_t to) {
    const index_t K = kTaps, M = x.M;
    const index_t firstRow = from + kAfter - 1, endRow = to - kBefore;
    if (endRow - firstRow < 2 * K) return {};
    // Row i: y(first + i M + m) = sum over k of mean[i - k + kBefore] h_m(k), the response h_m(k)
    // at the lag (k - kBefore) M + m.
    std::vector<cdouble> A(static_cast<std::size_t>(K * K)), h(static_cast<std::size_t>(K * M)),
        y(static_cast<std::size_t>(M));
    for (index_t i = firstRow; i < endRow; ++i) {
        for (index_t m = 0; m < M; ++m) y[static_cast<std::size_t>(m)] = x.at(x.first + i * M + m);
        for (index_t b = 0; b < K; ++b) {
            const cdouble sb = std::conj(mean[i - b + kBefore]);
            for (index_t a = b; a < K; ++a) {
                A[static_cast<std::size_t>(a + b * K)] += sb * mean[i - a + kBefore];
            }
            for (index_t m = 0; m < M; ++m) {
                h[static_cast<std::size_t>(m * K + b)] += sb * y[static_cast<std::size_t>(m)];
            }
        }
    }
    if (!cholesky_factor(K, A.data())) return {};
    std::vector<double> power(static_cast<std::size_t>(K * M));
    for (index_t m = 0; m < M; ++m) {
        cdouble* hm = h.data() + m * K;
        cholesky_solve(K, A.data(), hm);
        for (index_t k = 0; k < K; ++k)
            power[static_cast<std::size_t>(k * M + m)] = std::norm(hm[k]);
    }
    return power;
}

// Bins 1 .. B of the spectrum of a profile: `table` holds e^{-j 2 pi v l / N}, bin-major.
std::vector<cdouble> spectrum(const std::vector<double>& power, const std::vector<cdouble>& table,
                              std::size_t B) {
    std::vector<cdouble> bins(B);
    const std::size_t N = power.size();
    for (std::size_t v = 0; v < B; ++v) {
        cdouble b;
        for (std::size_t l = 0; l < N; ++l) b += power[l] * table[v * N + l];
        bins[v] = b;
    }
    return bins;
}

// The turn of window w's bin 1 that shifts its profile back by clocktrack's drift and a further
// drift r (symbols a symbol); bin v turns by its v-th power.
cdouble turn_of(const Profile& w, double r, index_t M, std::size_t N) {
    return std::polar(
        1.0, kTwoPi * (w.frac + r * static_cast<double>(M) * w.centre) / static_cast<double>(N));
}

// The windows' profiles, each shifted back by the drift, added within the preamble's windows
// and within the blocks' (their profiles' floors differ): the blocks' bins, then the preamble's.
std::vector<cdouble> aligned(const std::vector<Profile>& p, double r, index_t M, std::size_t N) {
    const std::size_t B = p.front().bins.size();
    std::vector<cdouble> total(2 * B);
    for (const Profile& w : p) {
        const cdouble step = turn_of(w, r, M, N);
        cdouble turn = step;
        cdouble* group = total.data() + (w.preamble ? B : 0);
        for (std::size_t v = 0; v < B; ++v, turn *= step) group[v] += w.bins[v] * turn;
    }
    return total;
}

// How sharply the profiles line up under the further drift r: the sums' energy.
double sharpness(const std::vector<Profile>& p, double r, index_t M, std::size_t N) {
    double s = 0;
    for (const cdouble& t : aligned(p, r, M, N)) s += std::norm(t);
    return s;
}

// The RMS distance (samples, weighted by the profiles' strength) of each window's profile from
// where the others of its group put it under the drift r: each window's shift against their
// sum, from the slope of the phase of the two's cross-spectrum.
double scatter(const std::vector<Profile>& p, double r, index_t M, std::size_t N) {
    const std::vector<cdouble> total = aligned(p, r, M, N);
    const std::size_t B = p.front().bins.size();
    double sw = 0, sx = 0, sxx = 0;
    for (const Profile& w : p) {
        const cdouble step = turn_of(w, r, M, N);
        const cdouble* group = total.data() + (w.preamble ? B : 0);
        cdouble turn = step;
        double slope = 0, curve = 0;
        for (std::size_t v = 0; v < B; ++v, turn *= step) {
            const cdouble own = w.bins[v] * turn;
            const cdouble x = own * std::conj(group[v] - own);
            const auto nu = static_cast<double>(v + 1);
            slope += nu * x.imag();
            curve += nu * nu * x.real();
        }
        if (!(curve > 0)) continue;
        const double shift = -slope / curve * static_cast<double>(N) / kTwoPi;
        sw += curve, sx += curve * shift, sxx += curve * shift * shift;
    }
    if (!(sw > 0)) return 0;
    return std::sqrt(std::max(0.0, sxx / sw - (sx / sw) * (sx / sw)));
}

// The further drift within +-1 / span that lines the profiles up best: a grid, then
// golden-section steps about its best point.
double best_drift(const std::vector<Profile>& p, double span, index_t M, std::size_t N) {
    constexpr int kSteps = 24;
    const double step = 1 / (span * kSteps);
    double best = 0, value = sharpness(p, 0, M, N);
    for (int i = -kSteps; i <= kSteps; ++i) {
        const double v = sharpness(p, i * step, M, N);
        if (v > value) best = i * step, value = v;
    }
    const double g = (std::sqrt(5.0) - 1) / 2;
    double a = best - step, b = best + step;
    for (int i = 0; i < 30; ++i) {
        const double x1 = b - g * (b - a), x2 = a + g * (b - a);
        if (sharpness(p, x1, M, N) >= sharpness(p, x2, M, N)) {
            b = x2;
        } else {
            a = x1;
        }
    }
    return (a + b) / 2;
}

}  // namespace

std::optional<ClockReading> clockrefine(const ComplexArray& matched, const ComplexArray& mean,
                                        const RealArray& var, const ClockrefineIn& in) {
    const auto N = static_cast<std::size_t>(kTaps * in.M);
    const auto B = static_cast<std::size_t>(kBand * static_cast<double>(N));
    std::vector<cdouble> table(B * N);
    for (std::size_t v = 0; v < B; ++v) {
        for (std::size_t l = 0; l < N; ++l) {
            table[v * N + l] = std::polar(
                1.0, -kTwoPi * static_cast<double>((v + 1) * l) / static_cast<double>(N));
        }
    }
    const double coarse = in.ppm * 1e-6;
    const double turn = -kTwoPi * in.offset / (2400.0 * static_cast<double>(in.M));
    std::vector<Profile> profiles;
    const auto add = [&](index_t from, index_t to, bool preamble) {
        double centre = 0;
        index_t known = 0;
        for (index_t k = from; k < to; ++k) {
            if (var[k] == 0) centre += static_cast<double>(k), ++known;
        }
        if (known == 0) return;
        Profile p;
        p.centre = centre / static_cast<double>(known);
        p.preamble = preamble;
        const double shift = coarse * static_cast<double>(in.M) * p.centre;
        const auto base = static_cast<index_t>(std::llround(shift));
        p.frac = shift - static_cast<double>(base);
        const Samples x{matched, in.peak + base, in.M, turn};
        const std::vector<double> power = preamble ? fitted_profile(x, mean, from, to)
                                                   : correlated_profile(x, mean, var, from, to);
        if (power.empty()) return;
        p.bins = spectrum(power, table, B);
        profiles.push_back(std::move(p));
    };
    // Windows of the preamble, then of the blocks from the preamble's end: none holds both.
    const auto W = static_cast<index_t>(in.window);
    const index_t preamble = std::min(in.preamble, var.numel());
    for (index_t from = 0; from + W <= preamble; from += W) add(from, from + W, true);
    for (index_t from = preamble; from + W <= var.numel(); from += W) add(from, from + W, false);
    if (static_cast<index_t>(profiles.size()) < kFewestWindows) return std::nullopt;
    const double span = profiles.back().centre - profiles.front().centre;
    if (span < 0.5 * static_cast<double>(var.numel())) return std::nullopt;
    const double r = best_drift(profiles, span, in.M, N);
    // A straight trend of the scatter's size over the span, taken twice.
    const double wander = scatter(profiles, r, in.M, N);
    return ClockReading{
        .ppm = (coarse + r) * 1e6,
        .uncertainty = 2 * std::sqrt(12.0) * wander / (static_cast<double>(in.M) * span) * 1e6};
}

std::optional<ClockReading> clockrefine(const ComplexArray& matched, const ModeParams& mode,
                                        index_t symbols, ClockrefineIn in) {
    const KnownSymbols known =
        known_symbols(mode, transmission_layout(mode, whole_frames(mode, symbols)));
    in.preamble = mode.preamSync.numel();
    return clockrefine(matched, known.mean, known.var, in);
}

}  // namespace hfchain
