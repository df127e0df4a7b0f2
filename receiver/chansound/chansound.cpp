#include "receiver/chansound/chansound.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "params/modes.hpp"
#include "receiver/chansound/pathtrack.hpp"
#include "receiver/impulseblank/impulseblank.hpp"
#include "receiver/layout/layout.hpp"
#include "receiver/layout/reception.hpp"
#include "receiver/softdemod/softdemap.hpp"
#include "runtime/checks.hpp"
#include "runtime/cholesky.hpp"
#include "runtime/complexmath.hpp"
#include "shaping/rrc_fir.hpp"

namespace hfchain {

namespace {

// The name the sounder's refusals carry.
constexpr const char* kBlock = "chansound";

// The search span: the largest differential delay the receiver allows, the pulse's significant
// tail and a guard, on each side of the synchroniser's start, in symbols.
constexpr index_t kMaxSpread = kMaxPathSpread;
constexpr index_t kTail = 3;
constexpr index_t kGuard = 2;
constexpr index_t kSpan = kMaxSpread + kTail + kGuard;
constexpr index_t kSearchTaps = 2 * kSpan + 1;

// Preamble windows of the search, spread over the preamble so that fading paths are seen at
// several moments: four at 2400 bit/s (and 4800), and as many more as a symbol carries fewer
// information bits, twice as many at half the rate (up to what the preamble holds), so that a
// path's power is judged on the same preamble energy per information bit at every rate: the
// slower rates work at lower Es/N0, where four windows would often miss a path faded in them.
constexpr index_t kSearchWindows = 4;
constexpr double kSearchRate = 2400;
constexpr index_t kSearchLength = 96;

// Paths: at most kMaxPaths, each within 25 dB of the strongest and four times its estimation
// noise.
constexpr double kPathFloor = 3.1622776601683794e-3;  // -25 dB
constexpr double kPathNoiseFactor = 4.0;
constexpr int kRefineSweeps = 20;

// A strongest path below this many times its estimation noise means the start was not the
// transmission's.
constexpr double kDetect = 10.0;

// A path's delay estimate may be a sample off at low Es/N0: the search is centred afresh when
// the largest spread around the strongest path comes closer than this many samples to the
// span's usable ends.
constexpr index_t kRecentre = 1;

// A strongest path above this many times its estimation noise is taken as the transmission's
// without further check; below it, the start is checked against the preamble's sidelobes
// (better_start), whose fits reached up to about eight times the estimation noise (measured
// on two 5 ms paths at 75 and 300 bit/s, Es/N0 -8 and 4 dB).
constexpr double kSure = 20.0;
constexpr index_t kScreened = 4;  // candidates of the screen matched with every segment

// Acquisition: the synchroniser's range of first-symbol positions, in symbols, and the preamble
// segments whose correlations it adds.
constexpr index_t kAcquireSymbols = 288;
constexpr index_t kAcquireSegments = 6;
constexpr index_t kAcquireLength = 64;
constexpr index_t kAcquireReach = 1440;

// Taps: those that carry more than a small share of the noise or of the energy, at most kMaxTaps
// (a frame's window must hold its probes and every sample they reach).
constexpr double kTapNoiseShare = 0.05;
constexpr double kTapEnergyShare = 1e-4;

// A move of a path must explain more of the response than this share of it: less is rounding.
constexpr double kMinImprovement = 1e-12;

const std::string kTooLargeRule = "the sounder takes samples up to " +
                                  format_value(kLargestSample) +
                                  " in magnitude, so that its sums of squares cannot overflow.";

// Ratio of the two noise estimates beyond which the track is redone.
constexpr double kNoiseRetrack = 1.5;

// The composite pulse at tau samples from its peak (0 beyond its ends).
double pulse_at(const RealArray& comp, index_t tau) {
    const index_t centre = comp.numel() / 2;
    return tau >= -centre && tau <= centre ? comp[centre + tau] : 0.0;
}

// What the least-squares search around a start finds.
struct Search {
    index_t base = 0;            // sample (0-based) of delay 0 of the span
    double N0 = 0;               // noise estimate of the fit
    RealArray profile;           // power of the response at each delay of the span
    std::vector<index_t> paths;  // delays of the paths, in samples after base
    std::vector<double> power;   // their mean power
    bool detected = false;       // the strongest path stands well clear of the estimation noise
    double strongest = 0;        // the strongest path's power
    double ratio = 0;            // that over its estimation noise
};

// The response over the span around a start, window by window.
struct Response {
    index_t base = 0;                   // sample (0-based) of delay 0 of the span
    double N0 = 0;                      // noise estimate of the fit
    std::vector<ComplexArray> windows;  // Q values a window: the response at each delay
};

// Step 2 of the sounder around the 0-based start w0: least squares of kSearchTaps symbol-spaced
// taps at each sampling phase, over `windows` preamble windows. Tap i at phase phi is the
// response at sample base + phi + i M.
Response search_response(const ComplexArray& mf, index_t w0, const cdouble* x, index_t preamble,
                         index_t M, index_t windows) {
    const index_t Lmf = mf.numel();
    const index_t base = w0 - kSpan * M;
    const index_t Q = kSearchTaps * M;
    auto sample = [&](index_t s) { return s >= 0 && s < Lmf ? mf[s] : cdouble{}; };
    std::vector<ComplexArray> response(windows, ComplexArray(Q));
    const index_t first = 2 * kSpan;  // every symbol a window's taps reach is in the preamble
    const index_t stride = (preamble - first - kSearchLength) / std::max<index_t>(1, windows - 1);
    std::vector<cdouble> G(kSearchTaps * kSearchTaps), rhs(kSearchTaps),
        u(kSearchLength + kSearchTaps), yw(kSearchLength), h(kSearchTaps);
    std::vector<cpair> yl(kSearchLength), yt(kSearchLength);  // yw as lanes, for the sums
    double residual = 0, dof = 0;
    for (index_t w = 0; w < windows; ++w) {
        const index_t j0 = first + w * stride;
        // G(a, a + d) = sum over the window's j of conj(x(j - a)) x(j - a - d), slid over a.
        for (index_t d = 0; d < kSearchTaps; ++d) {
            const index_t m0 = j0 - kSearchTaps + 1;
            for (index_t m = m0; m < j0 + kSearchLength; ++m) {
                u[m - m0] = m - d >= 0 ? cmulc(x[m], x[m - d]) : cdouble{};
            }
            cdouble s{};
            for (index_t m = j0; m < j0 + kSearchLength; ++m) s += u[m - m0];
            for (index_t a = 0; a + d < kSearchTaps; ++a) {
                if (a > 0) s += u[j0 - a - m0] - u[j0 + kSearchLength - a - m0];
                G[a + (a + d) * kSearchTaps] = s;
                G[(a + d) + a * kSearchTaps] = std::conj(s);
            }
        }
        if (!cholesky_factor(kSearchTaps, G.data())) continue;
        for (index_t phi = 0; phi < M; ++phi) {
            for (index_t j = 0; j < kSearchLength; ++j) yw[j] = sample(base + phi + (j0 + j) * M);
            double energy = 0;
            for (index_t j = 0; j < kSearchLength; ++j) energy += norm2(yw[j]);
            for (index_t j = 0; j < kSearchLength; ++j) {
                yl[j] = lanes(yw[j]);
                yt[j] = conj_turned(yw[j]);
            }
            for (index_t i = 0; i < kSearchTaps; ++i) {
                const cdouble* xi = x + j0 - i;
                cpair s{};
                for (index_t j = 0; j < kSearchLength; ++j) s += cmulc_lanes(xi[j], yl[j], yt[j]);
                rhs[i] = from_lanes(s);
            }
            h = rhs;
            cholesky_solve(kSearchTaps, G.data(), h.data());
            double fitted = 0;
            for (index_t i = 0; i < kSearchTaps; ++i) {
                fitted += (std::conj(rhs[i]) * h[i]).real();
                response[w][phi + i * M] = h[i];
            }
            residual += std::max(0.0, energy - fitted);
            dof += kSearchLength - kSearchTaps;
        }
    }
    const double N0 = std::max(dof > 0 ? residual / dof : 0.0, kMinNoiseVar);
    return {base, N0, std::move(response)};
}

// The composite pulse around its peak, out to kTail + 1 symbols either side (the atom a path adds
// to the response), and its autocorrelation gamma: the correlation of a path `delta` samples
// away with the atom.
struct Atom {
    index_t reach = 0;          // samples either side of the peak
    std::vector<double> taps;   // 2 reach + 1 values
    std::vector<double> gamma;  // 4 reach + 1 values, delta = -2 reach .. 2 reach

    double gram(index_t delta) const {
        return std::abs(delta) <= 2 * reach ? gamma[delta + 2 * reach] : 0.0;
    }
};

Atom pulse_atom(const RealArray& comp, index_t M) {
    const index_t atom = (kTail + 1) * M;
    auto pulse = [&](index_t tau) { return pulse_at(comp, tau); };
    Atom a;
    a.reach = atom;
    a.gamma.resize(4 * atom + 1);
    for (index_t delta = -2 * atom; delta <= 2 * atom; ++delta) {
        double s = 0;
        for (index_t tau = -atom; tau <= atom; ++tau) {
            if (std::abs(tau - delta) <= atom) s += pulse(tau) * pulse(tau - delta);
        }
        a.gamma[delta + 2 * atom] = s;
    }
    a.taps.resize(2 * atom + 1);
    for (index_t tau = -atom; tau <= atom; ++tau) a.taps[tau + atom] = pulse(tau);
    return a;
}

// Each window's response correlated with the atom centred on every delay d: a set of paths
// explains gamma(d - d_p) g(w, p) of it.
std::vector<ComplexArray> path_correlations(const std::vector<ComplexArray>& response,
                                            const Atom& a) {
    const index_t atom = a.reach;
    std::vector<ComplexArray> corr;
    corr.reserve(response.size());
    for (const ComplexArray& r : response) {
        const index_t Q = r.numel();
        const cdouble* resp = r.data();
        ComplexArray c(Q);
        for (index_t d = 0; d < Q; ++d) {
            const index_t lo = std::max(-atom, -d), hi = std::min(atom, Q - 1 - d);
            cdouble s{};
            for (index_t tau = lo; tau <= hi; ++tau) s += a.taps[tau + atom] * resp[d + tau];
            c[d] = s;
        }
        corr.push_back(std::move(c));
    }
    return corr;
}

// The gains of a set of paths in every window, and the response energy they explain.
struct PathFit {
    PathFit(const std::vector<ComplexArray>& corr, const Atom& a)
        : corr(corr), atom(a), gains(corr.size()) {}

    // The energy the paths at `set` explain (-1: their Gram matrix is singular); gains and
    // inverse_diag then hold their gains and the diagonal of the Gram matrix's inverse. The Gram
    // matrix is real (the composite pulse is); solved as a Hermitian one with zero imaginary
    // parts, it rounds exactly as a real solve would. Every window shares it.
    double operator()(const std::vector<index_t>& set) {
        const auto n = static_cast<index_t>(set.size());
        std::vector<cdouble> A(n * n);
        for (index_t p = 0; p < n; ++p) {
            for (index_t q = 0; q < n; ++q) A[p + q * n] = atom.gram(set[p] - set[q]);
        }
        if (!cholesky_factor(n, A.data())) return -1.0;
        inverse_diag.resize(n);
        cholesky_inverse_diagonal(n, A.data(), inverse_diag.data());
        double explained = 0;
        for (std::size_t w = 0; w < corr.size(); ++w) {
            gains[w].resize(n);
            for (index_t p = 0; p < n; ++p) gains[w][p] = corr[w][set[p]];
            cholesky_solve(n, A.data(), gains[w].data());
            for (index_t p = 0; p < n; ++p) {
                explained += cmulc(corr[w][set[p]], gains[w][p]).real();
            }
        }
        return explained;
    }

    const std::vector<ComplexArray>& corr;  // the windows' correlations
    const Atom& atom;
    std::vector<std::vector<cdouble>> gains;  // windows x paths
    std::vector<double> inverse_diag;         // a value a path
};

// Whether the delays of `set` and `d` lie within `widest` samples of each other.
bool spans_within(const std::vector<index_t>& set, index_t d, index_t widest) {
    index_t first = d;
    index_t last = d;
    for (const index_t p : set) {
        first = std::min(first, p);
        last = std::max(last, p);
    }
    return last - first <= widest;
}

// The delay (within the usable span, and within `widest` samples of every path found so far)
// whose correlation the paths found so far explain least, -1 when there is none.
index_t strongest_rest(const std::vector<ComplexArray>& corr, const Atom& a,
                       const std::vector<index_t>& paths,
                       const std::vector<std::vector<cdouble>>& path_gain, index_t widest) {
    const index_t Q = corr.front().numel();
    index_t best_d = -1;
    double best = -1;
    for (index_t d = a.reach; d < Q - a.reach; ++d) {
        if (std::find(paths.begin(), paths.end(), d) != paths.end()) continue;
        if (!spans_within(paths, d, widest)) continue;
        double score = 0;
        for (std::size_t w = 0; w < corr.size(); ++w) {
            cdouble rest = corr[w][d];
            for (std::size_t p = 0; p < paths.size(); ++p) {
                rest -= a.gram(d - paths[p]) * path_gain[w][p];
            }
            score += norm2(rest);
        }
        if (score > best) {
            best = score;
            best_d = d;
        }
    }
    return best_d;
}

// Paths closer than the pulse's width pull each other off their peaks: a pair of close paths is
// searched jointly, a symbol either way, then every delay is moved a sample at a time while the
// set explains more of the response. `explained` is what `set` explains, and stays so.
void refine_delays(std::vector<index_t>& trial, double& explained, PathFit& fit, index_t M,
                   index_t Q, index_t atom) {
    const auto n = static_cast<index_t>(trial.size());
    auto usable = [&](index_t d) { return d >= atom && d < Q - atom; };
    for (index_t p = 0; p < n && explained > 0; ++p) {
        for (index_t q = p + 1; q < n; ++q) {
            if (std::abs(trial[p] - trial[q]) > 3 * M) continue;
            std::vector<index_t> best_set = trial;
            for (index_t dp = trial[p] - M; dp <= trial[p] + M; ++dp) {
                for (index_t dq = trial[q] - M; dq <= trial[q] + M; ++dq) {
                    if (dp == dq || !usable(dp) || !usable(dq)) continue;
                    std::vector<index_t> set = trial;
                    set[p] = dp;
                    set[q] = dq;
                    const double e = fit(set);
                    if (e > explained * (1 + kMinImprovement)) {
                        explained = e;
                        best_set = set;
                    }
                }
            }
            trial = best_set;
        }
    }
    for (int sweep = 0; sweep < kRefineSweeps && explained > 0; ++sweep) {
        bool moved = false;
        for (index_t p = 0; p < n; ++p) {
            for (const index_t step_by : {-1, 1}) {
                std::vector<index_t> set = trial;
                const index_t d = trial[p] + step_by;
                if (!usable(d) || std::find(trial.begin(), trial.end(), d) != trial.end()) {
                    continue;
                }
                set[p] = d;
                const double e = fit(set);
                if (e > explained * (1 + kMinImprovement)) {
                    trial = std::move(set);
                    explained = e;
                    moved = true;
                }
            }
        }
        if (!moved) break;
    }
}

// Paths closer than half a symbol are not told apart: their pulses differ by less than the noise
// over a frame, so the fit splits one path's gain between them as large opposite gains, which
// the track cannot follow (a lone path at Es/N0 9.5 dB was lost so).
bool apart(const std::vector<index_t>& set, index_t M) {
    const auto n = static_cast<index_t>(set.size());
    bool apart = true;
    for (index_t p = 0; p < n; ++p) {
        for (index_t q = p + 1; q < n; ++q) apart = apart && 2 * std::abs(set[p] - set[q]) >= M;
    }
    return apart;
}

// Step 3: paths, one at a time, in the correlation domain, each at the delay that best explains
// what the earlier ones leave, while a new path carries at least noise_factor times its
// estimation noise (gain_noise through the Gram matrix) and kPathFloor of the strongest, and the
// paths span at most `widest` samples. Sets found.paths and found.power.
void pick_paths(const std::vector<ComplexArray>& corr, const Atom& a, index_t M, double gain_noise,
                double noise_factor, index_t widest, Search& found) {
    const auto windows = static_cast<index_t>(corr.size());
    const index_t Q = corr.front().numel();
    std::vector<index_t> paths;
    std::vector<double> power;
    std::vector<std::vector<cdouble>> path_gain(windows);
    for (index_t step = 0; step < kMaxPaths; ++step) {
        const index_t best_d = strongest_rest(corr, a, paths, path_gain, widest);
        if (best_d < 0) break;
        std::vector<index_t> trial = paths;
        trial.push_back(best_d);
        const auto n = static_cast<index_t>(trial.size());
        PathFit fit(corr, a);
        double explained = fit(trial);
        refine_delays(trial, explained, fit, M, Q, a.reach);
        if (fit(trial) < 0) break;
        if (!apart(trial, M) || !spans_within(trial, trial.front(), widest)) break;
        std::vector<double> trial_power(n, 0.0);
        for (index_t w = 0; w < windows; ++w) {
            for (index_t p = 0; p < n; ++p) trial_power[p] += norm2(fit.gains[w][p]) / windows;
        }
        const double strongest = *std::max_element(trial_power.begin(), trial_power.end());
        const double noise = gain_noise * a.gram(0) * fit.inverse_diag[n - 1];
        if (step > 0 && (trial_power[n - 1] < kPathFloor * strongest ||
                         trial_power[n - 1] < noise_factor * noise)) {
            break;
        }
        paths = std::move(trial);
        power = std::move(trial_power);
        path_gain = std::move(fit.gains);
    }
    found.paths = std::move(paths);
    found.power = std::move(power);
}

// Step 3 on a response over the span whose values each carry estimation noise of variance
// gain_noise: its profile and the paths in it, which span at most `widest` samples.
Search paths_in_response(const Response& response, const RealArray& comp, index_t M,
                         double gain_noise, index_t widest) {
    const auto windows = static_cast<index_t>(response.windows.size());
    const index_t Q = kSearchTaps * M;
    Search found;
    found.base = response.base;
    found.N0 = response.N0;
    found.profile = RealArray(Q);
    for (index_t w = 0; w < windows; ++w) {
        for (index_t q = 0; q < Q; ++q) {
            found.profile[q] += norm2(response.windows[w][q]) / windows;
        }
    }
    const Atom atom = pulse_atom(comp, M);
    // A path's power, averaged over the windows, holds the estimation noise once (its bias)
    // and a fluctuation that shrinks as the square root of the windows: the margins above the
    // bias that kPathNoiseFactor and kDetect ask of four windows shrink alike with more.
    const double shrink = std::sqrt(static_cast<double>(kSearchWindows) / windows);
    const double noise_factor = 1 + (kPathNoiseFactor - 1) * shrink;
    const double detect_factor = 1 + (kDetect - 1) * shrink;
    pick_paths(path_correlations(response.windows, atom), atom, M, gain_noise, noise_factor, widest,
               found);
    // The strongest path, not the first picked: moving the delays after each pick can leave the
    // first one a weak neighbour of a stronger path.
    found.strongest =
        found.power.empty() ? 0 : *std::max_element(found.power.begin(), found.power.end());
    found.detected = !found.power.empty() && found.strongest >= detect_factor * gain_noise;
    found.ratio = found.strongest / gain_noise;
    return found;
}

// Steps 2 and 3 of the sounder around the 0-based start w0: the response over the span, and the
// paths in it (anywhere in the span: the preamble's fit sees no data).
Search search_paths(const ComplexArray& mf, index_t w0, const cdouble* x, index_t preamble,
                    index_t M, const RealArray& comp, index_t windows) {
    const Response response = search_response(mf, w0, x, preamble, M, windows);
    return paths_in_response(response, comp, M, response.N0 / (kSearchLength - kSearchTaps),
                             kSearchTaps * M);
}

// The preamble segments whose correlations acquisition adds in power, and the match of a start
// against them. `slower` (at least 1) is how many times fewer information bits a symbol carries
// than at 2400 bit/s: the slower rates work at lower Es/N0, so they add that many times more
// segments, spread over the whole preamble (within what it holds).
struct AcquireGrid {
    index_t segments = 1;
    index_t stride = 0;
};

AcquireGrid acquire_grid(index_t preamble, double slower) {
    const index_t wanted = static_cast<index_t>(kAcquireSegments * std::min(slower, 1e6));
    const index_t segments = std::max<index_t>(1, std::min(wanted, preamble / kAcquireLength));
    const index_t reach = slower > 1 ? preamble : std::min<index_t>(preamble, kAcquireReach);
    const index_t stride = segments > 1 ? (reach - kAcquireLength) / (segments - 1) : 0;
    return {segments, stride};
}

// How well the preamble seen from the 0-based sample s (that of the first symbol) matches: the
// segments' correlations added in power.
double acquire_metric(const ComplexArray& mf, const cdouble* x, index_t M, const AcquireGrid& grid,
                      index_t s) {
    const index_t Lmf = mf.numel();
    double metric = 0;
    for (index_t j = 0; j < grid.segments; ++j) {
        const index_t k0 = j * grid.stride;
        cdouble c{};
        for (index_t k = k0; k < k0 + kAcquireLength; ++k) {
            const index_t m = s + k * M;
            if (m < 0 || m >= Lmf) break;
            c += cmulc(x[k], mf[m]);
        }
        metric += norm2(c);
    }
    return metric;
}

// Acquisition over the synchroniser's whole range: the sample s of the first symbol that best
// matches the preamble, so that a fade over one segment does not hide the transmission. Returns
// s (0-based).
index_t acquire(const ComplexArray& mf, const cdouble* x, index_t preamble, index_t M,
                double slower) {
    const index_t range = (kAcquireSymbols + 2 * kSpan) * M;
    const AcquireGrid grid = acquire_grid(preamble, slower);
    index_t best_s = 0;
    double best = -1;
    for (index_t s = 0; s < range; ++s) {
        const double metric = acquire_metric(mf, x, M, grid, s);
        if (metric > best) {
            best = metric;
            best_s = s;
        }
    }
    return best_s;
}

// A start whose paths stand clear of the noise may still be a sidelobe of the preamble: it
// repeats parts of itself (a run of its channel symbols recurs three of them later), so that a
// start displaced by such a shift fits a fraction of every path's power, several times the
// estimation noise at any Es/N0. The transmission's own start fits many times more. The
// candidates of the whole range are screened with the segments 2400 bit/s acquires with (cheap,
// and enough to bring the true start among the few best), then the best few outside the span
// searched (centred on `searched`) and the paths found (`starts`) are matched with every segment
// of the rate: a candidate that matches better than every path found is returned (0-based),
// otherwise -1.
index_t better_start(const ComplexArray& mf, const cdouble* x, index_t preamble, index_t M,
                     double slower, index_t searched, const std::vector<index_t>& starts) {
    const index_t range = (kAcquireSymbols + 2 * kSpan) * M;
    const AcquireGrid coarse = acquire_grid(preamble, 1);
    std::vector<double> metric(range);
    for (index_t s = 0; s < range; ++s) metric[s] = acquire_metric(mf, x, M, coarse, s);
    const AcquireGrid grid = acquire_grid(preamble, slower);
    auto best_near = [&](index_t centre, index_t& at) {
        double best = -1;
        for (index_t s = centre - 1; s <= centre + 1; ++s) {
            const double m = acquire_metric(mf, x, M, grid, s);
            if (m > best) {
                best = m;
                at = s;
            }
        }
        return best;
    };
    double found = -1;
    for (const index_t s : starts) {
        index_t at = s;
        found = std::max(found, best_near(s, at));
    }
    // Candidates within the span searched are the paths found, or their neighbours.
    for (index_t s = std::max<index_t>(0, searched - kSpan * M);
         s <= std::min(range - 1, searched + kSpan * M); ++s) {
        metric[s] = -1;
    }
    index_t result = -1;
    for (index_t c = 0; c < kScreened; ++c) {
        const index_t peak =
            static_cast<index_t>(std::max_element(metric.begin(), metric.end()) - metric.begin());
        if (metric[peak] < 0) break;
        index_t at = peak;
        const double m = best_near(peak, at);
        if (m > found) {
            found = m;
            result = at;
        }
        // The next candidate lies beyond this one's pulse.
        for (index_t s = std::max<index_t>(0, peak - M); s <= std::min(range - 1, peak + M); ++s) {
            metric[s] = -1;
        }
    }
    return result;
}

void poll(HostServices* host) {
    if (host != nullptr) host->poll_interrupt();
}

// Every other path lies within the largest spread of the strongest one. The span reaches a
// sample or so beyond that spread either side of its centre: enough when the synchroniser's
// start is on the strongest path, not when it is on another or fell several symbols before the
// early or beyond the late one (it strays so at low Es/N0), where a path on the far side may lie
// outside the span or at its edge (and the fit then mimics it with a pair of adjacent paths of
// large opposite gains). The search is then repeated centred on the strongest path. The paths
// found cannot vouch for the far side instead: a spurious one there would. The repeat is kept
// whenever it still detects the transmission: the two searches' path powers cannot be compared,
// as a pair of adjacent paths at the edge inflates them.
bool needs_recentring(const Search& found, index_t M, index_t& strongest) {
    strongest = found.paths[static_cast<std::size_t>(
        std::max_element(found.power.begin(), found.power.end()) - found.power.begin())];
    const index_t reach_low = (kTail + 1) * M + kRecentre;
    const index_t reach_high = (2 * kSpan - kTail) * M - 1 - kRecentre;
    return strongest - kMaxSpread * M < reach_low || strongest + kMaxSpread * M > reach_high;
}

// Steps 2 and 3 from framelock's start w0. When no path stands clear of the noise there, the
// start itself was wrong (a preamble seen through a deep fade can mislead the synchroniser): the
// preamble is then acquired afresh over the synchroniser's whole range, and the search repeated
// from there. A start whose paths do not stand far clear is matched against the preamble's
// sidelobes (better_start), and a search not centred on its strongest path is repeated so.
Search find_paths(const ComplexArray& mf, index_t w0, const cdouble* x, index_t preamble, index_t M,
                  const RealArray& comp, double rate, HostServices* host) {
    const index_t room = (preamble - 2 * kSpan) / kSearchLength;
    const double slower = rate > 0 && rate < kSearchRate ? kSearchRate / rate : 1;
    const index_t windows = std::min(static_cast<index_t>(kSearchWindows * std::min(slower, 1e6)),
                                     std::max(kSearchWindows, room));
    Search found = search_paths(mf, w0, x, preamble, M, comp, windows);
    poll(host);
    if (!found.detected) {
        const index_t w1 = acquire(mf, x, preamble, M, slower);
        poll(host);
        if (w1 != w0) {
            Search again = search_paths(mf, w1, x, preamble, M, comp, windows);
            if (again.detected || again.strongest > found.strongest) {
                found = std::move(again);
            }
        }
    }
    if (found.detected && found.ratio < kSure) {
        std::vector<index_t> starts;
        for (const index_t d : found.paths) starts.push_back(found.base + d);
        const index_t w1 = better_start(mf, x, preamble, M, slower, found.base + kSpan * M, starts);
        poll(host);
        if (w1 >= 0) {
            Search again = search_paths(mf, w1, x, preamble, M, comp, windows);
            if (again.detected) found = std::move(again);
        }
    }
    index_t strongest = 0;
    if (found.detected && needs_recentring(found, M, strongest)) {
        Search again = search_paths(mf, found.base + strongest, x, preamble, M, comp, windows);
        poll(host);
        if (again.detected) found = std::move(again);
    }
    return found;
}

// The sampling the paths ask for: one sample a symbol at `phase` (0-based, after the span's
// base), the `count` taps from tap `first` of the span.
struct Taps {
    index_t phase = 0;
    index_t first = 0;
    index_t count = 0;
};

// The energy the paths are expected to put in each tap of the span at sampling phase phi.
std::vector<double> expected_taps(const Search& found, const RealArray& comp, index_t M,
                                  index_t phi) {
    std::vector<double> tap(kSearchTaps, 0.0);
    for (index_t i = 0; i < kSearchTaps; ++i) {
        for (std::size_t p = 0; p < found.paths.size(); ++p) {
            const double c = pulse_at(comp, phi + i * M - found.paths[p]);
            tap[i] += found.power[p] * c * c;
        }
    }
    return tap;
}

// The sampling phase that collects the most expected energy of all paths, and that energy.
index_t best_phase(const Search& found, const RealArray& comp, index_t M, double& best_energy) {
    index_t best_phi = 0;
    best_energy = -1;
    for (index_t phi = 0; phi < M; ++phi) {
        double energy = 0;
        for (index_t i = 0; i < kSearchTaps; ++i) {
            for (std::size_t p = 0; p < found.paths.size(); ++p) {
                const double c = pulse_at(comp, phi + i * M - found.paths[p]);
                energy += found.power[p] * c * c;
            }
        }
        if (energy > best_energy) {
            best_energy = energy;
            best_phi = phi;
        }
    }
    return best_phi;
}

// The first and last tap at which some path's pulse peaks at phase phi (first > last when the
// peaks alone span more than kMaxTaps: none is then kept for its own sake).
void peak_taps(const Search& found, const RealArray& comp, index_t M, index_t phi,
               index_t& peak_first, index_t& peak_last) {
    peak_first = kSearchTaps - 1;
    peak_last = 0;
    for (const index_t d : found.paths) {
        index_t peak = 0;
        for (index_t i = 1; i < kSearchTaps; ++i) {
            if (std::abs(pulse_at(comp, phi + i * M - d)) >
                std::abs(pulse_at(comp, phi + peak * M - d))) {
                peak = i;
            }
        }
        peak_first = std::min(peak_first, peak);
        peak_last = std::max(peak_last, peak);
    }
    if (peak_last - peak_first + 1 > kMaxTaps) {
        peak_first = kSearchTaps - 1;
        peak_last = 0;
    }
}

// Step 4: sampling phase and taps (best_phase). Taps are dropped from either end, weaker end first,
// while what they carry together stays below both a twentieth of the noise (a 0.2 dB loss) and a
// ten-thousandth of the energy: at low SNR the window is as short as the noise allows, at high SNR
// nothing audible is left out. Each path's strongest tap stays, however weak the path (unless the
// paths' peaks alone span more than kMaxTaps): at low Es/N0 a whole path can carry less than the
// noise share, and dropping it would leave its basis column empty, so that the track loses the path
// and the 75 bit/s detector half the signal.
Taps choose_taps(const Search& found, const RealArray& comp, index_t M) {
    Taps taps;
    double best_energy = -1;
    taps.phase = best_phase(found, comp, M, best_energy);
    const std::vector<double> tap = expected_taps(found, comp, M, taps.phase);
    index_t peak_first = 0, peak_last = 0;
    peak_taps(found, comp, M, taps.phase, peak_first, peak_last);
    const double budget = std::max(kTapNoiseShare * found.N0, kTapEnergyShare * best_energy);
    index_t i_first = 0, i_last = kSearchTaps - 1;
    double dropped = 0;
    while (i_first < i_last && (i_first < peak_first || i_last > peak_last)) {
        const bool front =
            i_last == peak_last || (i_first < peak_first && tap[i_first] <= tap[i_last]);
        const double next = front ? tap[i_first] : tap[i_last];
        if (dropped + next > budget && i_last - i_first + 1 <= kMaxTaps) break;
        dropped += next;
        if (front) {
            ++i_first;
        } else {
            --i_last;
        }
    }
    taps.first = i_first;
    taps.count = i_last - i_first + 1;
    return taps;
}

// Ny samples of `mf` one a symbol (M samples) apart from the 0-based sample `start0`, zeros
// beyond its ends.
ComplexArray symbol_samples(const ComplexArray& mf, index_t start0, index_t M, index_t Ny) {
    const index_t Lmf = mf.numel();
    ComplexArray y(Ny);
    for (index_t n = 0; n < Ny; ++n) {
        const index_t s = start0 + n * M;
        y[n] = s >= 0 && s < Lmf ? mf[s] : cdouble{};
    }
    return y;
}

// Step 5: the paths' pulses at the taps, and one sample a symbol from the chosen start (zeros
// beyond the output's ends): start, delays, basis and out of `out`.
void sample_paths(const ComplexArray& mf, const Search& found, const RealArray& comp, index_t M,
                  const Taps& taps, index_t symbols, ChansoundOut& out) {
    const auto r = static_cast<index_t>(found.paths.size());
    const index_t L = taps.count;
    const index_t start0 = found.base + taps.phase + taps.first * M;
    out.start = static_cast<double>(start0 + 1);
    out.delays = RealArray(r);
    out.basis = ComplexArray(L, r);
    for (index_t p = 0; p < r; ++p) {
        out.delays[p] = static_cast<double>(found.base + found.paths[p] + 1);
        for (index_t i = 0; i < L; ++i) {
            out.basis(i, p) = pulse_at(comp, taps.phase + (taps.first + i) * M - found.paths[p]);
        }
    }
    out.out = symbol_samples(mf, start0, M, symbols + L - 1);
}

// Step 6: the path gains through the transmission, from the known symbols alone. The search fits
// every tap of the span, so its noise estimate N0 misses what the paths' model leaves out, and
// with a fast-fading channel it also holds how much the channel changes within a search window.
// The smoothed model's residual over the preamble is the noise the equaliser will meet; when the
// two differ clearly, the windows' error variances (which scale with the noise) are rescaled and
// the gains smoothed again. The fits read `y`: out.out, or its samples with the impulses blanked.
// Sets the gains, the windows, the Doppler spread and noiseVar.
void track_gains(const KnownSymbols& known, index_t frame, const std::vector<double>& power,
                 double N0, const ComplexArray& y, HostServices* host, ChansoundOut& out) {
    const index_t L = out.basis.rows();
    const index_t r = out.basis.cols();
    RealArray tapPower(L);
    for (index_t i = 0; i < L; ++i) {
        for (index_t p = 0; p < r; ++p) tapPower[i] += power[p] * norm2(out.basis(i, p));
    }
    PathTrack track;
    track.window = frame;
    poll(host);
    track_paths(y, out.basis, known.mean, known.var, N0, tapPower, track);
    const double fit = model_residual(y, out.basis, known.mean, known.var, track);
    out.noiseVar = N0;
    if (fit > N0 * kNoiseRetrack || fit < N0 / kNoiseRetrack) {
        out.noiseVar = std::max(fit, kMinNoiseVar);
        const double scale = out.noiseVar / N0;
        for (double& v : track.windowVar) v *= scale;
        smooth_paths(y.numel(), track);
    }
    out.gains = std::move(track.gains);
    out.gainVar = std::move(track.gainVar);
    out.pathPower = std::move(track.pathPower);
    out.windowGains = std::move(track.windowGains);
    out.windowVar = std::move(track.windowVar);
    out.windowTime = std::move(track.windowTime);
    out.doppler = track.doppler;
}

// Steps 4 and 5 on the paths found around the 0-based sample w0: the refusal when there are none
// (`where` says what was searched where, "of the preamble near"), else the sounding's frames,
// profile, taps, start, delays, basis and samples.
ChansoundOut sampled_paths(const ComplexArray& mf, Search& found, const RealArray& comp, index_t M,
                           const Layout& layout, index_t w0, const char* where) {
    if (found.paths.empty()) {
        raise(kChansoundNoSignal, std::string("The matched-filter output holds no trace ") + where +
                                      " sample " + std::to_string(w0 + 1) +
                                      ": no propagation path was found.");
    }
    ChansoundOut out;
    out.frames = static_cast<double>(layout.frames);
    out.profile = std::move(found.profile);
    out.profileStart = static_cast<double>(found.base + 1);
    sample_paths(mf, found, comp, M, choose_taps(found, comp, M), layout.symbols, out);
    return out;
}

ChansoundOut chansound_polling(const ComplexArray& MatchedFilterIn, double FrameStartSample,
                               const ModeParams& mode, const VarShapping& varShapping,
                               HostServices* host) {
    const ComplexArray& mf = MatchedFilterIn;
    const index_t Lmf = mf.numel();
    const index_t M = oversampling_factor(varShapping, kBlock);

    // 1. The transmission: frames after the preamble, and the symbols known in advance. The
    // length is checked before the pulse is designed: a pulse longer than the output (a huge
    // pulseDelay or oversamplingFactor) leaves no frame and is refused at once.
    check_receiver_mode(mode, kBlock);
    const index_t frames = frames_in(Lmf, mode, varShapping.pulseDelay, M);
    const Layout layout = transmission_layout(mode, frames);
    if (frames < 1 || layout.preamble < 2 * kSpan + kSearchLength) {
        raise("hfchain:chansound:TooShort",
              "The matched-filter output of " + std::to_string(Lmf) + " samples holds " +
                  std::to_string(frames) + " frames after a preamble of " +
                  std::to_string(layout.preamble) +
                  " symbols; the receiver needs at least one frame and a preamble of " +
                  std::to_string(2 * kSpan + kSearchLength) + " symbols.");
    }
    const index_t w0 = check_index(FrameStartSample, Lmf, "FrameStartSample");
    check_bounded(mf, kLargestSample, "MatchedFilterIn", "hfchain:chansound:NonFinite",
                  "matched-filter samples must be finite.", "hfchain:chansound:TooLarge",
                  kTooLargeRule.c_str());
    const RealArray comp = composite_pulse(varShapping);
    const KnownSymbols known = known_symbols(mode, layout);
    // The estimates read the input with its impulses blanked (samples far above its median
    // magnitude, which no ordinary signal reaches): one such sample would otherwise rule the
    // search's fits, its noise estimate and the track's windows that span it. `out` keeps the
    // input's samples.
    const ImpulseblankOut impulses = impulseblank(mf);
    const bool blank = !impulses.samples.empty();
    const ComplexArray cleaned = blank ? blanked(mf, impulses.samples) : ComplexArray();
    const ComplexArray& seen = blank ? cleaned : mf;

    // 2-3. The paths.
    Search found =
        find_paths(seen, w0, known.mean.data(), layout.preamble, M, comp, mode.rate, host);
    // 4-6. Taps, samples and the track.
    ChansoundOut out = sampled_paths(mf, found, comp, M, layout, w0, "of the preamble near");
    const ComplexArray fitted =
        blank ? symbol_samples(seen, static_cast<index_t>(out.start) - 1, M, out.out.numel())
              : ComplexArray();
    track_gains(known, layout.frame(), found.power, found.N0, blank ? fitted : out.out, host, out);
    return out;
}

// The sounding after a late entry. A window of frames holds at least kSearchLength known symbols,
// `known` of them a frame.
index_t known_window_frames(index_t known) { return (kSearchLength + known - 1) / known; }

// Step 2 from the known symbols of the frames alone (the probes, or every symbol as decided),
// around the 0-based sample w0 of the first frame's first symbol: in each window of `group`
// frames, least squares of kSearchTaps symbol-spaced taps at each sampling phase, as
// search_response fits them on the preamble, with the unknown data symbols taken as 0 (they add
// to the noise). The fit undoes what the known symbols' own correlation at other delays would
// leave of each path. `count` is set to the known symbols a window. Where every symbol is known
// (`dense`), the fit's residual gives the noise as on the preamble; else N0 is left 0.
Response probe_response(const ComplexArray& mf, index_t w0, const KnownSymbols& known,
                        const Layout& layout, index_t M, index_t group, bool dense,
                        index_t& count) {
    const index_t Lmf = mf.numel();
    const index_t base = w0 - kSpan * M;
    const index_t Q = kSearchTaps * M;
    const index_t windows = std::max<index_t>(1, layout.frames / group);
    const index_t per = layout.frames / windows;  // the last window takes what is left over
    std::vector<ComplexArray> response(windows, ComplexArray(Q));
    count = 0;
    for (index_t j = layout.frameStart(0); j < layout.frameStart(per); ++j) {
        count += known.var[j] == 0 ? 1 : 0;
    }
    auto x = [&](index_t m) { return m >= 0 && m < layout.symbols ? known.mean[m] : cdouble{}; };
    auto sample = [&](index_t s) { return s >= 0 && s < Lmf ? mf[s] : cdouble{}; };
    std::vector<cdouble> G(kSearchTaps * kSearchTaps), h(kSearchTaps), rhs(kSearchTaps);
    double residual = 0, dof = 0;
    for (index_t w = 0; w < windows; ++w) {
        const index_t j0 = layout.frameStart(w * per);
        const index_t j1 = w + 1 < windows ? layout.frameStart((w + 1) * per) : layout.symbols;
        for (index_t a = 0; a < kSearchTaps; ++a) {
            for (index_t b = a; b < kSearchTaps; ++b) {
                cdouble g{};
                for (index_t j = j0; j < j1; ++j) g += cmulc(x(j - a), x(j - b));
                G[a + b * kSearchTaps] = g;
                G[b + a * kSearchTaps] = std::conj(g);
            }
        }
        if (!cholesky_factor(kSearchTaps, G.data())) continue;
        for (index_t phi = 0; phi < M; ++phi) {
            for (index_t i = 0; i < kSearchTaps; ++i) {
                cdouble c{};
                for (index_t j = j0; j < j1; ++j) c += cmulc(x(j - i), sample(base + phi + j * M));
                rhs[i] = c;
            }
            h = rhs;
            cholesky_solve(kSearchTaps, G.data(), h.data());
            for (index_t i = 0; i < kSearchTaps; ++i) response[w][phi + i * M] = h[i];
            if (!dense) continue;
            double energy = 0, fitted = 0;
            for (index_t j = j0; j < j1; ++j) energy += norm2(sample(base + phi + j * M));
            for (index_t i = 0; i < kSearchTaps; ++i) fitted += (std::conj(rhs[i]) * h[i]).real();
            residual += std::max(0.0, energy - fitted);
            dof += static_cast<double>(j1 - j0 - kSearchTaps);
        }
    }
    const double N0 = dense ? std::max(dof > 0 ? residual / dof : 0.0, kMinNoiseVar) : 0.0;
    return {base, N0, std::move(response)};
}

// The largest share of the channel's energy that a sample's taps may put on unknown symbols for
// the sample to measure the noise of a sounding from the probes (the middle of a probe run).
constexpr double kProbeLeak = 0.05;

// The noise of a sounding without stretches of known symbols to measure it on: over the samples
// whose taps put at most kProbeLeak of the channel's energy on unknown symbols (the data, and
// whatever lies before the first and after the last symbol sounded), the residual of the known
// symbols' part less that leak (the unknown symbols have unit power, as the probes); where no
// sample is so placed, the received power less the paths'.
double probe_noise(const ComplexArray& y, const ComplexArray& basis, const ComplexArray& gains,
                   const KnownSymbols& known, index_t symbols) {
    const index_t L = basis.rows();
    const index_t r = basis.cols();
    double residual = 0, received = 0, signal = 0;
    index_t counted = 0;
    for (index_t n = 0; n < symbols; ++n) {
        cdouble fit{};
        double energy = 0, leak = 0;
        for (index_t i = 0; i < L; ++i) {
            cdouble h{};
            for (index_t p = 0; p < r; ++p) h += basis(i, p) * gains(p, n);
            const double e = norm2(h);
            energy += e;
            const index_t m = n - i;
            if (m < 0 || known.var[m] != 0) {
                leak += e;
            } else {
                fit += h * known.mean[m];
            }
        }
        received += norm2(y[n]);
        signal += energy;
        if (leak <= kProbeLeak * energy) {
            residual += norm2(y[n] - fit) - leak;
            ++counted;
        }
    }
    const double N0 = counted > 0 ? residual / static_cast<double>(counted)
                                  : (received - signal) / static_cast<double>(symbols);
    return std::max(N0, kMinNoiseVar);
}

// Steps 2 to 6 after a late entry, from the 0-based sample w0 of the first frame's first symbol
// on, with the symbols `known` holds, `perFrame` of them a frame (the probes, or every symbol as
// decided): the paths fitted over windows of frames, their taps and samples, and the gains
// tracked. `where` names what was searched in the refusal when no path is found.
ChansoundOut sound_known(const ComplexArray& mf, index_t w0, const KnownSymbols& known,
                         const Layout& layout, index_t perFrame, const RealArray& comp, index_t M,
                         const char* where, HostServices* host) {
    index_t count = 0;
    const bool dense = perFrame == layout.frame();
    const Response response =
        probe_response(mf, w0, known, layout, M, known_window_frames(perFrame), dense, count);
    poll(host);
    // Each value's noise: with every symbol known, the fit's noise over its degrees of freedom
    // (as search_paths counts them on the preamble); else the received power over the
    // correlation's length (the unknown symbols between the probes are noise to the fit), over
    // the samples of the frames sounded: what follows them (the next blocks, the silence after a
    // transmission) says nothing of the noise the fit met.
    const index_t first = std::min(w0, mf.numel() - 1);
    const index_t end = std::clamp(w0 + layout.symbols * M, first + 1, mf.numel());
    double received = 0;
    for (index_t n = first; n < end; ++n) received += norm2(mf[n]);
    received /= static_cast<double>(end - first);
    const double gain_noise = dense ? response.N0 / static_cast<double>(count - kSearchTaps)
                                    : received / static_cast<double>(count);
    Search found = paths_in_response(response, comp, M, gain_noise, kMaxSpread * M + kRecentre);
    ChansoundOut out = sampled_paths(mf, found, comp, M, layout, w0, where);
    // The noise: first what the search's path powers leave of the received power, then what the
    // track's gains leave of the known symbols; the track is redone when the two differ clearly.
    double expected = 0;
    for (index_t i = 0; i < out.basis.rows(); ++i) {
        for (index_t p = 0; p < out.basis.cols(); ++p) {
            expected += found.power[p] * norm2(out.basis(i, p));
        }
    }
    double symbol_power = 0;
    for (index_t n = 0; n < layout.symbols; ++n) symbol_power += norm2(out.out[n]);
    symbol_power /= static_cast<double>(layout.symbols);
    const double N0 = std::max(symbol_power - expected, kMinNoiseVar);
    track_gains(known, layout.frame(), found.power, N0, out.out, host, out);
    const double rest = probe_noise(out.out, out.basis, out.gains, known, layout.symbols);
    if (rest > N0 * kNoiseRetrack || rest < N0 / kNoiseRetrack) {
        track_gains(known, layout.frame(), found.power, rest, out.out, host, out);
    }
    return out;
}

ChansoundOut chansound_from_block_polling(const ComplexArray& mf, double BlockStartSample,
                                          const ModeParams& mode, const VarShapping& varShapping,
                                          index_t frames, HostServices* host) {
    const index_t M = oversampling_factor(varShapping, kBlock);
    check_receiver_mode(mode, kBlock);
    if (mode.trein < 1 || mode.preamSync.numel() != 0) {
        raise("hfchain:chansound:UnsupportedMode",
              "A sounding from a block's first symbol needs probes and the parameter set as "
              "entered there (no preamble).");
    }
    const Layout layout = transmission_layout(mode, frames);
    if (frames < 1) {
        raise("hfchain:chansound:TooShort", "A sounding from a block needs at least one frame.");
    }
    const index_t w0 = check_index(BlockStartSample, mf.numel(), "BlockStartSample");
    check_bounded(mf, kLargestSample, "MatchedFilterIn", "hfchain:chansound:NonFinite",
                  "matched-filter samples must be finite.", "hfchain:chansound:TooLarge",
                  kTooLargeRule.c_str());
    const RealArray comp = composite_pulse(varShapping);
    const KnownSymbols known = known_symbols(mode, layout);
    return sound_known(mf, w0, known, layout, layout.trein, comp, M, "of the probes from", host);
}

ChansoundOut chansound_from_decisions_polling(const ComplexArray& mf, double BlockStartSample,
                                              const ModeParams& mode,
                                              const VarShapping& varShapping,
                                              const ComplexArray& decided, HostServices* host) {
    const index_t M = oversampling_factor(varShapping, kBlock);
    check_receiver_mode(mode, kBlock);
    if (!uses_patterns(mode) || mode.preamSync.numel() != 0) {
        raise("hfchain:chansound:UnsupportedMode",
              "A sounding on decided patterns needs the 75 bit/s parameter set as entered at a "
              "block's first symbol (no preamble).");
    }
    const index_t frame = transmission_layout(mode, 0).frame();
    const index_t frames = decided.numel() / frame;
    if (frames < 1) {
        raise("hfchain:chansound:TooShort", "A sounding on decided patterns needs at least one.");
    }
    check_size_equal(frames * frame, decided.numel(), "decided");
    const Layout layout = transmission_layout(mode, frames);
    const index_t w0 = check_index(BlockStartSample, mf.numel(), "BlockStartSample");
    check_bounded(mf, kLargestSample, "MatchedFilterIn", "hfchain:chansound:NonFinite",
                  "matched-filter samples must be finite.", "hfchain:chansound:TooLarge",
                  kTooLargeRule.c_str());
    check_bounded(decided, kLargestSample, "decided", "hfchain:chansound:NonFinite",
                  "decided symbols must be finite.", "hfchain:chansound:TooLarge",
                  kTooLargeRule.c_str());
    const RealArray comp = composite_pulse(varShapping);
    KnownSymbols known;
    known.mean = decided;
    known.var = RealArray(layout.symbols);
    return sound_known(mf, w0, known, layout, frame, comp, M, "of the patterns from", host);
}

}  // namespace

RealArray composite_pulse(const VarShapping& varShapping) {
    check_rolloff(varShapping.rolloffFactor);
    const RealArray filter = shaping_filter(varShapping.rolloffFactor, varShapping.pulseDelay,
                                            varShapping.oversamplingFactor, no_host());
    const index_t N = filter.numel();
    RealArray c(2 * N - 1);
    for (index_t a = 0; a < N; ++a) {
        for (index_t b = 0; b < N; ++b) c[a + b] += filter[a] * filter[b];
    }
    return c;
}

ChansoundOut chansound(const ComplexArray& MatchedFilterIn, double FrameStartSample,
                       const ModeParams& mode, const VarShapping& varShapping) {
    return chansound_polling(MatchedFilterIn, FrameStartSample, mode, varShapping, nullptr);
}

ChansoundOut chansound(const ComplexArray& MatchedFilterIn, double FrameStartSample,
                       const ModeParams& mode, const VarShapping& varShapping, HostServices& host) {
    return chansound_polling(MatchedFilterIn, FrameStartSample, mode, varShapping, &host);
}

ChansoundOut chansound_from_block(const ComplexArray& MatchedFilterIn, double BlockStartSample,
                                  const ModeParams& mode, const VarShapping& varShapping,
                                  index_t frames, HostServices& host) {
    return chansound_from_block_polling(MatchedFilterIn, BlockStartSample, mode, varShapping,
                                        frames, &host);
}

ChansoundOut chansound_from_decisions(const ComplexArray& MatchedFilterIn, double BlockStartSample,
                                      const ModeParams& mode, const VarShapping& varShapping,
                                      const ComplexArray& decided, HostServices& host) {
    return chansound_from_decisions_polling(MatchedFilterIn, BlockStartSample, mode, varShapping,
                                            decided, &host);
}

}  // namespace hfchain
