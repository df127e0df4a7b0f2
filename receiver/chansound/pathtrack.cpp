#include "receiver/chansound/pathtrack.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "params/waveform.hpp"
#include "runtime/checks.hpp"
#include "runtime/cholesky.hpp"
#include "runtime/complexmath.hpp"
#include "runtime/numeric.hpp"

namespace hfchain {

namespace {

// Window-to-window lags over which the Doppler spread is measured.
constexpr index_t kDopplerLags = 8;

// Bounds of the Doppler standard deviation the smoother assumes, Hz; the estimate is taken
// somewhat wider than measured, since smoothing too hard costs more than too little.
constexpr double kMinSigma = 0.02;
constexpr double kMaxSigma = 10.0;
constexpr double kSigmaMargin = 1.25;

// The measured correlation between windows is taken as at least kMinCorrelation (a lag at which
// less is left tells little more than that the paths fade fast), and lags are tried up to the
// first at which more than kLostCorrelation of it is lost.
constexpr double kMinCorrelation = 0.05;
constexpr double kLostCorrelation = 0.5;

// With W symbols a window, window e >= 1 holds the samples from e W + W / 2 to (e + 1) W + W / 2
// - 1, half a window later than the frames, so that a frame's window holds its probes and the
// samples they reach through the taps (16 probes after 32 data symbols: the window starts 8
// symbols before them; 20 after 20: at the first); the first window starts at 0 and the last
// runs to the end. Until its samples say when, a window's estimate belongs to the last symbol of
// its frame.
constexpr index_t window_begin(index_t e, index_t W) { return e * W + W / 2; }
constexpr index_t window_end(index_t e, index_t W) { return window_begin(e + 1, W); }

// The smallest window: half of it must hold a sample.
constexpr index_t kSmallestWindow = 2;

// Diagonal loading of a window's normal equations, relative to their mean diagonal: keeps a
// window that sees a path only faintly solvable, far below what any real estimate carries.
constexpr double kDiagonalLoading = 1e-9;

// Floors of the smoother's model, relative to a path's power: a path's power never drops below
// kWeakPath of the strongest (plus kModelFloor absolute), and the process noise and the change's
// variance keep kModelFloor, so that the Kalman covariances stay positive definite on a channel
// that does not fade.
constexpr double kWeakPath = 1e-6;
constexpr double kModelFloor = 1e-12;

// The basis as lanes (runtime/complexmath.hpp).
struct SplitColumns {
    std::vector<cpair> u, v;  // lanes and turned lanes of every basis value, column-major
};

SplitColumns split_columns(const ComplexArray& basis) {
    SplitColumns s;
    s.u.resize(static_cast<std::size_t>(basis.numel()));
    s.v.resize(static_cast<std::size_t>(basis.numel()));
    for (index_t k = 0; k < basis.numel(); ++k) {
        s.u[k] = lanes(basis[k]);
        s.v[k] = turned(basis[k]);
    }
    return s;
}

// Standard deviation of the Gaussian Doppler spectrum from how much the window estimates change
// between windows k apart: E|g(t + dt) - g(t)|^2 = 2 P (1 - rho(dt)) plus both estimation errors,
// rho(dt) = exp(-2 pi^2 sigma^2 dt^2). The largest lag at which the paths have not yet lost half
// their correlation is the one measured most sharply.
double doppler_sigma(const PathTrack& t, const std::vector<bool>& valid) {
    const index_t r = t.windowGains.rows();
    const index_t E = t.windowGains.cols();
    double sigma = kMinSigma;
    for (index_t k = 1; k <= kDopplerLags && k < E; ++k) {
        double change = 0, power = 0, span = 0;
        index_t pairs = 0;
        for (index_t e = 0; e + k < E; ++e) {
            if (!valid[e] || !valid[e + k]) continue;
            for (index_t p = 0; p < r; ++p) {
                const double noise = t.windowVar(p, e) + t.windowVar(p, e + k);
                if (noise > t.pathPower[p]) continue;  // a window that says little of this path
                change += norm2(t.windowGains(p, e + k) - t.windowGains(p, e)) - noise;
                power += 2 * t.pathPower[p];
            }
            span += t.windowTime[e + k] - t.windowTime[e];
            ++pairs;
        }
        if (pairs == 0 || power <= 0) break;
        const double loss = change / power;  // 1 - rho
        const double dt = span / pairs / kSymbolRate;
        if (loss <= 0) continue;
        const double rho = std::max(1.0 - loss, kMinCorrelation);
        sigma = std::sqrt(-std::log(rho) / (2 * std::numbers::pi * std::numbers::pi * dt * dt));
        if (loss > kLostCorrelation) break;
    }
    return std::clamp(sigma, kMinSigma, kMaxSigma);
}

// The normal equations of one window's weighted least squares, with the number of paths R fixed
// at compile time so that the per-sample sums unroll: for each sample n of lo .. hi - 1,
// a(p) = sum_i basis(i, p) mean(n - i) and s2 = N0 + sum_i P(i) var(n - i);
// N += a^* a^T / s2, b += a^* y(n) / s2, and the sample's share of the information for the
// window's time.
// With `skip_zeros` (a finite basis) the symbols of mean 0 (unknown data) are left out of a(p):
// their terms are zeros, and adding a zero to a sum that starts at +0 never changes it (it is
// never -0), so the sums keep every bit while the data symbols cost a test each.
template <int R>
void accumulate_window(const ComplexArray& y, const SplitColumns& B, index_t L,
                       const ComplexArray& mean, const RealArray& var, double N0,
                       const RealArray& tapPower, bool per_sample, bool skip_zeros, index_t lo,
                       index_t hi, cdouble* N, cdouble* b, double& weight, double& moment) {
    const index_t symbols = mean.numel();
    cdouble n_acc[R][R] = {};
    cdouble b_acc[R] = {};
    for (index_t n = lo; n < hi; ++n) {
        const double* P =
            per_sample ? tapPower.data() + static_cast<std::ptrdiff_t>(n) * L : tapPower.data();
        const index_t i_begin = std::max<index_t>(0, n - symbols + 1);
        const index_t i_end = std::min(L, n + 1);
        cpair sum[R] = {};
        for (index_t i = i_begin; i < i_end; ++i) {
            const cdouble x = mean[n - i];
            if (skip_zeros && x.real() == 0 && x.imag() == 0) continue;
            for (int p = 0; p < R; ++p) sum[p] += cmul_lanes(B.u[p * L + i], B.v[p * L + i], x);
        }
        cdouble a[R];
        for (int p = 0; p < R; ++p) a[p] = from_lanes(sum[p]);
        double info = 0;
        for (int p = 0; p < R; ++p) info += norm2(a[p]);
        if (info == 0) continue;  // (a sample that reaches unknown data symbols only)
        double s2 = N0;
        for (index_t i = i_begin; i < i_end; ++i) s2 += P[i] * var[n - i];
        const double w = 1.0 / s2;
        for (int q = 0; q < R; ++q) {
            const cdouble wq = w * a[q];
            for (int p = 0; p < R; ++p) n_acc[p][q] += cmulc(a[p], wq);
            b_acc[q] += cmulc(a[q], y[n]) * w;
        }
        weight += info * w;
        moment += info * w * n;
    }
    for (int q = 0; q < R; ++q) {
        for (int p = 0; p < R; ++p) N[p + q * R] = n_acc[p][q];
        b[q] = b_acc[q];
    }
}

// The last of the Ny samples at or before time t (a finite number of samples), as -1 .. Ny - 1,
// or Ny beyond the last: a window time handed back by a caller may lie anywhere, and only its
// place among the samples matters.
index_t last_sample_by(double t, index_t Ny) {
    return static_cast<index_t>(std::clamp(std::floor(t), -1.0, static_cast<double>(Ny)));
}

// The squared residual of the smoothed model over the first `end` samples, with the R paths
// fixed at compile time (see accumulate_window; R = 0: the r given): y(n) against
// sum_i h(i, n) mean(n - i), h(i, n) = sum_p basis(i, p) g(p, n).
template <int R>
double residual_sum(const ComplexArray& y, const SplitColumns& B, index_t L, index_t r,
                    const ComplexArray& mean, const cdouble* g, index_t end) {
    const index_t paths = R > 0 ? R : r;
    double residual = 0;
    for (index_t n = 0; n < end; ++n) {
        cpair model{};
        const index_t i_end = std::min(L, n + 1);
        for (index_t i = 0; i < i_end; ++i) {
            cpair h{};
            for (index_t p = 0; p < paths; ++p) {
                h += cmul_lanes(B.u[p * L + i], B.v[p * L + i], g[n * paths + p]);
            }
            model += cmul_lanes(h, cpair{-h[1], h[0]}, mean[n - i]);
        }
        residual += norm2(y[n] - from_lanes(model));
    }
    return residual;
}

// Step 2 of the smoother: the mean power of each path over the windows with an estimate, net of
// the estimation error, at least kWeakPath of the strongest (plus kModelFloor).
void mean_path_power(const std::vector<bool>& valid, PathTrack& track) {
    const index_t r = track.windowGains.rows();
    const index_t E = track.windowGains.cols();
    track.pathPower = RealArray(r);
    double strongest = 0;
    for (index_t p = 0; p < r; ++p) {
        double sum = 0;
        index_t count = 0;
        for (index_t e = 0; e < E; ++e) {
            if (!valid[e]) continue;
            sum += std::max(0.0, norm2(track.windowGains(p, e)) - track.windowVar(p, e));
            ++count;
        }
        track.pathPower[p] = count > 0 ? sum / count : 0;
        strongest = std::max(strongest, track.pathPower[p]);
    }
    for (index_t p = 0; p < r; ++p) {
        track.pathPower[p] = std::max(track.pathPower[p], kWeakPath * strongest + kModelFloor);
    }
}

// The smoother's model of a path's gain from window to window: the second-order autoregression
// g' = a1 g + a2 (g - d) matched to the correlations rho1 and rho2 one and two windows apart, in
// the state (g, d), d the change since the previous window:
// (g, d) -> (g', d'): g' = (a1 + a2) g - a2 d + w, d' = g' - g.
struct GainModel {
    double rho1 = 0, rho2 = 0, a1 = 0, a2 = 0;
    double F[2][2] = {};
};

// The model for windows of `window` symbols and a Gaussian correlation exp(-decay t^2), t in
// symbols.
GainModel gain_model(index_t window, double decay) {
    GainModel m;
    const double spacing = static_cast<double>(window);
    m.rho1 = std::exp(-decay * spacing * spacing);
    m.rho2 = std::exp(-4 * decay * spacing * spacing);
    const double den = std::max(1 - m.rho1 * m.rho1, kSmallestDivisor);
    m.a1 = m.rho1 * (1 - m.rho2) / den;
    m.a2 = (m.rho2 - m.rho1 * m.rho1) / den;
    const double a1 = m.a1, a2 = m.a2;
    const double F[2][2] = {{a1 + a2, -a2}, {a1 + a2 - 1, -a2}};
    std::memcpy(m.F, F, sizeof F);
    return m;
}

// A window of the Kalman filter: the state predicted from the windows before and the state
// filtered with the window's own estimate, with their covariances.
struct KalmanStep {
    cdouble pred[2], filt[2];
    double Ppred[2][2], Pfilt[2][2];
};

// The Kalman filter forward over the windows for path p (a window without estimate is predicted
// only): steps[e] for every window.
void filter_forward(const PathTrack& track, const std::vector<bool>& valid, index_t p,
                    const GainModel& m, std::vector<KalmanStep>& steps) {
    const auto& F = m.F;
    const double P = track.pathPower[p];
    const double q = std::max(P * (1 - m.a1 * m.rho1 - m.a2 * m.rho2), kModelFloor * P);
    cdouble x[2] = {};
    double C[2][2] = {{P, P * (1 - m.rho1)},
                      {P * (1 - m.rho1), 2 * P * (1 - m.rho1) + kModelFloor * P}};
    for (std::size_t e = 0; e < steps.size(); ++e) {
        KalmanStep& st = steps[e];
        if (e > 0) {
            const cdouble g = F[0][0] * x[0] + F[0][1] * x[1];
            const cdouble d = F[1][0] * x[0] + F[1][1] * x[1];
            x[0] = g;
            x[1] = d;
            double FC[2][2];
            for (int i = 0; i < 2; ++i) {
                for (int j = 0; j < 2; ++j) FC[i][j] = F[i][0] * C[0][j] + F[i][1] * C[1][j];
            }
            for (int i = 0; i < 2; ++i) {
                for (int j = 0; j < 2; ++j) C[i][j] = FC[i][0] * F[j][0] + FC[i][1] * F[j][1] + q;
            }
            C[1][1] += kModelFloor * P;
        }
        st.pred[0] = x[0];
        st.pred[1] = x[1];
        std::memcpy(st.Ppred, C, sizeof C);
        if (valid[e]) {
            const double S = C[0][0] + track.windowVar(p, static_cast<index_t>(e));
            const double K0 = C[0][0] / S, K1 = C[1][0] / S;
            const cdouble innovation = track.windowGains(p, static_cast<index_t>(e)) - x[0];
            x[0] += K0 * innovation;
            x[1] += K1 * innovation;
            const double C00 = C[0][0], C01 = C[0][1];
            C[0][0] -= K0 * C00;
            C[0][1] -= K0 * C01;
            C[1][0] -= K1 * C00;
            C[1][1] -= K1 * C01;
        }
        st.filt[0] = x[0];
        st.filt[1] = x[1];
        std::memcpy(st.Pfilt, C, sizeof C);
    }
}

// The Rauch-Tung-Striebel pass back from the last window's filtered state: smoothed = filtered
// + A (smoothed next - predicted next), A = Pfilt F^T Ppred(next)^-1. Path p's smoothed gain and
// its error variance at every window.
void smooth_back(const std::vector<KalmanStep>& steps, index_t p, const GainModel& m,
                 ComplexArray& node_gain, RealArray& node_var) {
    const auto& F = m.F;
    const auto E = static_cast<index_t>(steps.size());
    cdouble xs[2] = {steps[E - 1].filt[0], steps[E - 1].filt[1]};
    double Cs[2][2];
    std::memcpy(Cs, steps[E - 1].Pfilt, sizeof Cs);
    node_gain(p, E - 1) = xs[0];
    node_var(p, E - 1) = Cs[0][0];
    for (index_t e = E - 2; e >= 0; --e) {
        const KalmanStep& st = steps[e];
        const KalmanStep& nx = steps[e + 1];
        double PFt[2][2];
        for (int i = 0; i < 2; ++i) {
            for (int j = 0; j < 2; ++j) {
                PFt[i][j] = st.Pfilt[i][0] * F[j][0] + st.Pfilt[i][1] * F[j][1];
            }
        }
        const double det = nx.Ppred[0][0] * nx.Ppred[1][1] - nx.Ppred[0][1] * nx.Ppred[1][0];
        const double inv[2][2] = {{nx.Ppred[1][1] / det, -nx.Ppred[0][1] / det},
                                  {-nx.Ppred[1][0] / det, nx.Ppred[0][0] / det}};
        double A[2][2];
        for (int i = 0; i < 2; ++i) {
            for (int j = 0; j < 2; ++j) A[i][j] = PFt[i][0] * inv[0][j] + PFt[i][1] * inv[1][j];
        }
        const cdouble dx0 = xs[0] - nx.pred[0], dx1 = xs[1] - nx.pred[1];
        xs[0] = st.filt[0] + A[0][0] * dx0 + A[0][1] * dx1;
        xs[1] = st.filt[1] + A[1][0] * dx0 + A[1][1] * dx1;
        double dC[2][2], AdC[2][2];
        for (int i = 0; i < 2; ++i) {
            for (int j = 0; j < 2; ++j) dC[i][j] = Cs[i][j] - nx.Ppred[i][j];
        }
        for (int i = 0; i < 2; ++i) {
            for (int j = 0; j < 2; ++j) AdC[i][j] = A[i][0] * dC[0][j] + A[i][1] * dC[1][j];
        }
        for (int i = 0; i < 2; ++i) {
            for (int j = 0; j < 2; ++j) {
                Cs[i][j] = st.Pfilt[i][j] + AdC[i][0] * A[j][0] + AdC[i][1] * A[j][1];
            }
        }
        node_gain(p, e) = xs[0];
        node_var(p, e) = std::max(Cs[0][0], 0.0);
    }
}

// Step 5 of the smoother: every sample's gains and variances by straight lines between the
// windows' (held beyond the ends). The arrays of an earlier pass are reused when they fit.
void interpolate_gains(index_t Ny, const ComplexArray& node_gain, const RealArray& node_var,
                       PathTrack& track) {
    const index_t r = node_gain.rows();
    const index_t E = node_gain.cols();
    if (track.gains.rows() != r || track.gains.cols() != Ny) track.gains = ComplexArray(r, Ny);
    if (track.gainVar.rows() != r || track.gainVar.cols() != Ny) track.gainVar = RealArray(r, Ny);
    cdouble* g = track.gains.data();
    double* gv = track.gainVar.data();
    auto hold = [&](index_t from, index_t to, index_t e) {
        for (index_t n = std::max<index_t>(from, 0); n < std::min(to, Ny); ++n) {
            for (index_t p = 0; p < r; ++p) {
                g[n * r + p] = node_gain(p, e);
                gv[n * r + p] = node_var(p, e);
            }
        }
    };
    // Samples up to the first window's time, then between consecutive windows, then after the
    // last one.
    hold(0, last_sample_by(track.windowTime[0], Ny) + 1, 0);
    for (index_t e = 0; e + 1 < E; ++e) {
        const double ta = track.windowTime[e], tb = track.windowTime[e + 1];
        const index_t from = last_sample_by(ta, Ny) + 1;
        const index_t to = std::min(Ny, last_sample_by(tb, Ny) + 1);
        const double step = 1.0 / (tb - ta);
        // The two windows' columns, the gains as (real, imaginary) lanes (the same products).
        const cdouble* ga = &node_gain(0, e);
        const double* va = &node_var(0, e);
        for (index_t n = std::max<index_t>(from, 0); n < to; ++n) {
            const double f = (n - ta) * step;
            for (index_t p = 0; p < r; ++p) {
                g[n * r + p] = from_lanes(lanes(ga[p]) * (1 - f) + lanes(ga[r + p]) * f);
                gv[n * r + p] = (1 - f) * va[p] + f * va[r + p];
            }
        }
    }
    hold(last_sample_by(track.windowTime[E - 1], Ny) + 1, Ny, E - 1);
}

}  // namespace

index_t window_count(index_t symbols, index_t W) {
    return std::max<index_t>(1, (symbols + W - 1) / W);
}

index_t preamble_windows(index_t preamble, index_t W) {
    // Window e's samples reach symbols up to window_end(e) - 1.
    return preamble >= window_end(0, W) ? (preamble - window_end(0, W)) / W + 1 : 0;
}

void estimate_windows(const ComplexArray& y, const ComplexArray& basis, const ComplexArray& mean,
                      const RealArray& var, double N0, const RealArray& tapPower, index_t first,
                      PathTrack& track) {
    const index_t Ny = y.numel();
    const index_t L = basis.rows();
    const index_t r = basis.cols();
    const index_t symbols = mean.numel();
    if (r < 1 || r > kMaxPaths || L < 1) {
        raise("hfchain:chansound:BadBasis", "The basis is " + std::to_string(L) + " x " +
                                                std::to_string(r) + "; the tracker takes 1 to " +
                                                std::to_string(kMaxPaths) + " paths.");
    }
    const index_t W = track.window;
    if (W < kSmallestWindow) {
        raise("hfchain:chansound:BadWindow", "The estimation window of " + std::to_string(W) +
                                                 " symbols is too short: it needs at least " +
                                                 std::to_string(kSmallestWindow) + ".");
    }
    check_size_equal(symbols, var.numel(), "var");
    check_size_equal(L, tapPower.rows(), "tapPower");
    const bool per_sample = tapPower.cols() == Ny && Ny > 1;
    if (!per_sample) check_size_equal(1, tapPower.cols(), "tapPower");
    const index_t E = window_count(symbols, W);
    if (first > 0) {
        check_size_equal(r, track.windowGains.rows(), "windowGains");
        check_size_equal(E, track.windowGains.cols(), "windowGains");
        check_size_equal(r, track.windowVar.rows(), "windowVar");
        check_size_equal(E, track.windowVar.cols(), "windowVar");
        check_size_equal(E, track.windowTime.numel(), "windowTime");
    } else {
        track.windowGains = ComplexArray(r, E);
        track.windowVar = RealArray(r, E);
        track.windowTime = RealArray(E);
    }
    const SplitColumns B = split_columns(basis);
    const bool skip_zeros = std::all_of(basis.data(), basis.data() + basis.numel(), [](cdouble v) {
        return std::isfinite(v.real()) && std::isfinite(v.imag());
    });

    // 1. One weighted least-squares estimate per window (the windows: see kWindowShift).
    std::vector<cdouble> N(r * r);
    std::vector<cdouble> b(r);
    std::vector<double> inv(r);
    const double inf = std::numeric_limits<double>::infinity();
    for (index_t e = std::max<index_t>(first, 0); e < E; ++e) {
        for (index_t p = 0; p < r; ++p) {
            track.windowGains(p, e) = 0;
            track.windowVar(p, e) = inf;  // until the window gives an estimate
        }
        track.windowTime[e] = static_cast<double>((e + 1) * W - 1);
        const index_t lo = e == 0 ? 0 : std::min(Ny, window_begin(e, W));
        const index_t hi = e == E - 1 ? Ny : std::min(Ny, window_end(e, W));
        double weight = 0, moment = 0;
        with_path_count(r, [&](auto R) {
            accumulate_window<R()>(y, B, L, mean, var, N0, tapPower, per_sample, skip_zeros, lo, hi,
                                   N.data(), b.data(), weight, moment);
        });
        if (weight == 0) continue;
        track.windowTime[e] = moment / weight;
        double trace = 0;
        for (index_t p = 0; p < r; ++p) trace += N[p + p * r].real();
        for (index_t p = 0; p < r; ++p) N[p + p * r] += kDiagonalLoading * trace / r;
        if (!cholesky_factor(r, N.data())) continue;
        cholesky_solve(r, N.data(), b.data());
        cholesky_inverse_diagonal(r, N.data(), inv.data());
        for (index_t p = 0; p < r; ++p) {
            track.windowGains(p, e) = b[p];
            track.windowVar(p, e) = inv[p];
        }
    }
}

void smooth_paths(index_t Ny, PathTrack& track) {
    const index_t r = track.windowGains.rows();
    const index_t E = track.windowGains.cols();
    std::vector<bool> valid(E);
    for (index_t e = 0; e < E; ++e) valid[e] = r > 0 && std::isfinite(track.windowVar(0, e));

    // 2. Mean power of each path, net of the estimation error.
    mean_path_power(valid, track);

    // 3. Doppler spread.
    const double sigma = doppler_sigma(track, valid) * kSigmaMargin;
    track.doppler = 2 * sigma;
    const double decay = 2 * std::numbers::pi * std::numbers::pi * sigma * sigma /
                         (kSymbolRate * kSymbolRate);  // per squared symbol

    // 4. Smoothing: each path's gain as a second-order autoregression matched to the Gaussian
    // correlation one and two windows apart, a Kalman filter forward over the windows and a
    // Rauch-Tung-Striebel pass back. The state is the gain and its change since the previous
    // window, which keeps a slowly fading path (nearly a constant-velocity process)
    // well-conditioned.
    const GainModel model = gain_model(track.window, decay);
    ComplexArray node_gain(r, E);
    RealArray node_var(r, E);
    std::vector<KalmanStep> steps(E);
    for (index_t p = 0; p < r; ++p) {
        filter_forward(track, valid, p, model, steps);
        smooth_back(steps, p, model, node_gain, node_var);
    }
    // 5. Every sample, by straight lines between the windows.
    interpolate_gains(Ny, node_gain, node_var, track);
}

double model_residual(const ComplexArray& y, const ComplexArray& basis, const ComplexArray& mean,
                      const RealArray& var, const PathTrack& track) {
    const index_t Ny = y.numel();
    const index_t L = basis.rows();
    const index_t r = basis.cols();
    const index_t symbols = mean.numel();
    // The samples before the first unknown symbol (the preamble's) reach known symbols only.
    index_t leading = 0;
    while (leading < symbols && var[leading] == 0) ++leading;
    const index_t end = std::min(leading, Ny);
    const SplitColumns B = split_columns(basis);
    const cdouble* g = track.gains.data();
    double residual = 0;
    switch (r) {
        case 1:
            residual = residual_sum<1>(y, B, L, r, mean, g, end);
            break;
        case 2:
            residual = residual_sum<2>(y, B, L, r, mean, g, end);
            break;
        case 3:
            residual = residual_sum<3>(y, B, L, r, mean, g, end);
            break;
        case 4:
            residual = residual_sum<4>(y, B, L, r, mean, g, end);
            break;
        default:
            residual = residual_sum<0>(y, B, L, r, mean, g, end);
            break;
    }
    return end > 0 ? residual / end : std::numeric_limits<double>::quiet_NaN();
}

void track_paths(const ComplexArray& y, const ComplexArray& basis, const ComplexArray& mean,
                 const RealArray& var, double N0, const RealArray& tapPower, PathTrack& track) {
    estimate_windows(y, basis, mean, var, N0, tapPower, 0, track);
    smooth_paths(y.numel(), track);
}

}  // namespace hfchain
