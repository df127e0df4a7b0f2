// Following the channel through a transmission: the gains of the propagation paths estimated
// window by window and smoothed in time.
//
// The symbol-rate model. With y(n) the matched-filter output read once a symbol and x(m) the
// transmitted symbols (x(m) = 0 before the first and after the last), the channel is a short
// filter whose taps change slowly:
//     y(n) = sum over i = 0 .. L-1 of h(i, n) x(n - i) + w(n),   w white of variance N0,
//     h(i, n) = sum over paths p of basis(i, p) g(p, n).
// Each column of `basis` is the composite pulse (transmit and receive filters) of one path,
// sampled where the symbol-rate samples fall; g(p, n) is that path's complex gain.
//
// What is known about the symbols enters as a mean and a variance per symbol: a preamble or probe
// symbol has its point and variance 0; an unknown data symbol mean 0 and variance 1, or, inside a
// turbo loop, the soft symbol the decoder vouches for. The same estimator serves every case
// (receiver/layout/layout.hpp gives the known ones).
#pragma once

#include <type_traits>

#include "runtime/array.hpp"

namespace hfchain {

// The largest channel the model describes: paths, and symbol-spaced taps (a frame's window must
// hold its probes and every sample they reach).
inline constexpr index_t kMaxPaths = 4;
inline constexpr index_t kMaxTaps = 25;

// Calls f(std::integral_constant<int, R>{}) with the number of paths r as the compile-time R, so
// that the loops over the paths unroll: R = r for 1 to 3, kMaxPaths beyond (r is at most
// kMaxPaths: the sounder makes no more, and check_sounding refuses more).
template <class F>
void with_path_count(index_t r, F&& f) {
    switch (r) {
        case 1:
            f(std::integral_constant<int, 1>{});
            break;
        case 2:
            f(std::integral_constant<int, 2>{});
            break;
        case 3:
            f(std::integral_constant<int, 3>{});
            break;
        default:
            f(std::integral_constant<int, kMaxPaths>{});
            break;
    }
}

// Symbols per estimation window: one frame (data + probes), 48 in the 8-PSK modes, 40 in the
// 2- and 4-PSK ones, 32 at 75 bit/s (one pattern). kWindowSymbols is the 8-PSK frame, the window
// of a PathTrack that is not told otherwise.
inline constexpr index_t kWindowSymbols = 48;

// The path gains of one transmission, window by window and per symbol.
struct PathTrack {
    index_t window = kWindowSymbols;  // W: symbols per estimation window (one frame), at least 2
    ComplexArray windowGains;         // r x E least-squares gains of each window
    RealArray windowVar;              // r x E their error variances (infinite: no estimate)
    RealArray windowTime;             // E x 1 time of each window's estimate, in symbols (0 = y(1))
    ComplexArray gains;               // r x Ny smoothed gains at every symbol-rate sample
    RealArray gainVar;                // r x Ny their error variances
    RealArray pathPower;              // r x 1 mean power of each path
    double doppler = 0;               // Doppler spread used for smoothing, Hz (twice the standard
                                      // deviation of the Gaussian Doppler spectrum)
};

// Estimates and smooths the path gains.
//   y: Ny x 1 symbol-rate samples. basis: L x r, r at most kMaxPaths.
//   mean, var: symbols x 1 what is known of each transmitted symbol (see above).
//   N0: noise variance of y.
//   tapPower: L x 1, or L x Ny, the expected power of each tap (at each sample), which weighs
//     the samples that unknown symbols disturb.
// Windows of track.window samples each (set by the caller) give a weighted least-squares estimate
// of the r gains. A Kalman filter and a Rauch-Tung-Striebel smoother over the windows then model
// each gain as a second-order autoregression matched to a Gaussian Doppler spectrum, whose spread
// is measured from how fast the window estimates change; straight lines between the smoothed
// windows give the gain and its error variance at every sample. Errors: a basis of no tap, no path
// or more than kMaxPaths, "hfchain:chansound:BadBasis"; a window of fewer than 2 symbols,
// "hfchain:chansound:BadWindow"; var or tapPower of other sizes, "hfchain:runtime:SizeMismatch".
void track_paths(const ComplexArray& y, const ComplexArray& basis, const ComplexArray& mean,
                 const RealArray& var, double N0, const RealArray& tapPower, PathTrack& track);

// The two halves of track_paths, for callers that keep some windows from an earlier track.
// Windows before `first` keep their estimates in `track` (whose window arrays must then have
// the sizes a full track gives them); the others are estimated afresh. A window without an
// estimate has infinite error variances and gains of 0.
// Errors: those of track_paths; window arrays of other sizes when first > 0,
// "hfchain:runtime:SizeMismatch".
void estimate_windows(const ComplexArray& y, const ComplexArray& basis, const ComplexArray& mean,
                      const RealArray& var, double N0, const RealArray& tapPower, index_t first,
                      PathTrack& track);
// Path powers, Doppler spread, smoothing and the gains at every one of the Ny samples, from the
// window estimates.
void smooth_paths(index_t Ny, PathTrack& track);

// Estimation windows of W symbols in a transmission of `symbols` symbols, and how many of them
// the preamble fills completely (their samples reach only preamble symbols).
index_t window_count(index_t symbols, index_t W = kWindowSymbols);
index_t preamble_windows(index_t preamble, index_t W = kWindowSymbols);

// Mean squared residual of a track's smoothed model over the samples that only the leading known
// symbols (variance 0, the preamble) reach: the noise plus whatever the paths do not explain;
// NaN when there are none.
double model_residual(const ComplexArray& y, const ComplexArray& basis, const ComplexArray& mean,
                      const RealArray& var, const PathTrack& track);

}  // namespace hfchain
